// CParamInterfaceBase: the registry messages.
#include "Audio/Registry/AudioParamRegistry.h"
#include "Audio/Interface/ParamInterfaceBase.h"
#include "Core/Log.h"

namespace {
CString num(int64_t v) { return CString::number(v); }

void nameList(CParamMessage& m, const std::vector<CString>& names) {
    m.u32(uint32_t(names.size()));
    for (const CString& n : names) m.str(n);
}

std::vector<CString> displayNames(const CAudioPresetBank& bank) {
    std::vector<CString> names;
    for (const CAudioPreset& p : bank.presets()) names.push_back(p.displayName());
    return names;
}
}  // namespace

CError CParamInterfaceBase::getRegistry(uint32_t handle, CAudioParamRegistry** out) {
    plat::CLock lock(m_lock);
    auto c = m_clients.find(paramClientOf(handle));
    if (c == m_clients.end()) return KEL_ERROR(kelstr_CParamInterfaceBase_getRegistry_NoParamRegistry, num(handle));
    auto it = c->second.registries.find(handle);
    if (it == c->second.registries.end())
        return KEL_ERROR(kelstr_CParamInterfaceBase_getRegistry_NoParamRegistry, num(handle));
    if (!it->second) return KEL_ERROR(kelstr_CParamInterfaceBase_getRegistry_ParamRegistryNULL, num(handle));
    *out = it->second;
    return {};
}

CAudioParamRegistry* CParamInterfaceBase::findRegistry(const CString& name) const {
    if (name.trimmed().empty()) return nullptr;
    CObject* o = findObject(name);
    if (!o && parent()) o = parent()->findChild(name);
    return dynamic_cast<CAudioParamRegistry*>(o);
}

void CParamInterfaceBase::watchRegistry(CAudioParamRegistry* registry) {
    if (!m_watched.insert(registry).second) return;
    listenObject(registry, "program-changed", this, "on-registry-program-changed");
    listenObject(registry, "registry-changed", this, "on-registry-changed");
}

CError CParamInterfaceBase::onListenRegistry(uint32_t client, CParamMessageReader& in) {
    CString name;
    uint32_t handle = 0;
    KEL_TRY(in.str(&name));
    KEL_TRY(in.u32(&handle));
    KEL_TRY(in.end());
    KEL_TRY(checkId(client, handle));
    CAudioParamRegistry* registry = findRegistry(name);
    {
        plat::CLock lock(m_lock);
        // A name that finds nothing still takes the handle, so later messages
        // through it fail as naming no registry object.
        stateLocked(client).registries[handle] = registry;
    }
    if (!registry) return KEL_ERROR(kelstr_CParamInterfaceBase_onListenRegistry_NotFound, name);
    watchRegistry(registry);
    return sendRegistry(handle, *registry, ParamRegistry::kReasonListen);
}

CError CParamInterfaceBase::onUnlistenRegistry(uint32_t client, CParamMessageReader& in) {
    uint32_t handle = 0;
    KEL_TRY(in.u32(&handle));
    KEL_TRY(in.end());
    KEL_TRY(checkId(client, handle));
    plat::CLock lock(m_lock);
    if (!stateLocked(client).registries.erase(handle))
        return KEL_ERROR(kelstr_CParamInterfaceBase_getRegistry_NoParamRegistry, num(handle));
    return {};
}

CError CParamInterfaceBase::sendRegistry(uint32_t handle, CAudioParamRegistry& registry, uint32_t reason) {
    std::vector<CString> programs;
    for (int i = 0; i < registry.programCount(); ++i) programs.push_back(registry.programName(i));
    const uint32_t flags = (registry.isMaster() ? ParamRegistry::kMaster : 0) |
                           (registry.isEnumerated() ? ParamRegistry::kEnumerated : 0) |
                           (registry.isElementEnum() ? ParamRegistry::kElementEnum : 0) |
                           (registry.isGlobalParamStorable() ? ParamRegistry::kGlobalStorable : 0) |
                           (registry.defaultPreset().empty() ? 0 : ParamRegistry::kHasDefault);
    CParamMessage m(ParamMsg::kUpdateRegistry);
    m.u32(handle).str(registry.id()).str(registry.hierarchy()).str(registry.presetNaming());
    nameList(m, programs);
    nameList(m, displayNames(registry.factoryBank()));
    nameList(m, displayNames(registry.userList()));
    const int current = registry.currentProgram();
    m.u32(uint32_t(std::max(current, 0))).str(registry.programName(current));
    m.u32(flags).u32(reason).str(registry.defaultPreset().name());
    return sendToClient(paramClientOf(handle), m);
}

CError CParamInterfaceBase::registryEvent(const CString& sender, uint32_t reason) {
    std::vector<std::pair<uint32_t, CAudioParamRegistry*>> handles;
    std::vector<std::pair<uint32_t, CAudioParam*>> infos;
    {
        plat::CLock lock(m_lock);
        for (const auto& [client, state] : m_clients) {
            for (const auto& [handle, registry] : state.registries)
                if (registry && registry->fullName() == sender) handles.emplace_back(handle, registry);
            // State names that come from a registry's list may have changed.
            if (reason == ParamRegistry::kReasonRegistry)
                for (const auto& [id, p] : state.params)
                    if (p && !p->info().stateNamesRef().empty()) infos.emplace_back(id, p);
        }
    }
    CError err;
    for (const auto& [handle, registry] : handles)
        if (CError e = sendRegistry(handle, *registry, reason)) err = KEL_PASS(e);
    for (const auto& [id, p] : infos)
        if (CError e = sendParamInfo(paramClientOf(id), id, p)) err = KEL_PASS(e);
    return err;
}

CError CParamInterfaceBase::onRegistryMessage(uint32_t client, CParamMessageReader& in) {
    uint32_t handle = 0, a = 0, b = 0, c = 0, d = 0;
    CString text;
    CAudioPreset preset;
    KEL_TRY(in.u32(&handle));
    // Every field is read before the registry is touched.
    if (in.is(ParamMsg::kSetCurrentProgram) || in.is(ParamMsg::kActivateFactoryPreset)) {
        KEL_TRY(in.u32(&a));
    } else if (in.is(ParamMsg::kRenamePreset)) {
        KEL_TRY(in.u32(&a));
        KEL_TRY(in.str(&text));
    } else if (in.is(ParamMsg::kActivatePreset)) {
        KEL_TRY(in.u32(&a));
        KEL_TRY(preset.load(in.stream()));
    } else if (in.is(ParamMsg::kRequestPreset)) {
        KEL_TRY(in.u32(&a));
        KEL_TRY(in.u32(&b));
        KEL_TRY(in.u32(&c));
        KEL_TRY(in.u32(&d));
    } else if (in.is(ParamMsg::kRequestBank)) {
        KEL_TRY(in.u32(&a));
        KEL_TRY(in.u32(&b));
    } else if (in.is(ParamMsg::kSetDefaultPreset)) {
        KEL_TRY(preset.load(in.stream()));
    }
    KEL_TRY(in.end());
    KEL_TRY(checkId(client, handle));
    CAudioParamRegistry* registry = nullptr;
    KEL_TRY(getRegistry(handle, &registry));

    if (in.is(ParamMsg::kSetCurrentProgram)) return registry->setCurrentProgram(paramIndexOf(a));
    if (in.is(ParamMsg::kActivateFactoryPreset)) return registry->activateFactoryPreset(paramIndexOf(a));
    if (in.is(ParamMsg::kRenamePreset)) return registry->renamePreset(paramIndexOf(a), text);
    if (in.is(ParamMsg::kActivatePreset)) return registry->activatePreset(preset, paramIndexOf(a));
    if (in.is(ParamMsg::kSetDefaultPreset)) return registry->setDefaultPreset(preset);
    if (in.is(ParamMsg::kActivateDefaultPreset)) return registry->activateDefaultPreset();
    if (in.is(ParamMsg::kExchangeShadowPreset)) return registry->exchangeShadowPreset();
    if (in.is(ParamMsg::kUpdateShadowPreset)) return registry->updateShadowPreset();
    // request-preset: request id, factory flag, index, group; request-bank:
    // request id, factory flag. A registry error sends nothing.
    const bool bank = in.is(ParamMsg::kRequestBank);
    CParamMessage m(ParamMsg::kRegistryData);
    m.u32(handle).u32(a).u32((b ? ParamRegistry::kDataFactory : 0) | (bank ? ParamRegistry::kDataBank : 0));
    m.block([&](COutputStream& out) {
        return bank ? registry->acquireBank(b != 0, out)
                    : registry->acquirePreset(b != 0, paramIndexOf(c), paramIndexOf(d), out);
    });
    return sendToClient(client, m);
}
