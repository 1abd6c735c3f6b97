#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <numbers>
#include <vector>

#include "Audio/Processes/ModAbs.h"
#include "Audio/Processes/ModBypass.h"
#include "Audio/Processes/ModClip.h"
#include "Audio/Processes/ModDenormNoise.h"
#include "Audio/Processes/ModGain.h"
#include "Audio/Processes/ModMult.h"

namespace {

// Values whose product with a gain near 1 would differ from the input.
std::vector<double> awkwardInput() {
    std::vector<double> x = {0.0, -0.0, 1.0, -1.0, 0.1, 1e-300, 4.9e-324, -3.3e-310, 1e300, 0.7071067811865476};
    for (int i = 0; i < 54; ++i) x.push_back(std::sin(0.37 * i) * std::pow(1.7, i % 9));
    return x;
}

bool bitEqual(const std::vector<double>& a, const std::vector<double>& b) {
    return a.size() == b.size() && std::memcmp(a.data(), b.data(), sizeof(double) * a.size()) == 0;
}

// Every value is exactly the tiny noise: ±1e-11, never zero, both signs.
void expectTinyNoise(const std::vector<double>& y) {
    int positive = 0;
    for (double v : y) {
        ASSERT_NE(v, 0.0);
        ASSERT_NEAR(std::abs(v), 1e-11, 1e-26);
        positive += v > 0;
    }
    EXPECT_GT(positive, int(y.size()) / 4);
    EXPECT_LT(positive, int(y.size()) * 3 / 4);
}

}  // namespace

TEST(ModGain, UnityCopiesAndOtherGainsMultiply) {
    const std::vector<double> x = awkwardInput();
    struct Case {
        double gain;
        bool invert;
        bool copies;
    };
    const double up = std::nextafter(1.0, 2.0), down = std::nextafter(1.0, 0.0);
    const Case cases[] = {
        {1.0, false, true}, {up, false, true}, {down, false, true},
        {1.0 + 4.5e-16, false, false}, {1.0, true, false}, {-1.0, true, true}, {0.5, false, false},
    };
    for (const Case& c : cases) {
        CModGain g;
        g.prepare(48000.0, 512);
        g.setParams({c.gain, false, c.invert});
        std::vector<double> y(x.size());
        g.process(x.data(), y.data(), int(x.size()));
        if (c.copies) {
            EXPECT_TRUE(bitEqual(x, y)) << c.gain;
        } else {
            const double m = c.gain * (c.invert ? -1.0 : 1.0);
            for (size_t i = 0; i < x.size(); ++i) ASSERT_EQ(y[i], m * x[i]) << c.gain;
        }
        // In place gives the same.
        std::vector<double> z = x;
        g.process(z.data(), z.data(), int(z.size()));
        EXPECT_TRUE(bitEqual(y, z));
    }
}

TEST(ModGain, MutedAndDenormNoiseNeverOutputZeros) {
    const std::vector<double> zeros(4096, 0.0);
    for (bool invert : {false, true}) {
        CModGain g;
        g.prepare(48000.0, 512);
        g.setParams({2.0, true, invert});
        std::vector<double> y(zeros.size());
        for (int block = 0; block < 3; ++block) {
            g.process(zeros.data(), y.data(), int(y.size()));
            expectTinyNoise(y);
        }
        // Unmuting returns to plain gain.
        g.setParams({2.0, false, invert});
        const double one = 1.0;
        double out = 0.0;
        g.process(&one, &out, 1);
        EXPECT_EQ(out, invert ? -2.0 : 2.0);
    }
    CModDenormNoise d;
    std::vector<double> y(zeros.size());
    d.process(zeros.data(), y.data(), int(y.size()));
    expectTinyNoise(y);
    const std::vector<double> x = awkwardInput();
    y.resize(x.size());
    d.process(x.data(), y.data(), int(x.size()));
    for (size_t i = 0; i < x.size(); ++i) EXPECT_NEAR(y[i] - x[i], 0.0, 1.01e-11 + 1e-16 * std::abs(x[i]));
}

TEST(ModClip, LimitsToGainTimesClipLevel) {
    struct Case {
        double clipLevel, gain, expectedLevel;
    };
    const Case cases[] = {{1.1, 0.5, 0.55}, {1.1, 1.0, 1.1}, {0.0, 1.0, 0.01}, {0.005, 2.0, 0.02}, {0.5, 3.0, 1.5}};
    const double inf = std::numeric_limits<double>::infinity();
    for (const Case& c : cases) {
        CModClip clip;
        clip.setClipLevel(c.clipLevel);
        clip.setParams({c.gain});
        const std::vector<double> x = {inf, 100.0, c.expectedLevel * 1.0001, c.expectedLevel * 0.999, 0.0,
                                       -c.expectedLevel * 0.999, -c.expectedLevel * 1.0001, -inf};
        std::vector<double> y(x.size());
        clip.process(x.data(), y.data(), int(x.size()));
        const double L = c.gain * std::max(c.clipLevel, 0.01);
        const std::vector<double> expected = {L, L, L, x[3], 0.0, x[5], -L, -L};
        EXPECT_EQ(y, expected) << c.clipLevel << " x " << c.gain;
        EXPECT_NEAR(L, c.expectedLevel, 1e-15);
    }
}

TEST(ModMultAbs, ProductQuotientAndRectifier) {
    const std::vector<double> a = {1.0, -2.0, 3.0, -0.5, 7.0};
    const std::vector<double> b = {0.5, 0.25, -2.0, 0.0, 1e-40};
    std::vector<double> y(a.size());
    CModMult m;
    m.process(a.data(), b.data(), y.data(), int(a.size()));
    EXPECT_EQ(y, (std::vector<double>{0.5, -0.5, -6.0, -0.0, 7.0 * 1e-40}));
    m.setDivision(true);
    m.process(a.data(), b.data(), y.data(), int(a.size()));
    EXPECT_EQ(y, (std::vector<double>{2.0, -8.0, -1.5, 0.0, 0.0}));
    CModAbs r;
    r.process(a.data(), y.data(), int(a.size()));
    EXPECT_EQ(y, (std::vector<double>{1.0, 2.0, 3.0, 0.5, 7.0}));
}

namespace {

struct BypassRun {
    std::vector<double> processed, unprocessed, out;
};

// Two different sines on the two ports, run in blocks of 100 with the given
// parameter changes applied at the given sample positions.
BypassRun runBypass(CModBypass& b, int frames, std::vector<std::pair<int, CModBypass::Params>> changes) {
    BypassRun r;
    for (int i = 0; i < frames; ++i) {
        r.processed.push_back(0.5 * std::sin(0.01 * i));
        r.unprocessed.push_back(0.8 * std::sin(0.013 * i + 1.0));
    }
    r.out.resize(size_t(frames));
    for (int pos = 0; pos < frames;) {
        int end = std::min(frames, pos + 100);
        for (const auto& [at, p] : changes) {
            if (at == pos) b.setParams(p);
            if (at > pos && at < end) end = at;
        }
        b.process(r.processed.data() + pos, r.unprocessed.data() + pos, r.out.data() + pos, end - pos);
        pos = end;
    }
    return r;
}

double maxStep(const std::vector<double>& y, size_t from, size_t to) {
    double m = 0.0;
    for (size_t i = from + 1; i < to; ++i) m = std::max(m, std::abs(y[i] - y[i - 1]));
    return m;
}

}  // namespace

TEST(ModBypass, CrossFadesBetweenSourcesWithoutJumps) {
    CModBypass b;
    b.prepare(48000.0, 512);
    const int L = b.fadeLength();
    ASSERT_EQ(L, 720);
    const BypassRun r = runBypass(b, 4000, {{1000, {true, false}}});
    // Before the change: the processed input exactly; after the fade: the
    // unprocessed one exactly.
    for (int i = 0; i < 1000; ++i) ASSERT_EQ(r.out[size_t(i)], r.processed[size_t(i)]);
    for (int i = 1000 + L; i < 4000; ++i) ASSERT_EQ(r.out[size_t(i)], r.unprocessed[size_t(i)]);
    // During the fade: the raised-cosine mix, no step beyond the inputs' own.
    for (int k = 1; k <= L; ++k) {
        const size_t i = size_t(999 + k);
        const double t = 0.5 - 0.5 * std::cos(std::numbers::pi * k / L);
        ASSERT_NEAR(r.out[i], (1 - t) * r.processed[i] + t * r.unprocessed[i], 1e-12) << k;
    }
    EXPECT_LT(maxStep(r.out, 900, 2000), 1.1 * std::max(maxStep(r.processed, 900, 2000), maxStep(r.unprocessed, 900, 2000)));
}

TEST(ModBypass, EqualGainAndInterruptedFades) {
    // Identical signals on both ports: the equal-gain fade leaves them untouched.
    CModBypass b;
    b.prepare(44100.0, 512);
    std::vector<double> x(2000), y(2000);
    for (size_t i = 0; i < x.size(); ++i) x[i] = std::sin(0.05 * double(i));
    b.setParams({true, false});
    b.process(x.data(), x.data(), y.data(), int(x.size()));
    for (size_t i = 0; i < x.size(); ++i) ASSERT_NEAR(y[i], x[i], 1e-15);

    // Reversing half-way and then muting by group solo: continuous throughout,
    // and the muted channel ends on the tiny noise.
    CModBypass c;
    c.prepare(48000.0, 512);
    const BypassRun r = runBypass(c, 5000, {{1000, {true, false}}, {1300, {false, false}}, {1500, {true, true}}});
    const double own = std::max(maxStep(r.processed, 0, 5000), maxStep(r.unprocessed, 0, 5000));
    EXPECT_LT(maxStep(r.out, 0, 5000), 1.1 * own);
    EXPECT_EQ(c.source(), CModBypass::kNoise);
    expectTinyNoise(std::vector<double>(r.out.begin() + 1500 + 720, r.out.end()));

    // reset() ends a fade at once.
    c.setParams({false, false});
    c.reset();
    EXPECT_FALSE(c.fading());
    const double one = 1.0, two = 2.0;
    double out = 0.0;
    c.process(&one, &two, &out, 1);
    EXPECT_EQ(out, 1.0);
}
