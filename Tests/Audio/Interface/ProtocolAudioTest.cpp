// Audio part of the interface protocol, the connectors' own failures, and
// damaged messages in both directions.
#include "Tests/Audio/Interface/ProtocolFixture.h"

namespace {
// Every strict prefix of a message and the message with one byte more.
std::vector<std::vector<uint8_t>> damaged(const std::vector<uint8_t>& m) {
    std::vector<std::vector<uint8_t>> out;
    for (size_t n = 0; n < m.size(); ++n) out.emplace_back(m.begin(), m.begin() + long(n));
    out.push_back(m);
    out.back().push_back(0);
    return out;
}
}  // namespace

TEST_F(ProtocolTest, AudioFactsReachEveryClientAndAnswerRequests) {
    Editor& a = openEditor();
    Editor& b = openEditor();
    ASSERT_TRUE(m_base->sendInternalChannelCount(8).ok());
    ASSERT_TRUE(m_base->sendGroupCount(4).ok());
    ASSERT_TRUE(m_base->sendIoChannelCounts(2, 1, 6).ok());
    ASSERT_TRUE(m_base->sendSampleRate(96000.0, 123).ok());
    ASSERT_TRUE(m_base->sendStartViz().ok());
    pump();
    for (Editor* e : {&a, &b}) {
        EXPECT_EQ(e->client->internalChannelCount(), 8);
        EXPECT_EQ(e->client->groupCount(), 4);
        EXPECT_EQ(e->client->inputChannelCount(), 2);
        EXPECT_EQ(e->client->sidechainChannelCount(), 1);
        EXPECT_EQ(e->client->outputChannelCount(), 6);
        EXPECT_DOUBLE_EQ(e->client->sampleRate(), 96000.0);
        EXPECT_EQ(e->client->latency(), 123);
        EXPECT_TRUE(e->client->isVizActive());
    }
    ASSERT_TRUE(m_base->sendStopViz().ok());
    ASSERT_TRUE(m_base->sendClearClient().ok());
    pump();
    EXPECT_FALSE(b.client->isVizActive());
    EXPECT_EQ(b.events->count("clear-client"), 1);

    // A request is answered to the requesting connection only.
    const Editor* editors[] = {&a, &b};
    for (const char* event : {"update-group-count", "update-internal-channel-count", "update-io-channel-counts",
                              "update-sample-rate"})
        for (const Editor* e : editors) EXPECT_EQ(e->events->count(event), 1) << event;
    ASSERT_TRUE(a.client->requestGroupCount().ok());
    ASSERT_TRUE(a.client->requestInternalChannelCount().ok());
    ASSERT_TRUE(a.client->requestIoChannelCounts().ok());
    ASSERT_TRUE(a.client->requestSampleRate().ok());
    pump();
    for (const char* event : {"update-group-count", "update-internal-channel-count", "update-io-channel-counts",
                              "update-sample-rate"}) {
        EXPECT_EQ(a.events->count(event), 2) << event;
        EXPECT_EQ(b.events->count(event), 1) << event;
    }
}

TEST_F(ProtocolTest, VizListenersDriveTheEnableParameterAndReceiveData) {
    CAudioVizDataInfo info;
    info.name = "plugin.modMain.modMeterOut";
    info.kind = EVizKind::Meter;
    info.channelFields = {"rms", "peak"};
    CAudioVizLaneHandle lane;
    ASSERT_TRUE(m_viz->registerSource(info, 0, &lane).ok());
    m_viz->allocateLane(*lane.get(), 2);
    Editor& a = openEditor();
    Editor& b = openEditor();
    uint32_t va = 0, vb = 0;
    ASSERT_TRUE(a.client->listenViz(info.name, 0, &va).ok());
    ASSERT_TRUE(b.client->listenViz(info.name, 0, &vb).ok());
    EXPECT_DOUBLE_EQ(m_meterEnable->value(0, 0), 1.0);

    double* frame = lane.get()->staging();
    for (int i = 0; i < 4; ++i) frame[i] = 0.25 * (i + 1);
    lane.get()->publish(2);
    ASSERT_TRUE(a.client->requestVizData(va).ok());
    pump();
    const auto* v = a.client->viz(va);
    ASSERT_EQ(v->updates, 1u);
    EXPECT_FALSE(v->data.empty());
    EXPECT_EQ(b.client->viz(vb)->updates, 0u);
    // Nothing new: nothing is sent.
    ASSERT_TRUE(a.client->requestVizData(va).ok());
    pump();
    EXPECT_EQ(a.client->viz(va)->updates, 1u);
    // "clear-client" empties the data, not the subscription.
    ASSERT_TRUE(m_base->sendClearClient().ok());
    pump();
    EXPECT_TRUE(a.client->viz(va)->data.empty());
    EXPECT_NE(a.client->viz(va), nullptr);

    // One listener leaving keeps the tap on; the connection of the other
    // closing turns it off.
    ASSERT_TRUE(a.client->unlistenViz(va).ok());
    EXPECT_DOUBLE_EQ(m_meterEnable->value(0, 0), 1.0);
    EXPECT_FALSE(a.client->unlistenViz(va).ok());
    closeEditor(b);
    EXPECT_DOUBLE_EQ(m_meterEnable->value(0, 0), 0.0);

    // Export slot names: one string per slot.
    ASSERT_TRUE(m_viz->slotManager().assign(0, 1, 3));
    ASSERT_TRUE(a.client->requestExportSlotNames().ok());
    pump();
    ASSERT_EQ(a.client->exportSlotNames().size(), 8u);
    EXPECT_EQ(a.client->exportSlotNames()[0].utf8(), "MASTER BUS: 1 (Side)|color=3");
    EXPECT_TRUE(a.client->exportSlotNames()[1].empty());
}

TEST_F(ProtocolTest, ConnectorsWithoutTheirEndRefuse) {
    Editor& a = openEditor();
    std::vector<uint8_t> transport;
    CParamMessage m(ParamMsg::kRequestGroupCount);
    m.u32(a.client->wireId(0));
    std::vector<uint8_t> message;
    ASSERT_TRUE(m.finish(&message).ok());
    ASSERT_TRUE(ParamTransport::wrap(ParamMsg::kProcessBaseData, a.connector->clientId(), message, &transport).ok());
    ASSERT_TRUE(m_baseConnector->processClientData(transport).ok());
    // A transport of another connection number, or of the wrong kind.
    std::vector<uint8_t> stranger;
    ASSERT_TRUE(ParamTransport::wrap(ParamMsg::kProcessBaseData, 999, message, &stranger).ok());
    EXPECT_EQ(m_baseConnector->processClientData(stranger).message().utf8(), "Unknown client connection 999.");
    std::vector<uint8_t> proxy;
    ASSERT_TRUE(ParamTransport::wrap(ParamMsg::kProcessBaseDataProxy, a.connector->clientId(), message, &proxy).ok());
    EXPECT_FALSE(m_baseConnector->processClientData(proxy).ok());

    m_base->setConnector(nullptr);
    EXPECT_EQ(m_baseConnector->processClientData(transport).message().utf8(), "No base object defined.");
    m_base->setConnector(m_baseConnector);

    a.client->setConnector(nullptr);
    EXPECT_EQ(a.connector->onProcessBaseData(proxy).message().utf8(), "No client object defined.");
    a.client->setConnector(a.connector);
    EXPECT_TRUE(a.connector->onProcessBaseData(proxy).ok() == false);  // a request is no base message
}

TEST_F(ProtocolTest, DamagedClientMessagesAreRefusedWithoutEffect) {
    Editor& a = openEditor();
    Editor& b = openEditor();
    uint32_t gain = 0, reg = 0, viz = 0;
    ASSERT_TRUE(a.client->listenParam("plugin.modMain.modTamblor.ingain", &gain).ok());
    ASSERT_TRUE(a.client->listenRegistry("param-registry", &reg).ok());
    pump();
    // Genuine messages, as the client writes them (each takes effect once here).
    CAudioParamStorage values(m_ingain->storage());
    values.setValue(0, 0, 0, 2.0);
    const uint32_t u = a.client->newUndoId();
    ASSERT_TRUE(a.client->createUndoData(u, "Gain", gain).ok());
    ASSERT_TRUE(a.client->changeParam(gain, values).ok());
    ASSERT_TRUE(a.client->changeParam(gain, values, 3).ok());
    ASSERT_TRUE(a.client->resetParam(gain, 1, 0, 1).ok());
    ASSERT_TRUE(a.client->submitUndoData(u, "Gain change").ok());
    ASSERT_TRUE(a.client->setUndoHistoryPos(1).ok());
    ASSERT_TRUE(a.client->activatePreset(reg, ingainPreset("v87u:P", 3.0)).ok());
    ASSERT_TRUE(a.client->renamePreset(reg, 1, "Renamed").ok());
    ASSERT_TRUE(a.client->setDefaultPreset(reg, ingainPreset("v87u:D", 0.5)).ok());
    ASSERT_TRUE(a.client->listenViz("plugin.modMain.modMeterOut", 1, &viz).ok());
    ASSERT_TRUE(a.client->listenParam("plugin.modMain.modTamblor.release", &gain).ok());

    auto state = [&] {
        std::string s;
        CMemoryWriter w;
        EXPECT_TRUE(m_ingain->storage().save(w, "x").ok());
        s.assign(w.data(), w.data() + w.size());
        s += "|" + std::to_string(m_base->paramUndo()->count()) + "/" + std::to_string(m_base->paramUndo()->position());
        s += "|" + std::to_string(m_base->paramListenerCount()) + "|" + std::to_string(m_base->openUndoBrackets());
        s += "|" + m_master->programName(1).utf8() + "|" + m_master->defaultPreset().name().utf8();
        s += "|" + std::to_string(m_viz->listenerCount());
        return s;
    };
    const std::string before = state();
    const uint32_t client = a.connector->clientId();
    int tried = 0;
    for (const std::vector<uint8_t>& genuine : a.connector->sent)
        for (const std::vector<uint8_t>& bad : damaged(genuine)) {
            ++tried;
            EXPECT_FALSE(m_base->processClientMessage(client, bad).ok());
        }
    EXPECT_GT(tried, 500);
    EXPECT_EQ(state(), before);

    // Ids of another connection, unknown names and groups out of range.
    CParamMessage foreign(ParamMsg::kListenParam);
    foreign.str("plugin.modMain.modTamblor.ingain").u32(b.client->wireId(9));
    CParamMessage unknownName("listen-everything");
    unknownName.u32(a.client->wireId(1));
    CParamMessage badGroup(ParamMsg::kResetParam);
    badGroup.u32(a.client->wireId(1)).u32(4096).u32(0).u32(1).u32(kParamAll);
    for (CParamMessage* m : {&foreign, &unknownName, &badGroup}) {
        std::vector<uint8_t> bytes;
        ASSERT_TRUE(m->finish(&bytes).ok());
        EXPECT_FALSE(m_base->processClientMessage(client, bytes).ok()) << m->name().utf8();
    }
    EXPECT_EQ(state(), before);
}

TEST_F(ProtocolTest, DamagedBaseMessagesAreRefusedWithoutEffect) {
    Editor& a = openEditor();
    uint32_t gain = 0, reg = 0, request = 0;
    ASSERT_TRUE(a.client->listenParam("plugin.modMain.modTamblor.ingain", &gain).ok());
    ASSERT_TRUE(a.client->listenRegistry("param-registry", &reg).ok());
    ASSERT_TRUE(a.client->requestBank(reg, true, &request).ok());
    ASSERT_TRUE(a.client->requestPreset(reg, true, 0, -1, &request).ok());
    hostWrite(m_ingain, 0, 3.0);
    m_base->flushChanges();
    ASSERT_TRUE(m_base->sendSampleRate(48000.0, 64).ok());
    ASSERT_TRUE(m_base->sendIoChannelCounts(2, 0, 2).ok());
    std::vector<std::vector<uint8_t>> genuine;
    for (const std::vector<uint8_t>& transport : m_baseConnector->takeQueued(a.connector->clientId())) {
        uint32_t client = 0;
        std::span<const uint8_t> message;
        ASSERT_TRUE(ParamTransport::unwrap(ParamMsg::kProcessBaseDataProxy, transport, &client, &message).ok());
        genuine.emplace_back(message.begin(), message.end());
    }
    ASSERT_GE(genuine.size(), 7u);

    auto state = [&] {
        const auto* p = a.client->param(gain);
        const auto* r = a.client->registry(reg);
        return std::to_string(p->known) + std::to_string(p->values != nullptr) + std::to_string(r->known) +
               std::to_string(a.client->sampleRate()) + std::to_string(a.client->outputChannelCount()) +
               std::to_string(a.events->params.size());
    };
    const std::string before = state();
    for (const std::vector<uint8_t>& m : genuine)
        for (const std::vector<uint8_t>& bad : damaged(m)) EXPECT_FALSE(a.client->processBaseMessage(bad).ok());
    EXPECT_EQ(state(), before);
    for (const std::vector<uint8_t>& m : genuine) EXPECT_TRUE(a.client->processBaseMessage(m).ok());
    EXPECT_DOUBLE_EQ(a.client->paramValue(gain, 0, 0), 3.0);
    EXPECT_TRUE(a.client->registry(reg)->known);
    EXPECT_DOUBLE_EQ(a.client->sampleRate(), 48000.0);
    CParamInterfaceClient::RegistryData d;
    EXPECT_TRUE(a.client->takeRegistryData(request, &d));
}
