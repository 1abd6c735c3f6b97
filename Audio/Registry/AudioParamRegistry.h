#pragma once
// CAudioParamRegistry (tag audio:param-registry): names, stores and restores
// the parameters of one subtree of the process graph as presets, holds the
// banks of presets, and hands its changes to the undo history.
//
// Attributes:
//   id                        registry id; every preset name it writes is
//                             "<id>:<name>"
//   hierarchy                 full name of the subtree whose parameters the
//                             registry manages ("plugin.modMain")
//   is-master                 owns the factory bank, the session bank and
//                             the host's program list
//   file                      resource (or file) of the factory bank
//   store-name                name of the user preset list in the data
//                             stores (Audio/AudioPresetStore.h); parameters
//                             with state-names "@<store-name>" refer to it
//   preset-name-param         text parameter holding the current preset name
//   preset-naming             what a preset of this registry is called in
//                             undo texts ("Master preset")
//   group-names-param         text parameter with the channel group names
//   def-name-remap            "old=new" prefix replacement between instance
//                             names and definition names ("plugin=audio")
//   is-enumerated             the user list's preset names are the state
//                             names of the parameters referring to it
//   is-element-enum           presets are enumerated per element (kept for
//                             the editor; the registry does not use it)
//   is-global-param-storable  is-global parameters are captured too
//   param-undo                object owning the undo history (optional)
//   param-collector           the parameter collector
//
// Managed parameters are those of the collector whose full names lie below
// the hierarchy; a record names one by its short name (the full name without
// "<hierarchy>."). The stored parameter inside a record carries the
// definition name ("audio.modMain.modTamblor.release").
//
// Capturing the current state visits the managed parameters in ascending
// byte order of their short names and writes those that are is-storable, or
// is-persistent, or (with is-global-param-storable) is-global. Capturing one
// group g writes only the parameters holding data for g, and only g's values.
// Values are read as the main thread sees them (Audio/AudioParamChangeSet.h).
//
// Activating a preset checks that its name starts with the registry's id,
// reads every record it knows into a copy of the parameter's values (a
// damaged record refuses the whole preset before anything changes), then
// writes all of them together under the registry's lock: numeric values
// through the collector's change queue (the audio thread takes them at its
// next chunk), text and raw data directly. Records of unknown parameters are
// skipped. The undo entry (the states before and after) is pushed while the
// lock is held; collector listeners are informed after it is released.
//
// The master registry keeps the factory bank ("Factory ROM", loaded from
// "file" at initialisation) and the "Session Bank": one entry per host
// program, initially a copy of the factory bank. The entry of the current
// program is refreshed from the live state whenever it is written out
// (acquirePreset, acquireBank, a program change). Activating a preset
// without a bank index (loading the instance state, a preset file) names the
// current program after it.
//
// Events notified to listeners of the registry (CObject::notify):
// "program-changed" (the current program or a program name changed) and
// "registry-changed" (a bank or the user list changed).
//
// Threads: main thread. The registry's lock guards its banks and the
// application of values; collector listeners and registry events run
// without it.

#include <memory>
#include <span>
#include <string>
#include <vector>

#include "Audio/Params/AudioParamBinding.h"
#include "Audio/Registry/AudioParamUndo.h"
#include "Audio/Registry/AudioPreset.h"
#include "Audio/Registry/AudioPresetStore.h"
#include "Audio/Converters/AudioParamConverter.h"
#include "Core/AppData.h"
#include "Core/Object.h"
#include "Platform/Sync.h"

KELSTR(CAudioParamRegistry_init_InvalidRemap, "Invalid remapping string '%1' defined.");
KELSTR(CAudioParamRegistry_init_NoId, "No parameter registry id specified.");
KELSTR(CAudioParamRegistry_init_NoHierarchy, "No parameter hierarchy specified.");
KELSTR(CAudioParamRegistry_acquirePreset_PresetIndexError, "Invalid preset index %1 specified.");
KELSTR(CAudioParamRegistry_acquireBank_NonMasterRegistry, "Acquiring bank in a non-master registry is an error.");
KELSTR(CAudioParamRegistry_activatePreset_IncompatiblePreset, "Incompatible preset.");
KELSTR(CAudioParamRegistry_activatePreset_InvalidRecord, "Invalid data in record '%1' of preset '%2'.");
KELSTR(CAudioParamRegistry_activateFactoryPreset_NonMasterRegistry,
       "Activating a factory preset in a non-master registry is an error.");
KELSTR(CAudioParamRegistry_setCurrentProgram_NonMasterRegistry,
       "Selecting a program in a non-master registry is an error.");
KELSTR(CAudioParamRegistry_renamePreset_EmptyName, "Empty preset name specified.");

class CAudioParam;
class CAudioParamCollector;

class CAudioParamRegistry : public CObject,
                            public CAudioParamStateTarget,
                            public CAudioParamBindable,
                            public CAppDataListener {
public:
    static constexpr int kAllGroups = -1;
    static constexpr const char* kFactoryBankName = "Factory ROM";
    static constexpr const char* kSessionBankName = "Session Bank";

    CAudioParamRegistry();
    ~CAudioParamRegistry() override;

    CError init() override;       // attributes
    CError initLinks() override;  // the collector
    CError initDone() override;   // the banks and the user list
    static void registerEvents(CClassRecord& record) { CObject::registerEvents(record); }

    // --- Attributes ------------------------------------------------------------------
    const CString& id() const { return m_id; }
    const CString& hierarchy() const { return m_hierarchy; }
    bool isMaster() const { return m_master; }
    const CString& storeName() const { return m_storeName; }
    const CString& presetNaming() const { return m_naming; }
    bool isEnumerated() const { return m_enumerated; }
    bool isElementEnum() const { return m_elementEnum; }
    bool isGlobalParamStorable() const { return m_globalStorable; }
    CAudioParamCollector* collector() const { return m_collector; }
    plat::CCritSec& lock() { return m_lock; }

    // "old=new" (blanks around "=" allowed, both sides non-empty).
    static bool parseRemap(const CString& text, CString* from, CString* to);
    // Instance full name -> definition full name ("plugin.x" -> "audio.x"), and back.
    CString toDefinitionName(const CString& instanceName) const;
    CString toInstanceName(const CString& definitionName) const;

    // --- Managed parameters (in record order) ---------------------------------------------
    CError bindParams() override;
    size_t paramCount();
    CAudioParam* param(size_t i);
    CString shortName(size_t i);
    CAudioParam* findParam(const CString& shortName);
    // Whether capturing writes the parameter.
    bool isCaptured(const CAudioParam& p) const;
    // Name of channel group g (from group-names-param; the number g + 1 without one).
    CString groupName(int g);

    // --- Presets ----------------------------------------------------------------------------
    // The current state (all groups, or one group) as a preset named by the
    // registry's naming rule.
    CError captureState(int group, CAudioPreset* out);
    // The current values of some managed parameters, whatever their flags
    // (the states of an undo entry for single changes: the registry is its
    // target, see CAudioParamUndoState).
    CError captureParams(std::span<CAudioParam* const> params, int group, CAudioPreset* out);
    // Writes a preset: master: the factory preset at index (factory set) or
    // the session entry at index (-1: the current program, refreshed first);
    // others: the captured current state.
    CError acquirePreset(bool factory, int index, int group, COutputStream& out);
    CError acquirePreset(bool factory, int index, int group, CAudioPreset* out);
    // Writes the factory bank or the session bank (master only).
    CError acquireBank(bool factory, COutputStream& out);
    // Activates a preset; index is its place in the bank it comes from (for
    // the undo text; -1 when it comes from elsewhere).
    CError activatePreset(const CAudioPreset& preset, int index = -1, int group = kAllGroups);
    // Reads one preset and activates it without an index (instance state).
    CError loadPreset(CInputStream& in);
    // Master: activates the factory preset at index ("ROM preset activate").
    CError activateFactoryPreset(int index);
    // Activates the default preset, or resets every captured parameter to
    // its defaults when none was set ("Master reset" for the master).
    CError activateDefaultPreset();
    CError setDefaultPreset(const CAudioPreset& preset);
    const CAudioPreset& defaultPreset() const { return m_default; }
    // A/B: the shadow preset and the current state change places; updating
    // copies the current state into the shadow.
    CError exchangeShadowPreset();
    CError updateShadowPreset();
    // Undo and redo (no compatibility check, no undo entry).
    CError applyState(const CAudioPreset& state, int group) override;

    // --- Banks and programs (master) -----------------------------------------------------------
    const CAudioPresetBank& factoryBank() const { return m_factory; }
    const CAudioPresetBank& sessionBank() const { return m_session; }
    int programCount() const { return int(m_session.size()); }
    // Display name of a program (without the registry id).
    CString programName(int index) const;
    int currentProgram() const { return m_current; }
    // Keeps the current state in the current program's entry, then selects
    // and activates the entry at index. An enumerated registry (not the
    // master) activates the entry at index of its user list; other
    // registries refuse.
    CError setCurrentProgram(int index);
    // Renames a session entry (master) or a user list entry (others);
    // records "Program name change".
    CError renamePreset(int index, const CString& name);

    // --- User list (store-name) ----------------------------------------------------------------
    const CAudioPresetBank& userList() const { return m_userList; }
    const CAudioPresetListRef& userListRef() const { return m_listRef; }
    // Replaces the list and writes it to its store.
    CError setUserList(const CAudioPresetBank& list);
    CError reloadUserList();
    // Display names of the user list's presets (enumerated registries).
    CAudioStateNames presetStateNames();
    void appDataChanged(CAppData& store, const CString& itemName) override;

    // Renames without an undo entry (used by undo).
    CError setPresetName(int index, const CString& fullName);

private:
    struct Managed {
        CString shortName;
        std::string sortKey;  // UTF-8 bytes of the short name
        CAudioParam* param;
    };

    void ensureBound();
    // Lookup without binding (safe under the lock).
    CAudioParam* findBound(const CString& shortName) const;
    CAudioParam* paramByFullName(const CString& fullName) const;
    CString presetNameFor(int group);
    CString fullPresetName(const CString& name) const;
    // All captured parameters, or only those listed.
    CError captureLocked(int group, CAudioPreset* out, std::span<CAudioParam* const> only = {});
    // Reads the known records of a preset and writes them all; fills the
    // parameters that changed.
    CError applyLocked(const CAudioPreset& preset, int group, std::vector<CAudioParam*>* changed);
    // Sets preset-name-param to the preset's display name when the preset
    // does not carry that parameter itself.
    void applyPresetName(const CAudioPreset& preset, int group, std::vector<CAudioParam*>* changed);
    CString presetDisplayText(int index, int group);
    // Activation with an undo entry of the given text.
    CError activateWithUndo(const CAudioPreset& preset, int group, const CString& undoText, int textIndex,
                            bool renameCurrent);
    void pushUndo(std::unique_ptr<CAudioParamUndoEntry> entry);
    void informChanged(const std::vector<CAudioParam*>& changed);
    void refreshCurrentLocked();
    void publishStateNames();
    CError loadFactoryBank();

    plat::CCritSec m_lock{4000};

    CString m_id, m_hierarchy, m_storeName, m_naming;
    CString m_presetNameParam, m_groupNamesParam, m_remapFrom, m_remapTo;
    bool m_master = false, m_enumerated = false, m_elementEnum = false, m_globalStorable = false;
    CAudioParamCollector* m_collector = nullptr;

    bool m_bound = false;
    std::vector<Managed> m_params;

    CAudioPresetBank m_factory;
    CAudioPresetBank m_session;
    int m_current = 0;
    CAudioPreset m_default;
    CAudioPreset m_shadow;

    CAudioPresetListRef m_listRef;
    CAudioPresetBank m_userList;
    bool m_listening = false;
};
