// CAudioParamRegistry: attributes, managed parameters, capturing and
// activating presets, undo. Banks, programs and the user list are in
// AudioParamRegistryBanks.cpp.
#include "Audio/Registry/AudioParamRegistry.h"

#include <algorithm>

#include "Audio/Params/AudioParamChangeSet.h"
#include "Audio/Params/AudioParamCollector.h"
#include "Core/Log.h"
#include "Core/MemoryReader.h"
#include "Core/MemoryWriter.h"

CAudioParamRegistry::CAudioParamRegistry() = default;

// --- Attributes -------------------------------------------------------------------------------

bool CAudioParamRegistry::parseRemap(const CString& text, CString* from, CString* to) {
    const size_t eq = text.find(u'=');
    if (eq == CString::npos || text.find(u'=', eq + 1) != CString::npos) return false;
    CString a = text.substr(0, eq).trimmed(), b = text.substr(eq + 1).trimmed();
    if (a.empty() || b.empty() || a.find(u' ') != CString::npos || b.find(u' ') != CString::npos) return false;
    *from = a;
    *to = b;
    return true;
}

CError CAudioParamRegistry::init() {
    KEL_TRY(CObject::init());
    m_id = attr("id").trimmed();
    if (m_id.empty()) return KEL_ERROR(kelstr_CAudioParamRegistry_init_NoId);
    m_hierarchy = attr("hierarchy").trimmed();
    if (m_hierarchy.empty()) return KEL_ERROR(kelstr_CAudioParamRegistry_init_NoHierarchy);
    m_master = attrBool("is-master", false);
    m_storeName = attr("store-name").trimmed();
    m_naming = attr("preset-naming");
    m_presetNameParam = attr("preset-name-param").trimmed();
    m_groupNamesParam = attr("group-names-param").trimmed();
    m_enumerated = attrBool("is-enumerated", false);
    m_elementEnum = attrBool("is-element-enum", false);
    m_globalStorable = attrBool("is-global-param-storable", false);
    const CString remap = attr("def-name-remap");
    m_remapFrom = m_remapTo = CString();
    if (!remap.trimmed().empty() && !parseRemap(remap, &m_remapFrom, &m_remapTo))
        return KEL_ERROR(kelstr_CAudioParamRegistry_init_InvalidRemap, remap);
    return {};
}

CError CAudioParamRegistry::initLinks() {
    KEL_TRY(CObject::initLinks());
    KEL_TRY(findObjectByAttr<CAudioParamCollector>("param-collector", &m_collector));
    return {};
}

namespace {
// Replaces a leading dotted prefix "from" of name by "to".
CString replacePrefix(const CString& name, const CString& from, const CString& to) {
    if (from.empty() || !name.startsWith(from)) return name;
    if (name.length() > from.length() && name.at(from.length()) != u'.') return name;
    return to + name.substr(from.length());
}

CString num(int64_t v) { return CString::number(v); }
}  // namespace

CString CAudioParamRegistry::toDefinitionName(const CString& instanceName) const {
    return replacePrefix(instanceName, m_remapFrom, m_remapTo);
}

CString CAudioParamRegistry::toInstanceName(const CString& definitionName) const {
    return replacePrefix(definitionName, m_remapTo, m_remapFrom);
}

// --- Managed parameters -----------------------------------------------------------------------

CError CAudioParamRegistry::bindParams() {
    if (!m_collector) KEL_TRY(findObjectByAttr<CAudioParamCollector>("param-collector", &m_collector));
    const CString prefix = m_hierarchy + CString(".");
    std::vector<Managed> params;
    for (CAudioParam* p : m_collector->paramsWithPrefix(prefix)) {
        Managed m;
        m.shortName = p->fullName().substr(prefix.length());
        m.sortKey = m.shortName.utf8();
        m.param = p;
        params.push_back(std::move(m));
    }
    std::sort(params.begin(), params.end(), [](const Managed& a, const Managed& b) { return a.sortKey < b.sortKey; });
    {
        plat::CLock lock(m_lock);
        m_params = std::move(params);
        m_bound = true;
    }
    if (m_enumerated) publishStateNames();
    return {};
}

void CAudioParamRegistry::ensureBound() {
    if (m_bound) return;
    if (CError e = bindParams()) kelLogError(e);
}

size_t CAudioParamRegistry::paramCount() {
    ensureBound();
    return m_params.size();
}

CAudioParam* CAudioParamRegistry::param(size_t i) {
    ensureBound();
    return i < m_params.size() ? m_params[i].param : nullptr;
}

CString CAudioParamRegistry::shortName(size_t i) {
    ensureBound();
    return i < m_params.size() ? m_params[i].shortName : CString();
}

CAudioParam* CAudioParamRegistry::findParam(const CString& shortName) {
    ensureBound();
    return findBound(shortName);
}

CAudioParam* CAudioParamRegistry::findBound(const CString& shortName) const {
    const std::string key = shortName.utf8();
    auto it = std::lower_bound(m_params.begin(), m_params.end(), key,
                               [](const Managed& m, const std::string& k) { return m.sortKey < k; });
    return it != m_params.end() && it->sortKey == key ? it->param : nullptr;
}

CAudioParam* CAudioParamRegistry::paramByFullName(const CString& fullName) const {
    return fullName.empty() || !m_collector ? nullptr : m_collector->findParam(fullName);
}

bool CAudioParamRegistry::isCaptured(const CAudioParam& p) const {
    const CAudioParamInfo& i = p.info();
    return i.isStorable() || i.isPersistent() || (m_globalStorable && i.isGlobal());
}

CString CAudioParamRegistry::groupName(int g) {
    CAudioParam* p = paramByFullName(m_groupNamesParam);
    if (p && p->info().dataType() == EAudioParamDataType::Text) return p->storage().text(0, uint32_t(std::max(g, 0)));
    return num(g + 1);
}

// --- Capturing --------------------------------------------------------------------------------

CString CAudioParamRegistry::fullPresetName(const CString& name) const { return m_id + CString(":") + name; }

CString CAudioParamRegistry::presetNameFor(int group) {
    if (m_master) return m_session.empty() ? fullPresetName("Default") : m_session.preset(size_t(m_current)).name();
    CAudioParam* p = paramByFullName(m_presetNameParam);
    if (!p) return fullPresetName("Default");
    const uint32_t g = uint32_t(std::max(group, 0));
    if (p->info().dataType() == EAudioParamDataType::Text) return fullPresetName(p->storage().text(g, 0));
    return fullPresetName(p->info().valueToText(0, kelMainParamValue(*p, g, 0)));
}

CError CAudioParamRegistry::captureLocked(int group, CAudioPreset* out, std::span<CAudioParam* const> only) {
    CAudioPreset preset(presetNameFor(group));
    for (const Managed& m : m_params) {
        if (only.empty() ? !isCaptured(*m.param) : std::find(only.begin(), only.end(), m.param) == only.end())
            continue;
        const CAudioParamStorage values = kelMainParamSnapshot(*m.param);
        if (group >= 0 && !values.holdsGroup(uint32_t(group))) continue;
        CMemoryWriter w;
        KEL_TRY(values.save(w, toDefinitionName(m.param->fullName()), group));
        preset.addRecord({m.shortName, w.take()});
    }
    *out = std::move(preset);
    return {};
}

CError CAudioParamRegistry::captureState(int group, CAudioPreset* out) {
    ensureBound();
    plat::CLock lock(m_lock);
    return captureLocked(group, out);
}

CError CAudioParamRegistry::captureParams(std::span<CAudioParam* const> params, int group, CAudioPreset* out) {
    ensureBound();
    plat::CLock lock(m_lock);
    if (params.empty()) {
        *out = CAudioPreset(presetNameFor(group));
        return {};
    }
    return captureLocked(group, out, params);
}

// --- Applying ---------------------------------------------------------------------------------

CError CAudioParamRegistry::applyLocked(const CAudioPreset& preset, int group, std::vector<CAudioParam*>* changed) {
    struct Staged {
        CAudioParam* param;
        CAudioParamStorage values;
    };
    // Every record is read before anything is written.
    std::vector<Staged> staged;
    for (const CAudioPresetRecord& r : preset.records()) {
        CAudioParam* p = findBound(r.shortName);
        if (!p) {
            kelLogf("Preset '%s': parameter '%s' is not managed by registry '%s'.", preset.name().utf8().c_str(),
                    r.shortName.utf8().c_str(), m_id.utf8().c_str());
            continue;
        }
        Staged s{p, kelMainParamSnapshot(*p)};
        CMemoryReader in(r.data.data(), r.data.size());
        if (CError e = s.values.load(in, nullptr, group)) {
            e.appendLine(formatMessage(kelstr_CAudioParamRegistry_activatePreset_InvalidRecord,
                                       {r.shortName, preset.name()}));
            return KEL_PASS(e);
        }
        if (in.remaining())
            return KEL_ERROR(kelstr_CAudioParamRegistry_activatePreset_InvalidRecord, r.shortName, preset.name());
        staged.push_back(std::move(s));
    }
    CAudioParamWrites writes;
    for (const Staged& s : staged) writes.assign(*s.param, s.values);
    *changed = writes.commit();
    return {};
}

void CAudioParamRegistry::applyPresetName(const CAudioPreset& preset, int group, std::vector<CAudioParam*>* changed) {
    CAudioParam* p = paramByFullName(m_presetNameParam);
    if (!p || p->info().dataType() != EAudioParamDataType::Text) return;
    const CString prefix = m_hierarchy + CString(".");
    if (p->fullName().startsWith(prefix) && preset.find(p->fullName().substr(prefix.length()))) return;
    CAudioParamStorage values = kelMainParamSnapshot(*p);
    values.setText(uint32_t(std::max(group, 0)), 0, preset.displayName());
    CAudioParamWrites writes;
    writes.assign(*p, values);
    for (CAudioParam* c : writes.commit())
        if (std::find(changed->begin(), changed->end(), c) == changed->end()) changed->push_back(c);
}

CString CAudioParamRegistry::presetDisplayText(int index, int group) {
    CAudioParam* p = paramByFullName(m_presetNameParam);
    if (p && p->info().dataType() == EAudioParamDataType::Text) return p->storage().text(uint32_t(std::max(group, 0)), 0);
    return num(index + 1);
}

void CAudioParamRegistry::pushUndo(std::unique_ptr<CAudioParamUndoEntry> entry) {
    const CString path = attr("param-undo").trimmed();
    auto* owner = path.empty() ? nullptr : dynamic_cast<CAudioParamUndoOwner*>(findObject(path));
    CAudioParamUndo* undo = owner ? owner->paramUndo() : nullptr;
    if (undo) undo->push(std::move(entry));  // without an owner the entry is discarded
}

void CAudioParamRegistry::informChanged(const std::vector<CAudioParam*>& changed) {
    if (!m_collector) return;
    for (CAudioParam* p : changed) m_collector->notifyChanged(*p);
}

CError CAudioParamRegistry::activateWithUndo(const CAudioPreset& preset, int group, const CString& undoText,
                                             int textIndex, bool renameCurrent) {
    ensureBound();
    std::vector<CAudioParam*> changed;
    bool renamed = false;
    {
        plat::CLock lock(m_lock);
        CAudioPreset before, after;
        KEL_TRY(captureLocked(group, &before));
        KEL_TRY(applyLocked(preset, group, &changed));
        applyPresetName(preset, group, &changed);
        if (renameCurrent && m_master && !m_session.empty() &&
            !(m_session.preset(size_t(m_current)).name() == preset.name())) {
            m_session.preset(size_t(m_current)).setName(preset.name());
            renamed = true;
        }
        KEL_TRY(captureLocked(group, &after));
        CString text = undoText;
        if (text.empty()) {
            text = m_naming + CString(" activate");
            if (textIndex >= 0) text += CString(" (") + presetDisplayText(textIndex, group) + CString(")");
        }
        pushUndo(std::make_unique<CAudioParamUndoState>(text, this, group, std::move(before), std::move(after)));
    }
    informChanged(changed);
    if (renamed) (void)notify("program-changed");
    return {};
}

CError CAudioParamRegistry::activatePreset(const CAudioPreset& preset, int index, int group) {
    if (!(preset.registryId() == m_id)) return KEL_ERROR(kelstr_CAudioParamRegistry_activatePreset_IncompatiblePreset);
    return activateWithUndo(preset, group, CString(), index, index < 0);
}

CError CAudioParamRegistry::loadPreset(CInputStream& in) {
    CAudioPreset preset;
    KEL_TRY(preset.load(in));
    return activatePreset(preset, -1, kAllGroups);
}

CError CAudioParamRegistry::activateFactoryPreset(int index) {
    if (!m_master) return KEL_ERROR(kelstr_CAudioParamRegistry_activateFactoryPreset_NonMasterRegistry);
    CAudioPreset preset;
    {
        plat::CLock lock(m_lock);
        if (index < 0 || size_t(index) >= m_factory.size())
            return KEL_ERROR(kelstr_CAudioParamRegistry_acquirePreset_PresetIndexError, num(index));
        preset = m_factory.preset(size_t(index));
    }
    return activateWithUndo(preset, kAllGroups, "ROM preset activate", -1, true);
}

CError CAudioParamRegistry::activateDefaultPreset() {
    const CString text = m_master ? CString("Master reset") : m_naming + CString(" reset");
    if (!m_default.empty()) {
        const CAudioPreset preset = m_default;
        return activateWithUndo(preset, kAllGroups, text, -1, false);
    }
    // No default preset: every captured parameter takes its defaults.
    ensureBound();
    std::vector<CAudioParam*> changed;
    {
        plat::CLock lock(m_lock);
        CAudioPreset before, after;
        KEL_TRY(captureLocked(kAllGroups, &before));
        CAudioParamWrites writes;
        for (const Managed& m : m_params) {
            if (!isCaptured(*m.param)) continue;
            CAudioParamStorage defaults(&m.param->info(), m.param->storage().groupCount());
            writes.assign(*m.param, defaults);
        }
        changed = writes.commit();
        KEL_TRY(captureLocked(kAllGroups, &after));
        pushUndo(std::make_unique<CAudioParamUndoState>(text, this, kAllGroups, std::move(before), std::move(after)));
    }
    informChanged(changed);
    return {};
}

CError CAudioParamRegistry::setDefaultPreset(const CAudioPreset& preset) {
    if (!(preset.registryId() == m_id)) return KEL_ERROR(kelstr_CAudioParamRegistry_activatePreset_IncompatiblePreset);
    {
        plat::CLock lock(m_lock);
        m_default = preset;
    }
    (void)notify("registry-changed");
    return {};
}

CError CAudioParamRegistry::exchangeShadowPreset() {
    CAudioPreset current, shadow;
    KEL_TRY(captureState(kAllGroups, &current));
    {
        plat::CLock lock(m_lock);
        shadow = m_shadow;
        if (shadow.empty()) {
            // The first exchange starts the other state as a copy of this one.
            m_shadow = std::move(current);
            return {};
        }
    }
    KEL_TRY(activateWithUndo(shadow, kAllGroups, m_naming + CString(" exchange"), -1, false));
    plat::CLock lock(m_lock);
    m_shadow = std::move(current);
    return {};
}

CError CAudioParamRegistry::updateShadowPreset() {
    CAudioPreset current;
    KEL_TRY(captureState(kAllGroups, &current));
    plat::CLock lock(m_lock);
    m_shadow = std::move(current);
    return {};
}

CError CAudioParamRegistry::applyState(const CAudioPreset& state, int group) {
    ensureBound();
    std::vector<CAudioParam*> changed;
    {
        plat::CLock lock(m_lock);
        KEL_TRY(applyLocked(state, group, &changed));
    }
    informChanged(changed);
    return {};
}

// --- Acquiring --------------------------------------------------------------------------------

void CAudioParamRegistry::refreshCurrentLocked() {
    if (!m_master || m_session.empty()) return;
    CAudioPreset now;
    if (CError e = captureLocked(kAllGroups, &now)) {
        kelLogError(e);
        return;
    }
    m_session.preset(size_t(m_current)) = std::move(now);
}

CError CAudioParamRegistry::acquirePreset(bool factory, int index, int group, CAudioPreset* out) {
    ensureBound();
    plat::CLock lock(m_lock);
    if (!m_master) return captureLocked(group, out);
    const CAudioPresetBank& bank = factory ? m_factory : m_session;
    if (!factory && index == -1) index = m_current;
    if (index < 0 || size_t(index) >= bank.size())
        return KEL_ERROR(kelstr_CAudioParamRegistry_acquirePreset_PresetIndexError, num(index));
    if (factory) {
        *out = bank.preset(size_t(index));
        return {};
    }
    if (index == m_current) {
        refreshCurrentLocked();
        if (group >= 0) return captureLocked(group, out);
    }
    *out = bank.preset(size_t(index));
    return {};
}

CError CAudioParamRegistry::acquirePreset(bool factory, int index, int group, COutputStream& out) {
    CAudioPreset preset;
    KEL_TRY(acquirePreset(factory, index, group, &preset));
    return preset.save(out);
}

CError CAudioParamRegistry::acquireBank(bool factory, COutputStream& out) {
    if (!m_master) return KEL_ERROR(kelstr_CAudioParamRegistry_acquireBank_NonMasterRegistry);
    ensureBound();
    CAudioPresetBank bank;
    {
        plat::CLock lock(m_lock);
        if (!factory) refreshCurrentLocked();
        bank = factory ? m_factory : m_session;
    }
    return bank.save(out);
}
