// CAudioParamRegistry: the factory and session banks, programs, renaming,
// the user list in the data stores and the state names of enumerated
// registries.
#include <algorithm>

#include "Audio/Params/AudioParamChangeSet.h"
#include "Audio/Params/AudioParamCollector.h"
#include "Audio/Registry/AudioParamRegistry.h"
#include "Core/Log.h"
#include "Core/Resources.h"

namespace {
CString num(int64_t v) { return CString::number(v); }

// The enumerated registries of the process, for the state-names provider of
// parameter information ("@<store-name>").
plat::CCritSec& enumLock() {
    static plat::CCritSec lock(4000);
    return lock;
}
std::vector<CAudioParamRegistry*>& enumRegistries() {
    static std::vector<CAudioParamRegistry*> list;
    return list;
}

// Finds the names of an enumerated list: the registry of that store name in
// the same instance tree as the context, else the first one.
bool provideStateNames(const CString& storeName, const CObject* context, CAudioStateNames* out) {
    CAudioParamRegistry* found = nullptr;
    {
        plat::CLock lock(enumLock());
        for (CAudioParamRegistry* r : enumRegistries()) {
            if (!(r->storeName() == storeName)) continue;
            if (!found || (context && r->root() == context->root())) found = r;
            if (context && r->root() == context->root()) break;
        }
    }
    if (!found) return false;
    *out = found->presetStateNames();
    return true;
}

// Undo entry of a preset name change.
class CRenameEntry final : public CAudioParamUndoEntry {
public:
    CRenameEntry(CAudioParamRegistry* registry, int index, const CString& before, const CString& after)
        : CAudioParamUndoEntry("Program name change"),
          m_registry(registry),
          m_index(index),
          m_before(before),
          m_after(after) {}
    CError undo() override { return m_registry->setPresetName(m_index, m_before); }
    CError redo() override { return m_registry->setPresetName(m_index, m_after); }

private:
    CAudioParamRegistry* m_registry;
    int m_index;
    CString m_before, m_after;
};
}  // namespace

CAudioParamRegistry::~CAudioParamRegistry() {
    if (m_listening && m_listRef.store) m_listRef.store->removeListener(this);
    plat::CLock lock(enumLock());
    std::erase(enumRegistries(), this);
}

CError CAudioParamRegistry::initDone() {
    KEL_TRY(CObject::initDone());
    KEL_TRY(loadFactoryBank());
    if (m_master) {
        m_session = CAudioPresetBank(kSessionBankName);
        for (const CAudioPreset& p : m_factory.presets()) m_session.add(p);
        if (m_session.empty()) m_session.add(CAudioPreset(fullPresetName("Default")));
        m_current = 0;
    }
    if (!m_storeName.empty()) {
        m_listRef = AudioPresetStore::resolve(*this, m_storeName);
        bool found = false;
        if (CError e = AudioPresetStore::read(m_listRef, &m_userList, &found)) {
            // A damaged user file leaves the list empty; the instance still starts.
            kelLogf("Preset list '%s' of registry '%s' could not be read.", m_storeName.utf8().c_str(),
                    m_id.utf8().c_str());
            kelLogError(e);
        }
        if (m_listRef.store && !m_listening) {
            m_listRef.store->addListener(this);
            m_listening = true;
        }
    }
    if (m_enumerated) {
        plat::CLock lock(enumLock());
        if (std::find(enumRegistries().begin(), enumRegistries().end(), this) == enumRegistries().end())
            enumRegistries().push_back(this);
        CAudioParamInfo::setStateNamesProvider(&provideStateNames);
    }
    return {};
}

CError CAudioParamRegistry::loadFactoryBank() {
    const CString file = attr("file").trimmed();
    if (file.empty()) return {};
    CResourceReader reader;
    if (CError e = reader.open(file)) {
        kelLogf("Factory bank '%s' of registry '%s' is not available.", file.utf8().c_str(), m_id.utf8().c_str());
        kelLogError(e);
        return {};
    }
    CAudioPresetBank bank;
    KEL_TRY(bank.loadCompressed(reader.stream(), kIdAbnk));
    m_factory = std::move(bank);
    return {};
}

// --- Programs ---------------------------------------------------------------------------------

CString CAudioParamRegistry::programName(int index) const {
    if (index < 0 || size_t(index) >= m_session.size()) return {};
    return m_session.preset(size_t(index)).displayName();
}

CError CAudioParamRegistry::setCurrentProgram(int index) {
    if (!m_master) {
        // An enumerated registry's programs are the entries of its list: the
        // parameter it names (the output metering type) selects one, and its
        // settings follow.
        if (!m_enumerated) return KEL_ERROR(kelstr_CAudioParamRegistry_setCurrentProgram_NonMasterRegistry);
        CAudioPreset entry;
        {
            plat::CLock lock(m_lock);
            if (index < 0 || size_t(index) >= m_userList.size())
                return KEL_ERROR(kelstr_CAudioParamRegistry_acquirePreset_PresetIndexError, num(index));
            entry = m_userList.preset(size_t(index));
        }
        return activateWithUndo(entry, kAllGroups, CString(), index, false);
    }
    ensureBound();
    CAudioPreset target;
    {
        plat::CLock lock(m_lock);
        if (index < 0 || size_t(index) >= m_session.size())
            return KEL_ERROR(kelstr_CAudioParamRegistry_acquirePreset_PresetIndexError, num(index));
        refreshCurrentLocked();
        m_current = index;
        target = m_session.preset(size_t(index));
    }
    if (!target.empty()) KEL_TRY(activateWithUndo(target, kAllGroups, CString(), index, false));
    (void)notify("program-changed");
    return {};
}

CError CAudioParamRegistry::renamePreset(int index, const CString& name) {
    if (name.trimmed().empty()) return KEL_ERROR(kelstr_CAudioParamRegistry_renamePreset_EmptyName);
    const CString full = CAudioPreset::registryIdOf(name) == m_id ? name : fullPresetName(name);
    CString before;
    {
        plat::CLock lock(m_lock);
        const CAudioPresetBank& bank = m_master ? m_session : m_userList;
        if (index < 0 || size_t(index) >= bank.size())
            return KEL_ERROR(kelstr_CAudioParamRegistry_acquirePreset_PresetIndexError, num(index));
        before = bank.preset(size_t(index)).name();
    }
    KEL_TRY(setPresetName(index, full));
    pushUndo(std::make_unique<CRenameEntry>(this, index, before, full));
    return {};
}

CError CAudioParamRegistry::setPresetName(int index, const CString& fullName) {
    std::vector<CAudioParam*> changed;
    CAudioPresetBank list;
    {
        plat::CLock lock(m_lock);
        CAudioPresetBank& bank = m_master ? m_session : m_userList;
        if (index < 0 || size_t(index) >= bank.size())
            return KEL_ERROR(kelstr_CAudioParamRegistry_acquirePreset_PresetIndexError, num(index));
        bank.preset(size_t(index)).setName(fullName);
        // The current program's name is also the current preset name.
        if (m_master && index == m_current) {
            CAudioPreset named(fullName);
            applyPresetName(named, kAllGroups, &changed);
        }
        if (!m_master) list = m_userList;
    }
    informChanged(changed);
    if (m_master) {
        (void)notify("program-changed");
        return {};
    }
    KEL_TRY(AudioPresetStore::write(m_listRef, list, this));
    if (m_enumerated) publishStateNames();
    (void)notify("registry-changed");
    return {};
}

// --- The user list ----------------------------------------------------------------------------

CError CAudioParamRegistry::setUserList(const CAudioPresetBank& list) {
    {
        plat::CLock lock(m_lock);
        m_userList = list;
    }
    KEL_TRY(AudioPresetStore::write(m_listRef, list, this));
    if (m_enumerated) publishStateNames();
    (void)notify("registry-changed");
    return {};
}

CError CAudioParamRegistry::reloadUserList() {
    CAudioPresetBank list;
    KEL_TRY(AudioPresetStore::read(m_listRef, &list));
    {
        plat::CLock lock(m_lock);
        m_userList = std::move(list);
    }
    if (m_enumerated) publishStateNames();
    (void)notify("registry-changed");
    return {};
}

void CAudioParamRegistry::appDataChanged(CAppData& store, const CString& itemName) {
    if (&store != m_listRef.store || !(itemName == m_listRef.item)) return;
    if (CError e = reloadUserList()) kelLogError(e);
}

CAudioStateNames CAudioParamRegistry::presetStateNames() {
    plat::CLock lock(m_lock);
    CAudioStateNames names;
    for (const CAudioPreset& p : m_userList.presets()) {
        const CString n = p.displayName();
        names.push_back({n, n});
    }
    return names;
}

void CAudioParamRegistry::publishStateNames() {
    if (!m_collector) return;
    const CAudioStateNames names = presetStateNames();
    for (CAudioParam* p : m_collector->paramsWithPrefix(CString()))
        if (p->info().stateNamesRef() == m_storeName) p->info().setStateNames(names);
}
