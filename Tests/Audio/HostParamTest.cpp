// Host parameters, the controller table and shared storages: the objects of
// the instance template that bind internal parameters by name.
#include <cmath>
#include <functional>

#include "Audio/Params/AudioCCTable.h"
#include "Audio/Params/AudioExtParam.h"
#include "Audio/Params/AudioParamSharedStorage.h"
#include "Core/MemoryReader.h"
#include "Tests/Audio/RegistryFixture.h"
#include "Tests/Support/AllocationCounter.h"

namespace {

class CountingListener : public CAudioParamListener {
public:
    void paramChanged(CAudioParam& p) override { names.push_back(p.fullName().utf8()); }
    std::vector<std::string> names;
};

class HostParamTest : public RegistryTest {
protected:
    // An ext-param list under "plugin" with entries {ext-name, param-name}.
    CAudioExtParamList* list(std::vector<std::pair<const char*, const char*>> entries, CError* error = nullptr) {
        auto node = makeNode("audio:ext-param-list", "ext-param-list");
        for (const auto& [ext, name] : entries)
            node->attachChild(makeNode("audio:ext-param", "", {{"ext-name", ext}, {"param-name", name},
                                                               {"param-collector", "plugin.param-collector"}}));
        auto* l = static_cast<CAudioExtParamList*>(attach(plugin, std::move(node)));
        CError e = l->initTree();
        if (error) *error = std::move(e);
        return l;
    }

    // Writes a "ccmap" item of (controller, name) entries; count overrides N.
    static void writeCCMap(std::vector<std::pair<uint32_t, const char*>> entries, int count = -1,
                           bool truncate = false) {
        CMemoryWriter w;
        EXPECT_FALSE(w.writeU32(count < 0 ? uint32_t(entries.size()) : uint32_t(count)));
        for (const auto& [c, n] : entries) {
            EXPECT_FALSE(w.writeU32(c));
            EXPECT_FALSE(w.writeString(n));
        }
        std::vector<uint8_t> bytes = w.take();
        if (truncate) bytes.resize(bytes.size() - 3);
        EXPECT_FALSE(CAppData::local().writeData("ccmap", kIdAdat, bytes));
    }

    CAudioCCTable* cctable(const char* name = "cctable") {
        auto* t = static_cast<CAudioCCTable*>(attach(plugin, makeNode("audio:cctable", name)));
        EXPECT_FALSE(t->initTree());
        return t;
    }
};

TEST_F(HostParamTest, HostNamesOfSevenCharactersAtMost) {
    struct Case {
        const char* name;
        bool ok;
    };
    for (const Case c : {Case{"Oversmp", true}, Case{"Oversmpl", false}, Case{"", false}, Case{"X", true}}) {
        SCOPED_TRACE(c.name);
        CError e;
        list({{c.name, "plugin.modMain.oversampling"}}, &e);
        EXPECT_EQ(!e, c.ok);
        if (!c.ok) {
            EXPECT_EQ(e.message().utf8(), std::string("Externalized parameter name '") + c.name + "' is too long");
        }
    }
}

TEST_F(HostParamTest, EntriesBindWhenTheirParametersExistAndKeepTheirIndex) {
    // The list exists before the graph creates the parameters.
    CAudioExtParamList* l = list({{"Bypass", "plugin.modMain.bypass-enable"},
                                  {"DithBln", "plugin.modMain.modTamblor.dither-blanking"},
                                  {"InGain", "plugin.modMain.modTamblor.ingain"}});
    const CAudioExtParamHostBridge& bridge = l->hostBridge();
    ASSERT_EQ(bridge.count(), 3);
    EXPECT_FALSE(bridge.isBound(0));
    addProductParams();
    EXPECT_TRUE(bridge.isBound(0));
    EXPECT_FALSE(bridge.isBound(1));
    EXPECT_TRUE(bridge.isBound(2));
    EXPECT_EQ(bridge.name(1).utf8(), "DithBln");
    EXPECT_EQ(bridge.text(1, 0.5).utf8(), "");
    EXPECT_EQ(bridge.indexOf(param("modTamblor.ingain"), 0, 0), 2);
    EXPECT_EQ(bridge.indexOf(param("modTamblor.ingain"), 1, 0), -1);
    EXPECT_EQ(bridge.indicesOf(param("bypass-enable")), std::vector<int>{0});
    ASSERT_FALSE(kelBindParamObjects(*plugin));
    EXPECT_TRUE(bridge.isBound(2));
}

TEST_F(HostParamTest, NormalizedValuesTextsAndStepsGoThroughTheConverter) {
    addProductParams();
    CAudioExtParamList* l = list({{"Bypass", "plugin.modMain.bypass-enable"},
                                  {"InGain", "plugin.modMain.modTamblor.ingain"},
                                  {"Release", "plugin.modMain.modTamblor.release"}});
    ASSERT_FALSE(kelBindParamObjects(*plugin));  // as the core does once the graph exists
    const CAudioExtParamHostBridge& b = l->hostBridge();
    CountingListener listener;
    collector->addListener(nullptr, &listener);

    // InGain: -3..24 dB, 0 dB by default.
    EXPECT_NEAR(b.defaultNormalized(1), 3.0 / 27.0, 1e-12);
    EXPECT_EQ(b.units(1).utf8(), "dB");
    EXPECT_EQ(b.stepCount(1), 0);
    double n = -1;
    ASSERT_TRUE(b.fromText(1, "6", &n));
    EXPECT_NEAR(n, 9.0 / 27.0, 1e-12);
    EXPECT_FALSE(b.fromText(1, "loud", &n));
    b.setNormalized(1, n);
    EXPECT_NEAR(param("modTamblor.ingain")->value(0, 0), std::pow(10.0, 6.0 / 20.0), 1e-12);
    EXPECT_EQ(param("modTamblor.ingain")->value(1, 0), 1.0);  // group 0 only
    EXPECT_NEAR(b.normalized(1), n, 1e-12);
    EXPECT_EQ(b.text(1, n).utf8().substr(0, 4), "6.00");
    EXPECT_EQ(listener.names, std::vector<std::string>{"plugin.modMain.modTamblor.ingain"});
    b.setNormalized(1, n);  // unchanged: nobody is told
    EXPECT_EQ(listener.names.size(), 1u);

    // Bypass: an on/off switch.
    EXPECT_EQ(b.stepCount(0), 1);
    EXPECT_EQ(b.text(0, 1.0).utf8(), "On");
    EXPECT_EQ(b.defaultNormalized(0), 0.0);

    // Automation from the audio thread: a plain write, no allocation.
    {
        alloc_counter::Scope scope;
        EXPECT_TRUE(b.writeFromAudio(2, 1.0));
        EXPECT_TRUE(b.writeFromAudio(0, 0.9));
        EXPECT_EQ(scope.allocations(), 0u);
    }
    EXPECT_DOUBLE_EQ(param("modTamblor.release")->value(0, 0), 0.3);
    EXPECT_EQ(param("bypass-enable")->value(0, 0), 1.0);
    collector->removeListener(&listener);
}

TEST_F(HostParamTest, ControllerTableLoadsTheStoredMap) {
    addProductParams();
    struct Case {
        const char* what;
        std::function<void()> write;
        int assigned;
        bool slot7;
    };
    const Case cases[] = {
        {"no item", [] {}, 0, false},
        {"two entries, one out of range",
         [] { writeCCMap({{7, "plugin.modMain.modTamblor.ingain"}, {200, "plugin.modMain.bypass-enable"}}); }, 1,
         true},
        {"damaged after the first entry",
         [] { writeCCMap({{7, "plugin.modMain.modTamblor.ingain"}, {9, "plugin.modMain.bypass-enable"}}, 2, true); },
         1, true},
        {"more entries announced than stored", [] { writeCCMap({{7, "plugin.modMain.modTamblor.ingain"}}, 5); }, 1,
         true},
    };
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::filesystem::remove_all(folders->dir() / "user");
        CAppData::resetAllPaths();
        c.write();
        CAudioCCTable* t = cctable(("cc" + std::to_string(n++)).c_str());
        EXPECT_EQ(t->assignedCount(), c.assigned);
        EXPECT_EQ(t->param(7), c.slot7 ? param("modTamblor.ingain") : nullptr);
        EXPECT_EQ(t->param(200), nullptr);
        for (int cc = 0; cc < CAudioCCTable::kSlots; ++cc)
            if (cc != 7) {
                EXPECT_EQ(t->param(cc), nullptr) << cc;
            }
    }
}

TEST_F(HostParamTest, ControllerTableSavesAndFollowsOtherWriters) {
    CAudioCCTable* a = cctable("a");
    CAudioCCTable* b = cctable("b");
    a->setController(64, "plugin.modMain.bypass-enable");
    a->setController(1, "plugin.modMain.modTamblor.ingain");
    ASSERT_FALSE(a->save());
    EXPECT_EQ(b->assignedCount(), 2);  // b reloaded when a wrote the item
    EXPECT_EQ(b->paramName(64).utf8(), "plugin.modMain.bypass-enable");
    EXPECT_EQ(b->param(64), nullptr);  // no such parameter yet
    addProductParams();
    EXPECT_EQ(b->param(64), param("bypass-enable"));

    auto bad = makeNode("audio:cctable", "bad", {{"storage-type", "disk"}});
    CObject* raw = attach(plugin, std::move(bad));
    CError e = raw->initTree();
    ASSERT_TRUE(e);
    EXPECT_EQ(e.message().utf8(), "Invalid storage type \"disk\" specified.");
}

TEST_F(HostParamTest, SharedStorageMirrorsAParameterBothWays) {
    addProductParams();
    struct Bad {
        Attrs attrs;
        const char* message;
    };
    const Bad bad[] = {
        {{{"data-name", "d"}, {"storage-type", "local"}}, "Invalid parameter name specified."},
        {{{"param", "p"}, {"storage-type", "local"}}, "Invalid shared data name specified."},
        {{{"param", "p"}, {"data-name", "d"}, {"storage-type", "disk"}}, "Invalid storage type \"disk\" specified."},
    };
    for (const Bad& c : bad) {
        CObject* o = attach(plugin, makeNode("audio:param-shared-storage", "bad", c.attrs));
        CError e = o->initTree();
        ASSERT_TRUE(e);
        EXPECT_EQ(e.message().utf8(), c.message);
        plugin->releaseChild(o);
    }

    CAudioParam* release = param("modTamblor.release");
    ASSERT_FALSE(CAppData::group().writeString("release-time", "0.02"));
    CObject* s = attach(plugin, makeNode("audio:param-shared-storage", "release-time",
                                         {{"param", "modMain.modTamblor.release"},
                                          {"data-name", "release-time"},
                                          {"storage-type", "group"}}));
    ASSERT_FALSE(s->initTree());
    ASSERT_FALSE(kelBindParamObjects(*plugin));
    EXPECT_EQ(release->value(0, 0), 0.02);  // the stored value wins at binding
    EXPECT_EQ(release->value(1, 0), 0.01);

    release->storage().setValue(0, 0, 0, 0.05);
    collector->notifyChanged(*release);
    EXPECT_EQ(CAppData::group().readStringOr("release-time", "").utf8(), "0.05");

    ASSERT_FALSE(CAppData::group().writeString("release-time", "0.07"));  // another writer
    EXPECT_EQ(release->value(0, 0), 0.07);
}

}  // namespace
