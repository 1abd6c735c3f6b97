// The level meters on a real instance: known signals through the product,
// the editor polling the output meter and the statistics through the
// protocol, the readings checked against the signals (and the loudness
// against libebur128); metering types chosen through the protocol.
#include <ebur128.h>

#include <cmath>
#include <functional>

#include "Tests/Support/AllocationCounter.h"
#include "Tests/Support/StereoSignal.h"
#include "Tests/UI/ControlsFixture.h"
#include "UI/Controls/ParamBridge.h"
#include "UI/Controls/ParamSwitch.h"
#include "UI/Meters/LevelMeter.h"
#include "UI/Meters/LevelMeterGraph.h"
#include "UI/Controls/MinMax.h"
#include "UI/Meters/VizExchange.h"

namespace uitest {
namespace {

constexpr double kRate = 44100.0;

std::function<double(int64_t)> sine(double dbfs, double hz) {
    const double a = std::pow(10.0, dbfs / 20.0);
    return [a, hz](int64_t n) { return a * std::sin(2 * M_PI * hz * double(n) / kRate); };
}

// Momentary (400 ms) loudness of the last 400 ms of one channel, by libebur128.
double oracleMomentary(const std::vector<float>& x) {
    ebur128_state* st = ebur128_init(1, (unsigned long)kRate, EBUR128_MODE_M);
    ebur128_add_frames_float(st, x.data(), x.size());
    double l = 0;
    ebur128_loudness_momentary(st, &l);
    ebur128_destroy(&st);
    return l;
}

const char* const kObjects =
    "<ui:viz-exchange name=\"viz-exchange\" fps=\"0\"/>"
    "<ui:param-bridge name=\"ingain-bridge\" param=\"plugin.modMain.modTamblor.ingain\"/>"
    "<ui:param-bridge name=\"outgain-bridge\" param=\"plugin.modMain.modTamblor.outgain\"/>"
    "<ui:param-bridge name=\"type-bridge\" param=\"plugin.modMain.modTamblor.metering-type\"/>"
    "<ui:param-bridge name=\"min-bridge\" param=\"plugin.modMain.modTamblor.outmeter-params.min\"/>"
    "<ui:param-bridge name=\"max-bridge\" param=\"plugin.modMain.modTamblor.outmeter-params.max\"/>"
    "<ui:min-max name=\"out-range\" min=\"-48\" max=\"0\" ui-param-min=\"ui.min-bridge\" ui-param-max=\"ui.max-bridge\"/>";

const char* const kMeters =
    "<ui:param-switch name=\"type\" width=\"60\" height=\"16\" bridge=\"ui.type-bridge\" "
    "font-name=\"font.compact\" is-show-state-name=\"true\"/>"
    "<ui:level-meter name=\"out\" width=\"20\" height=\"120\" min-max=\"ui.out-range\" audio-channels-list=\"0 1\" zone-yellow=\"-6\" zone-red=\"-1\">"
    "  <ui:level-meter-listener viz-name=\"plugin.modMain.modMeterOut\"/></ui:level-meter>"
    "<ui:level-meter name=\"gr\" width=\"12\" height=\"120\" is-inverted=\"true\" audio-channels-list=\"0 1\" "
    "combo-mode=\"max\" is-combined=\"true\">"
    "  <ui:level-meter-listener viz-name=\"plugin.modMain.modTamblor.modGRMeterG\"/></ui:level-meter>"
    "<ui:level-meter name=\"gr-slow\" width=\"12\" height=\"120\" is-inverted=\"true\" audio-channels-list=\"0 1\" "
    "combo-mode=\"max\" is-combined=\"true\">"
    "  <ui:level-meter-listener viz-name=\"plugin.modMain.modTamblor.modGRMeter\"/></ui:level-meter>"
    "<ui:level-meter-graph name=\"gr-graph\" width=\"200\" height=\"60\" is-inverted=\"true\" combo-mode=\"max\">"
    "  <ui:level-meter-listener viz-name=\"plugin.modMain.modTamblor.modGRMeterG\"/></ui:level-meter-graph>"
    "<ui:level-meter name=\"stats\" width=\"20\" height=\"120\" peak-field=\"true-peak\" level-field=\"peak\" audio-channels-list=\"0 1\">"
    "  <ui:level-meter-listener viz-name=\"plugin.modMain.modPostDither.modStatsPeak\"/></ui:level-meter>";

// Indices of the metering types.
constexpr uint32_t kDbfs = 0, kK14 = 5, kK20Cal = 7, kLufsM = 10, kEbu9 = 12;

class UiMeters : public UiInstance {
protected:
    void SetUp() override {
        UiInstance::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        ASSERT_TRUE(master().activateDefaultPreset().ok());
        openUi(kMeters, kObjects);
        exchange = uiObject<CVizExchange>("ui.viz-exchange");
        out = uiView<CLevelMeter>("out");
        ASSERT_NE(exchange, nullptr);
        ASSERT_NE(out, nullptr);
        typeSwitch = uiView<CParamSwitch>("type");
        ASSERT_NE(typeSwitch, nullptr);
    }
    // Runs the signal for `seconds`, the editor polling every tenth block.
    void run(CStereoSignal& s, double seconds) {
        const int blocks = int(std::ceil(seconds * kRate / s.frames()));
        for (int i = 0; i < blocks; ++i) {
            s.next();
            core()->process(s.in(), nullptr, s.out(), s.frames());
            if (i % 10 == 9 || i == blocks - 1) {
                ASSERT_FALSE(exchange->poll());
                pumpUi();
            }
        }
    }
    // Chooses a metering type with the editor's selector: the type and, from
    // the output meter's registry, that type's meter settings.
    void meteringType(uint32_t index) {
        const CError e = typeSwitch->select(double(index));
        ASSERT_FALSE(e) << e.text();
        pumpUi();
        EXPECT_EQ(value("plugin.modMain.modTamblor.metering-type"), double(index));
    }
    static double meterSetting(const char* field) {
        return value(("plugin.modMain.modTamblor.outmeter-params." + std::string(field)).c_str());
    }
    CVizExchange* exchange = nullptr;
    CLevelMeter* out = nullptr;
    CParamSwitch* typeSwitch = nullptr;
};


TEST_F(UiMeters, ChoosingAMeteringTypeBringsItsMeterSettings) {
    auto settings = [] {
        return std::vector<double>{meterSetting("min"), meterSetting("max"), meterSetting("zyellow"),
                                   meterSetting("zred"), 20 * std::log10(meterSetting("gain")), meterSetting("timeenable")};
    };
    meteringType(kK14);
    EXPECT_EQ(settings(), (std::vector<double>{-36, 14, 0, 4, 14, 1})) << "K-14: its range, zones and gain";
    EXPECT_NEAR(meterSetting("rmstime"), 0.6, 1e-9);
    EXPECT_DOUBLE_EQ(out->range()->min(), -36.0) << "the meter's range follows";
    EXPECT_DOUBLE_EQ(out->range()->max(), 14.0);
    meteringType(kDbfs);
    EXPECT_EQ(settings(), (std::vector<double>{-48, 0, -6, -1, 0, 0})) << "back to the plain scale";
    EXPECT_DOUBLE_EQ(out->range()->min(), -48.0);
}

TEST_F(UiMeters, SilenceReadsMinusInfAndASineItsLevelOnPeakAndMatchingRmsScales) {
    // Silence on a fresh instance: nothing but "-inf".
    CStereoSignal quiet([](int64_t) { return 0.0; });
    run(quiet, 0.3);
    EXPECT_EQ(out->attr("sum-value").utf8(), "-inf");
    EXPECT_EQ(out->attr("sum-peak").utf8(), "-inf");
    CStereoSignal s(sine(-20.0, 997.0));
    run(s, 1.0);
    ASSERT_EQ(out->bars().size(), 2u);
    for (size_t ch = 0; ch < 2; ++ch) EXPECT_NEAR(out->barPeakDb(ch), -20.0, 0.3) << "dBFS peak, channel " << ch;
    // K-20 referred to a sine: 0 on its scale is -20 dBFS.
    meteringType(kK20Cal);
    run(s, 3.0);
    for (size_t ch = 0; ch < 2; ++ch) EXPECT_NEAR(out->barLevelDb(ch), 0.0, 0.3) << "K-20 cal level, channel " << ch;
    // K-14 (not referred to a sine): the RMS 3.01 dB below the peak, 14 dB up.
    meteringType(kK14);
    run(s, 3.0);
    for (size_t ch = 0; ch < 2; ++ch) {
        EXPECT_NEAR(out->barLevelDb(ch), -20.0 - 3.0103 + 14.0, 0.3) << "K-14 level, channel " << ch;
        EXPECT_NEAR(out->barPeakDb(ch), -20.0 + 14.0, 0.3) << "K-14 peak, channel " << ch;
    }
    // The range follows the type: K-14 spans -36 .. +14.
    EXPECT_DOUBLE_EQ(out->range()->min(), -36.0);
    EXPECT_DOUBLE_EQ(out->range()->max(), 14.0);
    EXPECT_EQ(out->attr("sum-value").utf8(), out->formatDb(kelMeterDb(std::sqrt(2.0) *
                                                                     std::pow(10.0, out->barLevelDb(0) / 20))).utf8());
    meteringType(kDbfs);
}

TEST_F(UiMeters, LoudnessModesAgreeWithTheReference) {
    struct Case {
        uint32_t type;
        double offset;  // the scale's 0 in LUFS
        double hz, dbfs;
    };
    const Case cases[] = {
        {kLufsM, 0.0, 1000.0, -18.0},
        {kLufsM, 0.0, 100.0, -12.0},   // below the high-pass's knee: weighted down
        {kLufsM, 0.0, 6000.0, -24.0},  // on the shelf: weighted up
        {kEbu9, -23.0, 2500.0, -20.0},
    };
    for (const Case& c : cases) {
        meteringType(c.type);
        CStereoSignal s(sine(c.dbfs, c.hz));
        run(s, 4.0);
        const std::vector<float>& h = s.history();
        const double want = oracleMomentary(std::vector<float>(h.end() - int64_t(0.4 * kRate), h.end())) - c.offset;
        for (size_t ch = 0; ch < 2; ++ch)
            EXPECT_NEAR(out->barLevelDb(ch), want, 0.1) << c.hz << " Hz at " << c.dbfs << " dBFS, type " << c.type;
    }
    meteringType(kDbfs);
}

TEST_F(UiMeters, SquareOverFullScaleShowsClippingCounts) {
    CLevelMeter* stats = uiView<CLevelMeter>("stats");
    ASSERT_NE(stats, nullptr);
    // 2 dB into the limiter and a ceiling 3 dB over full scale (gains are
    // factors): a full-scale square leaves over full scale.
    auto* in = uiObject<CParamBridge>("ui.ingain-bridge");
    auto* outGain = uiObject<CParamBridge>("ui.outgain-bridge");
    for (uint32_t g = 0; g < in->groupCount(); ++g) {
        ASSERT_FALSE(in->setValue(g, 0, std::pow(10.0, 2.0 / 20)));
        ASSERT_FALSE(outGain->setValue(g, 0, std::pow(10.0, 3.0 / 20)));
    }
    CStereoSignal sineBelow(sine(-20.0, 440.0));
    run(sineBelow, 0.3);
    int64_t before = -1, during = -1, after = -1;
    ASSERT_TRUE(stats->attr("clip-count").toInt(&before)) << "the statistics count clippings";
    run(sineBelow, 0.3);
    ASSERT_TRUE(stats->attr("clip-count").toInt(&during));
    EXPECT_EQ(during, before) << "a sine far below full scale adds none";
    // A square never comes back under full scale: one clipping per channel
    // for the whole run, one more for each run after a quiet stretch.
    CStereoSignal square([](int64_t n) { return (n / 50) % 2 ? -1.0 : 1.0; });  // 441 Hz
    run(square, 0.5);
    run(sineBelow, 0.3);
    run(square, 0.5);
    ASSERT_TRUE(stats->attr("clip-count").toInt(&after));
    EXPECT_EQ(after - before, 4) << "two runs on each of two channels";
    EXPECT_TRUE(stats->stateSet().isSet("clipped"));
    EXPECT_GT(stats->barPeakDb(0), 0.5);
}

TEST_F(UiMeters, GainReductionMeterAndGraphShowTheLimitersWork) {
    auto* gr = uiView<CLevelMeter>("gr");
    auto* slow = uiView<CLevelMeter>("gr-slow");
    auto* graph = uiView<CLevelMeterGraph>("gr-graph");
    ASSERT_TRUE(gr && slow && graph);
    auto* in = uiObject<CParamBridge>("ui.ingain-bridge");
    for (uint32_t g = 0; g < in->groupCount(); ++g) ASSERT_FALSE(in->setValue(g, 0, std::pow(10.0, 12.0 / 20)));
    // A -6 dBFS sine 12 dB into a limiter whose ceiling is full scale: about
    // 6 dB of reduction at its peaks.
    CStereoSignal s(sine(-6.0, 220.0));
    run(s, 2.0);
    ASSERT_EQ(gr->bars().size(), 1u);
    EXPECT_NEAR(gr->barPeakDb(0), 6.0, 1.0);
    EXPECT_NEAR(slow->barPeakDb(0), 6.0, 1.0) << "the slow meter holds the same peaks";
    const std::vector<double> v = graph->values();
    ASSERT_GE(v.size(), size_t(graph->capacity() * 4 / 10)) << "most of the two seconds run are in the graph";
    EXPECT_NEAR(v.back(), 6.0, 1.5);
}

// An instance of its own, fresh: its reduction meters have seen nothing yet.
class UiFreshMeters : public UiMeters {};

TEST_F(UiFreshMeters, ReductionMetersReadNoReductionUntilTheLimiterWorks) {
    auto* gr = uiView<CLevelMeter>("gr");
    auto* slow = uiView<CLevelMeter>("gr-slow");
    ASSERT_TRUE(gr && slow);
    // Silence, then a sine well under the ceiling: no reduction on either
    // meter from their first values on (the slow one holds its peaks for a
    // second, so a false start would still show).
    CStereoSignal quiet([](int64_t) { return 0.0; });
    run(quiet, 0.1);
    for (CLevelMeter* m : {gr, slow}) {
        ASSERT_EQ(m->bars().size(), 1u) << m->name().utf8();
        EXPECT_NEAR(m->barLevelDb(0), 0.0, 0.01) << m->name().utf8();
        EXPECT_NEAR(m->barPeakDb(0), 0.0, 0.01) << m->name().utf8();
    }
    CStereoSignal soft(sine(-30.0, 220.0));
    run(soft, 0.2);
    EXPECT_NEAR(slow->barPeakDb(0), 0.0, 0.01);
    EXPECT_NEAR(slow->barLevelDb(0), 0.0, 0.01);
}

TEST_F(UiMeters, PollingLeavesTheAudioThreadToPublishingAlone) {
    // Blocks processed while four meters and a graph listen and the editor
    // polls between them: the audio side allocates nothing for the meters
    // (it publishes into rings made when the taps were switched on).
    CStereoSignal s(sine(-10.0, 330.0));
    run(s, 0.5);  // taps on, graph rebuilt
    uint64_t allocations = 0;
    for (int i = 0; i < 200; ++i) {
        s.next();
        {
            alloc_counter::Scope scope;
            core()->process(s.in(), nullptr, s.out(), s.frames());
            allocations += scope.allocations();
        }
        if (i % 3 == 2) {
            ASSERT_FALSE(exchange->poll());
            pumpUi();
        }
    }
    EXPECT_EQ(allocations, 0u);
    EXPECT_GT(out->listeners().front()->updates(), 50u) << "the editor kept receiving values";
}

TEST_F(UiMeters, TapsRunOnlyWhileAVisibleMeterListens) {
    CAudioParam* enable = param("plugin.modMain.modMeterOut-enable");
    ASSERT_NE(enable, nullptr);
    EXPECT_EQ(kelMainParamValue(*enable, 0, 0), 1.0);
    ASSERT_FALSE(out->setAttr("is-hidden", "true"));
    EXPECT_EQ(kelMainParamValue(*enable, 0, 0), 0.0) << "a hidden meter lets its tap stop";
    ASSERT_FALSE(out->setAttr("is-hidden", "false"));
    EXPECT_EQ(kelMainParamValue(*enable, 0, 0), 1.0);
    m_ui.reset();
    EXPECT_EQ(kelMainParamValue(*enable, 0, 0), 0.0) << "a closed editor lets it stop";
}

}  // namespace
}  // namespace uitest
