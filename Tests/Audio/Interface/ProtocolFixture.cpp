#include "Tests/Audio/Interface/ProtocolFixture.h"

#include <cstdio>
#include <fstream>

#include "Core/MemoryReader.h"
#include "Core/MemoryWriter.h"
#include "Platform/Thread.h"
#include "Tests/Support/PumpDeliveries.h"

std::vector<uint8_t> CSpyClientConnector::last(std::string_view name) const {
    for (auto it = sent.rbegin(); it != sent.rend(); ++it) {
        CParamMessageReader in(*it);
        if (!in.readName() && in.is(name)) return *it;
    }
    return {};
}

CEventCounter::CEventCounter() {
    static CClassRecord record("test:event-counter");
    if (!record.eventCount())
        record.addEvent("on-event", [](CObject* self, CEventParams& p) -> CError {
            auto* c = static_cast<CEventCounter*>(self);
            ++c->counts[p.get("event-name").utf8()];
            c->params.push_back(p);
            return {};
        });
    setClassRecord(&record);
}

void CEventCounter::watch(CObject* sender, std::initializer_list<const char*> events) {
    for (const char* e : events) listenObject(sender, e, this, "on-event");
}

namespace {
template <class T>
T* attach(CObject* parent, std::unique_ptr<T> child) {
    T* raw = child.get();
    parent->attachChild(std::move(child));
    return raw;
}
}  // namespace

CAudioParam* ProtocolTest::addParam(const char* fullName, Attrs attrs, uint32_t groups) {
    auto root = makeNode("core:object", "");
    root->attachChild(makeNode("audio:param", "p", attrs));
    EXPECT_TRUE(root->initTree().ok()) << fullName;
    auto* def = dynamic_cast<CAudioParamDef*>(root->child(0));
    m_params.push_back(CAudioParam::create(*def, fullName, groups));
    m_defs.push_back(std::move(root));
    CAudioParam* p = m_params.back().get();
    EXPECT_TRUE(m_collector->registerParam(p).ok());
    return p;
}

CAudioPreset ProtocolTest::ingainPreset(const char* name, double gain) {
    CAudioParamStorage values(m_ingain->storage());
    for (uint32_t g = 0; g < 8; ++g) values.setValue(g, 0, 0, gain);
    CMemoryWriter w;
    EXPECT_TRUE(values.save(w, "audio.modMain.modTamblor.ingain").ok());
    CAudioPreset preset(name);
    preset.addRecord({"modTamblor.ingain", w.take()});
    return preset;
}

void ProtocolTest::hostWrite(CAudioParam* p, uint32_t g, double v) {
    ASSERT_TRUE(kelMainParamWrite(*p, g, 0, 0, v));
    m_collector->notifyChanged(*p);
}

void ProtocolTest::SetUp() {
    ParamTest::SetUp();
    m_instance = makeNode("core:object", "");
    CObject* plugin = attach(m_instance.get(), makeNode("core:object", "plugin"));
    m_collector = attach(plugin, std::unique_ptr<CAudioParamCollector>(
                                     static_cast<CAudioParamCollector*>(createObject("audio:param-collector").release())));
    m_collector->setName("param-collector");

    const Attrs real = {{"converter", "shared::audio.paramcvt.real"}, {"min-values", "0"}, {"max-values", "4"},
                        {"def-values", "1"}, {"is-storable", "true"}};
    m_ingain = addParam("plugin.modMain.modTamblor.ingain", real);
    m_release = addParam("plugin.modMain.modTamblor.release",
                         {{"converter", "shared::audio.paramcvt.real"}, {"min-values", "0.001"}, {"max-values", "1"},
                          {"def-values", "0.01"}, {"is-storable", "true"}});
    m_instanceName = addParam("plugin.modMain.instance-name",
                              {{"data-type", "str"}, {"converter", "shared::audio.paramcvt.text"},
                               {"def-values", "MASTER BUS"}, {"is-persistent", "true"}, {"is-single-group", "true"}});
    addParam("plugin.modMain.preset-name", {{"data-type", "str"}, {"converter", "shared::audio.paramcvt.text"},
                                            {"def-values", "Default"}, {"is-single-group", "true"}});
    m_groupNames = addParam("plugin.modMain.io-params.group-names",
                            {{"data-type", "str"}, {"converter", "shared::audio.paramcvt.text"},
                             {"def-values", "Main,Side,C,D,E,F,G,H"}, {"is-storable", "true"}, {"is-single-group", "true"}});
    addParam("plugin.modMain.io-params.grouping", real);
    m_meterEnable = addParam("plugin.modMain.modMeterOut-enable",
                             {{"converter", "shared::audio.paramcvt.real"}, {"min-values", "0"}, {"max-values", "1"},
                              {"def-values", "0"}, {"is-global", "true"}, {"is-single-group", "true"}},
                             1);

    auto viz = std::make_unique<CAudioVizCollector>();
    viz->setName("viz-collector");
    viz->setParamCollector(m_collector);
    m_viz = attach(plugin, std::move(viz));

    auto base = createObject("audio:interface-base");
    base->setName("interface-base");
    for (auto [k, v] : Attrs{{"base-connector", "^interface-base-connector"}, {"undo-count-max", "32"},
                             {"param-collector", "^param-collector"}, {"viz-collector", "^viz-collector"}})
        ASSERT_TRUE(base->setAttr(k, v).ok());
    m_base = dynamic_cast<CAudioInterfaceBase*>(base.get());
    ASSERT_NE(m_base, nullptr);
    plugin->attachChild(std::move(base));
    auto connector = createObject("other:param-interface-base-connector-uni");
    connector->setName("interface-base-connector");
    m_baseConnector = dynamic_cast<CParamInterfaceUniBaseConnector*>(connector.get());
    ASSERT_NE(m_baseConnector, nullptr);
    plugin->attachChild(std::move(connector));

    // The factory bank of the master registry, as a file of this test's own:
    // the tests of this fixture run in parallel processes.
    m_bankFile = ::testing::TempDir() + "protocol_factory_" +
                 ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".cbf";
    {
        CAudioPresetBank bank("Factory ROM");
        bank.add(ingainPreset("v87u:Alpha", 0.5));
        bank.add(ingainPreset("v87u:Beta", 2.0));
        bank.add(ingainPreset("v87u:Gamma", 3.0));
        CMemoryWriter w;
        ASSERT_TRUE(bank.saveCompressed(w, kIdAbnk).ok());
        std::ofstream(m_bankFile, std::ios::binary).write(reinterpret_cast<const char*>(w.data()), std::streamsize(w.size()));
    }
    auto registry = [&](const char* name, Attrs attrs) {
        auto r = std::make_unique<CAudioParamRegistry>();
        r->setTag("audio:param-registry");
        r->setClassRecord(CreatorRegistry::findRecord("audio:param-registry"));
        r->setName(name);
        for (auto [k, v] : attrs) EXPECT_TRUE(r->setAttr(k, v).ok());
        for (auto [k, v] : Attrs{{"param-undo", "^interface-base"},
                                 {"param-collector", "^param-collector"},
                                 {"def-name-remap", "plugin=audio"},
                                 {"group-names-param", "plugin.modMain.io-params.group-names"}})
            EXPECT_TRUE(r->setAttr(k, v).ok());
        return attach(plugin, std::move(r));
    };
    m_master = registry("param-registry", {{"id", "v87u"},
                                           {"hierarchy", "plugin.modMain"},
                                           {"is-master", "true"},
                                           {"file", m_bankFile.c_str()},
                                           {"preset-name-param", "plugin.modMain.preset-name"},
                                           {"preset-naming", "Master preset"}});
    m_routing = registry("param-registry-io",
                         {{"id", "KLIO"}, {"hierarchy", "plugin.modMain.io-params"}, {"preset-naming", "Routing preset"}});
    ASSERT_TRUE(m_instance->initTree().ok());
    ASSERT_EQ(m_master->factoryBank().size(), 3u);
}

Editor& ProtocolTest::openEditor() {
    auto e = std::make_unique<Editor>();
    e->root = makeNode("core:object", "");
    EXPECT_TRUE(e->root->setAttr("BaseConnectorRootPtr", CParamInterfaceUniClientConnector::rootPointerText(m_instance.get())).ok());
    auto connector = std::make_unique<CSpyClientConnector>();
    connector->setTag("other:param-interface-client-connector-uni");
    connector->setClassRecord(CreatorRegistry::findRecord("other:param-interface-client-connector-uni"));
    connector->setName("interface-client-connector");
    for (auto [k, v] : Attrs{{"base-connector", "plugin.interface-base-connector"},
                             {"timer-tag", "ui:update-timer"},
                             {"fps", "1000"},
                             {"is-high-precision", "false"}})
        EXPECT_TRUE(connector->setAttr(k, v).ok());
    e->connector = attach(e->root.get(), std::move(connector));
    auto client = createObject("audio:interface-client");
    client->setName("interface-client");
    EXPECT_TRUE(client->setAttr("client-connector", "^interface-client-connector").ok());
    EXPECT_TRUE(client->setAttr("group-names-param", "plugin.modMain.io-params.group-names").ok());
    e->client = dynamic_cast<CAudioInterfaceClient*>(client.get());
    e->root->attachChild(std::move(client));
    EXPECT_TRUE(e->root->initTree().ok());
    e->events = std::make_unique<CEventCounter>();
    e->events->watch(e->client, {"update-param", "update-param-info", "undo-history-changed", "update-registry",
                                 "registry-data", "start-viz", "stop-viz", "clear-client", "update-group-count",
                                 "update-internal-channel-count", "update-io-channel-counts", "update-sample-rate",
                                 "viz-data", "export-slot-names"});
    m_editors.push_back(std::move(e));
    return *m_editors.back();
}

void ProtocolTest::closeEditor(Editor& e) {
    e.events.reset();
    e.root.reset();
    e.client = nullptr;
    e.connector = nullptr;
}

void ProtocolTest::pump() { pumpDeliveries(m_editors, std::chrono::seconds(5)); }

void ProtocolTest::TearDown() {
    for (auto& e : m_editors) closeEditor(*e);
    m_editors.clear();
    m_instance.reset();
    m_params.clear();
    m_defs.clear();
    std::remove(m_bankFile.c_str());
    ParamTest::TearDown();
}
