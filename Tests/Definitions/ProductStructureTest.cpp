// The structure of "SharedData.xml": what the framework looks up by name and
// order in the product's shared definitions and in the "plugin" template.

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "Audio/Params/AudioParamDef.h"
#include "Audio/Graph/ProcessDef.h"
#include "Audio/Processes/Limiters/GainComputerModules.h"
#include "Audio/Processes/Limiters/ModLeveler.h"
#include "Audio/Processes/Limiters/ModLimEvaluator.h"
#include "Product/ProductCreators.h"
#include "Core/MemoryReader.h"
#include "Core/Resources.h"
#include "ProductFixture.h"

namespace producttest {
namespace {

TEST_F(ProductDefinition, EveryTagOfTheDocumentIsRegistered) {
    // Loading the shared object and creating the template made no plain object
    // for an unknown tag (a misspelt tag shows up here).
    for (const std::string& l : logLines("Creating CObject")) ADD_FAILURE() << l;
}

// --- Top level ------------------------------------------------------------------------

// The top-level nodes of a compiled document (Core/XMLData.h): "tag name",
// templates as "template:<base tag> name".
bool topLevel(std::span<const uint8_t> doc, std::vector<std::string>* out) {
    CMemoryReader r(doc.data(), doc.size());
    uint32_t n = 0, p = 0;
    const uint8_t* block = nullptr;
    if (r.readU32(&n) || r.readU32(&p) || r.readStreamed(&block, p) || uint64_t(n) * 4 > p) return false;
    auto str = [&](std::string* s) {
        uint16_t i = 0;
        if (r.readU16(&i) || i >= n) return false;
        const uint32_t off = uint32_t(block[4 * i]) | uint32_t(block[4 * i + 1]) << 8 |
                             uint32_t(block[4 * i + 2]) << 16 | uint32_t(block[4 * i + 3]) << 24;
        *s = reinterpret_cast<const char*>(block + off);
        return true;
    };
    // Reads a node, skipping its attributes and children.
    std::function<bool(std::string*)> node = [&](std::string* text) {
        std::string tag, name, base;
        uint8_t kind = 0;
        uint16_t count = 0;
        uint32_t size = 0;
        if (!str(&tag) || !str(&name) || r.readU8(&kind)) return false;
        if (kind == 1) {
            *text = "template:" + (str(&base) ? base : "?") + " " + name;
            return !r.readU32(&size) && !r.skip(size);
        }
        *text = tag + " " + name;
        if (r.readU16(&count) || r.skip(4 * size_t(count)) || r.readU16(&count)) return false;
        std::string child;
        for (; count > 0; --count)
            if (!node(&child)) return false;
        return true;
    };
    std::string root, tag, name;
    uint8_t kind = 0;
    uint16_t count = 0;
    if (!str(&tag) || !str(&name) || r.readU8(&kind) || r.readU16(&count) || r.skip(4 * size_t(count)) ||
        r.readU16(&count))
        return false;
    for (; count > 0; --count) {
        if (!node(&root)) return false;
        out->push_back(root);
    }
    return true;
}

TEST_F(ProductDefinition, TopLevelIsHistoryProjectTemplateAudio) {
    std::vector<std::string> top;
    ASSERT_TRUE(topLevel(ResourceMap::find("SharedData.xml"), &top));
    ASSERT_GE(top.size(), 4u);
    const size_t history = top.size() - 3;
    for (size_t i = 0; i < history; ++i) EXPECT_EQ(top[i], "core:object whatsnew") << i;
    EXPECT_EQ(std::vector<std::string>(top.begin() + long(history), top.end()),
              (std::vector<std::string>{"core:object project", "template:core:object plugin", "core:object audio"}));
    EXPECT_EQ(def("audio").attr("plugin-tag").utf8(), "plugin");

    const std::vector<std::string> audio = {"paramcvt", "flt", "fltarray", "param-enable-viz",
        "modUpsamplerInterpolator", "modDownsamplerDecimator", "modUpsamplerFilterSteep",
        "modDownsamplerFilterSteep", "modResamplerFilterSoft", "modOutput", "cvt-gain-in", "cvt-gain-out", "modMain"};
    std::vector<std::string> names;
    for (const auto& c : def("audio").children()) names.push_back(c->name().utf8());
    EXPECT_EQ(names, audio);
}

// --- The "plugin" template --------------------------------------------------------------

TEST_F(ProductDefinition, TemplateInstanceHoldsTheInstanceObjectsInOrder) {
    EXPECT_EQ(m_plugin->attr("mod-name").utf8(), "plugin.modMain.modTamblor");
    const std::pair<const char*, const char*> expected[] = {
        {"appdata", "core:object"}, {"appdata", "core:object"}, {"appdata", "core:object"},
        {"appdata", "core:object"}, {"appdata", "core:object"}, {"audio-env", "audio:audio-env"},
        {"param-collector", "audio:param-collector"}, {"viz-collector", "audio:viz-collector"},
        {"cctable", "audio:cctable"}, {"interface-base-connector", "other:param-interface-base-connector-uni"},
        {"interface-base", "audio:interface-base"}, {"param-registry-io", "audio:param-registry"},
        {"param-registry", "audio:param-registry"}, {"param-registry-uicolor", "audio:param-registry"},
        {"appdata", "core:object"}, {"appdata", "core:object"}, {"param-registry-mode", "audio:param-registry"},
        {"param-registry-outmeter", "audio:param-registry"}, {"ext-param-list", "audio:ext-param-list"},
        {"modMain", "audio:process-def"},  // the runtime tree this test built
    };
    ASSERT_EQ(m_plugin->childCount(), std::size(expected));
    std::vector<std::string> files;
    for (size_t i = 0; i < std::size(expected); ++i) {
        const CObject* c = m_plugin->child(i);
        EXPECT_EQ(c->name().utf8(), expected[i].first) << i;
        if (i + 1 < std::size(expected)) {
            EXPECT_EQ(c->tag().utf8(), expected[i].second) << i;
        }
        if (c->name() == "appdata") {
            // A data file, "|", and the resource of its embedded default.
            const std::string f = c->attr("file").utf8();
            const size_t bar = f.find('|');
            ASSERT_NE(bar, std::string::npos) << f;
            files.push_back(f.substr(bar + 1));
        }
    }
    EXPECT_EQ(files, (std::vector<std::string>{"AppDataGlobal_routing-presets-sys", "AppDataGlobal_uicolor-presets",
                                               "AppDataLocal_ui-palette-cache", "AppDataLocal_uicolor-name",
                                               "AppDataLocal_uicolor-palette", "AppDataLocal_mode-presets",
                                               "AppDataLocal_outmeter-presets"}));
    // References between the instance objects resolve inside the instance.
    for (const char* ref : {"^audio-env", "^param-collector", "^viz-collector", "^interface-base-connector",
                            "^interface-base"})
        EXPECT_NE(m_plugin->findChild("param-collector")->findObject(ref), nullptr) << ref;
}

TEST_F(ProductDefinition, RegistriesCarryTheirAttributes) {
    struct Row {
        const char *name, *id, *hierarchy, *master, *file, *store, *presetParam, *naming, *flag;
    };
    const Row rows[] = {
        {"param-registry-io", "KLIO", "plugin.modMain.io-params", "false", "", "", "", "Routing preset", ""},
        {"param-registry", "v87u", "plugin.modMain", "true", "FactoryROM.cbf", "", "plugin.modMain.preset-name",
         "Master preset", ""},
        {"param-registry-uicolor", "KLUS", "plugin.modMain.uicolor-params", "false", "", "",
         "plugin.modMain.uicolor-params.mode-name", "UI color preset", "is-global-param-storable"},
        {"param-registry-mode", "v87u1", "plugin.modMain.modTamblor.mode-params", "false", "", "mode-presets",
         "plugin.modMain.modTamblor.mode-params.mode-name", "Mode preset", ""},
        {"param-registry-outmeter", "v87u2", "plugin.modMain.modTamblor.outmeter-params", "false", "",
         "outmeter-presets", "plugin.modMain.modTamblor.outmeter-params.name", "Output metering mode preset",
         "is-enumerated"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        const CObject* reg = m_plugin->findChild(r.name);
        ASSERT_NE(reg, nullptr);
        EXPECT_EQ(reg->attr("id").utf8(), r.id);
        EXPECT_EQ(reg->attr("hierarchy").utf8(), r.hierarchy);
        EXPECT_EQ(reg->attr("is-master").utf8(), r.master);
        EXPECT_EQ(reg->attr("file").utf8(), r.file);
        EXPECT_EQ(reg->attr("store-name").utf8(), r.store);
        EXPECT_EQ(reg->attr("preset-name-param").utf8(), r.presetParam);
        EXPECT_EQ(reg->attr("preset-naming").utf8(), r.naming);
        for (const char* flag : {"is-global-param-storable", "is-enumerated"})
            EXPECT_EQ(reg->attrBool(flag), std::strcmp(flag, r.flag) == 0) << flag;
        EXPECT_EQ(reg->attr("group-names-param").utf8(), "plugin.modMain.io-params.group-names");
        EXPECT_EQ(reg->attr("def-name-remap").utf8(), "plugin=audio");
        EXPECT_EQ(reg->attr("param-undo").utf8(), "^interface-base");
        EXPECT_EQ(reg->attr("param-collector").utf8(), "^param-collector");
        EXPECT_EQ(reg->attr("is-element-enum").utf8(), "false");
    }
}

TEST_F(ProductDefinition, HostSeesTheTwentySixExtParamsInOrder) {
    const std::pair<const char*, const char*> expected[] = {
        {"Bypass", "bypass-enable"}, {"Oversmp", "oversampling"}, {"InGain", "modTamblor.ingain"},
        {"OutGain", "modTamblor.outgain"}, {"RlsEnab", "modTamblor.release-enable"},
        {"Release", "modTamblor.release"}, {"DCEnabl", "modTamblor.dcfilter-enable"},
        {"DCFreq", "modTamblor.dcfilter-freq"}, {"DCType", "modTamblor.dcfilter-type"},
        {"DithEnb", "modTamblor.dither-enable"}, {"DithBit", "modTamblor.dither-bits"},
        {"DithTyp", "modTamblor.dither-noise"}, {"DithShp", "modTamblor.dither-shaping"},
        {"DithBln", "modTamblor.dither-blanking"}, {"Meterin", "modTamblor.metering-type"},
        {"ChLink", "modTamblor.mode-params.chlink"}, {"Mode", "modTamblor.mode-params.mode"},
        {"TBAIGC", "modTamblor.mode-params.tbaigc"}, {"Knee", "modTamblor.mode-params.knee"},
        {"XTime", "modTamblor.mode-params.trans-time"}, {"XForm", "modTamblor.mode-params.trans-form"},
        {"XShape", "modTamblor.mode-params.trans-shape"}, {"DRCType", "modTamblor.mode-params.drc-type"},
        {"Timing", "modTamblor.mode-params.timing"}, {"RlsRto", "modTamblor.mode-params.release-ratio"},
        {"RlsShp", "modTamblor.mode-params.release-shape"},
    };
    const CObject* list = m_plugin->findChild("ext-param-list");
    ASSERT_NE(list, nullptr);
    ASSERT_EQ(list->childCount(), std::size(expected));
    for (size_t i = 0; i < std::size(expected); ++i) {
        const CObject* e = list->child(i);
        SCOPED_TRACE(expected[i].first);
        EXPECT_EQ(e->tag().utf8(), "audio:ext-param");
        EXPECT_EQ(e->attr("ext-name").utf8(), expected[i].first);
        EXPECT_EQ(e->attr("param-name").utf8(), std::string("plugin.modMain.") + expected[i].second);
        EXPECT_EQ(e->attr("group").utf8(), "0");
        EXPECT_EQ(e->attr("element-index").utf8(), "0");
        EXPECT_EQ(e->attr("param-collector").utf8(), "plugin.param-collector");
        // The host bridge binds through the collector: all but DithBln are there.
        const CString full = e->attr("param-name");
        EXPECT_EQ(m_collector->findParam(full) != nullptr, i != 13) << full.utf8();
    }
}

// --- Process tree ---------------------------------------------------------------------------

struct ChildRow {
    const char *name, *tag;
};

void expectChildren(const CObject& container, std::initializer_list<ChildRow> rows) {
    SCOPED_TRACE(container.name().utf8());
    std::vector<std::string> want, got;
    for (const ChildRow& r : rows) want.push_back(std::string(r.name) + " " + r.tag);
    for (const auto& c : container.children())
        if (dynamic_cast<const CAudioProcessDefBase*>(c.get())) got.push_back(c->name().utf8() + " " + c->tag().utf8());
    EXPECT_EQ(got, want);
}

TEST_F(ProductDefinition, ContainersHoldTheirChildrenInOrder) {
    expectChildren(def("audio.modMain"),
                   {{"modInRouter", "audio:modRouter"}, {"modInputNode", "audio:modNode"},
                    {"modDenormMod", "audio:modDenormNoise"}, {"modPreUpsampler", "audio:modNode"},
                    {"modStatsWaveIn", "audio:modStatsWave"}, {"modUpsampler", "audio:modResampler"},
                    {"modMainPre", "audio:modNode"}, {"modTamblor", "audio:process-def"},
                    {"modDownsampler", "audio:modResampler"}, {"modPostDownsampler", "audio:modNode"},
                    {"modStatsWaveOut", "audio:modStatsWave"}, {"modMeterOut", "audio:modMeter"},
                    {"modMeterIODiff", "audio:modMeter"}, {"modGroupSolo", "audio:modBypass"},
                    {"modPostDither", "audio:process-def"}, {"modBypass", "audio:modBypass"},
                    {"modLatencyUniformer", "audio:modLatencyUniformer"}, {"modOutRouter", "audio:modRouter"}});
    expectChildren(def("audio.modMain.modTamblor"),
                   {{"modDCFilter", "audio:modFilterIIR"}, {"modMeterIn", "audio:modMeter"},
                    {"modInGain", "audio:modGain"}, {"modLimiter", "audio:process-def"}, {"modMult", "audio:modMult"},
                    {"modGRMeter", "audio:modMeter"}, {"modGRMeterG", "audio:modMeter"},
                    {"modStatsMaxGR", "audio:modStatsMaxGR"}});
    expectChildren(def("audio.modMain.modTamblor.modLimiter"),
                   {{"modAbs", "audio:modAbs"}, {"modLeveler", "audio:modLeveler"},
                    {"modSwitch", "audio:modProcessSwitch"}, {"modTrans", "audio:modFilterFIR"},
                    {"modFixedLatency", "audio:modFixedLatency"}, {"modMult", "audio:modMult"}});
    expectChildren(def("audio.modMain.modTamblor.modLimiter.modSwitch"),
                   {{"modClip", "audio:modLimClip"}, {"modAIGC1", "audio:modLimAIGC"}, {"modAIGC2", "audio:modLimAIGC"},
                    {"modAIGC3", "audio:modLimAIGC"}, {"modAIGC4", "audio:modLimAIGC"}, {"modTB1", "audio:modLimTB"},
                    {"modTB2", "audio:modLimTB"}, {"modTB4", "audio:modLimTB"}, {"modTBC", "audio:modLimTBC"},
                    {"modTBI", "audio:modLimTBI"}});
    expectChildren(def("audio.modMain.modPostDither"),
                   {{"modOutGain", "audio:modGain"}, {"modClip", "audio:modClip"}, {"modDither", "audio:modDither"},
                    {"modMasterOut", "audio:modNode"}, {"modEval", "audio:process-def"},
                    {"modStatsRMS", "audio:modStatsRMS"}, {"modStatsPeak", "audio:modStatsPeak"}});
    expectChildren(def("audio.modMain.modPostDither.modEval"),
                   {{"modInELoud", "audio:modELoud"}, {"modInAbs", "audio:modAbs"},
                    {"modInLeveler", "audio:modLeveler"}, {"modOutELoud", "audio:modELoud"},
                    {"modOutAbs", "audio:modAbs"}, {"modOutLeveler", "audio:modLeveler"},
                    {"modLimEvaluator", "audio:modLimEvaluator"}, {"modClip", "audio:modClip"}});
}

// Walks every object below an object of the shared tree.
template <class F>
void walk(const CObject& o, F&& f) {
    for (const auto& c : o.children()) {
        f(*c);
        walk(*c, f);
    }
}

TEST_F(ProductDefinition, ChainingStackingAndCrossFadeFlags) {
    std::set<std::string> outOfOrder, stacked, manualLinks;
    walk(def("audio"), [&](const CObject& o) {
        const auto* p = dynamic_cast<const CAudioProcessDefBase*>(&o);
        if (!p) return;
        const std::string n = o.parent()->name().utf8() + "." + o.name().utf8();
        if (p->isOutOfOrder()) outOfOrder.insert(n);
        if (p->isStacked()) stacked.insert(n);
        if (auto* c = dynamic_cast<const CAudioProcessDef*>(p); c && !c->isAutoLinks()) manualLinks.insert(n);
        // Every module cross-fades over 15 ms (the default, or stated where a
        // filter would not fade without it), the transient filter over 5 ms.
        if (!p->isContainer() && o.name() != "modOutput") {
            const double fade = p->xfadeLength() > 0.0 ? p->xfadeLength() : audio::kDefaultCrossfadeSeconds;
            EXPECT_DOUBLE_EQ(fade, o.name() == "modTrans" ? 0.005 : 0.015) << n;
        }
    });
    EXPECT_EQ(outOfOrder, (std::set<std::string>{
                              "modMain.modStatsWaveIn", "modMain.modStatsWaveOut", "modMain.modMeterOut",
                              "modMain.modMeterIODiff", "modTamblor.modMeterIn", "modTamblor.modLimiter",
                              "modTamblor.modGRMeter", "modTamblor.modGRMeterG", "modTamblor.modStatsMaxGR",
                              "modPostDither.modStatsRMS", "modPostDither.modStatsPeak"}));
    EXPECT_EQ(stacked,
              (std::set<std::string>{"modMain.modTamblor", "modPostDither.modEval", "modPostDither.modOutGain"}));
    EXPECT_EQ(manualLinks, (std::set<std::string>{"modPostDither.modEval"}));
}

// "src>dst[#ids]" per link of a container, in order.
std::vector<std::string> links(const CObject& container) {
    std::vector<std::string> out;
    for (const auto& c : container.children())
        if (c->tag() == "audio:process-link") {
            std::string s = c->attr("src").utf8() + ">" + c->attr("dst").utf8();
            if (c->hasAttr("bypass-state-id")) s += "#" + c->attr("bypass-state-id").utf8();
            out.push_back(s);
        }
    return out;
}

// "id:param[!][range][ viz]" per bypass state of a container, in order.
std::vector<std::string> bypassStates(const CObject& container) {
    std::vector<std::string> out;
    for (const auto& c : container.children())
        if (auto* s = dynamic_cast<const CAudioProcessBypassStateDef*>(c.get())) {
            std::string t = std::to_string(s->id()) + ":" + s->param().utf8();
            if (c->attrBool("is-inverted")) t += "!";
            t += c->attr("range").utf8();
            if (c->name() == "process-bypass-state-viz") t += " viz";
            EXPECT_DOUBLE_EQ(c->attrReal("value", -1), 1.0) << t;
            out.push_back(t);
        }
    return out;
}

TEST_F(ProductDefinition, LinksAndBypassStatesOfEachContainer) {
    using V = std::vector<std::string>;
    EXPECT_EQ(links(def("audio.modMain")),
              (V{"modInputNode>modStatsWaveIn#52", "modPostDither>modStatsWaveIn/1#52", "modPostDither>modStatsWaveOut#53",
                 "modPostDither>modMeterOut#0", "modPostDither>modMeterIODiff#1", "modInputNode>modMeterIODiff/1#1",
                 "modInputNode>modPostDither/1", "modInputNode>modBypass/1"}));
    EXPECT_EQ(bypassStates(def("audio.modMain")),
              (V{"52:modStatsWaveIn-enable! viz", "33:oversampling-bypass", "34:oversampling-bypass!",
                 "53:modStatsWaveOut-enable! viz", "0:modMeterOut-enable! viz", "1:modMeterIODiff-enable! viz",
                 "35:group-solo-bypass", "11:denorm-enable!"}));

    EXPECT_EQ(links(def("audio.modMain.modTamblor")),
              (V{"*>modMeterIn#55", "modInGain>modLimiter", "modLimiter>modMult/1", "modLimiter>modGRMeter#50",
                 "modLimiter>modGRMeterG#52", "modLimiter>modStatsMaxGR#51"}));
    EXPECT_EQ(bypassStates(def("audio.modMain.modTamblor")),
              (V{"0:dcfilter-enable!", "55:modMeterIn-enable! viz", "50:modGRMeter-enable! viz",
                 "52:modGRMeterG-enable! viz", "51:modStatsMaxGR-enable! viz"}));

    EXPECT_EQ(links(def("audio.modMain.modTamblor.modLimiter")),
              (V{"modSwitch/1>modFixedLatency/1", "modSwitch/1>modMult/1"}));
    EXPECT_EQ(bypassStates(def("audio.modMain.modTamblor.modLimiter")), (V{"0:^mode-params.mode(*;0.5)"}));

    EXPECT_EQ(links(def("audio.modMain.modPostDither")),
              (V{"*/1>modEval/1", "modMasterOut>modStatsRMS#51", "modMasterOut>modStatsPeak#52"}));
    EXPECT_EQ(bypassStates(def("audio.modMain.modPostDither")),
              (V{"1:dither-enable!", "15:eval-enable!", "51:modStatsRMS-enable! viz", "52:modStatsPeak-enable! viz"}));

    EXPECT_EQ(links(def("audio.modMain.modPostDither.modEval")),
              (V{"*/1>modInELoud", "modInELoud>modInAbs", "modInAbs>modInLeveler", "modInLeveler>modLimEvaluator/1",
                 "*>modOutELoud", "modOutELoud>modOutAbs", "modOutAbs>modOutLeveler", "modOutLeveler>modLimEvaluator/2",
                 "*>modLimEvaluator", "modLimEvaluator>modClip", "modClip>*"}));
    EXPECT_TRUE(bypassStates(def("audio.modMain.modPostDither.modEval")).empty());

    // Children that a bypass state takes out of the chain.
    std::map<std::string, int> ids;
    walk(def("audio.modMain"), [&](const CObject& o) {
        if (auto* p = dynamic_cast<const CAudioProcessDefBase*>(&o); p && p->bypassStateId() >= 0)
            ids[o.name().utf8()] = p->bypassStateId();
    });
    EXPECT_EQ(ids, (std::map<std::string, int>{{"modDenormMod", 11}, {"modUpsampler", 33}, {"modDownsampler", 33},
                                                {"modGroupSolo", 35}, {"modLatencyUniformer", 12},
                                                {"modDCFilter", 0}, {"modTrans", 0}, {"modDither", 1},
                                                {"modEval", 15}}));
}

TEST_F(ProductDefinition, ObjectReferencesResolve) {
    // Generator arrays, generators and the algorithms of the switch are found
    // by path; a misspelt path would leave a module without its filter.
    size_t refs = 0;
    walk(def("audio"), [&](const CObject& o) {
        for (const char* attr : {"gen-array", "fltgen"}) {
            if (!o.hasAttr(attr)) continue;
            ++refs;
            const CObject* target = o.findObject(o.attr(attr));
            EXPECT_NE(target, nullptr) << o.fullName().utf8() << " " << attr;
            if (target && std::string(attr) == "gen-array") {
                EXPECT_EQ(target->tag().utf8(), "audio:fltgen-array");
            }
        }
        if (o.hasAttr("process-list"))
            for (const CString& item : splitString(o.attr("process-list"), u';')) {
                ++refs;
                EXPECT_NE(o.findObject(item.substr(item.find(u':') + 1)), nullptr) << item.utf8();
            }
    });
    EXPECT_EQ(refs, 5u + 22u + 1u + 3u + 11u + 10u);  // 5 modules, serial items, array items, switch list
    EXPECT_EQ(def("audio.modMain.modTamblor.modLimiter.modSwitch").attr("process-list").utf8(),
              "0:.modClip;1:.modAIGC1;2:.modAIGC2;3:.modAIGC3;4:.modAIGC4;5:.modTB1;6:.modTB2;7:.modTB4;8:.modTBC;"
              "9:.modTBI");
    EXPECT_EQ(def("audio.modMain.modLatencyUniformer").attr("latencies").utf8(),
              def("project").attr("uniform-latencies").utf8());
}

TEST_F(ProductDefinition, FilterArraysListTheirGeneratorsByIndex) {
    // The DC-filter array follows the order of the "dcfilter-type" state names.
    const std::pair<const char*, std::vector<std::string>> arrays[] = {
        {"firlp", {"firlp"}},
        {"firlim", {"firlim1", "firlim2", "firlim3"}},
        {"dcfilters", {"hp1", "hp2_bessel", "hp2_bworth", "hp3_bessel", "hp3_bworth", "hp4_bessel", "hp4_bworth",
                       "hp5_bessel", "hp5_bworth", "hp6_bessel", "hp6_bworth"}},
    };
    for (const auto& [name, items] : arrays) {
        const CObject& a = def((std::string("audio.fltarray.") + name).c_str());
        ASSERT_EQ(a.childCount(), items.size()) << name;
        for (size_t i = 0; i < items.size(); ++i) {
            EXPECT_EQ(a.child(i)->attrInt("index", -1), int64_t(i));
            EXPECT_EQ(a.child(i)->attr("fltgen").utf8(), "shared::audio.flt." + items[i]);
        }
    }
    for (int t = 0; t < 3; ++t)
        EXPECT_EQ(def(("audio.flt.firlim" + std::to_string(t + 1)).c_str()).attrInt("type", -1), t);
}

// The limiter algorithms list their slots once, in C++ (Params::kTable); the
// definitions bind those slots by index. A slot list out of step with the
// table would feed one setting into another (the release shape into the
// ratio, say) without any error.
template <class P>
void expectSlotsInTableOrder(const CObject& module) {
    size_t allocs = 0;
    for (const auto& c : module.children()) {
        if (!(c->tag() == "audio:param-alloc")) continue;
        ++allocs;
        const int64_t index = c->attrInt("index", -1);
        ASSERT_TRUE(index >= 0 && index < int64_t(std::size(P::kTable))) << module.fullName().utf8() << " " << index;
        const std::string name = c->attr("param-name").utf8();
        EXPECT_EQ(name.substr(name.rfind('.') + 1), P::kTable[index].name) << module.fullName().utf8() << " " << index;
    }
    EXPECT_EQ(allocs, std::size(P::kTable)) << module.fullName().utf8();
}

TEST_F(ProductDefinition, LimiterSlotListsFollowTheAlgorithmsTables) {
    std::map<std::string, int> seen;
    walk(def("audio"), [&](const CObject& o) {
        const std::string tag = o.tag().utf8();
        ++seen[tag];
        if (tag == "audio:modLimTB") expectSlotsInTableOrder<CModLimTB::Params>(o);
        else if (tag == "audio:modLimAIGC") expectSlotsInTableOrder<CModLimAIGC::Params>(o);
        else if (tag == "audio:modLimTBC") expectSlotsInTableOrder<CModLimTBC::Params>(o);
        else if (tag == "audio:modLimTBI") expectSlotsInTableOrder<CModLimTBI::Params>(o);
        else if (tag == "audio:modLimClip") expectSlotsInTableOrder<CModLimClip::Params>(o);
        else if (tag == "audio:modLeveler") expectSlotsInTableOrder<CModLeveler::Params>(o);
        else if (tag == "audio:modLimEvaluator") expectSlotsInTableOrder<CModLimEvaluator::Params>(o);
        else seen.erase(tag);
    });
    EXPECT_EQ(seen, (std::map<std::string, int>{{"audio:modLimTB", 3}, {"audio:modLimAIGC", 4}, {"audio:modLimTBC", 1},
                                                {"audio:modLimTBI", 1}, {"audio:modLimClip", 1},
                                                {"audio:modLeveler", 3}, {"audio:modLimEvaluator", 1}}));
}

}  // namespace
}  // namespace producttest
