#pragma once
// CAudioCCTable (tag audio:cctable): maps the 128 MIDI controller numbers to
// parameters. Each slot is empty or holds a parameter's full name and,
// once resolved through the collector, the parameter.
//
// The table is kept in a data store item ("ccmap" in the local store unless
// "data-name" / "storage-type" say otherwise) as an "adat" block: u32 entry
// count N, then N entries of u32 controller number and string parameter
// name. Loading clears every slot and reads the item: without the item the
// table stays empty; entries whose controller number lies outside 0..127 are
// skipped; a read error ends loading with the entries read so far (logged
// at initialisation). The table loads at initialisation and again whenever
// another writer changes the item.
//
// Attributes: param-collector (default "^param-collector"), storage-type
// ("global", "group" or "local"; default "local"), data-name (default
// "ccmap").
//
// Threads: the table's own lock guards the slots, so lookups may come from
// any thread except the audio thread (lookups resolve names).

#include <array>

#include "Audio/Params/AudioParamBinding.h"
#include "Core/AppData.h"
#include "Core/Object.h"
#include "Platform/Sync.h"

KELSTR(CAudioCCTable_init_InvalidStorageType, "Invalid storage type \"%1\" specified.");

class CAudioParam;
class CAudioParamCollector;

class CAudioCCTable : public CObject, public CAppDataListener, public CAudioParamBindable {
public:
    static constexpr int kSlots = 128;

    CAudioCCTable();
    ~CAudioCCTable() override;

    CError init() override;
    CError initLinks() override;
    CError initDone() override;  // registers with the store and loads
    CError bindParams() override;
    static void registerEvents(CClassRecord& record) { CObject::registerEvents(record); }

    // Reloads the table from the store item; returns the read error after
    // keeping the entries read before it.
    CError load();
    // Writes the table to the store item (entries in controller order).
    CError save();

    // The parameter of a controller (nullptr: empty, or its name resolves
    // to nothing).
    CAudioParam* param(int controller);
    CString paramName(int controller);
    // Assigns a controller (an empty name clears the slot); not saved until save().
    void setController(int controller, const CString& paramName);
    int assignedCount();

    void appDataChanged(CAppData& store, const CString& itemName) override;

private:
    struct Slot {
        CString name;
        CAudioParam* param = nullptr;
    };
    CAudioParam* resolve(const CString& name) const;

    plat::CCritSec m_lock{4000};
    std::array<Slot, kSlots> m_slots;
    CAppData* m_store = nullptr;
    CString m_dataName;
    CAudioParamCollector* m_collector = nullptr;
    bool m_listening = false;
};
