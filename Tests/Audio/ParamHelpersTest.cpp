#include "Audio/Params/AudioParamAlloc.h"
#include "Audio/Params/AudioParamCollector.h"
#include "Audio/Params/AudioParamFilter.h"
#include "Audio/Params/AudioParamRemap.h"
#include "Tests/Audio/ParamFixture.h"

namespace {
CError initNode(std::unique_ptr<CObject>& o) { return o->initTree(); }

struct Recorder : CAudioParamListener {
    std::vector<CString> seen;
    void paramChanged(CAudioParam& p) override { seen.push_back(p.fullName()); }
};
}  // namespace

TEST_F(ParamTest, RemapStatements) {
    auto single = makeNode("audio:param-remap", "r", {{"orig", "enable"}, {"new", "^bypass-enable"}});
    ASSERT_TRUE(initNode(single).ok());
    auto* r = dynamic_cast<CAudioParamRemapDef*>(single.get());
    ASSERT_EQ(r->remaps().size(), 1u);
    EXPECT_EQ(r->find("enable")->utf8(), "^bypass-enable");

    auto list = makeNode("audio:param-remap", "r", {{"orig", ""}, {"new", ""}});
    (void)list->addChild(makeNode("content", "content",
                                  {{"value", "modInGain.gain = ingain;\n modMeterIn.rms-time=/plugin.modMain.meter-rmstime ;"
                                             "modSwitch.mod.attack = mode-params.trans-time;  "}}));
    ASSERT_TRUE(initNode(list).ok());
    auto* l = dynamic_cast<CAudioParamRemapDef*>(list.get());
    ASSERT_EQ(l->remaps().size(), 3u);
    EXPECT_EQ(l->remaps()[1].orig.utf8(), "modMeterIn.rms-time");
    EXPECT_EQ(l->remaps()[1].target.utf8(), "/plugin.modMain.meter-rmstime");
    EXPECT_EQ(l->find("nothing"), nullptr);

    struct Bad {
        const char* text;
        const char* message;
    } bad[] = {
        {"", "No remappings defined."},
        {" ; ", "No remappings defined."},
        {"a = b", "Invalid remapping string 'a = b' defined."},  // no closing semicolon
        {"a b;", "Invalid remapping string 'a b' defined."},
        {"a = ;", "Invalid remapping string 'a =' defined."},
        {"x = y; = b;", "Invalid remapping string '= b' defined."},
        {"a == b;", "Invalid remapping string 'a == b' defined."},
    };
    for (const Bad& k : bad) {
        auto o = makeNode("audio:param-remap", "r");
        (void)o->addChild(makeNode("content", "content", {{"value", k.text}}));
        CError e = initNode(o);
        ASSERT_TRUE(e) << k.text;
        EXPECT_EQ(e.message().utf8(), k.message);
    }
    auto half = makeNode("audio:param-remap", "r", {{"orig", "gain"}});
    EXPECT_EQ(initNode(half).message().utf8(), "Invalid remapping string 'gain = ' defined.");

    struct Name {
        const char* name;
        const char* full;
    } names[] = {
        {"dcfilter-freq", "plugin.modMain.modTamblor.dcfilter-freq"},
        {"^bypass-enable", "plugin.modMain.bypass-enable"},
        {"^^x", "plugin.x"},
        {"/plugin.modMain.meter-rmstime", "plugin.modMain.meter-rmstime"},
    };
    for (const Name& k : names)
        EXPECT_EQ(CAudioParamRemapDef::resolveName("plugin.modMain.modTamblor", k.name).utf8(), k.full);
}

TEST_F(ParamTest, SlotAllocations) {
    auto ok = makeNode("audio:param-alloc", "a",
                       {{"index", "3"}, {"param-name", "release"}, {"use-all-groups", "true"}, {"is-smooth-update", "1"}});
    ASSERT_TRUE(initNode(ok).ok());
    auto* a = dynamic_cast<CAudioParamAllocDef*>(ok.get());
    EXPECT_EQ(a->index(), 3);
    EXPECT_EQ(a->paramName().utf8(), "release");
    EXPECT_TRUE(a->useAllGroups() && a->isSmoothUpdate() && !a->useAllElements());

    auto noName = makeNode("audio:param-alloc", "a", {{"index", "0"}});
    EXPECT_EQ(initNode(noName).message().utf8(), "Invalid parameter name specified.");
    auto badIndex = makeNode("audio:param-alloc", "a", {{"index", "-1"}, {"param-name", "x"}});
    EXPECT_EQ(initNode(badIndex).message().utf8(), "Invalid parameter slot index '-1' specified.");
}

TEST_F(ParamTest, FilterParameterCounts) {
    struct Case {
        const char* tag;
        const char* src;
        const char* dst;
        const char* message;  // nullptr: accepted
    } cases[] = {
        {"audio:param-filter-bypass-os", "oversampling,host-oversampling-mode", "oversampling-bypass", nullptr},
        {"audio:param-filter-bypass-group-solo", "io-params.channel-group-solo", "group-solo-bypass", nullptr},
        {"audio:param-filter-bypass-os", "", "d", "No source parameters defined."},
        {"audio:param-filter-bypass-os", "a,b", " , ", "No destination parameters defined."},
        {"audio:param-filter-bypass-os", "a", "d",
         "Not enough source parameters 1 defined in the param filter (required 2)."},
        {"audio:param-filter-bypass-group-solo", "a,b,c,d,e,f,g,h,i,j", "d",
         "Too many source parameters 10 defined in the param filter."},
        {"audio:param-filter-bypass-group-solo", "a", "a,b,c,d,e,f,g,h,i,j",
         "Too many destination parameters 10 defined in the param filter."},
    };
    for (const Case& k : cases) {
        auto o = makeNode(k.tag, "f", {{"src", k.src}, {"dst", k.dst}});
        CError e = initNode(o);
        if (!k.message) {
            EXPECT_TRUE(e.ok()) << e.text();
            continue;
        }
        ASSERT_TRUE(e) << k.message;
        EXPECT_EQ(e.message().utf8(), k.message);
    }
}

TEST_F(ParamTest, OversamplingAndGroupSoloRules) {
    struct Os {
        double oversampling, host, bypass;
    } os[] = {
        {0, 0, 1}, {0, 1, 0}, {0, 3, 0}, {1, 0, 1}, {1, 2, 1}, {3, 0, 0}, {4, 0, 0}, {0.6, 0, 1}, {0, 0.4, 1}, {2.4, 0, 0},
    };
    for (const Os& k : os)
        EXPECT_EQ(CAudioParamFilterBypassOS::bypassValue(k.oversampling, k.host), k.bypass)
            << k.oversampling << " " << k.host;

    ASSERT_TRUE(makeDef({{"converter", "shared::audio.paramcvt.enum-enable"}, {"min-values", "0"}, {"max-values", "1"},
                         {"def-values", "0"}, {"is-global", "true"}})
                    .ok());
    auto solo = CAudioParam::create(*def, "plugin.modMain.io-params.channel-group-solo", 8);
    EXPECT_EQ(CAudioParamFilterBypassGroupSolo::bypassValue(solo->storage()), 1.0);
    solo->storage().setValue(6, 0, 0, 0.49);
    EXPECT_EQ(CAudioParamFilterBypassGroupSolo::bypassValue(solo->storage()), 1.0);
    solo->storage().setValue(6, 0, 0, 0.5);
    EXPECT_EQ(CAudioParamFilterBypassGroupSolo::bypassValue(solo->storage()), 0.0);
}

// A filter bound to live parameters through the collector writes its
// destination and informs the destination's listeners.
TEST_F(ParamTest, FilterBoundThroughTheCollector) {
    auto collectorNode = makeNode("audio:param-collector", "param-collector");
    ASSERT_TRUE(initNode(collectorNode).ok());
    auto* collector = dynamic_cast<CAudioParamCollector*>(collectorNode.get());

    ASSERT_TRUE(makeDef({{"converter", "shared::audio.paramcvt.enum"}, {"min-values", "0"}, {"max-values", "4"},
                         {"def-values", "1"}, {"is-single-group", "true"}, {"is-single-element", "true"}})
                    .ok());
    auto os = CAudioParam::create(*def, "plugin.modMain.oversampling", 8);
    auto host = CAudioParam::create(*def, "plugin.modMain.host-oversampling-mode", 8);
    host->storage().setValue(0, 0, 0, 0);
    auto bypass = CAudioParam::create(*def, "plugin.modMain.oversampling-bypass", 8);
    bypass->storage().setValue(0, 0, 0, 0);
    for (CAudioParam* p : {os.get(), host.get(), bypass.get()}) ASSERT_TRUE(collector->registerParam(p).ok());

    auto filterNode = makeNode("audio:param-filter-bypass-os", "paramFilterBypassOS",
                               {{"src", "oversampling, host-oversampling-mode"}, {"dst", "oversampling-bypass"}});
    ASSERT_TRUE(initNode(filterNode).ok());
    auto* filter = dynamic_cast<CAudioParamFilter*>(filterNode.get());
    CError missing = filter->bindParams(*collector, "plugin.other");
    EXPECT_EQ(missing.message().utf8(), "Parameter 'plugin.other.oversampling' of the param filter not found.");
    ASSERT_TRUE(filter->bindParams(*collector, "plugin.modMain").ok());

    Recorder rec;
    collector->addListener(bypass.get(), &rec);
    EXPECT_TRUE(filter->update());  // 1X: no oversampling
    EXPECT_EQ(bypass->value(0, 0), 1.0);
    EXPECT_FALSE(filter->update());  // nothing changed
    os->storage().setValue(0, 0, 0, 3);  // 4X
    EXPECT_TRUE(filter->update());
    EXPECT_EQ(bypass->value(0, 0), 0.0);
    EXPECT_EQ(rec.seen.size(), 2u);
    collector->removeListener(&rec);
}

TEST_F(ParamTest, CollectorRegistryAndListeners) {
    auto node = makeNode("audio:param-collector", "param-collector");
    auto* collector = dynamic_cast<CAudioParamCollector*>(node.get());
    ASSERT_TRUE(makeDef({{"converter", "shared::audio.paramcvt.real"}, {"min-values", "0"}, {"max-values", "1"},
                         {"def-values", "0"}})
                    .ok());
    auto a = CAudioParam::create(*def, "plugin.modMain.b", 1);
    auto b = CAudioParam::create(*def, "plugin.modMain.a", 1);
    auto c = CAudioParam::create(*def, "plugin.x", 1);
    auto dupe = CAudioParam::create(*def, "plugin.x", 1);
    for (CAudioParam* p : {a.get(), b.get(), c.get()}) ASSERT_TRUE(collector->registerParam(p).ok());
    EXPECT_EQ(collector->registerParam(dupe.get()).message().utf8(), "Duplicate audio parameter name 'plugin.x'.");
    EXPECT_EQ(collector->findParam("plugin.modMain.a"), b.get());
    auto under = collector->paramsWithPrefix("plugin.modMain.");
    ASSERT_EQ(under.size(), 2u);
    EXPECT_EQ(under[0], b.get());  // ascending names

    Recorder one, all;
    collector->addListener(a.get(), &one);
    collector->addListener(nullptr, &all);
    collector->notifyChanged(*a);
    collector->notifyChanged(*c);
    EXPECT_EQ(one.seen.size(), 1u);
    EXPECT_EQ(all.seen.size(), 2u);

    // A destroyed parameter leaves the collector and its subscriptions.
    a.reset();
    EXPECT_EQ(collector->findParam("plugin.modMain.b"), nullptr);
    EXPECT_EQ(collector->paramCount(), 2u);
    collector->notifyChanged(*b);
    EXPECT_EQ(one.seen.size(), 1u);
    collector->removeListener(&all);
    collector->notifyChanged(*b);
    EXPECT_EQ(all.seen.size(), 3u);
    // The collector may go first: the parameters forget it.
    node.reset();
    EXPECT_EQ(b->collector(), nullptr);
}
