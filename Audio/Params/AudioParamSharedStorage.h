#pragma once
// CAudioParamSharedStorage (tag audio:param-shared-storage): mirrors a
// parameter into an item of an application data store, so that a setting
// (meter timing, anti-denormal noise) is the same in every instance and
// survives the session.
//
// Attributes: param (the parameter's name, relative to the object holding
// the binding as remap names are: "x", "^x", "/plugin.a.b"), data-name (the
// store item), storage-type ("local", "group" or "global").
//
// The item holds values of group 0: numeric parameters as a "dstr" string of
// comma-separated numbers (one per element and component), text parameters
// as a "dstr" string, raw parameters as the bytes of an "adat" block. When a
// binding is made and the item exists, the parameter takes its value; after
// that every main-thread change of the parameter (announced through the
// collector) is written to the item, and a change of the item by another
// writer is written to the parameter.
//
// A binding is per instance (CAudioParamSharedBinding). The definition
// object binds itself when it sits in an instance tree that has a collector
// (its "param-collector" attribute, else the nearest ancestor's child
// "param-collector"); for bindings declared inside a process definition the
// plug-in core calls bindAll with the runtime name of that process.
//
// Threads: main thread. Two bindings of one instance must not share an item.

#include <memory>
#include <vector>

#include "Audio/Params/AudioParamBinding.h"
#include "Audio/Params/AudioParamCollector.h"
#include "Core/AppData.h"
#include "Core/Object.h"

KELSTR(CAudioParamSharedStorage_init_InvalidParamName, "Invalid parameter name specified.");
KELSTR(CAudioParamSharedStorage_init_InvalidDataName, "Invalid shared data name specified.");
KELSTR(CAudioParamSharedStorage_init_InvalidStorageType, "Invalid storage type \"%1\" specified.");
KELSTR(CAudioParamSharedStorage_bind_NotFound, "Shared storage parameter '%1' not found.");

class CAudioParamSharedBinding : public CAudioParamListener, public CAppDataListener {
public:
    CAudioParamSharedBinding(CAudioParamCollector& collector, CAudioParam& param, CAppData& store,
                             const CString& dataName);
    ~CAudioParamSharedBinding() override;
    CAudioParamSharedBinding(const CAudioParamSharedBinding&) = delete;
    CAudioParamSharedBinding& operator=(const CAudioParamSharedBinding&) = delete;

    CAudioParam& param() const { return m_param; }
    // Takes the stored value when the item exists.
    CError pull();
    // Writes the parameter's value when it differs from the item's.
    CError push();

    void paramChanged(CAudioParam& param) override;
    void appDataChanged(CAppData& store, const CString& itemName) override;

private:
    // The item's form of the parameter's current value.
    std::vector<uint8_t> encode() const;
    uint32_t blockId() const;

    CAudioParamCollector& m_collector;
    CAudioParam& m_param;
    CAppData& m_store;
    CString m_dataName;
    std::vector<uint8_t> m_last;  // the value last read or written
    bool m_applying = false;
};

class CAudioParamSharedStorage : public CObject, public CAudioParamBindable {
public:
    CError init() override;
    // Binds when the tree has a collector (instance placement).
    CError bindParams() override;
    static void registerEvents(CClassRecord& record) { CObject::registerEvents(record); }

    const CString& paramName() const { return m_paramName; }
    const CString& dataName() const { return m_dataName; }
    CAppData* store() const { return m_store; }

    // A binding for the parameter named relative to scopeFullName (the
    // runtime full name of the object that holds this definition).
    CError createBinding(CAudioParamCollector& collector, const CString& scopeFullName,
                         std::unique_ptr<CAudioParamSharedBinding>* out) const;
    // Bindings for every shared storage inside a definition subtree, whose
    // root runs as runtimeFullName ("plugin.modMain" for "shared::audio.modMain").
    static CError bindAll(const CObject& defRoot, const CString& runtimeFullName, CAudioParamCollector& collector,
                          std::vector<std::unique_ptr<CAudioParamSharedBinding>>* out);

private:
    CString m_paramName, m_dataName;
    CAppData* m_store = nullptr;
    std::unique_ptr<CAudioParamSharedBinding> m_binding;  // instance placement
};
