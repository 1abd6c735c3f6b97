#include "Audio/Interface/AudioInterfaceBase.h"

#include <algorithm>

#include "Audio/Viz/AudioVizCollector.h"
#include "Core/Log.h"

namespace {
uint32_t count(int v) { return uint32_t(std::max(v, 0)); }
}  // namespace

CError CAudioInterfaceBase::initLinks() {
    KEL_TRY(CParamInterfaceBase::initLinks());
    if (!attr("viz-collector").trimmed().empty()) KEL_TRY(findObjectByAttr<CAudioVizCollector>("viz-collector", &m_viz));
    return {};
}

bool CAudioInterfaceBase::handleMessage(uint32_t client, CParamMessageReader& in, CError* err) {
    using Handler = CError (CAudioInterfaceBase::*)(uint32_t, CParamMessageReader&);
    static const std::pair<std::string_view, Handler> kHandlers[] = {
        {ParamMsg::kListenViz, &CAudioInterfaceBase::onListenViz},
        {ParamMsg::kUnlistenViz, &CAudioInterfaceBase::onUnlistenViz},
        {ParamMsg::kRequestVizData, &CAudioInterfaceBase::onRequestVizData},
        {ParamMsg::kRequestExportSlotNames, &CAudioInterfaceBase::onRequest},
        {ParamMsg::kRequestInternalChannelCount, &CAudioInterfaceBase::onRequest},
        {ParamMsg::kRequestGroupCount, &CAudioInterfaceBase::onRequest},
        {ParamMsg::kRequestIoChannelCounts, &CAudioInterfaceBase::onRequest},
        {ParamMsg::kRequestSampleRate, &CAudioInterfaceBase::onRequest},
    };
    for (const auto& [name, handler] : kHandlers)
        if (in.is(name)) {
            *err = (this->*handler)(client, in);
            return true;
        }
    if (in.is(ParamMsg::kImportChannelLabels)) {
        *err = in.end();
        if (err->ok()) *err = notify("import-channel-labels");
        return true;
    }
    return CParamInterfaceBase::handleMessage(client, in, err);
}

void CAudioInterfaceBase::releaseClient(uint32_t client, ClientState& state) {
    CParamInterfaceBase::releaseClient(client, state);
    if (m_viz && !state.vizListeners.empty()) m_viz->removeClient(client);
}

// --- Visualization ---------------------------------------------------------------------------------

CError CAudioInterfaceBase::onListenViz(uint32_t client, CParamMessageReader& in) {
    uint32_t id = 0, kind = 0;
    CString name;
    KEL_TRY(in.u32(&id));
    KEL_TRY(in.str(&name));
    KEL_TRY(in.u32(&kind));
    KEL_TRY(in.end());
    KEL_TRY(checkId(client, id));
    if (!m_viz) return KEL_ERROR(kelstr_CAudioInterfaceBase_noVizCollector);
    KEL_TRY(m_viz->listen(id, name, kind));
    plat::CLock lock(m_lock);
    m_clients[client].vizListeners.insert(id);
    return {};
}

CError CAudioInterfaceBase::onUnlistenViz(uint32_t client, CParamMessageReader& in) {
    uint32_t id = 0;
    KEL_TRY(in.u32(&id));
    KEL_TRY(in.end());
    KEL_TRY(checkId(client, id));
    {
        plat::CLock lock(m_lock);
        if (!m_clients[client].vizListeners.erase(id))
            return KEL_ERROR(kelstr_CAudioInterfaceBase_onViz_UnknownListener, CString::number(int64_t(id)));
    }
    if (m_viz) m_viz->unlisten(id);
    return {};
}

CError CAudioInterfaceBase::onRequestVizData(uint32_t client, CParamMessageReader& in) {
    uint32_t id = 0;
    CVizDataRequest request;
    KEL_TRY(in.u32(&id));
    KEL_TRY(request.read(in.stream()));
    KEL_TRY(in.end());
    KEL_TRY(checkId(client, id));
    if (!m_viz) return KEL_ERROR(kelstr_CAudioInterfaceBase_noVizCollector);
    bool written = false;
    CParamMessage m(ParamMsg::kVizData);
    m.block([&](COutputStream& out) { return m_viz->writeVizData(id, request, out, &written); });
    if (m.ok() && !written) return {};
    return sendToClient(client, m);
}

// --- Facts -------------------------------------------------------------------------------------------

CError CAudioInterfaceBase::onRequest(uint32_t client, CParamMessageReader& in) {
    uint32_t id = 0;
    KEL_TRY(in.u32(&id));
    KEL_TRY(in.end());
    KEL_TRY(checkId(client, id));
    if (in.is(ParamMsg::kRequestExportSlotNames)) {
        if (!m_viz) return KEL_ERROR(kelstr_CAudioInterfaceBase_noVizCollector);
        CParamMessage m(ParamMsg::kExportSlotNames);
        m.block([&](COutputStream& out) { return m_viz->writeExportSlotNames(out); });
        return sendToClient(client, m);
    }
    if (in.is(ParamMsg::kRequestInternalChannelCount)) return sendFact(ParamMsg::kUpdateInternalChannelCount, client);
    if (in.is(ParamMsg::kRequestGroupCount)) return sendFact(ParamMsg::kUpdateGroupCount, client);
    if (in.is(ParamMsg::kRequestIoChannelCounts)) return sendFact(ParamMsg::kUpdateIoChannelCounts, client);
    return sendFact(ParamMsg::kUpdateSampleRate, client);
}

CError CAudioInterfaceBase::sendFact(std::string_view name, uint32_t client) {
    Facts f;
    {
        plat::CLock lock(m_lock);
        f = m_facts;
    }
    CParamMessage m(name);
    if (name == ParamMsg::kUpdateInternalChannelCount) m.u32(f.internalChannels);
    else if (name == ParamMsg::kUpdateGroupCount) m.u32(f.groups);
    else if (name == ParamMsg::kUpdateIoChannelCounts) m.u32(f.inputs).u32(f.sidechain).u32(f.outputs);
    else m.u32(f.latency).f64(f.sampleRate);
    return client ? sendToClient(client, m) : sendToAll(m);
}

CError CAudioInterfaceBase::sendStartViz() {
    {
        plat::CLock lock(m_lock);
        m_facts.vizActive = true;
    }
    CParamMessage m(ParamMsg::kStartViz);
    return sendToAll(m);
}

CError CAudioInterfaceBase::sendStopViz() {
    {
        plat::CLock lock(m_lock);
        m_facts.vizActive = false;
    }
    CParamMessage m(ParamMsg::kStopViz);
    return sendToAll(m);
}

void CAudioInterfaceBase::welcomeClient(uint32_t client) {
    bool active = false;
    {
        plat::CLock lock(m_lock);
        active = m_facts.vizActive;
    }
    if (!active) return;
    CParamMessage m(ParamMsg::kStartViz);
    if (CError e = sendToClient(client, m)) kelLogError(e);
}

CError CAudioInterfaceBase::sendClearClient() {
    CParamMessage m(ParamMsg::kClearClient);
    return sendToAll(m);
}

CError CAudioInterfaceBase::sendInternalChannelCount(int n) {
    {
        plat::CLock lock(m_lock);
        m_facts.internalChannels = count(n);
    }
    return sendFact(ParamMsg::kUpdateInternalChannelCount, 0);
}

CError CAudioInterfaceBase::sendGroupCount(int n) {
    {
        plat::CLock lock(m_lock);
        m_facts.groups = count(n);
    }
    return sendFact(ParamMsg::kUpdateGroupCount, 0);
}

CError CAudioInterfaceBase::sendIoChannelCounts(int inputs, int sidechain, int outputs) {
    {
        plat::CLock lock(m_lock);
        m_facts.inputs = count(inputs);
        m_facts.sidechain = count(sidechain);
        m_facts.outputs = count(outputs);
    }
    return sendFact(ParamMsg::kUpdateIoChannelCounts, 0);
}

CError CAudioInterfaceBase::sendSampleRate(double sampleRate, int latency) {
    {
        plat::CLock lock(m_lock);
        m_facts.sampleRate = sampleRate;
        m_facts.latency = count(latency);
    }
    return sendFact(ParamMsg::kUpdateSampleRate, 0);
}

int CAudioInterfaceBase::internalChannelCount() const {
    plat::CLock lock(m_lock);
    return int(m_facts.internalChannels);
}

int CAudioInterfaceBase::groupCount() const {
    plat::CLock lock(m_lock);
    return int(m_facts.groups);
}

double CAudioInterfaceBase::sampleRate() const {
    plat::CLock lock(m_lock);
    return m_facts.sampleRate;
}
