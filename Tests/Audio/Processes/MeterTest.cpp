// The level meter: ballistics of the processor, the module's routines and
// published readings, and peak hold over peak-time.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "Audio/Filters/FilterDesign.h"
#include "Audio/Processes/Metering/ModMeter.h"
#include "Tests/Audio/Viz/VizTestSupport.h"

using namespace viztest;

namespace {

constexpr double kRate = 48000.0;

double db10(double squared) { return 10.0 * std::log10(squared); }

CModMeter::Params plain(double rms, double release) {
    CModMeter::Params p;
    p.kRms = CModMeter::coefficient(rms, kRate);
    p.kRelease = CModMeter::releaseCoefficient(release, kRate);
    return p;
}

// Feeds n samples of a constant in pieces of 100.
void feed(CModMeter& m, double v, int n) {
    std::vector<double> x(100, v);
    for (int done = 0; done < n; done += 100) m.process(x.data(), nullptr, std::min(100, n - done));
}

}  // namespace

TEST(MeterBallistics, RiseReleaseAndTimeConstants) {
    CModMeter m;
    m.prepare(kRate, 512, 4);
    m.setParams(plain(0.1, 0.5));
    // Rise: the frame peak takes the first sample at once; the displayed mean
    // follows the mean square upward without lag, reaching 99 % after rms-time.
    feed(m, 1.0, 1);
    m.endFrame();
    EXPECT_DOUBLE_EQ(m.heldPeak(), 1.0);
    feed(m, 1.0, int(0.1 * kRate) - 1);
    EXPECT_DOUBLE_EQ(m.level(), m.meanSquare());
    EXPECT_NEAR(m.meanSquare(), 0.99, 0.002);
    feed(m, 1.0, int(kRate));
    EXPECT_NEAR(m.level(), 1.0, 1e-9);

    // Release: with a fast mean square the reading falls 20 dB per release time,
    // exponentially (10 dB after half of it).
    m.setParams(plain(0.001, 0.5));
    feed(m, 0.0, int(0.25 * kRate));
    EXPECT_NEAR(db10(m.level()), -10.0, 0.2);
    feed(m, 0.0, int(0.25 * kRate));
    EXPECT_NEAR(db10(m.level()), -20.0, 0.2);
    EXPECT_LT(m.meanSquare(), 1e-100);  // the mean square itself fell long ago

    // A release below 0.1 ms follows the mean square at once.
    m.reset();
    m.setParams(plain(0.01, 0.00005));
    feed(m, 1.0, int(kRate) / 10);
    feed(m, 0.0, 200);
    EXPECT_DOUBLE_EQ(m.level(), m.meanSquare());
    EXPECT_EQ(CModMeter::releaseCoefficient(0.00005, kRate), 1.0);
}

TEST(MeterBallistics, PeakHoldRingKeepsTheMaximumOfTheLastFrames) {
    // A reference maximum over the last H pushes, against the cached one.
    for (int h : {1, 2, 5, 30}) {
        CPeakHoldRing ring;
        ring.prepare(40);
        ring.setLength(h);
        std::vector<double> pushed;
        uint32_t state = 12345;
        for (int i = 0; i < 400; ++i) {
            state = state * 1664525u + 1013904223u;
            // Runs of falling values and repeated maxima stress the countdown.
            const double v = (i % 37 == 0) ? 5.0 : double(state >> 24) / 64.0;
            ring.push(v);
            pushed.push_back(v);
            double want = 0.0;
            for (int k = std::max(0, i - h + 1); k <= i; ++k) want = std::max(want, pushed[size_t(k)]);
            ASSERT_EQ(ring.max(), want) << "H " << h << ", push " << i;
        }
    }
    CPeakHoldRing big;
    big.prepare(10);
    big.setLength(50);
    EXPECT_EQ(big.length(), 10);  // clamped to the capacity
}

TEST(MeterBallistics, WeightingLiftsOneKilohertz) {
    CModMeter flat, weighted;
    for (CModMeter* m : {&flat, &weighted}) m->prepare(kRate, 512, 1);
    flat.setParams(plain(0.3, 0.5));
    CModMeter::Params p = plain(0.3, 0.5);
    p.kWeighting = true;
    weighted.setParams(p);
    std::vector<double> x(480);
    for (int block = 0; block < 300; ++block) {
        for (size_t i = 0; i < x.size(); ++i)
            x[i] = std::sin(2.0 * std::numbers::pi * 1000.0 * double(block * 480 + int(i)) / kRate);
        flat.process(x.data(), nullptr, 480);
        weighted.process(x.data(), nullptr, 480);
    }
    // The K-weighting gain at 1 kHz (about +0.7 dB).
    const double gain = 20.0 * std::log10(cascadeMagnitude(designKWeighting(kRate), 1000.0, kRate));
    EXPECT_NEAR(db10(weighted.meanSquare()) - db10(flat.meanSquare()), gain, 0.005);
}

// The module's routines as published: plain, gain reduction (also inverted)
// and input-to-reference difference, with the gains applied.
TEST_F(VizTest, MeterRoutinesAndPublishedReadings) {
    struct Case {
        const char* what;
        Attrs attrs;
        double port0, port1;  // constant inputs
        const char* gainDb;   // the "gain" parameter's default ("" : unbound)
        double level, peak;   // published after settling
    };
    const Case cases[] = {
        {"plain", {}, 0.5, 0.0, "", 0.5, 0.5},
        {"plain with gain", {}, 0.5, 0.0, "2.0", 1.0, 1.0},
        {"reduction of a gain of 0.5", {{"is-compression", "true"}}, 0.5, 0.0, "", 2.0, 2.0},
        {"reduction, inverted", {{"is-compression", "true"}, {"is-inverted", "true"}}, 0.25, 0.0, "", 0.25, 0.25},
        {"output 6 dB above its input", {{"is-diff", "true"}}, 1.0, 0.5, "", 2.0, 2.0},
        {"two silent ports", {{"is-diff", "true"}}, 0.0, 0.0, "", 1.0, 1.0},
    };
    int n = 0;
    for (const Case& tc : cases) {
        const std::string name = "m" + std::to_string(n++);
        CObject* c = add(defs.get(), "audio:process-def", name.c_str(), {{"is-auto-links", "false"}});
        CObject* meter = add(c, "audio:modMeter", "modMeter", {{"fps", "50"}});
        for (const auto& [k, v] : tc.attrs) ASSERT_FALSE(meter->setAttr(k, v));
        if (*tc.gainDb)
            add(meter, "audio:param", "gain",
                {{"converter", "shared::audio.paramcvt.real"}, {"min-values", "0"}, {"max-values", "10"},
                 {"def-values", tc.gainDb}});
        add(c, "audio:process-link", "", {{"src", "*"}, {"dst", "modMeter"}});
        add(c, "audio:process-link", "", {{"src", "*/1"}, {"dst", "modMeter/1"}});
        ASSERT_FALSE(c->initTree());
        ASSERT_FALSE(buildGraph(*c, 2, kRate, 960)) << tc.what;
        const std::string source = "plugin." + name + ".modMeter";
        ASSERT_FALSE(viz->listen(uint32_t(n), source.c_str(), 0));
        std::vector<std::vector<double>> in0(2, std::vector<double>(960, tc.port0));
        std::vector<double> in1(960, tc.port1);
        for (int block = 0; block < 100; ++block) {  // 2 s: settled
            CPortBuffers& p1 = process->input(1);
            p1.channels = 2;
            p1.ch[0] = p1.ch[1] = in1.data();
            runBlock(in0);
        }
        Block b = readBlock(request(uint32_t(n)));
        ASSERT_EQ(b.lanes.size(), 1u) << tc.what;
        ASSERT_EQ(b.lanes[0].frames.size(), 1u) << tc.what;
        EXPECT_EQ(b.lanes[0].newest, 100u) << tc.what;  // 50 frames per second
        const auto& v = b.lanes[0].frames[0].values;
        ASSERT_EQ(v.size(), 6u) << tc.what;
        for (int ch = 0; ch < 2; ++ch) {
            EXPECT_NEAR(v[size_t(3 * ch)], tc.level, 1e-6 * tc.level) << tc.what;
            EXPECT_NEAR(v[size_t(3 * ch + 1)], tc.peak, 1e-6 * tc.peak) << tc.what;
            EXPECT_EQ(v[size_t(3 * ch + 2)], 0.0) << tc.what;  // no bias without use-bias
        }
    }
}

// A short burst holds its peak for peak-time worth of frames, then the
// reading falls back to the (released) level.
TEST_F(VizTest, MeterHoldsThePeakOverPeakTime) {
    struct Case {
        const char* peakTime;
        uint64_t holdFrames;  // at 30 frames per second
    } cases[] = {{"0.5", 15}, {"1.0", 30}, {"0.01", 1}};
    uint32_t n = 0;
    for (const Case& tc : cases) {
        const std::string name = "hold" + std::to_string(n);
        CObject* c = singleModule(defs.get(), name, "audio:modMeter", {{"fps", "30"}},
                                  {{"peak-time", tc.peakTime}, {"release", "0.05"}});
        ASSERT_FALSE(c->initTree());
        ASSERT_FALSE(buildGraph(*c, 1, kRate, 1600));
        ASSERT_FALSE(viz->listen(++n, ("plugin." + name + ".mod").c_str(), 0));
        std::vector<std::vector<double>> block(1, std::vector<double>(1600, 0.0));
        for (int i = 100; i < 110; ++i) block[0][size_t(i)] = -0.5;
        for (uint64_t frame = 1; frame <= tc.holdFrames + 2; ++frame) {
            runBlock(block);
            std::fill(block[0].begin(), block[0].end(), 0.0);
            Block b = readBlock(request(n, 0, CVizDataRequest::kInfo));
            ASSERT_EQ(b.lanes.at(0).newest, frame);
            const double peak = b.lanes[0].frames.at(0).values.at(1);
            if (frame <= tc.holdFrames)
                EXPECT_DOUBLE_EQ(peak, 0.5) << tc.peakTime << ", frame " << frame;
            else
                EXPECT_LT(peak, 0.05) << tc.peakTime << ", frame " << frame;
        }
    }
}
