// Parameter registries: captured records, activation, undo texts, banks
// and programs, values through the change queue, enumerated lists.
#include <fstream>

#include "Audio/Params/AudioParamChangeSet.h"
#include "Audio/Registry/AudioPresetStore.h"
#include "Core/MemoryReader.h"
#include "Tests/Audio/RegistryFixture.h"
#include "Tools/BankCompiler/BankCompiler.h"

namespace {

std::vector<std::string> recordNames(const CAudioPreset& p) {
    std::vector<std::string> out;
    for (const CAudioPresetRecord& r : p.records()) out.push_back(r.shortName.utf8());
    return out;
}

// A preset of the master registry with one record per (name, stored bytes).
CAudioPreset preset(const char* name, std::vector<std::pair<const char*, std::vector<uint8_t>>> records) {
    CAudioPreset p(name);
    for (auto& [n, d] : records) p.addRecord({n, std::move(d)});
    return p;
}

class ParamRegistryTest : public RegistryTest {
protected:
    void SetUp() override {
        RegistryTest::SetUp();
        addProductParams();
    }
    // The example preset source compiled into a bank file; returns its path.
    std::string exampleBankFile() {
        CBankCompiler::Output out;
        std::string error;
        EXPECT_TRUE(CBankCompiler::compileFile(std::string(TAMBLOR_BANKS_DIR) + "/Example.xml", &out, &error))
            << error;
        exampleBank = out.bank;
        const std::string path = (folders->dir() / "Example.cbf").string();
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(out.block.data()), std::streamsize(out.block.size()));
        return path;
    }
    std::vector<uint8_t> exampleBank;
};

TEST_F(ParamRegistryTest, CapturedStateHoldsTheStoredRecordsInByteOrder) {
    param("instance-name")->storage().setText(0, 0, "MASTER BUS");
    CAudioParamRegistry* reg = master();
    CAudioPreset p;
    ASSERT_FALSE(reg->captureState(CAudioParamRegistry::kAllGroups, &p));
    EXPECT_EQ(p.name().utf8(), "v87u:Default");
    EXPECT_EQ(recordNames(p),
              (std::vector<std::string>{"bypass-enable", "instance-name", "io-params.group-names", "io-params.in-routing",
                                        "modTamblor.graph-window-size", "modTamblor.ingain", "modTamblor.metering-type",
                                        "modTamblor.outmeter-params.min", "modTamblor.outmeter-params.name",
                                        "modTamblor.release", "preset-name"}));

    const double tenMs = param("modTamblor.release")->info().defaultValue(0);
    EXPECT_DOUBLE_EQ(tenMs, 0.01);
    EXPECT_EQ(p.find("modTamblor.release")->data, numericStored("audio.modMain.modTamblor.release", 8, {tenMs}));

    CMemoryWriter w;  // dtype 1, G 1, one item (1, string, "MASTER BUS"), one element referring to it
    ASSERT_FALSE(w.writeString("audio.modMain.instance-name"));
    for (uint32_t v : {1u, 1u, 1u, 1u, 1u, 1u, 1u}) ASSERT_FALSE(w.writeU32(v));
    ASSERT_FALSE(w.writeString("MASTER BUS"));
    for (uint32_t v : {1u, 1u}) ASSERT_FALSE(w.writeU32(v));
    EXPECT_EQ(p.find("instance-name")->data, w.take());
}

TEST_F(ParamRegistryTest, WhatCaptureWritesDependsOnFlagsAndRegistry) {
    CAudioParamRegistry* plain = registry({{"id", "t1"}, {"hierarchy", "plugin.modMain"}});
    CAudioParamRegistry* globals =
        registry({{"id", "t2"}, {"hierarchy", "plugin.modMain"}, {"is-global-param-storable", "true"}});
    struct Case {
        const char* name;  // flags
        bool plain, globals;
    };
    const Case cases[] = {
        {"modTamblor.release", true, true},            // st
        {"bypass-enable", true, true},                 // pe
        {"preset-name", true, true},                   // st gl
        {"io-params.channel-group-solo", false, true}, // gl
        {"host-offline", false, true},                 // gl sg se
        {"modTamblor.modInGain.gain", false, false},   // none
    };
    CAudioPreset a, b;
    ASSERT_FALSE(plain->captureState(-1, &a));
    ASSERT_FALSE(globals->captureState(-1, &b));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(a.find(c.name) != nullptr, c.plain);
        EXPECT_EQ(b.find(c.name) != nullptr, c.globals);
    }
    EXPECT_EQ(a.name().utf8(), "t1:Default");  // no preset-name-param
}

TEST_F(ParamRegistryTest, SingleGroupCaptureAndActivationTouchOnlyThatGroup) {
    CAudioParamRegistry* reg = master();
    CAudioParam* release = param("modTamblor.release");
    release->storage().setValue(3, 0, 0, 0.05);
    CAudioPreset g3;
    ASSERT_FALSE(reg->captureState(3, &g3));
    // Only parameters with data for group 3: the single-group ones are left out.
    EXPECT_EQ(recordNames(g3), (std::vector<std::string>{"modTamblor.ingain", "modTamblor.outmeter-params.name",
                                                         "modTamblor.release"}));
    EXPECT_EQ(g3.find("modTamblor.release")->data, numericStored("audio.modMain.modTamblor.release", 1, {0.05}));

    ASSERT_FALSE(reg->activatePreset(g3, -1, 5));
    for (uint32_t g = 0; g < 8; ++g) EXPECT_EQ(release->value(g, 0), g == 3 || g == 5 ? 0.05 : 0.01) << g;
}

TEST_F(ParamRegistryTest, RefusedPresetsChangeNothing) {
    CAudioParamRegistry* reg = master();
    CAudioParam* routing = param("io-params.in-routing");
    CAudioParam* release = param("modTamblor.release");
    const auto newRouting = numericStored("audio.modMain.io-params.in-routing", 1, {2, 1, 0, 0, 0, 0, 0, 0});
    struct Case {
        const char* what;
        CAudioPreset p;
        const char* message;
    };
    const Case cases[] = {
        {"another registry's preset", preset("KLIO:Stereo", {{"io-params.in-routing", newRouting}}),
         "Incompatible preset."},
        {"no registry id", preset("Stereo", {{"io-params.in-routing", newRouting}}), "Incompatible preset."},
        {"wrong element size",
         preset("v87u:X", {{"io-params.in-routing", newRouting},
                           {"modTamblor.release", numericStored("audio.modMain.modTamblor.release", 8, {1, 2}, 2)}}),
         "Unsupported storage format (esize=2, dtype=0; should be: esize=1, dtype=0)."},
        {"numbers for a text", preset("v87u:X", {{"io-params.in-routing", newRouting},
                                                  {"instance-name", numericStored("audio.modMain.instance-name", 1, {1})}}),
         "Unsupported storage format (esize=1, dtype=0; should be: esize=1, dtype=1)."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        CError e = reg->activatePreset(c.p);
        ASSERT_TRUE(e);
        EXPECT_EQ(e.message().utf8(), c.message);
        EXPECT_EQ(routing->value(0, 0), 1.0);
        EXPECT_EQ(release->value(0, 0), 0.01);
        EXPECT_EQ(undoOwner->undo.count(), 1u);
    }
}

TEST_F(ParamRegistryTest, UndoTextsOfTheMasterRegistry) {
    const std::string bankFile = exampleBankFile();
    CAudioParamRegistry* reg = master({{"preset-name-param", ""}, {"file", bankFile.c_str()}});
    const auto loud = numericStored("audio.modMain.modTamblor.release", 8, {0.05});
    ASSERT_FALSE(reg->activatePreset(preset("v87u:Loud", {{"modTamblor.release", loud}}), 2));
    CMemoryWriter state;
    ASSERT_FALSE(reg->acquirePreset(false, -1, -1, state));
    CMemoryReader in(state.data(), state.size());
    ASSERT_FALSE(reg->loadPreset(in));
    ASSERT_FALSE(reg->activateFactoryPreset(1));
    ASSERT_FALSE(reg->activateDefaultPreset());
    ASSERT_FALSE(reg->renamePreset(0, "Mine"));
    EXPECT_EQ(undoTexts(), (std::vector<std::string>{"Undo history start", "Master preset activate (3)",
                                                     "Master preset activate", "ROM preset activate", "Master reset",
                                                     "Program name change"}));

    // With a preset-name parameter the text shows the preset's name.
    CAudioParamRegistry* named = registry({{"id", "v87u"}, {"hierarchy", "plugin.modMain"},
                                           {"preset-naming", "Master preset"},
                                           {"preset-name-param", "plugin.modMain.preset-name"}});
    ASSERT_FALSE(named->activatePreset(preset("v87u:Loud", {{"modTamblor.release", loud}}), 0));
    EXPECT_EQ(undoTexts().back(), "Master preset activate (Loud)");
    EXPECT_EQ(param("preset-name")->storage().text(0, 0).utf8(), "Loud");
}

TEST_F(ParamRegistryTest, UndoAndRedoRestoreTheValuesAndNames) {
    CAudioParamRegistry* reg = master();
    CAudioParam* release = param("modTamblor.release");
    ASSERT_FALSE(reg->activatePreset(
        preset("v87u:Slow", {{"modTamblor.release", numericStored("audio.modMain.modTamblor.release", 8, {0.2})}})));
    ASSERT_FALSE(reg->renamePreset(0, "Renamed"));
    EXPECT_EQ(reg->programName(0).utf8(), "Renamed");
    CAudioParamUndo& undo = undoOwner->undo;
    ASSERT_FALSE(undo.undo());
    EXPECT_EQ(reg->programName(0).utf8(), "Slow");  // activation without an index names the program
    ASSERT_FALSE(undo.undo());
    EXPECT_EQ(release->value(7, 0), 0.01);
    EXPECT_EQ(param("preset-name")->storage().text(0, 0).utf8(), "Default");
    ASSERT_FALSE(undo.redo());
    EXPECT_EQ(release->value(7, 0), 0.2);
    EXPECT_EQ(param("preset-name")->storage().text(0, 0).utf8(), "Slow");
    ASSERT_FALSE(undo.redo());
    EXPECT_EQ(reg->programName(0).utf8(), "Renamed");

    // A single change recorded by someone else, with the registry as target:
    // only the captured parameter goes back (a module parameter here).
    CAudioParam* module = param("modTamblor.modInGain.gain");
    CAudioParam* one[] = {module};
    CAudioPreset before, after;
    ASSERT_FALSE(reg->captureParams(one, -1, &before));
    module->storage().setValue(2, 0, 0, 6.0);
    release->storage().setValue(2, 0, 0, 0.1);
    ASSERT_FALSE(reg->captureParams(one, -1, &after));
    EXPECT_EQ(recordNames(after), std::vector<std::string>{"modTamblor.modInGain.gain"});
    undo.push(std::make_unique<CAudioParamUndoState>("Gain change", reg, -1, before, after));
    ASSERT_FALSE(undo.undo());
    EXPECT_EQ(module->value(2, 0), 0.0);
    EXPECT_EQ(release->value(2, 0), 0.1);
    ASSERT_FALSE(undo.redo());
    EXPECT_EQ(module->value(2, 0), 6.0);
}

TEST_F(ParamRegistryTest, FactoryBankSessionBankAndProgramsOfTheMaster) {
    CAudioParamRegistry* reg = master({{"file", exampleBankFile().c_str()}});
    CAudioParam* ingain = param("modTamblor.ingain");
    CAudioParam* release = param("modTamblor.release");
    ASSERT_EQ(reg->programCount(), 2);
    EXPECT_EQ(reg->factoryBank().name().utf8(), "Factory ROM");
    EXPECT_EQ(reg->sessionBank().name().utf8(), "Session Bank");
    EXPECT_EQ(reg->programName(1).utf8(), "Loud +6dB");

    // The compiled bank reads back through the registry byte for byte.
    CMemoryWriter factory;
    ASSERT_FALSE(reg->acquireBank(true, factory));
    EXPECT_EQ(std::vector<uint8_t>(factory.bytes().begin(), factory.bytes().end()), exampleBank);

    ASSERT_FALSE(reg->setCurrentProgram(1));
    EXPECT_DOUBLE_EQ(ingain->value(0, 0), 1.9952623149688795);
    EXPECT_EQ(release->value(1, 0), 0.02);
    EXPECT_EQ(release->value(2, 0), 0.05);
    EXPECT_EQ(param("instance-name")->storage().text(0, 0).utf8(), "MASTER BUS");
    EXPECT_EQ(undoTexts().back(), "Master preset activate (Loud +6dB)");

    // The current program's entry follows the live values when it is written out.
    ingain->storage().setValue(0, 0, 0, 1.5);
    CAudioPreset current;
    ASSERT_FALSE(reg->acquirePreset(false, -1, -1, &current));
    EXPECT_EQ(current.name().utf8(), "v87u:Loud +6dB");
    CAudioParamStorage back(&ingain->info(), 8);
    CMemoryReader r(current.find("modTamblor.ingain")->data.data(), current.find("modTamblor.ingain")->data.size());
    ASSERT_FALSE(back.load(r));
    EXPECT_EQ(back.value(0, 0), 1.5);

    // Leaving a program keeps its state; coming back restores it.
    ASSERT_FALSE(reg->setCurrentProgram(0));
    EXPECT_EQ(ingain->value(0, 0), 1.0);
    ASSERT_FALSE(reg->setCurrentProgram(1));
    EXPECT_EQ(ingain->value(0, 0), 1.5);

    struct Bad {
        bool factory;
        int index;
    };
    for (const Bad b : {Bad{true, 2}, Bad{false, 2}, Bad{true, -1}, Bad{false, -2}}) {
        CAudioPreset p;
        CError e = reg->acquirePreset(b.factory, b.index, -1, &p);
        ASSERT_TRUE(e);
        EXPECT_EQ(e.message().utf8(), "Invalid preset index " + std::to_string(b.index) + " specified.");
    }
    // A factory preset activated by index names the current program after it.
    ASSERT_FALSE(reg->activateFactoryPreset(0));
    EXPECT_EQ(reg->programName(1).utf8(), "Default");
    EXPECT_EQ(ingain->value(0, 0), 1.0);
}

TEST_F(ParamRegistryTest, InstanceStateRoundTripAndNonMasterLimits) {
    CAudioParamRegistry* reg = master();
    CAudioParam* release = param("modTamblor.release");
    release->storage().setValue(4, 0, 0, 0.1);
    param("bypass-enable")->storage().setValue(0, 0, 0, 1.0);
    CMemoryWriter state;
    ASSERT_FALSE(reg->acquirePreset(false, -1, -1, state));
    release->storage().setValue(4, 0, 0, 0.3);
    param("bypass-enable")->storage().setValue(0, 0, 0, 0.0);
    CMemoryReader in(state.data(), state.size());
    ASSERT_FALSE(reg->loadPreset(in));
    EXPECT_EQ(release->value(4, 0), 0.1);
    EXPECT_EQ(param("bypass-enable")->value(0, 0), 1.0);

    CAudioParamRegistry* io =
        registry({{"id", "KLIO"}, {"hierarchy", "plugin.modMain.io-params"}, {"preset-naming", "Routing preset"}});
    CMemoryWriter w;
    CError e = io->acquireBank(false, w);
    ASSERT_TRUE(e);
    EXPECT_EQ(e.message().utf8(), "Acquiring bank in a non-master registry is an error.");
    EXPECT_TRUE(io->activateFactoryPreset(0));
    e = io->setCurrentProgram(0);
    ASSERT_TRUE(e) << "a registry that is not an enumeration has no programs";
    EXPECT_EQ(e.message().utf8(), "Selecting a program in a non-master registry is an error.");
    // Other registries write their current state whatever the index.
    CAudioPreset p;
    ASSERT_FALSE(io->acquirePreset(false, 7, -1, &p));
    EXPECT_EQ(recordNames(p), (std::vector<std::string>{"group-names", "in-routing"}));
    EXPECT_EQ(io->toDefinitionName("plugin.modMain.x").utf8(), "audio.modMain.x");
    EXPECT_EQ(io->toInstanceName("audio.modMain.x").utf8(), "plugin.modMain.x");
    EXPECT_EQ(io->toDefinitionName("plugins.x").utf8(), "plugins.x");
    EXPECT_EQ(io->groupName(2).utf8(), "3");
}

TEST_F(ParamRegistryTest, ActivatedValuesReachTheAudioSideThroughTheChangeQueue) {
    plat::CCritSec envLock(0);
    CAudioParamChangeQueue queue;
    queue.prepare(collector->paramsWithPrefix(CString()), &envLock);
    collector->setChangeQueue(&queue);
    CAudioParamRegistry* reg = master();
    CAudioParam* release = param("modTamblor.release");
    ASSERT_FALSE(reg->activatePreset(preset(
        "v87u:Slow", {{"modTamblor.release", numericStored("audio.modMain.modTamblor.release", 8, {0.2})},
                      {"instance-name", [] {
                           CMemoryWriter w;  // a text record: written at once
                           EXPECT_FALSE(w.writeString("audio.modMain.instance-name"));
                           for (uint32_t v : {1u, 1u, 1u, 1u, 1u, 1u, 1u}) EXPECT_FALSE(w.writeU32(v));
                           EXPECT_FALSE(w.writeString("SLOW"));
                           for (uint32_t v : {1u, 1u}) EXPECT_FALSE(w.writeU32(v));
                           return w.take();
                       }()}})));
    EXPECT_EQ(release->value(0, 0), 0.01);
    EXPECT_EQ(param("instance-name")->storage().text(0, 0).utf8(), "SLOW");
    CAudioPreset seen;
    ASSERT_FALSE(reg->captureState(-1, &seen));
    EXPECT_EQ(seen.find("modTamblor.release")->data, numericStored("audio.modMain.modTamblor.release", 8, {0.2}));
    queue.takeAndApply();
    EXPECT_EQ(release->value(7, 0), 0.2);
    collector->setChangeQueue(nullptr);
}

TEST_F(ParamRegistryTest, ShadowPresetSwapsTwoStates) {
    CAudioParamRegistry* reg = master();
    CAudioParam* ingain = param("modTamblor.ingain");
    ASSERT_FALSE(reg->exchangeShadowPreset());  // the first exchange copies A into B
    EXPECT_EQ(ingain->value(0, 0), 1.0);
    ingain->storage().setValue(0, 0, 0, 2.0);  // B
    ASSERT_FALSE(reg->exchangeShadowPreset());
    EXPECT_EQ(ingain->value(0, 0), 1.0);  // A
    ASSERT_FALSE(reg->exchangeShadowPreset());
    EXPECT_EQ(ingain->value(0, 0), 2.0);  // B again
    EXPECT_EQ(undoTexts().back(), "Master preset exchange");
}

TEST_F(ParamRegistryTest, EnumeratedListNamesTheStatesOfItsParameter) {
    CAudioParamRegistry* reg = registry({{"id", "v87u2"},
                                         {"hierarchy", "plugin.modMain.modTamblor.outmeter-params"},
                                         {"store-name", "outmeter-presets"},
                                         {"is-enumerated", "true"},
                                         {"preset-naming", "Output metering mode preset"},
                                         {"preset-name-param", "plugin.modMain.modTamblor.outmeter-params.name"}});
    ASSERT_FALSE(reg->bindParams());
    CAudioParam* type = param("modTamblor.metering-type");
    CAudioPresetBank list("outmeter-presets");
    for (const char* n : {"v87u2:Default", "v87u2:Wide"}) list.add(CAudioPreset(n));
    ASSERT_FALSE(reg->setUserList(list));
    EXPECT_EQ(type->valueText(0, 0).utf8(), "Default");
    type->storage().setValue(0, 0, 0, 1.0);
    EXPECT_EQ(type->valueText(0, 0).utf8(), "Wide");

    // Another writer of the list: the registry reloads and renames the states.
    list.add(CAudioPreset("v87u2:Narrow"));
    ASSERT_FALSE(AudioPresetStore::write(reg->userListRef(), list));
    EXPECT_EQ(reg->userList().size(), 3u);
    ASSERT_EQ(type->info().stateNames().size(), 3u);
    EXPECT_EQ(type->info().stateNames()[2].longName.utf8(), "Narrow");
    // The provider answers definitions that refer to the list by name.
    CAudioParamInfo info;
    ASSERT_FALSE(info.parseStateNames("@outmeter-presets"));
    ASSERT_FALSE(info.resolveStateNames(plugin));
    EXPECT_EQ(info.stateNames().size(), 3u);

    ASSERT_FALSE(reg->renamePreset(1, "Wider"));
    EXPECT_EQ(type->valueText(0, 0).utf8(), "Wider");
    CAudioPreset p;
    ASSERT_FALSE(reg->captureState(-1, &p));
    EXPECT_EQ(p.name().utf8(), "v87u2:Default");  // after the preset-name parameter
    // Its programs are the list's entries: selecting one activates it.
    ASSERT_FALSE(reg->setCurrentProgram(1));
    EXPECT_EQ(param("modTamblor.outmeter-params.name")->valueText(0, 0).utf8(), "Wider");
    EXPECT_EQ(undoTexts().back(), "Output metering mode preset activate (Wider)");
    EXPECT_TRUE(reg->setCurrentProgram(3)) << "past the list's end";
}

TEST_F(ParamRegistryTest, ListsResolveThroughTheAppdataObjects) {
    struct Case {
        const char* file;  // "appdata" object's file attribute ("" none)
        const char* list;
        CAppData* store;
        const char* item;
        const char* resource;
    };
    const Case cases[] = {
        {"../routing-presets|AppDataGlobal_routing-presets-sys", "routing-presets", &CAppData::global(),
         "../routing-presets", "AppDataGlobal_routing-presets-sys"},
        {"AppDataLocal_mode-presets", "mode-presets", &CAppData::local(), "mode-presets", "AppDataLocal_mode-presets"},
        {"", "outmeter-presets", &CAppData::local(), "outmeter-presets", "AppDataLocal_outmeter-presets"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.list);
        CObject* appdata = nullptr;
        if (*c.file) appdata = attach(plugin, makeNode("core:object", "appdata", {{"file", c.file}}));
        const CAudioPresetListRef ref = AudioPresetStore::resolve(*undoOwner, c.list);
        EXPECT_EQ(ref.store, c.store);
        EXPECT_EQ(ref.item.utf8(), c.item);
        EXPECT_EQ(ref.resource.utf8(), c.resource);
        if (appdata) plugin->releaseChild(appdata);
    }
}

TEST_F(ParamRegistryTest, MalformedAttributesFailInit) {
    struct Case {
        RegistryTest::AttrList attrs;
        const char* message;
    };
    const Case cases[] = {
        {{{"id", "x"}, {"hierarchy", "plugin.modMain"}, {"def-name-remap", "plugin"}},
         "Invalid remapping string 'plugin' defined."},
        {{{"id", "x"}, {"hierarchy", "plugin.modMain"}, {"def-name-remap", "a=b=c"}},
         "Invalid remapping string 'a=b=c' defined."},
        {{{"id", "x"}, {"hierarchy", "plugin.modMain"}, {"def-name-remap", "=audio"}},
         "Invalid remapping string '=audio' defined."},
        {{{"hierarchy", "plugin.modMain"}}, "No parameter registry id specified."},
    };
    for (const Case& c : cases) {
        CError e;
        registry(c.attrs, &e);
        ASSERT_TRUE(e);
        EXPECT_EQ(e.message().utf8(), c.message);
    }
}

}  // namespace
