// The factory bank and the embedded default preset lists, loaded by the
// product's own registries: names and order, records that the registries
// capture, values inside their parameters' ranges, "Default" equal to the
// declared defaults, presets that do what their names say, and activation
// that sets exactly the recorded values.

#include <algorithm>
#include <cmath>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "Audio/Params/AudioParamChangeSet.h"
#include "Audio/Registry/AudioParamRegistry.h"
#include "Core/MemoryReader.h"
#include "ProductFixture.h"
#include "Tests/Audio/RegistryFixture.h"

namespace producttest {
namespace {

double dB(double v) { return std::exp(v / 8.685889638065037); }

std::vector<std::string> presetNames(const CAudioPresetBank& bank) {
    std::vector<std::string> out;
    for (const CAudioPreset& p : bank.presets()) out.push_back(p.displayName().utf8());
    return out;
}

std::vector<std::string> recordNames(const CAudioPreset& preset) {
    std::vector<std::string> out;
    for (const CAudioPresetRecord& r : preset.records()) out.push_back(r.shortName.utf8());
    return out;
}

::testing::AssertionResult sameValues(const CAudioParamStorage& a, const CAudioParamStorage& b) {
    if (a.groupCount() != b.groupCount())
        return ::testing::AssertionFailure() << a.groupCount() << " groups against " << b.groupCount();
    const bool text = a.info() && a.info()->dataType() == EAudioParamDataType::Text;
    for (uint32_t g = 0; g < a.groupCount(); ++g) {
        if (a.elementCount(g) != b.elementCount(g))
            return ::testing::AssertionFailure() << "group " << g << ": " << a.elementCount(g) << " elements against "
                                                 << b.elementCount(g);
        for (uint32_t e = 0; e < a.elementCount(g); ++e) {
            if (text && !(a.text(g, e) == b.text(g, e)))
                return ::testing::AssertionFailure() << "group " << g << " element " << e << ": '"
                                                     << a.text(g, e).utf8() << "' against '" << b.text(g, e).utf8()
                                                     << "'";
            for (uint32_t c = 0; !text && c < a.elementSize(); ++c)
                if (a.value(g, e, c) != b.value(g, e, c))
                    return ::testing::AssertionFailure() << "group " << g << " element " << e << ": "
                                                         << a.value(g, e, c) << " against " << b.value(g, e, c);
        }
    }
    return ::testing::AssertionSuccess();
}

class FactoryBank : public ProductDefinition {
protected:
    void SetUp() override {
        ProductDefinition::SetUp();
        if (HasFatalFailure()) return;
        for (auto [name, out] : {std::pair{"param-registry", &master}, std::pair{"param-registry-mode", &mode},
                                 std::pair{"param-registry-outmeter", &outmeter},
                                 std::pair{"param-registry-io", &io}}) {
            CError e = m_plugin->findObjectChecked<CAudioParamRegistry>(CString("plugin.") + CString(name), out);
            ASSERT_FALSE(e) << e.text();
            // The runtime parameters exist only now that the process tree is built.
            ASSERT_FALSE((*out)->bindParams());
        }
    }

    // A record read into a storage of its parameter (a failure when the
    // registry does not know it or the bytes do not fit it).
    static CAudioParamStorage load(CAudioParamRegistry& r, const CAudioPresetRecord& rec) {
        CAudioParam* p = r.findParam(rec.shortName);
        EXPECT_TRUE(p) << rec.shortName.utf8();
        if (!p) return CAudioParamStorage();
        CAudioParamStorage s(&p->info(), 0);
        CMemoryReader in(rec.data.data(), rec.data.size());
        CString name;
        CError e = s.load(in, &name);
        EXPECT_FALSE(e) << rec.shortName.utf8() << ": " << e.text();
        EXPECT_EQ(in.remaining(), 0u) << rec.shortName.utf8();
        EXPECT_EQ(name.utf8(), r.toDefinitionName(p->fullName()).utf8());
        return s;
    }
    static double value(CAudioParamRegistry& r, const CAudioPreset& p, const char* record, uint32_t g = 0) {
        const CAudioPresetRecord* rec = p.find(record);
        EXPECT_TRUE(rec) << p.name().utf8() << " lacks " << record;
        return rec ? load(r, *rec).value(g, 0) : NAN;
    }

    // Every record names a parameter the registry captures, fits it and
    // holds values inside its range.
    static void expectFitsRegistry(CAudioParamRegistry& r, const CAudioPresetBank& bank) {
        for (const CAudioPreset& p : bank.presets()) {
            EXPECT_EQ(p.registryId().utf8(), r.id().utf8());
            for (const CAudioPresetRecord& rec : p.records()) {
                SCOPED_TRACE(p.name().utf8() + " / " + rec.shortName.utf8());
                CAudioParam* param = r.findParam(rec.shortName);
                ASSERT_TRUE(param);
                EXPECT_TRUE(r.isCaptured(*param));
                const CAudioParamStorage s = load(r, rec);
                const CAudioParamInfo& info = param->info();
                if (!info.isNumeric()) continue;
                for (uint32_t g = 0; g < s.groupCount(); ++g)
                    for (uint32_t e = 0; e < s.elementCount(g); ++e)
                        for (uint32_t c = 0; c < s.elementSize(); ++c) {
                            const double lo = std::min(info.minValue(c), info.maxValue(c));
                            const double hi = std::max(info.minValue(c), info.maxValue(c));
                            EXPECT_GE(s.value(g, e, c), lo * (1 + 1e-12) - 1e-12);
                            EXPECT_LE(s.value(g, e, c), hi * (1 + 1e-12) + 1e-12);
                        }
            }
        }
    }
    // The records equal the declared defaults of their parameters.
    static void expectDefaults(CAudioParamRegistry& r, const CAudioPreset& p) {
        for (const CAudioPresetRecord& rec : p.records()) {
            CAudioParam* param = r.findParam(rec.shortName);
            ASSERT_TRUE(param) << rec.shortName.utf8();
            const CAudioParamStorage defaults(&param->info(), param->storage().groupCount());
            EXPECT_TRUE(sameValues(load(r, rec), defaults)) << p.name().utf8() << " / " << rec.shortName.utf8();
        }
    }
    // The short names of the parameters a registry captures.
    static std::vector<std::string> captured(CAudioParamRegistry& r) {
        std::vector<std::string> out;
        for (size_t i = 0; i < r.paramCount(); ++i)
            if (r.isCaptured(*r.param(i))) out.push_back(r.shortName(i).utf8());
        return out;
    }
    // Activates every preset of a list in turn; afterwards the live state
    // holds each recorded value and every other captured value is unchanged.
    static void expectActivation(CAudioParamRegistry& r, const CAudioPresetBank& bank, bool factory) {
        for (size_t i = 0; i < bank.size(); ++i) {
            const CAudioPreset& p = bank.preset(i);
            SCOPED_TRACE(p.name().utf8());
            CAudioPreset before, after;
            ASSERT_FALSE(r.captureState(CAudioParamRegistry::kAllGroups, &before));
            CError e = factory ? r.activateFactoryPreset(int(i)) : r.activatePreset(p, int(i));
            ASSERT_FALSE(e) << e.text();
            ASSERT_FALSE(r.captureState(CAudioParamRegistry::kAllGroups, &after));
            ASSERT_EQ(recordNames(before), recordNames(after));
            for (const CAudioPresetRecord& now : after.records()) {
                const CAudioPresetRecord* set = p.find(now.shortName);
                const CAudioPresetRecord* was = before.find(now.shortName);
                ASSERT_TRUE(was);
                if (set) {
                    EXPECT_TRUE(sameValues(load(r, now), load(r, *set))) << now.shortName.utf8();
                } else if (!(r.findParam(now.shortName) == r.findParam(CString("preset-name")))) {
                    EXPECT_TRUE(sameValues(load(r, now), load(r, *was))) << now.shortName.utf8();
                }
            }
        }
    }

    CScratchDataFolders m_folders;  // the stores' own files stay out of the way
    CAudioParamRegistry* master = nullptr;
    CAudioParamRegistry* mode = nullptr;
    CAudioParamRegistry* outmeter = nullptr;
    CAudioParamRegistry* io = nullptr;
};

const std::vector<std::string> kFactoryNames = {
    "Default",          "Clipped Top +3dB",   "Clipped Top +6dB",   "Flowing +3dB",        "Flowing +6dB",
    "High Gain +3dB",   "High Gain +6dB",     "Masters Punch +3dB", "Masters Punch +6dB",  "Standard +3dB",
    "Standard +6dB",    "Transient-full +3dB", "Transient-full +6dB", "Ultra Smooth +3dB", "Ultra Smooth +6dB",
    "EBusLim",          "TB-C +3 dB",         "TB-C +6 dB",         "TB INS +3 dB",        "TB INS +6 dB"};

TEST_F(FactoryBank, HoldsTheTwentyPresetsWithTheirRecords) {
    const CAudioPresetBank& bank = master->factoryBank();
    EXPECT_EQ(bank.name().utf8(), "Factory ROM");
    EXPECT_EQ(presetNames(bank), kFactoryNames);
    std::vector<std::string> records = {"instance-name", "io-params.group-names", "io-params.grouping",
                                        "io-params.in-channel-names", "io-params.in-routing", "io-params.out-routing",
                                        "io-params.show-all-channels"};
    for (const char* m : {"dcfilter-enable", "dcfilter-freq", "dcfilter-type", "dither-bits", "dither-enable",
                          "dither-noise", "dither-shaping", "graph-window-size", "graphmode", "ingain",
                          "metering-type", "mode-params.chlink", "mode-params.drc-type", "mode-params.knee",
                          "mode-params.mode", "mode-params.mode-name", "mode-params.release-ratio",
                          "mode-params.release-shape", "mode-params.tbaigc", "mode-params.timing",
                          "mode-params.trans-form", "mode-params.trans-shape", "mode-params.trans-time", "outgain",
                          "release", "release-enable"})
        records.push_back(std::string("modTamblor.") + m);
    records.push_back("oversampling");
    ASSERT_EQ(records.size(), 34u);
    std::vector<std::string> longer = records;
    longer.insert(longer.end(), {"bypass-enable", "groupsel", "preset-name"});
    std::sort(longer.begin(), longer.end());
    for (size_t i = 0; i < bank.size(); ++i)
        EXPECT_EQ(recordNames(bank.preset(i)), i < 16 ? records : longer) << kFactoryNames[i];

    expectFitsRegistry(*master, bank);
    expectDefaults(*master, bank.preset(0));
    // The host's programs start as the factory presets.
    ASSERT_EQ(master->programCount(), 20);
    EXPECT_EQ(master->programName(15).utf8(), "EBusLim");
}

TEST_F(FactoryBank, PresetsDoWhatTheirNamesSay) {
    const CAudioPresetBank& bank = master->factoryBank();
    ASSERT_EQ(bank.size(), kFactoryNames.size());
    const CAudioPreset& def = bank.preset(0);
    const CAudioPresetBank& modes = mode->userList();
    const CAudioPresetBank& meters = outmeter->userList();
    ASSERT_FALSE(modes.empty());
    ASSERT_FALSE(meters.empty());
    const auto v = [&](const CAudioPreset& p, const char* record, uint32_t g = 0) {
        return value(*master, p, (std::string("modTamblor.") + record).c_str(), g);
    };

    for (size_t i = 0; i < bank.size(); ++i) {
        const CAudioPreset& p = bank.preset(i);
        const std::string name = p.displayName().utf8();
        SCOPED_TRACE(name);
        // Apart from the limiter settings, only the broadcast preset touches
        // the output, the DC filter, the metering and the oversampling.
        for (const CAudioPresetRecord& rec : p.records()) {
            const std::string r = rec.shortName.utf8();
            const CAudioPresetRecord* d = def.find(rec.shortName);
            const bool limiter = r == "modTamblor.ingain" || r == "modTamblor.release" ||
                                 r.rfind("modTamblor.mode-params.", 0) == 0;
            const bool delivery = name == "EBusLim" && (r == "modTamblor.outgain" || r == "oversampling" ||
                                                        r == "modTamblor.dcfilter-enable" ||
                                                        r == "modTamblor.metering-type");
            if (r == "preset-name") {
                EXPECT_EQ(load(*master, rec).text(0, 0).utf8(), name);
            } else if (!d) {
                EXPECT_EQ(load(*master, rec).value(0, 0), 0.0) << r;  // bypass off, first group selected
            } else if (!limiter && !delivery) {
                EXPECT_TRUE(sameValues(load(*master, rec), load(*master, *d))) << r;
            }
        }
        // The limiter settings are those of the mode preset it names.
        const CString modeName = load(*master, *p.find("modTamblor.mode-params.mode-name")).text(0, 0);
        const int m = modes.indexOf(CString("v87u1:") + modeName);
        ASSERT_GE(m, 0) << modeName.utf8();
        for (const CAudioPresetRecord& rec : modes.preset(size_t(m)).records())
            EXPECT_TRUE(sameValues(load(*mode, rec),
                                   load(*master, *p.find(CString("modTamblor.mode-params.") + rec.shortName))))
                << rec.shortName.utf8();
        // Every group gets the same settings.
        for (uint32_t g = 1; g < 8; ++g) {
            EXPECT_EQ(v(p, "ingain", g), v(p, "ingain"));
            EXPECT_EQ(v(p, "mode-params.mode", g), v(p, "mode-params.mode"));
        }

        const bool plus3 = name.ends_with("+3dB") || name.ends_with("+3 dB");
        if (plus3 || name.ends_with("+6dB") || name.ends_with("+6 dB")) {
            EXPECT_NEAR(v(p, "ingain"), dB(plus3 ? 3 : 6), 1e-12);
        }
        if (plus3) {
            // Its "+6" partner differs by 3 dB of input gain and nothing else.
            std::string other = name;
            other.replace(other.rfind('3'), 1, "6");
            const int j = bank.indexOf(CString("v87u:") + CString(other));
            ASSERT_EQ(j, int(i) + 1) << other;
            const CAudioPreset& q = bank.preset(size_t(j));
            EXPECT_NEAR(v(q, "ingain"), v(p, "ingain") * std::pow(10.0, 3.0 / 20.0), 1e-12);
            for (const CAudioPresetRecord& rec : p.records()) {
                if (rec.shortName == "modTamblor.ingain" || rec.shortName == "preset-name") continue;
                EXPECT_TRUE(sameValues(load(*master, rec), load(*master, *q.find(rec.shortName))))
                    << rec.shortName.utf8();
            }
        }
    }

    const auto preset = [&](const char* name) -> const CAudioPreset& {
        const int i = bank.indexOf(CString("v87u:") + CString(name));
        EXPECT_GE(i, 0) << name;
        return bank.preset(size_t(std::max(i, 0)));
    };
    // Algorithms: 0 Clip, 4 AIGC-4, 8 TB-C, 9 TB INS.
    EXPECT_EQ(v(preset("Default"), "mode-params.mode"), 4.0);
    for (const char* n : {"Clipped Top +3dB", "Clipped Top +6dB"}) EXPECT_EQ(v(preset(n), "mode-params.mode"), 0.0);
    for (const char* n : {"TB-C +3 dB", "TB-C +6 dB"}) EXPECT_EQ(v(preset(n), "mode-params.mode"), 8.0);
    for (const char* n : {"TB INS +3 dB", "TB INS +6 dB"}) EXPECT_EQ(v(preset(n), "mode-params.mode"), 9.0);

    // Ultra Smooth: the slowest release, the longest look-ahead, a soft knee, slow timing.
    const CAudioPreset& smooth = preset("Ultra Smooth +3dB");
    for (const CAudioPreset& p : bank.presets()) {
        if (p.displayName().startsWith("Ultra Smooth")) continue;
        EXPECT_GT(v(smooth, "release"), v(p, "release")) << p.name().utf8();
        EXPECT_GE(v(smooth, "mode-params.trans-time"), v(p, "mode-params.trans-time")) << p.name().utf8();
    }
    EXPECT_GE(v(smooth, "mode-params.knee"), 0.5);
    EXPECT_GT(v(smooth, "mode-params.timing"), 1.0);

    // EBusLim: no added gain, an output ceiling at least 1 dB down, real
    // oversampling (2X to 8X, not Auto), loudness metering.
    const CAudioPreset& ebu = preset("EBusLim");
    EXPECT_EQ(v(ebu, "ingain"), 1.0);
    EXPECT_LE(v(ebu, "outgain"), dB(-1.0));
    EXPECT_GE(value(*master, ebu, "oversampling"), 2.0);
    const double meter = v(ebu, "metering-type");
    ASSERT_LT(size_t(meter), meters.size());
    EXPECT_EQ(value(*outmeter, meters.preset(size_t(meter)), "ebu128enable"), 1.0);
}

TEST_F(FactoryBank, ActivatingAPresetSetsItsValuesAndNothingElse) {
    // Something the presets do not hold, away from its default.
    CAudioParam* bypass = master->findParam("bypass-enable");
    CAudioParam* meterMin = master->findParam("modTamblor.outmeter-params.min");
    ASSERT_TRUE(bypass && meterMin);
    ASSERT_TRUE(kelMainParamWrite(*bypass, 0, 0, 0, 1.0));
    ASSERT_TRUE(kelMainParamWrite(*meterMin, 0, 0, 0, -30.0));

    expectActivation(*master, master->factoryBank(), true);
    EXPECT_EQ(kelMainParamValue(*bypass, 0, 0), 0.0);  // the last preset turns bypass off
    EXPECT_EQ(kelMainParamValue(*meterMin, 0, 0), -30.0);
    CAudioParam* presetName = master->findParam("preset-name");
    ASSERT_TRUE(presetName);
    EXPECT_EQ(presetName->storage().text(0, 0).utf8(), "TB INS +6 dB");
}

TEST_F(FactoryBank, ModeListCoversEveryAlgorithm) {
    const CAudioPresetBank& list = mode->userList();
    EXPECT_EQ(presetNames(list),
              (std::vector<std::string>{"Default", "Clipped Top", "Masters Punch", "Standard", "Transient-full",
                                        "Ultra Smooth", "Broadcast", "Flowing", "High Gain", "TB-C", "TB INS"}));
    expectFitsRegistry(*mode, list);
    ASSERT_FALSE(list.empty());
    expectDefaults(*mode, list.preset(0));
    std::set<double> algorithms;
    for (const CAudioPreset& p : list.presets()) {
        SCOPED_TRACE(p.name().utf8());
        EXPECT_EQ(recordNames(p), captured(*mode));
        const CAudioParamStorage name = load(*mode, *p.find("mode-name"));
        for (uint32_t g = 0; g < 8; ++g) {
            EXPECT_EQ(name.text(g, 0).utf8(), p.displayName().utf8());
            EXPECT_EQ(value(*mode, p, "mode", g), value(*mode, p, "mode"));
        }
        algorithms.insert(value(*mode, p, "mode"));
    }
    EXPECT_EQ(algorithms, (std::set<double>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9}));
    expectActivation(*mode, list, false);
}

TEST_F(FactoryBank, MeteringListIsTheMeteringTypes) {
    const CAudioPresetBank& list = outmeter->userList();
    const std::vector<std::string> names = {"dBFS",     "dBFS.30",  "dBFS.15",  "dBFS+3", "K-20",
                                            "K-14",     "K-12",     "K-20 cal", "K-14 cal", "K-12 cal",
                                            "LUFS-M",   "LUFS-S",   "EBU +9",   "EBU +18"};
    EXPECT_EQ(presetNames(list), names);
    expectFitsRegistry(*outmeter, list);
    // The metering type's states are these names.
    CAudioParam* type = master->findParam("modTamblor.metering-type");
    ASSERT_TRUE(type);
    for (size_t i = 0; i < names.size(); ++i) EXPECT_EQ(type->info().valueToText(0, double(i)).utf8(), names[i]);
    EXPECT_EQ(type->info().maxValue(0), double(names.size() - 1));

    std::map<std::string, double> gains;
    for (const CAudioPreset& p : list.presets()) {
        const std::string n = p.displayName().utf8();
        SCOPED_TRACE(n);
        EXPECT_EQ(recordNames(p), captured(*outmeter));
        EXPECT_EQ(load(*outmeter, *p.find("name")).text(7, 0).utf8(), n);
        const auto v = [&](const char* r) { return value(*outmeter, p, r); };
        // Zones inside the ruler, yellow below red.
        EXPECT_LT(v("min"), v("zyellow"));
        EXPECT_LT(v("zyellow"), v("zred"));
        EXPECT_LE(v("zred"), v("max"));
        const bool loudness = n.starts_with("LUFS") || n.starts_with("EBU");
        EXPECT_EQ(v("ebu128enable"), loudness ? 1.0 : 0.0);
        EXPECT_EQ(v("timeenable"), n.starts_with("dBFS") ? 0.0 : 1.0);
        gains[n] = 20.0 * std::log10(v("gain"));
        // The peak mark keeps the scale of the K meter or the plain level.
        if (n.ends_with(" cal")) {
            EXPECT_NEAR(20.0 * std::log10(v("gain") * v("peakgain")), gains[n.substr(0, 4)], 1e-9);
        }
    }
    // K-N: 0 on the ruler is N dB below full scale (3.01 dB more for a sine reference).
    for (int k : {20, 14, 12}) {
        const std::string n = "K-" + std::to_string(k);
        EXPECT_NEAR(gains[n], k, 1e-9) << n;
        EXPECT_NEAR(gains[n + " cal"], k + 3.0103, 1e-9) << n;
    }
    // LUFS is the K-weighted mean square less 0.691 dB; 0 LU is -23 LUFS.
    EXPECT_NEAR(gains["LUFS-M"], -0.691, 1e-9);
    EXPECT_NEAR(gains["EBU +9"], 23.0 - 0.691, 1e-9);
    expectActivation(*outmeter, list, false);
}

TEST_F(FactoryBank, RoutingListLoadsInTheRoutingRegistry) {
    CAudioPresetBank list;
    bool found = false;
    CError e = AudioPresetStore::read(AudioPresetStore::resolve(*io, "routing-presets"), &list, &found);
    ASSERT_FALSE(e) << e.text();
    ASSERT_TRUE(found);
    EXPECT_EQ(presetNames(list),
              (std::vector<std::string>{"Default Stereo", "2.1 Stereo", "5.1 Surround (Multi)", "5.1 Surround (Groups)",
                                        "7.1 Surround (Multi)", "7.1 Surround (Groups)", "Dual Mono",
                                        "Mid-Side Stereo", "Mono To Stereo", "Stereo Side-Chain", "Mono Side-Chain",
                                        "Force Mono"}));
    expectFitsRegistry(*io, list);
    ASSERT_FALSE(list.empty());
    expectDefaults(*io, list.preset(0));
    for (const CAudioPreset& p : list.presets())
        EXPECT_EQ(recordNames(p), (std::vector<std::string>{"grouping", "in-routing", "out-routing"}))
            << p.name().utf8();
    expectActivation(*io, list, false);
}

}  // namespace
}  // namespace producttest
