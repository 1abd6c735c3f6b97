// Registry part of the interface protocol: registry descriptions, preset
// messages with their undo texts, requests for presets and banks, and the
// registry lookup failures.
#include <functional>

#include "Tests/Audio/Interface/ProtocolFixture.h"

namespace {
std::vector<std::string> utf8(const std::vector<CString>& v) {
    std::vector<std::string> out;
    for (const CString& s : v) out.push_back(s.utf8());
    return out;
}
}  // namespace

TEST_F(ProtocolTest, ListenRegistryDescribesIt) {
    Editor& a = openEditor();
    uint32_t master = 0, routing = 0;
    ASSERT_TRUE(a.client->listenRegistry("param-registry", &master).ok());        // a sibling of the base
    ASSERT_TRUE(a.client->listenRegistry("plugin.param-registry-io", &routing).ok());  // a path
    pump();
    const auto* m = a.client->registry(master);
    ASSERT_TRUE(m->known);
    EXPECT_EQ(m->id.utf8(), "v87u");
    EXPECT_EQ(m->hierarchy.utf8(), "plugin.modMain");
    EXPECT_EQ(m->presetNaming.utf8(), "Master preset");
    EXPECT_EQ(utf8(m->factoryPresets), (std::vector<std::string>{"Alpha", "Beta", "Gamma"}));
    EXPECT_EQ(utf8(m->programs), (std::vector<std::string>{"Alpha", "Beta", "Gamma"}));
    EXPECT_EQ(m->currentProgram, 0u);
    EXPECT_EQ(m->currentProgramName.utf8(), "Alpha");
    EXPECT_EQ(m->flags, ParamRegistry::kMaster);
    EXPECT_EQ(m->reason, ParamRegistry::kReasonListen);
    const auto* r = a.client->registry(routing);
    ASSERT_TRUE(r->known);
    EXPECT_EQ(r->id.utf8(), "KLIO");
    EXPECT_EQ(r->flags, 0u);
    EXPECT_TRUE(r->programs.empty());
}

TEST_F(ProtocolTest, PresetMessagesRunInTheRegistryWithTheirUndoTexts) {
    Editor& a = openEditor();
    uint32_t h = 0;
    ASSERT_TRUE(a.client->listenRegistry("param-registry", &h).ok());
    pump();
    CParamInterfaceClient& c = *a.client;
    struct Step {
        const char* what;
        std::function<CError()> send;
        double gain;       // ingain afterwards
        const char* undo;  // text of the newest history entry ("" when none is added)
    };
    const Step steps[] = {
        {"factory preset", [&] { return c.activateFactoryPreset(h, 1); }, 2.0, "ROM preset activate"},
        {"reset", [&] { return c.activateDefaultPreset(h); }, 1.0, "Master reset"},
        {"preset", [&] { return c.activatePreset(h, ingainPreset("v87u:Mine", 0.25)); }, 0.25,
         "Master preset activate"},
        {"program", [&] { return c.setCurrentProgram(h, 2); }, 3.0, "Master preset activate (Gamma)"},
        {"rename", [&] { return c.renamePreset(h, 0, "First"); }, 3.0, "Program name change"},
        {"default preset", [&] { return c.setDefaultPreset(h, ingainPreset("v87u:Safe", 1.5)); }, 3.0, ""},
        {"reset to default", [&] { return c.activateDefaultPreset(h); }, 1.5, "Master reset"},
        {"keep shadow", [&] { return c.updateShadowPreset(h); }, 1.5, ""},
        {"host change", [&] { hostWrite(m_ingain, 0, 2.25); return CError(); }, 2.25, ""},
        {"exchange", [&] { return c.exchangeShadowPreset(h); }, 1.5, "Master preset exchange"},
    };
    CAudioParamUndo& undo = *m_base->paramUndo();
    for (const Step& s : steps) {
        SCOPED_TRACE(s.what);
        const size_t before = undo.count();
        ASSERT_TRUE(s.send().ok());
        EXPECT_DOUBLE_EQ(ingain(0), s.gain);
        if (*s.undo) {
            ASSERT_EQ(undo.count(), before + 1);
            EXPECT_EQ(undo.text(undo.count() - 1).utf8(), s.undo);
        } else {
            EXPECT_EQ(undo.count(), before);
        }
    }
    pump();
    const auto* m = a.client->registry(h);
    EXPECT_EQ(m->currentProgram, 2u);
    EXPECT_EQ(m->programs[0].utf8(), "First");
    EXPECT_TRUE(m->flags & ParamRegistry::kHasDefault);
    EXPECT_EQ(m->defaultPresetName.utf8(), "v87u:Safe");
    EXPECT_GE(a.events->count("update-registry"), 3);
    EXPECT_EQ(a.client->undoHistory().texts.size(), undo.count());

    // A preset of another registry is refused and changes nothing.
    const size_t entries = undo.count();
    CError e = c.activatePreset(h, ingainPreset("KLIO:Stereo", 0.5));
    EXPECT_EQ(e.message().utf8(), "Incompatible preset.");
    EXPECT_DOUBLE_EQ(ingain(0), 1.5);
    EXPECT_EQ(undo.count(), entries);
}

TEST_F(ProtocolTest, RequestsAreAnsweredWithRegistryData) {
    Editor& a = openEditor();
    uint32_t master = 0, routing = 0;
    ASSERT_TRUE(a.client->listenRegistry("param-registry", &master).ok());
    ASSERT_TRUE(a.client->listenRegistry("param-registry-io", &routing).ok());
    hostWrite(m_ingain, 0, 0.75);
    struct Case {
        const char* what;
        bool bank, factory;
        int index;
        const char* name;  // preset or bank name in the answer
    } cases[] = {
        {"factory preset", false, true, 1, "v87u:Beta"},
        {"current program", false, false, -1, "v87u:Alpha"},
        {"factory bank", true, true, 0, "Factory ROM"},
        {"session bank", true, false, 0, "Session Bank"},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.what);
        uint32_t request = 0;
        ASSERT_TRUE((k.bank ? a.client->requestBank(master, k.factory, &request)
                            : a.client->requestPreset(master, k.factory, k.index, -1, &request))
                        .ok());
        pump();
        CParamInterfaceClient::RegistryData d;
        ASSERT_TRUE(a.client->takeRegistryData(request, &d));
        EXPECT_EQ(d.handle, master);
        EXPECT_EQ(d.flags, (k.factory ? ParamRegistry::kDataFactory : 0) | (k.bank ? ParamRegistry::kDataBank : 0));
        if (k.bank) {
            CAudioPresetBank bank;
            ASSERT_TRUE(bank.loadBytes(d.bytes).ok());
            EXPECT_EQ(bank.name().utf8(), k.name);
            EXPECT_EQ(bank.size(), 3u);
        } else {
            CAudioPreset preset;
            ASSERT_TRUE(preset.loadBytes(d.bytes).ok());
            EXPECT_EQ(preset.name().utf8(), k.name);
            ASSERT_NE(preset.find("modTamblor.ingain"), nullptr);
        }
    }
    // The current program is refreshed from the live values.
    uint32_t request = 0;
    ASSERT_TRUE(a.client->requestPreset(master, false, -1, -1, &request).ok());
    pump();
    CParamInterfaceClient::RegistryData d;
    ASSERT_TRUE(a.client->takeRegistryData(request, &d));
    CAudioPreset current;
    ASSERT_TRUE(current.loadBytes(d.bytes).ok());
    CAudioParamStorage values(m_ingain->storage());
    CMemoryReader in(current.find("modTamblor.ingain")->data.data(), current.find("modTamblor.ingain")->data.size());
    ASSERT_TRUE(values.load(in).ok());
    EXPECT_DOUBLE_EQ(values.value(0, 0), 0.75);

    // Failures of the registry are reported and answer nothing.
    const int answers = a.events->count("registry-data");
    CError e = a.client->requestBank(routing, false, &request);
    EXPECT_EQ(e.message().utf8(), "Acquiring bank in a non-master registry is an error.");
    e = a.client->requestPreset(master, true, 7, -1, &request);
    EXPECT_EQ(e.message().utf8(), "Invalid preset index 7 specified.");
    pump();
    EXPECT_EQ(a.events->count("registry-data"), answers);
    EXPECT_FALSE(a.client->takeRegistryData(request, &d));
}

TEST_F(ProtocolTest, HandlesThatNameNoRegistryFail) {
    Editor& a = openEditor();
    // A handle that was never listened to.
    const uint32_t neverListened = 77;
    CError e = a.client->setCurrentProgram(neverListened, 0);
    EXPECT_EQ(e.message().utf8(),
              "No param registry object '" + std::to_string(a.client->wireId(neverListened)) + "' found.");
    // A handle whose name found nothing.
    uint32_t missing = 0;
    e = a.client->listenRegistry("no-such-registry", &missing);
    EXPECT_EQ(e.message().utf8(), "Parameter registry 'no-such-registry' not found.");
    e = a.client->activateFactoryPreset(missing, 0);
    EXPECT_EQ(e.message().utf8(), "Param registry object '" + std::to_string(a.client->wireId(missing)) + "' is NULL.");
    // getRegistry itself, for handles of the connection.
    CAudioParamRegistry* r = nullptr;
    EXPECT_FALSE(m_base->getRegistry(a.client->wireId(missing), &r).ok());
    uint32_t found = 0;
    ASSERT_TRUE(a.client->listenRegistry("param-registry", &found).ok());
    ASSERT_TRUE(m_base->getRegistry(a.client->wireId(found), &r).ok());
    EXPECT_EQ(r, m_master);
    ASSERT_TRUE(a.client->unlistenRegistry(found).ok());
    EXPECT_FALSE(m_base->getRegistry(a.client->wireId(found), &r).ok());
}
