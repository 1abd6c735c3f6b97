#include "Audio/Interface/AudioInterfaceClient.h"

#include "Core/Log.h"

namespace {
CString num(int64_t v) { return CString::number(v); }
}  // namespace

// --- Sending -----------------------------------------------------------------------------------------

CError CAudioInterfaceClient::sendListenViz(uint32_t id) {
    const VizMirror& v = m_viz[id];
    CParamMessage m(ParamMsg::kListenViz);
    m.u32(wireId(id)).str(v.name).u32(v.kind);
    return send(m);
}

CError CAudioInterfaceClient::listenViz(const CString& vizName, uint32_t kind, uint32_t* id) {
    KEL_TRY(allocId(id));
    VizMirror& v = m_viz[*id];
    v.name = vizName;
    v.kind = kind;
    return sendListenViz(*id);
}

CError CAudioInterfaceClient::unlistenViz(uint32_t id) {
    if (!m_viz.erase(id)) return KEL_ERROR(kelstr_CParamInterfaceClient_unknownId, num(id));
    freeId(id);
    CParamMessage m(ParamMsg::kUnlistenViz);
    m.u32(wireId(id));
    return send(m);
}

CError CAudioInterfaceClient::requestVizData(uint32_t id, uint32_t maxFrames, uint32_t flags) {
    CParamMessage m(ParamMsg::kRequestVizData);
    m.u32(wireId(id)).u32(maxFrames).u32(flags);
    return send(m);
}

CError CAudioInterfaceClient::sendRequest(std::string_view name) {
    CParamMessage m(name);
    m.u32(wireId(0));
    return send(m);
}

CError CAudioInterfaceClient::requestExportSlotNames() { return sendRequest(ParamMsg::kRequestExportSlotNames); }
CError CAudioInterfaceClient::requestInternalChannelCount() {
    return sendRequest(ParamMsg::kRequestInternalChannelCount);
}
CError CAudioInterfaceClient::requestGroupCount() { return sendRequest(ParamMsg::kRequestGroupCount); }
CError CAudioInterfaceClient::requestIoChannelCounts() { return sendRequest(ParamMsg::kRequestIoChannelCounts); }
CError CAudioInterfaceClient::requestSampleRate() { return sendRequest(ParamMsg::kRequestSampleRate); }

CError CAudioInterfaceClient::importChannelLabels() {
    CParamMessage m(ParamMsg::kImportChannelLabels);
    return send(m);
}

void CAudioInterfaceClient::resubscribe() {
    CParamInterfaceClient::resubscribe();
    for (const auto& [id, v] : m_viz)
        if (CError e = sendListenViz(id)) kelLogError(e);
}

const CAudioInterfaceClient::VizMirror* CAudioInterfaceClient::viz(uint32_t id) const {
    auto it = m_viz.find(id);
    return it == m_viz.end() ? nullptr : &it->second;
}

// --- Incoming ------------------------------------------------------------------------------------------

bool CAudioInterfaceClient::handleMessage(CParamMessageReader& in, CError* err) {
    if (in.is(ParamMsg::kVizData)) {
        *err = onVizData(in);
        return true;
    }
    if (in.is(ParamMsg::kExportSlotNames)) {
        *err = onExportSlotNames(in);
        return true;
    }
    if (in.is(ParamMsg::kStartViz) || in.is(ParamMsg::kStopViz) || in.is(ParamMsg::kClearClient) ||
        in.is(ParamMsg::kUpdateInternalChannelCount) || in.is(ParamMsg::kUpdateGroupCount) ||
        in.is(ParamMsg::kUpdateIoChannelCounts) || in.is(ParamMsg::kUpdateSampleRate)) {
        *err = onFact(in);
        return true;
    }
    return CParamInterfaceClient::handleMessage(in, err);
}

CError CAudioInterfaceClient::onFact(CParamMessageReader& in) {
    const std::string event = in.name().utf8();
    CEventParams p;
    if (in.is(ParamMsg::kStartViz) || in.is(ParamMsg::kStopViz)) {
        KEL_TRY(in.end());
        m_vizActive = in.is(ParamMsg::kStartViz);
    } else if (in.is(ParamMsg::kClearClient)) {
        KEL_TRY(in.end());
        for (auto& [id, v] : m_viz) v.data.clear();
    } else if (in.is(ParamMsg::kUpdateIoChannelCounts)) {
        uint32_t io[3] = {};
        for (uint32_t& v : io) KEL_TRY(in.u32(&v));
        KEL_TRY(in.end());
        for (int i = 0; i < 3; ++i) m_io[i] = int(std::min<uint32_t>(io[i], 0x7FFFFFFF));
        p.set("inputs", num(m_io[0]));
        p.set("sidechain", num(m_io[1]));
        p.set("outputs", num(m_io[2]));
    } else if (in.is(ParamMsg::kUpdateSampleRate)) {
        uint32_t latency = 0;
        double rate = 0;
        KEL_TRY(in.u32(&latency));
        KEL_TRY(in.f64(&rate));
        KEL_TRY(in.end());
        m_latency = int(std::min<uint32_t>(latency, 0x7FFFFFFF));
        m_sampleRate = rate;
        p.set("sample-rate", CString::number(rate));
        p.set("latency", num(m_latency));
    } else {
        uint32_t n = 0;
        KEL_TRY(in.u32(&n));
        KEL_TRY(in.end());
        const int count = int(std::min<uint32_t>(n, 0x7FFFFFFF));
        (in.is(ParamMsg::kUpdateGroupCount) ? m_groups : m_internalChannels) = count;
        p.set("count", num(count));
    }
    notifyEvent(event.c_str(), p);
    return {};
}

CError CAudioInterfaceClient::onVizData(CParamMessageReader& in) {
    uint32_t wire = 0, id = 0;
    CString name;
    std::span<const uint8_t> data;
    KEL_TRY(in.u32(&wire));
    KEL_TRY(in.str(&name));
    KEL_TRY(in.block(&data));
    KEL_TRY(in.end());
    KEL_TRY(localOf(wire, &id));
    auto it = m_viz.find(id);
    if (it == m_viz.end()) return {};
    it->second.data.assign(data.begin(), data.end());
    ++it->second.updates;
    CEventParams p{{"viz-id", num(id)}, {"viz-name", name}};
    notifyEvent("viz-data", p);
    return {};
}

CError CAudioInterfaceClient::onExportSlotNames(CParamMessageReader& in) {
    uint32_t n = 0;
    std::vector<CString> names;
    KEL_TRY(in.u32(&n));
    for (uint32_t i = 0; i < n; ++i) {
        CString s;
        KEL_TRY(in.str(&s));
        names.push_back(std::move(s));
    }
    KEL_TRY(in.end());
    m_slotNames = std::move(names);
    CEventParams p;
    notifyEvent("export-slot-names", p);
    return {};
}
