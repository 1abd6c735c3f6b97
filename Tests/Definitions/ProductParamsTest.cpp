// The product's parameters: the user-level table (stored ranges, defaults,
// flags, state names) and the names by which modules, bypass states,
// filters, remaps, registries and the host list refer to parameters. The
// names are resolved by the graph's own rules on the runtime tree, so a
// misspelt name anywhere in the document fails here.

#include <cmath>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "Audio/Params/AudioParamAlloc.h"
#include "Audio/Params/AudioParamDef.h"
#include "Audio/Params/AudioParamFilter.h"
#include "Audio/Params/AudioParamRemap.h"
#include "Audio/Graph/ProcessDef.h"
#include "ProductFixture.h"

namespace producttest {
namespace {

double dB(double v) { return std::exp(v / 8.685889638065037); }
double ms(double v) { return v * 0.001; }

std::string flagsOf(const CAudioParamInfo& i) {
    std::string f;
    auto add = [&](bool on, const char* s) {
        if (on) f += f.empty() ? s : std::string(" ") + s;
    };
    add(i.isStorable(), "st");
    add(i.isPersistent(), "pe");
    add(i.isGlobal(), "gl");
    add(i.isSingleGroup(), "sg");
    add(i.isSingleElement(), "se");
    return f;
}

std::string statesOf(const CAudioParamInfo& i) {
    std::string s;
    for (const CAudioStateName& n : i.stateNames()) {
        if (!s.empty()) s += ";";
        s += n.longName.utf8();
        if (!(n.shortName == n.longName)) s += "|" + n.shortName.utf8();
    }
    return s;
}

const CAudioParamInfo* userParam(const CSharedObject* shared, const std::string& path) {
    auto* d = dynamic_cast<const CAudioParamDef*>(shared->findObject(CString("audio.modMain." + path)));
    EXPECT_NE(d, nullptr) << path;
    return d ? &d->info() : nullptr;
}

const char* const kDCTypes =
    "-6 dB/oct|-6;-12 soft|-12sft;-12 steep|-12stp;-18 soft|-18sft;-18 steep|-18stp;-24 soft|-24sft;"
    "-24 steep|-24stp;-30 soft|-30sft;-30 steep|-30stp;-36 soft|-36sft;-36 steep|-36stp";

TEST_F(ProductDefinition, UserParametersStoreTheirRangesDefaultsAndFlags) {
    // Stored units: gains linear, times in seconds, percentages as fractions,
    // ratios as the factor ("2:1" is 0.5), enumerations as state indices.
    struct Row {
        const char* path;
        const char* converter;  // after "shared::audio.paramcvt." unless it starts with "/"
        double min, max, def;
        const char* flags;
        const char* visual;
        const char* states;
    };
    const Row rows[] = {
        {"io-params.show-all-channels", "enum-enable", 0, 1, 0, "st sg se", "Show all channel meters", ""},
        {"io-params.in-routing", "enum", 0, 16, 1, "st sg", "In routing", ""},
        {"io-params.grouping", "enum", 0, 7, 0, "st sg", "Group assign", ""},
        {"io-params.channel-group-solo", "enum-enable", 0, 1, 0, "gl", "Channel group solo", ""},
        {"io-params.out-routing", "enum", 0, 16, 1, "st sg", "Out routing", ""},
        {"oversampling", "enum", 0, 4, 1, "st sg se", "Oversampling", "Auto;1X;2X;4X;8X"},
        {"oversampling-bypass", "enum-enable", 0, 1, 0, "gl sg se", "", ""},
        {"modTamblor.outmeter-params.min", "real", -96, -1, -48, "st sg", "Meter range min", ""},
        {"modTamblor.outmeter-params.max", "real", -6, 48, 18, "st sg", "Meter range max", ""},
        {"modTamblor.outmeter-params.zyellow", "real", -96, 24, 0, "st sg", "Meter yellow zone", ""},
        {"modTamblor.outmeter-params.zred", "real", -24, 36, 4, "st sg", "Meter red zone", ""},
        {"modTamblor.outmeter-params.gain", "gain", dB(-24), dB(30), 1, "st sg", "Meter gain adjustment", ""},
        {"modTamblor.outmeter-params.peakgain", "gain", dB(-12), dB(12), 1, "st sg", "Meter peak gain adjustment", ""},
        {"modTamblor.outmeter-params.timeenable", "enum-enable", 0, 1, 0, "st sg", "Special timing constants enable",
         ""},
        {"modTamblor.outmeter-params.rmstime", "time", ms(0.1), ms(5000), ms(2), "st sg", "RMS integration time", ""},
        {"modTamblor.outmeter-params.reltime", "time", 0, ms(5000), ms(750), "st sg", "Release time", ""},
        {"modTamblor.outmeter-params.ebu128enable", "enum-enable", 0, 1, 0, "st sg", "EBU-128 metering enable", ""},
        {"modTamblor.mode-params.mode", "enum", 0, 11, 4, "st", "Limiter mode",
         "Clip;AIGC-1;AIGC-2;AIGC-3;AIGC-4;TB-1;TB UNI;TB-4;TB-C;TB INS"},
        {"modTamblor.mode-params.tbaigc", "enum", 0, 5, 0, "st", "TB AIGC mode", "Off;1;2;3;4;5"},
        {"modTamblor.mode-params.trans-time", "time", ms(0.1), ms(10), ms(1.5), "st", "Trans time", ""},
        {"modTamblor.mode-params.trans-form", "enum", 0, 2, 0, "st", "Trans form", "Classic;Sharp;Asymm"},
        {"modTamblor.mode-params.trans-shape", "real", -1, 1, 0, "st", "Trans shape", ""},
        {"modTamblor.mode-params.chlink", "percent", 0, 1, 1, "st", "Channel interlinking", ""},
        {"modTamblor.mode-params.knee", "percent", 0, 1, 0, "st", "Knee", ""},
        {"modTamblor.mode-params.drc-type", "enum", 0, 2, 0, "st", "DRC type", "Off;Rls;Exp"},
        {"modTamblor.mode-params.timing", "percent", 0.4, 5, 1, "st", "Algorithm timing", ""},
        {"modTamblor.mode-params.release-ratio", "ratio", 1, 0.2, 0.5, "st", "Release to attack ratio", ""},
        {"modTamblor.mode-params.release-shape", "real", -1, 2, -1, "st", "Release shape", ""},
        {"modTamblor.eval-enable", "enum-enable", 0, 1, 0, "gl sg", "Eval enable", ""},
        {"modTamblor.ingain", "/audio.cvt-gain-in", dB(-3), dB(24), 1, "st", "Input gain", ""},
        {"modTamblor.outgain", "/audio.cvt-gain-out", dB(-24), dB(3), 1, "st", "Output gain", ""},
        {"modTamblor.metering-type", "enum", 0, 13, 0, "st sg", "Output metering type", ""},
        {"modTamblor.graphmode", "enum", 0, 1, 0, "st", "Graph mode", "GR;Wave"},
        {"modTamblor.release-enable", "enum-enable", 0, 1, 1, "st", "Release enable", ""},
        {"modTamblor.release", "time-log", ms(1), ms(300), ms(10), "st", "Release", ""},
        {"modTamblor.dcfilter-enable", "enum-enable", 0, 1, 0, "st sg", "DC filter enable", ""},
        {"modTamblor.dcfilter-freq", "freq", 1, 100, 10, "st sg", "DC filter freq", ""},
        {"modTamblor.dcfilter-type", "enum", 0, 13, 5, "st sg", "DC filter type", kDCTypes},
        {"modTamblor.dither-enable", "enum-enable", 0, 1, 0, "st sg", "Dither enable", ""},
        // Index 8 is 16 bits (the names are word lengths 8 to 24).
        {"modTamblor.dither-bits", "enum", 0, 16, 8, "st sg", "Dither bits",
         "8;9;10;11;12;13;14;15;16;17;18;19;20;21;22;23;24"},
        {"modTamblor.dither-noise", "enum", 0, 2, 1, "st sg", "Dither noise type", "TPDF;Gauss;1-Bit"},
        {"modTamblor.dither-shaping", "enum", 0, 2, 1, "st sg", "Noise-shaping type", "Off;Equal;Classic"},
        {"modTamblor.graph-window-size", "real", 10, 8192, 650, "pe sg", "", ""},
        {"modTamblor.stats-reset", "enum-enable", 0, 1, 0, "gl sg se", "Statistics reset", ""},
        {"group-solo-bypass", "enum-enable", 0, 1, 0, "gl sg se", "", ""},
        {"bypass-enable", "enum-enable", 0, 1, 0, "pe sg se", "", ""},
        {"ab-state", "enum", 0, 1, 0, "gl sg se", "", ""},
        {"host-oversampling-mode", "enum", 0, 3, 0, "gl sg se", "", ""},
        {"host-offline", "enum-enable", 0, 1, 0, "gl sg se", "", ""},
        {"host-latency-change", "enum-enable", 0, 1, 0, "gl sg se", "", ""},
        {"meter-rmstime", "time", ms(1), ms(1000), ms(2), "gl sg se", "Meter integration time", ""},
        {"meter-releasetime", "time", 0, ms(5000), ms(750), "gl sg se", "Meter release time", ""},
        {"meter-peaktime", "time", ms(100), ms(10000), ms(1000), "gl sg se", "Meter peak time", ""},
        {"groupsel", "enum", 0, 7, 0, "st pe sg se", "", ""},
        {"main-window-size", "real", 10, 8192, 590, "gl sg", "", ""},
        {"denorm-enable", "enum", 0, 1, 1, "gl sg se", "Anti-denormal noise enable", ""},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.path);
        const CAudioParamInfo* i = userParam(m_shared, r.path);
        if (!i) continue;
        ASSERT_TRUE(i->isNumeric());
        const std::string cvt = r.converter[0] == '/' ? r.converter : std::string("shared::audio.paramcvt.") + r.converter;
        EXPECT_EQ(i->converterName(0).utf8(), cvt);
        EXPECT_NEAR(i->minValue(0), r.min, 1e-12);
        EXPECT_NEAR(i->maxValue(0), r.max, 1e-12);
        EXPECT_NEAR(i->defaultValue(0), r.def, 1e-12);
        EXPECT_EQ(flagsOf(*i), r.flags);
        EXPECT_EQ(i->visualName().utf8(), r.visual);
        EXPECT_EQ(statesOf(*i), r.states);
    }

    // Several elements: routing, grouping and the window sizes.
    const std::pair<const char*, std::vector<double>> elements[] = {
        {"io-params.in-routing", {1, 2, 0, 0, 0, 0, 0, 0}},
        {"io-params.out-routing", {1, 2, 0, 0, 0, 0, 0, 0}},
        {"io-params.grouping", {0, 0, 1, 1, 2, 2, 3, 3}},
        {"modTamblor.graph-window-size", {650, 430}},
        {"main-window-size", {590, 444}},
    };
    for (const auto& [path, values] : elements) {
        const CAudioParamInfo* i = userParam(m_shared, path);
        if (!i) continue;
        ASSERT_EQ(i->defaultElementCount(), values.size()) << path;
        for (size_t e = 0; e < values.size(); ++e) EXPECT_EQ(i->defaultValue(uint32_t(e)), values[e]) << path << e;
    }

    // Values of the limiter mode without a name read "Reserve"; the metering
    // type takes its names from the output-meter registry.
    const CAudioParamInfo* mode = userParam(m_shared, "modTamblor.mode-params.mode");
    ASSERT_NE(mode, nullptr);
    EXPECT_EQ(mode->valueToText(0, 9).utf8(), "TB INS");
    EXPECT_EQ(mode->valueToText(0, 10).utf8(), "Reserve");
    const CAudioParamInfo* metering = userParam(m_shared, "modTamblor.metering-type");
    ASSERT_NE(metering, nullptr);
    EXPECT_EQ(metering->stateNamesRef().utf8(), "outmeter-presets");
    EXPECT_EQ(metering->paramRegistry().utf8(), "plugin.param-registry-outmeter");
    EXPECT_NE(m_plugin->findObject(metering->paramRegistry()), nullptr);
}

TEST_F(ProductDefinition, TextParametersKeepTheirDefaults) {
    struct Row {
        const char *path, *def, *flags;
        EAudioParamDataType type;
        uint32_t elements;
    };
    const Row rows[] = {
        {"io-params.in-channel-names", "L", "st sg", EAudioParamDataType::Text, 16},
        {"io-params.group-names", "1", "st sg", EAudioParamDataType::Text, 8},
        {"modTamblor.outmeter-params.name", "Default", "st", EAudioParamDataType::Text, 1},
        {"modTamblor.outmeter-params.stepping", "1/3 3/6 6/12", "st sg", EAudioParamDataType::Text, 1},
        {"modTamblor.mode-params.mode-name", "Default", "st", EAudioParamDataType::Text, 1},
        {"instance-name", " ", "pe sg", EAudioParamDataType::Text, 1},
        {"preset-name", "Default", "st gl sg se", EAudioParamDataType::Text, 1},
        {"uicolor-params.mode-name", "Default", "gl sg se", EAudioParamDataType::Text, 1},
        {"uicolor-params.palette", "0", "gl sg se", EAudioParamDataType::Raw, 1},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.path);
        const CAudioParamInfo* i = userParam(m_shared, r.path);
        if (!i) continue;
        EXPECT_EQ(i->dataType(), r.type);
        EXPECT_EQ(i->defaultText(0).utf8(), r.def);
        EXPECT_EQ(i->defaultElementCount(), r.elements);
        EXPECT_EQ(flagsOf(*i), r.flags);
    }
    const CAudioParamInfo* names = userParam(m_shared, "io-params.in-channel-names");
    ASSERT_NE(names, nullptr);
    EXPECT_EQ(names->defaultText(15).utf8(), "IN16");
}

TEST_F(ProductDefinition, ModuleParametersCarryTheirOwnDefaults) {
    // What a module reads where no remap binds its slot to a user parameter.
    struct Row {
        const char* path;
        double min, max, def;
    };
    const Row rows[] = {
        {"audio.modUpsamplerFilterSteep.freq", 20, 22050, 10650},
        {"audio.modDownsamplerFilterSteep.freq", 20, 22050, 11000},
        {"audio.modResamplerFilterSoft.freq", 20, 22050, 10200},
        {"audio.modResamplerFilterSoft.beta", 1, 100, 16.3},
        {"audio.modMain.modMeterIODiff.rms-time", ms(0.1), ms(5000), ms(3000)},
        {"audio.modMain.modMeterOut.use-bias", 0, 1, 1},
        {"audio.modMain.modTamblor.modGRMeter.use-bias", 0, 1, 0},
        {"audio.modMain.modTamblor.modGRMeterG.rms-time2", ms(0.1), ms(5000), ms(0.1)},
        {"audio.modMain.modTamblor.modLimiter.modSwitch.modAIGC4.type", 0, 3, 3},
        {"audio.modMain.modTamblor.modLimiter.modSwitch.modTB4.type", 0, 2, 2},
        {"audio.modMain.modPostDither.modClip.gain", dB(-30), dB(30), 1},
        {"audio.modMain.modPostDither.modDither.bits", 0, 16, 8},
        {"audio.modMain.modPostDither.modEval.modLimEvaluator.avg-time", ms(1), ms(5000), ms(900)},
    };
    for (const Row& r : rows) {
        auto* d = dynamic_cast<const CAudioParamDef*>(m_shared->findObject(CString(r.path)));
        ASSERT_NE(d, nullptr) << r.path;
        EXPECT_NEAR(d->info().minValue(0), r.min, 1e-12) << r.path;
        EXPECT_NEAR(d->info().maxValue(0), r.max, 1e-12) << r.path;
        EXPECT_NEAR(d->info().defaultValue(0), r.def, 1e-12) << r.path;
    }
}

// --- Counts ---------------------------------------------------------------------------------

TEST_F(ProductDefinition, DeclaresEveryParameterOnce) {
    // The parameter table's 247 plus "stats-reset", which the statistics'
    // reset button drives.
    size_t declared = 0, inMain = 0;
    std::function<void(const CObject&, bool)> count = [&](const CObject& o, bool main) {
        for (const auto& c : o.children()) {
            const bool m = main || c->name() == "modMain";
            if (dynamic_cast<const CAudioParamDef*>(c.get())) {
                ++declared;
                inMain += m;
            }
            count(*c, m);
        }
    };
    count(def("audio"), false);
    EXPECT_EQ(declared, 248u);
    // The runtime tree creates each parameter of modMain once, whatever the
    // number of stack instances and algorithms; each of the resamplers' three
    // filter stages owns the five parameters of its shared filter definition,
    // and the visualisation collector adds "<tap>-enable" for each of its ten taps.
    EXPECT_EQ(m_collector->paramCount(), inMain + 2u * 3u * 5u + 10u);
    EXPECT_EQ(inMain, 248u - 16u);
}

// --- Names ---------------------------------------------------------------------------------

// Every runtime process once, with the full names its definition's children use.
void forEachProcess(CObject* o, std::set<std::string>& seen, const std::function<void(CAudioProcessBase&)>& f) {
    if (auto* p = dynamic_cast<CAudioProcessBase*>(o); p && p->def() && seen.insert(p->fullName().utf8()).second) f(*p);
    for (const auto& c : o->children()) forEachProcess(c.get(), seen, f);
}

TEST_F(ProductDefinition, EveryReferencedParameterResolves) {
    // Slots the modules leave unbound on purpose (they read the fallback).
    // The resamplers' filter stages use the only generator of their array.
    const std::set<std::string> unboundSlots = {"count"};
    const std::set<std::string> unboundStageSlots = {"count", "index"};

    // Names that parameters are used under (slots, bypass states, filters),
    // so that a remap's "orig" can be checked to rebind something real.
    std::set<std::string> used;
    std::vector<std::pair<std::string, std::string>> remaps;  // full orig, full target
    std::set<std::string> seen;
    forEachProcess(m_main, seen, [&](CAudioProcessBase& p) {
        const std::string at = p.fullName().utf8();
        for (const auto& c : p.def()->children()) {
            if (auto* a = dynamic_cast<const CAudioParamAllocDef*>(c.get())) {
                const std::string n = a->paramName().utf8();
                used.insert(at + "." + n);
                used.insert(p.paramAliasPrefix().utf8() + "." + n);
                const bool stage = at.find(".modUpsampler.") != std::string::npos ||
                                   at.find(".modDownsampler.") != std::string::npos;
                if (!(stage ? unboundStageSlots : unboundSlots).count(n)) {
                    EXPECT_NE(m_build->resolveParam(p, a->paramName()), nullptr)
                        << at << " slot " << a->index() << " " << n;
                }
            } else if (auto* s = dynamic_cast<const CAudioProcessBypassStateDef*>(c.get())) {
                used.insert(at + "." + s->param().utf8());
                if (c->name() == "process-bypass-state-viz") {
                    // The visualisation collector creates "<tap>-enable" for a tap of this container.
                    const std::string tap = s->param().utf8().substr(0, s->param().utf8().rfind("-enable"));
                    EXPECT_EQ(s->param().utf8(), tap + "-enable");
                    EXPECT_NE(p.def()->findChild(CString(tap)), nullptr) << at << " viz state " << s->id();
                } else {
                    EXPECT_NE(m_build->resolveParam(p, s->param()), nullptr) << at << " state " << s->id();
                }
            } else if (auto* f = dynamic_cast<const CAudioParamFilter*>(c.get())) {
                for (auto names : {f->srcNames(), f->dstNames()})
                    for (const CString& n : names) {
                        used.insert(at + "." + n.utf8());
                        EXPECT_NE(m_build->resolveParam(p, n), nullptr) << at << " filter " << n.utf8();
                    }
            } else if (auto* r = dynamic_cast<const CAudioParamRemapDef*>(c.get())) {
                for (const CAudioParamRemap& m : r->remaps())
                    remaps.emplace_back(at + "." + m.orig.utf8(),
                                        CAudioParamRemapDef::resolveName(p.paramPrefix(), m.target).utf8());
            }
        }
    });
    EXPECT_GT(remaps.size(), 50u);
    for (const auto& [orig, target] : remaps) {
        EXPECT_TRUE(used.count(orig)) << "remap of " << orig << " rebinds nothing";
        EXPECT_NE(m_collector->findParam(CString(target)), nullptr) << orig << " -> " << target;
    }

    // The shared resampling filters bind their own parameters.
    for (const char* f : {"modUpsamplerFilterSteep", "modDownsamplerFilterSteep", "modResamplerFilterSoft"})
        for (const auto& c : def((std::string("audio.") + f).c_str()).children())
            if (auto* a = dynamic_cast<const CAudioParamAllocDef*>(c.get());
                a && !(a->paramName() == "count") && !(a->paramName() == "index")) {
                EXPECT_TRUE(dynamic_cast<const CAudioParamDef*>(c->parent()->findChild(a->paramName()))) << f;
            }

    // Names given as full names: registries, storage bindings, host list.
    for (const auto& c : m_plugin->children()) {
        for (const char* attr : {"hierarchy", "preset-name-param", "group-names-param"}) {
            const CString n = c->attr(attr);
            if (n.empty()) continue;
            if (std::string(attr) == "hierarchy")
                EXPECT_FALSE(m_collector->paramsWithPrefix(n + CString(".")).empty()) << n.utf8();
            else
                EXPECT_NE(m_collector->findParam(n), nullptr) << n.utf8();
        }
    }
    for (const auto& c : def("audio.modMain").children())
        if (c->tag() == "audio:param-shared-storage" && !(c->attr("param") == "lp-oversampling-enable")) {
            EXPECT_NE(m_collector->findParam(CString("plugin.modMain.") + c->attr("param")), nullptr)
                << c->attr("param").utf8();
        }
}

TEST_F(ProductDefinition, ModuleSlotsReachTheUserParameters) {
    // One case per binding mechanism: a remap of the container, a full name,
    // the switch alias reaching the active algorithm, a remap two levels up,
    // the module's own "^" remap, a bypass state naming the level above, and a
    // bypass state rebound by the enclosing container.
    struct Row {
        const char *process, *name, *param;
    };
    const Row rows[] = {
        {"plugin.modMain.modTamblor.modInGain", "gain", "plugin.modMain.modTamblor.ingain"},
        {"plugin.modMain.modTamblor.modMeterIn", "rms-time", "plugin.modMain.meter-rmstime"},
        {"plugin.modMain.modTamblor.modGRMeterG", "rms-time", "plugin.modMain.modTamblor.modGRMeterG.rms-time"},
        {"plugin.modMain.modTamblor.modLimiter.modSwitch.modTBC", "attack",
         "plugin.modMain.modTamblor.mode-params.trans-time"},
        {"plugin.modMain.modTamblor.modLimiter.modSwitch.modTB2", "type",
         "plugin.modMain.modTamblor.modLimiter.modSwitch.modTB2.type"},
        {"plugin.modMain.modTamblor.modLimiter.modTrans", "length", "plugin.modMain.modTamblor.mode-params.trans-time"},
        {"plugin.modMain.modTamblor.modLimiter.modSwitch", "index", "plugin.modMain.modTamblor.mode-params.mode"},
        {"plugin.modMain.modPostDither.modEval.modLimEvaluator", "in-gain", "plugin.modMain.modTamblor.ingain"},
        {"plugin.modMain.modPostDither.modOutGain", "gain", "plugin.modMain.modTamblor.outgain"},
        {"plugin.modMain.modMeterOut", "use-time2", "plugin.modMain.modTamblor.outmeter-params.timeenable"},
        {"plugin.modMain.modUpsampler", "host-mode", "plugin.modMain.host-oversampling-mode"},
        {"plugin.modMain.modGroupSolo", "group-solo", "plugin.modMain.io-params.channel-group-solo"},
        {"plugin.modMain.modBypass", "enable", "plugin.modMain.bypass-enable"},
        {"plugin.modMain.modTamblor.modLimiter", "^mode-params.mode", "plugin.modMain.modTamblor.mode-params.mode"},
        {"plugin.modMain.modPostDither", "dither-enable", "plugin.modMain.modTamblor.dither-enable"},
    };
    for (const Row& r : rows) {
        CAudioProcessBase* p = process(r.process);
        if (!p) continue;
        EXPECT_EQ(m_build->resolveParamName(*p, CString(r.name)).utf8(), r.param) << r.process << " " << r.name;
    }
}

}  // namespace
}  // namespace producttest
