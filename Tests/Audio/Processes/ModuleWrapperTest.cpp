// The graph modules around the processors: how they read their slots, their
// ports, whole-group processing, smoothing and cross-fades, rate changes, and
// the latency pads.

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "Audio/Plugin/AudioDiagnostics.h"
#include "Audio/Processes/Flow/ModBypassModule.h"
#include "Audio/Processes/Gain/ModDitherModule.h"
#include "Audio/Processes/Flow/ModFixedLatencyModule.h"
#include "Audio/Processes/Flow/ModLatencyUniformerModule.h"
#include "Audio/Processes/Limiters/GainComputerModules.h"
#include "Core/Log.h"
#include "Tests/Audio/GraphTestSupport.h"
#include "Tests/Audio/Processes/LimiterGraph.h"
#include "Tests/Support/AllocationCounter.h"

using namespace limgraph;

namespace {

const char* kModulesXml = R"xml(<definitions>
<core:object name="t">

  <!-- Gain and clipper: slots by their own names and through a slot list. -->
  <audio:process-def name="gains">
    <audio:param name="ceiling" converter="shared::audio.paramcvt.gain" min-values="-30" max-values="30" def-values="0"/>
    <audio:modGain name="modGain">
      <audio:param name="gain" converter="shared::audio.paramcvt.gain" min-values="-48" max-values="48" def-values="0"/>
      <audio:param name="mute" converter="shared::audio.paramcvt.enum-enable" min-values="0" max-values="1" def-values="0"/>
      <audio:param name="phase-invert" converter="shared::audio.paramcvt.enum-enable" min-values="0" max-values="1" def-values="0"/>
    </audio:modGain>
    <audio:modClip name="modClip" clip-level="1.1">
      <audio:param-alloc index="0" param-name="^ceiling"/>
    </audio:modClip>
  </audio:process-def>

  <audio:process-def name="smooth">
    <audio:modGain name="modGain" is-smooth-update="true" xfade-length="0.010">
      <audio:param name="gain" converter="shared::audio.paramcvt.gain" min-values="-48" max-values="48" def-values="0"/>
    </audio:modGain>
  </audio:process-def>

  <!-- Gain computers: every slot bound with a distinct value, or none. -->
  <audio:process-def name="computers" is-auto-links="false">
    <audio:modLimTB name="bound">
      <audio:param name="attack" converter="shared::audio.paramcvt.time" min-values="0.1" max-values="20" def-values="5"/>
      <audio:param name="type" converter="shared::audio.paramcvt.enum" min-values="0" max-values="2" def-values="2"/>
      <audio:param name="knee" converter="shared::audio.paramcvt.percent" min-values="0" max-values="100" def-values="30"/>
      <audio:param name="release" converter="shared::audio.paramcvt.time-log" min-values="1" max-values="300" def-values="50"/>
      <audio:param name="release-enable" converter="shared::audio.paramcvt.enum-enable" min-values="0" max-values="1" def-values="1"/>
      <audio:param name="aigc-type" converter="shared::audio.paramcvt.enum" min-values="0" max-values="5" def-values="3"/>
      <audio:param name="drc-type" converter="shared::audio.paramcvt.enum" min-values="0" max-values="2" def-values="1"/>
      <audio:param name="timing" converter="shared::audio.paramcvt.percent" min-values="40" max-values="500" def-values="200"/>
      <audio:param name="release-ratio" converter="shared::audio.paramcvt.ratio" min-values="1:1" max-values="5:1" def-values="4:1"/>
      <audio:param name="release-shape" converter="shared::audio.paramcvt.real" min-values="-1" max-values="2" def-values="1.5"/>
    </audio:modLimTB>
    <audio:modLimTB name="free"/>
    <audio:modLimAIGC name="aigc">
      <audio:param name="attack" converter="shared::audio.paramcvt.time" min-values="0.1" max-values="20" def-values="0.5"/>
      <audio:param name="type" converter="shared::audio.paramcvt.enum" min-values="0" max-values="3" def-values="3"/>
      <audio:param name="release" converter="shared::audio.paramcvt.time-log" min-values="1" max-values="300" def-values="20"/>
      <audio:param name="release-enable" converter="shared::audio.paramcvt.enum-enable" min-values="0" max-values="1" def-values="1"/>
      <audio:param name="drc-type" converter="shared::audio.paramcvt.enum" min-values="0" max-values="2" def-values="2"/>
    </audio:modLimAIGC>
    <audio:modLimTBC name="tbc"/>
    <audio:modLimTBI name="tbi">
      <audio:param name="attack" converter="shared::audio.paramcvt.time" min-values="0.1" max-values="20" def-values="10"/>
    </audio:modLimTBI>
    <audio:modLimClip name="clip" clip-level="0.5">
      <audio:param name="drc-type" converter="shared::audio.paramcvt.enum" min-values="0" max-values="2" def-values="1"/>
    </audio:modLimClip>
    <audio:process-link src="*" dst="bound"/>
    <audio:process-link src="*" dst="free"/>
    <audio:process-link src="*" dst="aigc"/>
    <audio:process-link src="*" dst="tbc"/>
    <audio:process-link src="*" dst="tbi"/>
    <audio:process-link src="*" dst="clip"/>
    <audio:process-link src="tbi/1" dst="*"/>
    <audio:process-link src="clip" dst="*/1"/>
  </audio:process-def>

  <!-- Two-input modules side by side. -->
  <audio:process-def name="pairs" is-auto-links="false">
    <audio:modMult name="mult"/>
    <audio:modMult name="div" is-division="true"/>
    <audio:modBypass name="bypass">
      <audio:param name="enable" converter="shared::audio.paramcvt.enum-enable" min-values="0" max-values="1" def-values="0"/>
    </audio:modBypass>
    <audio:process-link src="*" dst="mult"/>
    <audio:process-link src="*/1" dst="mult/1"/>
    <audio:process-link src="mult" dst="*"/>
    <audio:process-link src="*" dst="div"/>
    <audio:process-link src="*/1" dst="div/1"/>
    <audio:process-link src="div" dst="*/1"/>
    <audio:process-link src="*" dst="bypass"/>
    <audio:process-link src="*/1" dst="bypass/1"/>
    <audio:process-link src="bypass" dst="*/2"/>
  </audio:process-def>

  <!-- Whole-group modules in a stack: one instance per channel group. -->
  <audio:process-def name="linked" is-stacked="true" is-auto-links="false">
    <core:object name="io-params">
      <audio:param name="grouping" converter="shared::audio.paramcvt.enum" min-values="0" max-values="7" def-values="0,0,1,1,2,2,3,3"/>
    </core:object>
    <audio:modLeveler name="whole" is-terminal-whole="true">
      <audio:param name="linking" converter="shared::audio.paramcvt.percent" min-values="0" max-values="100" def-values="100"/>
    </audio:modLeveler>
    <audio:modLeveler name="apart"/>
    <audio:modLimEvaluator name="eval" is-terminal-whole="true">
      <audio:param name="in-gain" converter="/audio.cvt-gain-in" min-values="-3" max-values="24" def-values="6.020599913279624"/>
    </audio:modLimEvaluator>
    <audio:process-link src="*" dst="whole"/>
    <audio:process-link src="whole" dst="*"/>
    <audio:process-link src="*" dst="apart"/>
    <audio:process-link src="apart" dst="*/1"/>
    <audio:process-link src="*" dst="eval"/>
    <audio:process-link src="*/1" dst="eval/1"/>
    <audio:process-link src="*/2" dst="eval/2"/>
    <audio:process-link src="eval" dst="*/2"/>
  </audio:process-def>

  <!-- Modules with rate-dependent processors. -->
  <audio:process-def name="rates" is-auto-links="false">
    <audio:param name="shaping" converter="shared::audio.paramcvt.enum" min-values="0" max-values="2" def-values="1"/>
    <audio:modLimTB name="tb"/>
    <audio:modDither name="dither">
      <audio:param-alloc index="2" param-name="^shaping"/>
    </audio:modDither>
    <audio:modBypass name="bypass"/>
    <audio:modFixedLatency name="fixed" latency-sec="0.010" latency-samples="128"/>
    <audio:modLatencyUniformer name="uniformer" latencies="44100=1041;48000=1080;88200=1482;96000=1560"/>
    <audio:process-link src="*" dst="tb"/>
    <audio:process-link src="*" dst="dither"/>
    <audio:process-link src="dither" dst="*"/>
    <audio:process-link src="*" dst="bypass"/>
    <audio:process-link src="*" dst="fixed"/>
    <audio:process-link src="*" dst="uniformer"/>
  </audio:process-def>

  <!-- A path whose first stage can be switched off in front of a pad. -->
  <audio:process-def name="pad">
    <audio:param name="skip" converter="shared::audio.paramcvt.enum-enable" min-values="0" max-values="1" def-values="0"/>
    <test:delay name="stage" latency-samples="100" bypass-state-id="1"/>
    <audio:modFixedLatency name="fixed" latency-sec="0.010" latency-samples="128"/>
    <audio:process-link src="*" dst="fixed/1"/>
    <audio:process-link src="fixed/1" dst="*/1"/>
    <audio:process-bypass-state id="1" param="skip" value="1"/>
  </audio:process-def>

  <audio:process-def name="uni">
    <audio:param name="skip" converter="shared::audio.paramcvt.enum-enable" min-values="0" max-values="1" def-values="0"/>
    <test:delay name="stage" latency-samples="100" bypass-state-id="1"/>
    <audio:modLatencyUniformer name="modLatencyUniformer"
        latencies="44100=1041;48000=1080;88200=1482;96000=1560;176400=2364;192000=2520;352800=4128;384000=4440"/>
    <audio:process-bypass-state id="1" param="skip" value="1"/>
  </audio:process-def>

  <!-- A sum of a chain and an earlier tap of it (its processed path
       meets its dry copy), and of a chain and a side path. -->
  <audio:process-def name="drywet">
    <audio:param name="skip" converter="shared::audio.paramcvt.enum-enable" min-values="0" max-values="1" def-values="0"/>
    <test:delay name="early" latency-samples="3"/>
    <test:delay name="stage" latency-samples="20" bypass-state-id="1"/>
    <test:sum name="sum"/>
    <audio:process-link src="early" dst="sum/1"/>
    <audio:process-bypass-state id="1" param="skip" value="1"/>
  </audio:process-def>
  <audio:process-def name="side">
    <test:delay name="early" latency-samples="3"/>
    <test:delay name="side" latency-samples="20" is-outoforder="true"/>
    <test:sum name="sum"/>
    <audio:process-link src="*" dst="side"/>
    <audio:process-link src="side" dst="sum/1"/>
  </audio:process-def>

  <audio:process-def name="late">
    <test:delay name="stage" latency-samples="2000"/>
    <audio:modLatencyUniformer name="modLatencyUniformer" latencies="44100=1041;48000=1080"/>
  </audio:process-def>

</core:object>
</definitions>)xml";

const CreatorRow kTestRows[] = {
    {"test:delay", [] { return static_cast<CObject*>(new CModDefT<graphtest::CTestDelay>()); }, nullptr},
    {"test:sum", [] { return static_cast<CObject*>(new CModDefT<graphtest::CTestSum>()); }, nullptr},
};

double maxStep(const std::vector<double>& y) {
    double m = 0.0;
    for (size_t i = 1; i < y.size(); ++i) m = std::max(m, std::abs(y[i] - y[i - 1]));
    return m;
}

std::vector<double> tone(size_t n, double freq, double amp, double rate = 44100.0) {
    std::vector<double> x(n);
    for (size_t i = 0; i < n; ++i) x[i] = amp * std::sin(2.0 * std::numbers::pi * freq * double(i) / rate);
    return x;
}

class ModuleTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(startApplication(kTestRows));
        ASSERT_FALSE(loadDefinitions(kModulesXml));
        kelFlushAudioDiagnostics();
        kelSetLogSink([this](std::string_view l) { log.emplace_back(l); });
    }
    void TearDown() override {
        rig.reset();
        kelFlushAudioDiagnostics();
        kelSetLogSink({});
        CApplication::finish();
    }
    CGraphRig& make(const char* name, int channels, double hostRate, double maxRate = 0.0) {
        rig = std::make_unique<CGraphRig>();
        CError e = rig->build((std::string("t.") + name).c_str(), name, channels, hostRate, std::max(maxRate, hostRate));
        EXPECT_FALSE(e) << e.message().utf8();
        return *rig;
    }
    std::vector<std::string> flushedLog() {
        log.clear();
        kelFlushAudioDiagnostics();
        return log;
    }
    std::unique_ptr<CGraphRig> rig;
    std::vector<std::string> log;
};

}  // namespace

// The gain's three slots by their own names, the clipper's gain through the
// definition's slot list (its level is gain × "clip-level").
TEST_F(ModuleTest, GainAndClipperReadTheirSlots) {
    CGraphRig& g = make("gains", 1, 44100.0);
    std::vector<double> x(64);
    for (size_t i = 0; i < x.size(); ++i) x[i] = -2.0 + 4.0 * double(i) / 63.0;
    const struct {
        double gain, mute, invert, ceiling;
        double mult;  // expected multiplier (0: muted)
    } cases[] = {{1.0, 0, 0, 1.0, 1.0},    {0.5, 0, 0, 1.0, 0.5},     {2.0, 0, 1, 0.5, -2.0},
                 {0.25, 0.6, 0, 1.0, 0.0}, {0.25, 0.4, 0.7, 2.0, -0.25}};
    for (const auto& c : cases) {
        g.set("modGain.gain", c.gain);
        g.set("modGain.mute", c.mute);
        g.set("modGain.phase-invert", c.invert);
        g.set("ceiling", c.ceiling);
        const auto y = g.run({x}, 64)[0];
        for (size_t i = 0; i < x.size(); ++i) {
            if (c.mult == 0.0)
                ASSERT_NEAR(std::abs(y[i]), 1e-11, 1e-24) << "muted at " << i;
            else
                ASSERT_EQ(y[i], std::clamp(c.mult * x[i], -1.1 * c.ceiling, 1.1 * c.ceiling)) << c.gain << " at " << i;
        }
    }
}

// With "is-smooth-update" a new gain is reached by a straight ramp over the
// module's cross-fade length, not by a jump.
TEST_F(ModuleTest, SmoothGainRampsOverItsCrossFadeLength) {
    CGraphRig& g = make("smooth", 1, 48000.0);
    const std::vector<double> ones(2048, 1.0);
    g.run({ones});
    g.set("modGain.gain", 0.25);
    const auto y = g.run({ones})[0];
    const int ramp = 480;  // 10 ms at 48 kHz
    for (int i = 0; i < ramp; ++i) ASSERT_NEAR(y[size_t(i)], 1.0 - 0.75 * (i + 1) / ramp, 1e-12) << i;
    for (size_t i = ramp; i < y.size(); ++i) ASSERT_EQ(y[i], 0.25) << i;
}

// Each gain computer hands its slots to its processors in table order (every
// slot bound to a distinct value, or all at their fallbacks), takes one input
// and writes two outputs.
TEST_F(ModuleTest, GainComputersReadTheirSlotTablesAndWriteTwoOutputs) {
    CGraphRig& g = make("computers", 1, 44100.0);
    const auto scale = g.run({std::vector<double>(32, 2.0)}, 32)[0];
    for (double v : scale) ASSERT_EQ(v, 1.0);  // "TB INS" on port 1
    EXPECT_EQ(g.child<CModLimTBIModule>("tbi")->processor(0).lookAhead(), 441);  // 10 ms
    EXPECT_DOUBLE_EQ(g.output(0, 1)[0], 0.25);  // "Clip" at 0.5 for a level of 2, from the first sample
    EXPECT_EQ(g.child<CModLimClipModule>("clip")->processor(0).params().drcType, 1);

    const auto same = [](const CModLimTB::Params& a, const CModLimTB::Params& b) {
        const double r[] = {a.attack - b.attack, a.knee - b.knee, a.release - b.release, a.timing - b.timing,
                            a.releaseRatio - b.releaseRatio, a.releaseShape - b.releaseShape};
        return std::all_of(std::begin(r), std::end(r), [](double d) { return std::abs(d) < 1e-12; }) &&
               a.type == b.type && a.releaseEnable == b.releaseEnable && a.aigcType == b.aigcType &&
               a.drcType == b.drcType;
    };
    EXPECT_TRUE(same(g.child<CModLimTBModule>("bound")->processor(0).params(),
                     {0.005, 2, 0.3, 0.05, true, 3, 1, 2.0, 0.25, 1.5}));
    EXPECT_TRUE(same(g.child<CModLimTBModule>("free")->processor(0).params(), CModLimTB::Params{}));
    const CModLimAIGC::Params& aigc = g.child<CModLimAIGCModule>("aigc")->processor(0).params();
    EXPECT_NEAR(aigc.attack, 0.0005, 1e-12);
    EXPECT_NEAR(aigc.release, 0.020, 1e-12);
    EXPECT_EQ(aigc.type * 100 + aigc.releaseEnable * 10 + aigc.drcType, 312);
    EXPECT_EQ(g.child<CModLimTBCModule>("tbc")->processor(0).params().attack, 0.0015);
    for (const char* name : {"bound", "aigc", "tbc", "tbi", "clip"}) {
        EXPECT_EQ(g.child<CAudioProcessBase>(name)->inputPortCount(), 1) << name;
        EXPECT_EQ(g.child<CAudioProcessBase>(name)->outputPortCount(), 2) << name;
    }
}

// Product, quotient and the bypass switch take their second input on port 1.
TEST_F(ModuleTest, TwoInputModulesTakePortOne) {
    CGraphRig& g = make("pairs", 1, 44100.0);
    std::vector<double> a(1024), b(1024);
    for (size_t i = 0; i < a.size(); ++i) {
        a[i] = 0.5 + 0.25 * std::sin(0.01 * double(i));
        b[i] = -0.75 + 0.1 * std::cos(0.02 * double(i));
    }
    const auto product = g.run({a, b}, 256, 0)[0];
    const auto quotient = g.run({a, b}, 256, 1)[0];
    const auto dry = g.run({a, b}, 256, 2)[0];
    g.set("bypass.enable", 1.0);
    const auto bypassed = g.run({a, b}, 256, 2)[0];
    for (size_t i = 0; i < a.size(); ++i) {
        ASSERT_EQ(product[i], a[i] * b[i]);
        ASSERT_EQ(quotient[i], a[i] / b[i]);
        ASSERT_EQ(dry[i], a[i]);
        if (i >= 662) {
            ASSERT_EQ(bypassed[i], b[i]) << i;  // after 15 ms of cross-fade
        }
    }
    EXPECT_LT(maxStep(bypassed), 0.01);
}

// The whole-group linker and evaluator see all channels of their group and no
// others (at the linking and input gain of their slots); a linker without
// "is-terminal-whole" leaves every channel alone.
TEST_F(ModuleTest, WholeGroupModulesSeeTheChannelsOfTheirGroup) {
    CGraphRig& g = make("linked", 4, 44100.0);
    const size_t n = 16384;
    CGraphRig::Signals in(12);  // ports 0, 1, 2 × channels 0 ... 3
    const double amp[4] = {1.0, 0.5, 0.25, 0.8};
    for (size_t c = 0; c < 4; ++c) {
        in[c] = tone(n, 50.0 * double(c + 1), amp[c]);
        in[4 + c] = std::vector<double>(n, 0.5);                     // input loudness
        in[8 + c] = std::vector<double>(n, 0.25 * double(c + 1));    // output loudness
    }
    for (const std::vector<std::vector<int>>& groups : {std::vector<std::vector<int>>{{0, 1}, {2, 3}},
                                                        std::vector<std::vector<int>>{{0}, {1, 2, 3}}}) {
        const double linking = groups[0].size() == 2 ? 1.0 : 0.5;
        for (int gi = 0; gi < 2; ++gi) {
            g.set("whole.linking", linking, 0, gi);
            for (int c : groups[size_t(gi)]) g.set("io-params.grouping", gi, c);
        }
        g.process()->reset();
        const auto eval = g.run(in, 512, 2);
        const auto whole = g.run(in, 512, 0);
        const auto apart = g.run(in, 512, 1);
        for (const auto& members : groups) {
            for (size_t i = 0; i < n; i += 97) {
                double linked = -1e9;
                for (int c : members) linked = std::max(linked, in[size_t(c)][i]);
                for (int c : members) {
                    const double own = in[size_t(c)][i];
                    ASSERT_NEAR(whole[size_t(c)][i], own + (linked - own) * linking, 1e-15) << "ch " << c;
                    ASSERT_EQ(apart[size_t(c)][i], own);
                }
            }
            // One loudness-matching gain per group; 1 / in-gain while the
            // averages settle (0.15 s).
            for (size_t i : {size_t(1000), size_t(5000), n - 1000}) {
                const double gain = eval[size_t(members[0])][i] / in[size_t(members[0])][i];
                if (i < 6000) {
                    EXPECT_NEAR(gain, 0.5, 1e-9);
                }
                for (int c : members) EXPECT_NEAR(eval[size_t(c)][i] / in[size_t(c)][i], gain, 1e-9) << "ch " << c;
            }
        }
    }
}

// Prepared for 96 kHz, the modules follow a lower rate with processors set up
// for it, without allocating.
TEST_F(ModuleTest, RateChangesReachTheProcessorsWithoutAllocating) {
    CGraphRig& g = make("rates", 2, 48000.0, 96000.0);
    const auto x = tone(512, 440.0, 0.5, 48000.0);
    const std::vector<const double*> in = {x.data(), x.data()};
    g.runBlock(in, 512);
    const auto& tb = g.child<CModLimTBModule>("tb")->processor(0);
    EXPECT_EQ(tb.lookAhead(), 144);  // 1.5 ms at 96 kHz
    alloc_counter::Scope scope;
    g.setRate(48000.0);
    g.set("shaping", 2.0);
    g.runBlock(in, 512);
    EXPECT_EQ(scope.allocations(), 0u);
    EXPECT_EQ(tb.lookAhead(), 72);
    CModDither::ShapingSet expected;
    ASSERT_EQ(CModDither::designShaping(CModDither::kShapingClassic, 48000.0, expected), 2);
    const auto sections = g.child<CModDitherModule>("dither")->processor(0).sections();
    ASSERT_EQ(sections.size(), 2u);
    EXPECT_EQ(sections[0].c1, expected[0].c1);
    EXPECT_EQ(g.child<CModBypassModule>("bypass")->processor(0).fadeLength(), 720);
    EXPECT_EQ(g.child<CModFixedLatencyModule>("fixed")->totalLatency(), 608);
    const auto& uniformer = g.child<CModLatencyUniformerModule>("uniformer")->processor();
    EXPECT_EQ(uniformer.fadeLength(), 720);
    EXPECT_EQ(uniformer.totalLatency(), 1080);
    // Each channel dithers with its own noise (fallback word length: 16 bits).
    int differ = 0;
    for (int i = 0; i < 512; ++i) {
        ASSERT_EQ(g.output(0)[i] * 32768.0, std::round(g.output(0)[i] * 32768.0));
        differ += g.output(0)[i] != g.output(1)[i];
    }
    EXPECT_GT(differ, 100);
}

// The pad brings every port to 10 ms + 128 samples after the container's
// input. When the stage in front of it is switched off (or on again) the
// output neither jumps nor stays misaligned.
TEST_F(ModuleTest, FixedLatencyPadsEveryPortAndSurvivesASwitchedStage) {
    CGraphRig& g = make("pad", 1, 44100.0);
    auto* fixed = g.child<CModFixedLatencyModule>("fixed");
    std::vector<double> impulse(1024, 0.0);
    impulse[3] = 1.0;
    for (int port : {0, 1}) {
        g.process()->reset();
        const auto y = g.run({impulse}, 256, port)[0];
        for (size_t i = 0; i < y.size(); ++i) ASSERT_EQ(y[i], i == 572 ? 1.0 : 0.0) << "port " << port << " at " << i;
    }
    EXPECT_EQ(fixed->latency(), 469.0);

    const auto x = tone(20000, 60.0, 1.0);
    for (double skip : {1.0, 0.0}) {
        g.set("skip", 1.0 - skip);
        g.run({{0.0}}, 1);
        g.process()->reset();
        const auto y = g.run({x}, 512, [&](size_t s) {
            if (s == 4096) g.set("skip", skip);
        })[0];
        EXPECT_EQ(fixed->latency(), skip == 1.0 ? 569.0 : 469.0);
        EXPECT_EQ(g.process()->latency(), 569.0);
        EXPECT_LE(maxStep(y), 2.0 * maxStep(x)) << "skip " << skip;  // held, then faded: no jump
        for (size_t i = 8000; i < x.size(); ++i) ASSERT_NEAR(y[i], x[i - 569], 1e-12) << "skip " << skip << " at " << i;
    }
}

// Where paths meet, the one that is always the latest keeps no delay history;
// the others are delayed to it, also across a stage switched off and on
// while playing (the chain's processed path meets its earlier tap), and a
// side path later than the chain delays the chain.
TEST_F(ModuleTest, PathsMeetAlignedWhicheverIsTheLatest) {
    const struct {
        const char* def;
        double skipAt4096;  // the stage's switch from block 4096 on (-1: none)
        int before, after;  // latency of the sum before and after
    } cases[] = {{"drywet", 1.0, 23, 3}, {"drywet", -1.0, 23, 23}, {"side", -1.0, 20, 20}};
    for (const auto& c : cases) {
        CGraphRig& g = make(c.def, 1, 44100.0);
        std::vector<double> x(16384, 0.0);
        for (size_t i = 100; i < x.size(); i += 1000) x[i] = 1.0;
        const auto y = g.run({x}, 256, [&](size_t s) {
            if (s == 4096 && c.skipAt4096 >= 0.0) g.set("skip", c.skipAt4096);
        })[0];
        EXPECT_EQ(g.process()->latency(), double(c.after)) << c.def;
        // Every impulse leaves as one sum of both paths, before and after
        // the switch (a switch fades, so its own second is left out).
        for (size_t i = 0; i < y.size(); ++i) {
            if (i >= 4096 && i < 6000 && c.skipAt4096 >= 0.0) continue;
            const int lat = i < 4096 ? c.before : c.after;
            const bool hit = i >= size_t(lat) && x[i - size_t(lat)] == 1.0;
            ASSERT_NEAR(y[i], hit ? 2.0 : 0.0, 1e-12) << c.def << " at " << i;
        }
    }
}

// The uniformer pads to the table's value of the first rate at least the host
// rate, reports what it cannot do once per change, and fades a change of its
// delay over 15 ms at the host rate.
TEST_F(ModuleTest, LatencyUniformerRateRuleAndMessages) {
    const struct {
        const char* def;
        double rate, total;
        const char* message;
    } cases[] = {
        {"uni", 44100.0, 1041, nullptr},
        {"uni", 22050.0, 1041, nullptr},
        {"uni", 96000.0, 1560, nullptr},
        {"uni", 400000.0, 100, "Unsupported sample rate 400000.000000 in LatencyUniformer // plugin.uni.modLatencyUniformer"},
        {"late", 44100.0, 2000,
         "Too high latency 2000 at sample rate 44100.000000 in LatencyUniformer // plugin.late.modLatencyUniformer"},
    };
    for (const auto& c : cases) {
        CGraphRig& g = make(c.def, 1, c.rate);
        flushedLog();
        std::vector<double> impulse(6144, 0.0);
        impulse[10] = 1.0;
        const auto y = g.run({impulse})[0];
        EXPECT_EQ(g.process()->latency(), c.total) << c.def << " @ " << c.rate;
        EXPECT_NEAR(y[10 + size_t(c.total)], 1.0, 1e-12) << c.def << " @ " << c.rate;
        const auto lines = flushedLog();
        ASSERT_EQ(lines.size(), c.message ? 1u : 0u) << c.def << " @ " << c.rate;  // once, not per block
        if (c.message) {
            EXPECT_EQ(lines[0], c.message);
        }
    }
    CGraphRig& g = make("uni", 1, 48000.0);
    const auto& u = g.child<CModLatencyUniformerModule>("modLatencyUniformer")->processor();
    g.run({std::vector<double>(512, 0.0)});
    EXPECT_EQ(u.addedLatency(), 980);
    g.set("skip", 1.0);
    g.run({std::vector<double>(719, 0.0)});
    EXPECT_EQ(u.addedLatency(), 1080);
    EXPECT_TRUE(u.fading());
    g.run({{0.0}}, 1);  // round(0.015 · 48000) = 720
    EXPECT_FALSE(u.fading());
}
