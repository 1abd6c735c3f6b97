#include "Audio/Interface/ParamInterfaceClient.h"

#include "Audio/Registry/AudioPreset.h"
#include "Audio/Interface/ParamInterfaceConnector.h"
#include "Core/Log.h"

namespace {
CString num(int64_t v) { return CString::number(v); }

CError readNames(CParamMessageReader& in, std::vector<CString>* out) {
    uint32_t n = 0;
    KEL_TRY(in.u32(&n));
    std::vector<CString> names;
    for (uint32_t i = 0; i < n; ++i) {
        CString s;
        KEL_TRY(in.str(&s));  // a bogus count fails at the end of the message
        names.push_back(std::move(s));
    }
    *out = std::move(names);
    return {};
}
}  // namespace

CParamInterfaceClient::CParamInterfaceClient() = default;

CParamInterfaceClient::~CParamInterfaceClient() { setConnector(nullptr); }

CError CParamInterfaceClient::initLinks() {
    KEL_TRY(CObject::initLinks());
    if (!attr("client-connector").trimmed().empty()) {
        CParamInterfaceClientConnector* connector = nullptr;
        KEL_TRY(findObjectByAttr<CParamInterfaceClientConnector>("client-connector", &connector));
        setConnector(connector);
    }
    return {};
}

CError CParamInterfaceClient::initDone() {
    KEL_TRY(CObject::initDone());
    const CString groupNames = attr("group-names-param").trimmed();
    if (!groupNames.empty() && !m_groupNamesId) KEL_TRY(listenParam(groupNames, &m_groupNamesId));
    return {};
}

void CParamInterfaceClient::setConnector(CParamInterfaceClientConnector* connector) {
    if (connector == m_connector) return;
    CParamInterfaceClientConnector* old = m_connector;
    m_connector = connector;
    if (old && old->client() == this) old->setClient(nullptr);
    if (m_connector) m_connector->setClient(this);
    if (clientId()) onConnected();
}

uint32_t CParamInterfaceClient::clientId() const { return m_connector ? m_connector->clientId() : 0; }

void CParamInterfaceClient::onConnected() { resubscribe(); }

void CParamInterfaceClient::resubscribe() {
    for (const auto& [id, mirror] : m_params)
        if (CError e = sendListenParam(id)) kelLogError(e);
    for (const auto& [handle, mirror] : m_registries)
        if (CError e = sendListenRegistry(handle)) kelLogError(e);
}

CError CParamInterfaceClient::send(CParamMessage& m) {
    std::vector<uint8_t> bytes;
    KEL_TRY(m.finish(&bytes));
    // Not connected yet: subscriptions are sent when the connection comes.
    if (!clientId()) return {};
    KEL_TRY(m_connector->sendToBase(bytes));
    return {};
}

CError CParamInterfaceClient::allocId(uint32_t* local) {
    for (uint32_t tries = 0; tries < kParamLocalMask; ++tries) {
        m_nextId = m_nextId % kParamLocalMask + 1;
        if (m_usedIds.insert(m_nextId).second) {
            *local = m_nextId;
            return {};
        }
    }
    return KEL_ERROR(kelstr_CParamInterfaceClient_allocId_NoIds);
}

CError CParamInterfaceClient::localOf(uint32_t wire, uint32_t* local) const {
    if (paramClientOf(wire) != clientId()) return KEL_ERROR(kelstr_CParamInterfaceClient_foreignId, num(wire));
    *local = paramLocalOf(wire);
    return {};
}

void CParamInterfaceClient::notifyEvent(const char* event, CEventParams& params) {
    if (CError e = notify(event, params)) kelLogError(e);
}

// --- Parameter part ----------------------------------------------------------------------------------

CError CParamInterfaceClient::sendListenParam(uint32_t id) {
    CParamMessage m(ParamMsg::kListenParam);
    m.str(m_params[id].name).u32(wireId(id));
    return send(m);
}

CError CParamInterfaceClient::listenParam(const CString& fullName, uint32_t* id) {
    KEL_TRY(allocId(id));
    m_params[*id].name = fullName;
    return sendListenParam(*id);
}

CError CParamInterfaceClient::unlistenParam(uint32_t id) {
    if (!m_params.erase(id)) return KEL_ERROR(kelstr_CParamInterfaceClient_unknownId, num(id));
    freeId(id);
    CParamMessage m(ParamMsg::kUnlistenParam);
    m.u32(wireId(id));
    return send(m);
}

CError CParamInterfaceClient::changeParam(uint32_t id, const CAudioParamStorage& values, int group) {
    auto it = m_params.find(id);
    if (it == m_params.end()) return KEL_ERROR(kelstr_CParamInterfaceClient_unknownId, num(id));
    CParamMessage m(ParamMsg::kChangeParam);
    m.u32(wireId(id)).u32(paramFieldOf(group));
    m.block([&](COutputStream& out) { return values.save(out, it->second.name, group); });
    return send(m);
}

CError CParamInterfaceClient::resetParam(uint32_t id, int group, uint32_t firstElement, uint32_t elementCount,
                                         int component) {
    CParamMessage m(ParamMsg::kResetParam);
    m.u32(wireId(id)).u32(paramFieldOf(group)).u32(firstElement).u32(elementCount).u32(paramFieldOf(component));
    return send(m);
}

CError CParamInterfaceClient::createUndoData(uint32_t undoId, const CString& text, uint32_t paramId, int group) {
    CParamMessage m(ParamMsg::kCreateUndoData);
    m.u32(undoId).str(text).u32(wireId(paramId)).u32(paramFieldOf(group));
    return send(m);
}

CError CParamInterfaceClient::removeUndoData(uint32_t undoId) {
    CParamMessage m(ParamMsg::kRemoveUndoData);
    m.u32(undoId);
    return send(m);
}

CError CParamInterfaceClient::submitUndoData(uint32_t undoId, const CString& text) {
    CParamMessage m(ParamMsg::kSubmitUndoData);
    m.u32(undoId).str(text);
    return send(m);
}

CError CParamInterfaceClient::requestUndoHistory() {
    CParamMessage m(ParamMsg::kRequestUndoHistory);
    m.u32(wireId(0));
    return send(m);
}

CError CParamInterfaceClient::setUndoHistoryPos(uint32_t position) {
    CParamMessage m(ParamMsg::kSetUndoHistoryPos);
    m.u32(position);
    return send(m);
}

// --- Registry part -------------------------------------------------------------------------------------

CError CParamInterfaceClient::sendListenRegistry(uint32_t handle) {
    CParamMessage m(ParamMsg::kListenRegistry);
    m.str(m_registries[handle].name).u32(wireId(handle));
    return send(m);
}

CError CParamInterfaceClient::sendHandle(std::string_view name, uint32_t handle) {
    CParamMessage m(name);
    m.u32(wireId(handle));
    return send(m);
}

CError CParamInterfaceClient::listenRegistry(const CString& name, uint32_t* handle) {
    KEL_TRY(allocId(handle));
    m_registries[*handle].name = name;
    return sendListenRegistry(*handle);
}

CError CParamInterfaceClient::unlistenRegistry(uint32_t handle) {
    if (!m_registries.erase(handle)) return KEL_ERROR(kelstr_CParamInterfaceClient_unknownId, num(handle));
    freeId(handle);
    return sendHandle(ParamMsg::kUnlistenRegistry, handle);
}

CError CParamInterfaceClient::setCurrentProgram(uint32_t handle, uint32_t index) {
    CParamMessage m(ParamMsg::kSetCurrentProgram);
    m.u32(wireId(handle)).u32(index);
    return send(m);
}

CError CParamInterfaceClient::renamePreset(uint32_t handle, uint32_t index, const CString& name) {
    CParamMessage m(ParamMsg::kRenamePreset);
    m.u32(wireId(handle)).u32(index).str(name);
    return send(m);
}

CError CParamInterfaceClient::activateFactoryPreset(uint32_t handle, uint32_t index) {
    CParamMessage m(ParamMsg::kActivateFactoryPreset);
    m.u32(wireId(handle)).u32(index);
    return send(m);
}

CError CParamInterfaceClient::activatePreset(uint32_t handle, const CAudioPreset& preset, int index) {
    CParamMessage m(ParamMsg::kActivatePreset);
    m.u32(wireId(handle)).u32(paramFieldOf(index));
    m.block([&](COutputStream& out) { return preset.save(out); });
    return send(m);
}

CError CParamInterfaceClient::requestPreset(uint32_t handle, bool factory, int index, int group, uint32_t* requestId) {
    *requestId = ++m_nextRequest;
    CParamMessage m(ParamMsg::kRequestPreset);
    m.u32(wireId(handle)).u32(*requestId).u32(factory ? 1 : 0).u32(paramFieldOf(index)).u32(paramFieldOf(group));
    return send(m);
}

CError CParamInterfaceClient::requestBank(uint32_t handle, bool factory, uint32_t* requestId) {
    *requestId = ++m_nextRequest;
    CParamMessage m(ParamMsg::kRequestBank);
    m.u32(wireId(handle)).u32(*requestId).u32(factory ? 1 : 0);
    return send(m);
}

CError CParamInterfaceClient::setDefaultPreset(uint32_t handle, const CAudioPreset& preset) {
    CParamMessage m(ParamMsg::kSetDefaultPreset);
    m.u32(wireId(handle));
    m.block([&](COutputStream& out) { return preset.save(out); });
    return send(m);
}

CError CParamInterfaceClient::activateDefaultPreset(uint32_t handle) {
    return sendHandle(ParamMsg::kActivateDefaultPreset, handle);
}
CError CParamInterfaceClient::exchangeShadowPreset(uint32_t handle) {
    return sendHandle(ParamMsg::kExchangeShadowPreset, handle);
}
CError CParamInterfaceClient::updateShadowPreset(uint32_t handle) {
    return sendHandle(ParamMsg::kUpdateShadowPreset, handle);
}

// --- Mirrors ---------------------------------------------------------------------------------------------

const CParamInterfaceClient::ParamMirror* CParamInterfaceClient::param(uint32_t id) const {
    auto it = m_params.find(id);
    return it == m_params.end() ? nullptr : &it->second;
}

double CParamInterfaceClient::paramValue(uint32_t id, uint32_t g, uint32_t e, uint32_t c) const {
    const ParamMirror* m = param(id);
    return m && m->values ? m->values->value(g, e, c) : 0.0;
}

CString CParamInterfaceClient::paramText(uint32_t id, uint32_t g, uint32_t e) const {
    const ParamMirror* m = param(id);
    return m && m->values ? m->values->text(g, e) : CString();
}

const CParamInterfaceClient::RegistryMirror* CParamInterfaceClient::registry(uint32_t handle) const {
    auto it = m_registries.find(handle);
    return it == m_registries.end() ? nullptr : &it->second;
}

bool CParamInterfaceClient::takeRegistryData(uint32_t requestId, RegistryData* out) {
    auto it = m_registryData.find(requestId);
    if (it == m_registryData.end()) return false;
    *out = std::move(it->second);
    m_registryData.erase(it);
    return true;
}

CString CParamInterfaceClient::groupName(int g) const {
    CString name = m_groupNamesId ? paramText(m_groupNamesId, 0, uint32_t(std::max(g, 0))) : CString();
    return name.trimmed().empty() ? num(g + 1) : name;
}

// --- Incoming ----------------------------------------------------------------------------------------------

CError CParamInterfaceClient::processBaseMessage(std::span<const uint8_t> message) {
    CParamMessageReader in(message);
    KEL_TRY(in.readName());
    CError err;
    if (!handleMessage(in, &err))
        return KEL_ERROR(kelstr_CParamInterfaceClient_processBaseMessage_UnknownMessage, in.name());
    if (err) return KEL_PASS(err);
    return {};
}

bool CParamInterfaceClient::handleMessage(CParamMessageReader& in, CError* err) {
    using Handler = CError (CParamInterfaceClient::*)(CParamMessageReader&);
    static const std::pair<std::string_view, Handler> kHandlers[] = {
        {ParamMsg::kUpdateParam, &CParamInterfaceClient::onUpdateParam},
        {ParamMsg::kUpdateParamInfo, &CParamInterfaceClient::onUpdateParamInfo},
        {ParamMsg::kUpdateUndoHistory, &CParamInterfaceClient::onUpdateUndoHistory},
        {ParamMsg::kUpdateRegistry, &CParamInterfaceClient::onUpdateRegistry},
        {ParamMsg::kRegistryData, &CParamInterfaceClient::onRegistryData},
    };
    for (const auto& [name, handler] : kHandlers)
        if (in.is(name)) {
            *err = (this->*handler)(in);
            return true;
        }
    return false;
}

CError CParamInterfaceClient::onUpdateParam(CParamMessageReader& in) {
    uint32_t wire = 0, id = 0;
    KEL_TRY(in.u32(&wire));
    KEL_TRY(localOf(wire, &id));
    auto it = m_params.find(id);
    // A parameter unlistened meanwhile: its late values are of no interest.
    if (it == m_params.end()) return {};
    ParamMirror& mirror = it->second;
    if (!mirror.values) return KEL_ERROR(kelstr_CParamInterfaceClient_onUpdateParam_NoInfo, num(id));
    CAudioParamStorage values(*mirror.values);
    KEL_TRY(values.load(in.stream()));
    KEL_TRY(in.end());
    mirror.values->assign(values);
    CEventParams p{{"param-id", num(id)}, {"param-name", mirror.name}};
    notifyEvent("update-param", p);
    return {};
}

CError CParamInterfaceClient::onUpdateParamInfo(CParamMessageReader& in) {
    uint32_t wire = 0, id = 0, hasInfo = 0, hasValues = 0;
    KEL_TRY(in.u32(&wire));
    KEL_TRY(localOf(wire, &id));
    auto info = std::make_unique<CAudioParamInfo>();
    KEL_TRY(in.u32(&hasInfo));
    if (hasInfo) {
        // Converters resolve through this tree; without them the mirror still
        // holds the values.
        const size_t at = in.stream().position();
        if (CError e = info->load(in.stream(), this)) {
            KEL_TRY(in.stream().setPosition(at));
            KEL_TRY(info->load(in.stream(), nullptr));
        }
    }
    std::unique_ptr<CAudioParamStorage> values;
    KEL_TRY(in.u32(&hasValues));
    if (hasValues) {
        if (!hasInfo) return KEL_ERROR(kelstr_CParamInterfaceClient_onUpdateParam_NoInfo, num(id));
        values = std::make_unique<CAudioParamStorage>(info.get(), 0);
        KEL_TRY(values->load(in.stream()));
    }
    KEL_TRY(in.end());
    auto it = m_params.find(id);
    if (it == m_params.end()) return {};
    ParamMirror& mirror = it->second;
    mirror.known = hasInfo != 0;
    // The storage keeps a pointer to the information: replace both together.
    mirror.values.reset();
    mirror.info = hasInfo ? std::move(info) : nullptr;
    if (mirror.info && !values) values = std::make_unique<CAudioParamStorage>(mirror.info.get(), 1);
    mirror.values = std::move(values);
    CEventParams p{{"param-id", num(id)}, {"param-name", mirror.name}, {"is-known", mirror.known ? "true" : "false"}};
    notifyEvent("update-param-info", p);
    return {};
}

CError CParamInterfaceClient::onUpdateUndoHistory(CParamMessageReader& in) {
    UndoHistory h;
    KEL_TRY(readNames(in, &h.texts));
    KEL_TRY(in.u32(&h.position));
    KEL_TRY(in.u32(&h.request));
    KEL_TRY(in.str(&h.text));
    KEL_TRY(in.end());
    m_undo = std::move(h);
    CEventParams p;
    notifyEvent("undo-history-changed", p);
    return {};
}

CError CParamInterfaceClient::onUpdateRegistry(CParamMessageReader& in) {
    uint32_t wire = 0, handle = 0;
    RegistryMirror r;
    KEL_TRY(in.u32(&wire));
    KEL_TRY(localOf(wire, &handle));
    KEL_TRY(in.str(&r.id));
    KEL_TRY(in.str(&r.hierarchy));
    KEL_TRY(in.str(&r.presetNaming));
    KEL_TRY(readNames(in, &r.programs));
    KEL_TRY(readNames(in, &r.factoryPresets));
    KEL_TRY(readNames(in, &r.userPresets));
    KEL_TRY(in.u32(&r.currentProgram));
    KEL_TRY(in.str(&r.currentProgramName));
    KEL_TRY(in.u32(&r.flags));
    KEL_TRY(in.u32(&r.reason));
    KEL_TRY(in.str(&r.defaultPresetName));
    KEL_TRY(in.end());
    auto it = m_registries.find(handle);
    if (it == m_registries.end()) return {};
    r.name = it->second.name;
    r.known = true;
    it->second = std::move(r);
    CEventParams p{{"registry-handle", num(handle)}, {"reason", num(it->second.reason)}};
    notifyEvent("update-registry", p);
    return {};
}

CError CParamInterfaceClient::onRegistryData(CParamMessageReader& in) {
    RegistryData d;
    uint32_t wire = 0;
    KEL_TRY(in.u32(&wire));
    KEL_TRY(localOf(wire, &d.handle));
    KEL_TRY(in.u32(&d.requestId));
    KEL_TRY(in.u32(&d.flags));
    // The preset or bank must fill the rest of the message exactly.
    const std::span<const uint8_t> rest = in.rest();
    if (d.flags & ParamRegistry::kDataBank) {
        CAudioPresetBank bank;
        KEL_TRY(bank.load(in.stream()));
    } else {
        CAudioPreset preset;
        KEL_TRY(preset.load(in.stream()));
    }
    KEL_TRY(in.end());
    d.bytes.assign(rest.begin(), rest.end());
    CEventParams p{{"registry-handle", num(d.handle)}, {"request-id", num(d.requestId)}, {"flags", num(d.flags)}};
    m_registryData[d.requestId] = std::move(d);
    notifyEvent("registry-data", p);
    return {};
}
