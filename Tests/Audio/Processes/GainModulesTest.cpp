#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <numbers>
#include <vector>

#include "Audio/Processes/Flow/ModBypass.h"
#include "Audio/Processes/Gain/ModClip.h"
#include "Audio/Processes/Gain/ModDenormNoise.h"
#include "Audio/Processes/Gain/ModGain.h"
#include "Audio/Processes/Gain/TinyNoise.h"

namespace {

// Values whose product with a gain near 1 differs from the value itself.
std::vector<double> awkwardInput() {
    std::vector<double> x = {0.0, -0.0, 1e-300, 4.9e-324, -3.3e-310, 1e300, 0.7071067811865476};
    for (int i = 0; i < 57; ++i) x.push_back(std::sin(0.37 * i) * std::pow(1.7, i % 9));
    return x;
}

// Every value is the tiny noise: ±1e-11, never zero, both signs.
void expectTinyNoise(const std::vector<double>& y) {
    int positive = 0;
    for (double v : y) {
        ASSERT_NEAR(std::abs(v), 1e-11, 1e-26);
        positive += v > 0;
    }
    EXPECT_NEAR(positive, int(y.size()) / 2, int(y.size()) / 4);
}

double maxStep(const std::vector<double>& y, size_t from = 0, size_t to = SIZE_MAX) {
    double m = 0.0;
    for (size_t i = from + 1; i < std::min(to, y.size()); ++i) m = std::max(m, std::abs(y[i] - y[i - 1]));
    return m;
}

}  // namespace

TEST(ModGain, UnityCopiesBitExactlyOtherGainsMultiply) {
    const std::vector<double> x = awkwardInput();
    const double up = std::nextafter(1.0, 2.0), down = std::nextafter(1.0, 0.0);
    const struct {
        double gain;
        bool invert, copies;
    } cases[] = {{1.0, false, true},  {up, false, true},  {down, false, true}, {1.0 + 4.5e-16, false, false},
                 {1.0, true, false},  {-1.0, true, true}, {0.5, false, false}};
    for (const auto& c : cases) {
        CModGain g;
        g.setParams({c.gain, false, c.invert});
        std::vector<double> y(x.size()), z = x;
        g.process(x.data(), y.data(), int(x.size()));
        g.process(z.data(), z.data(), int(z.size()));  // in place
        EXPECT_EQ(std::memcmp(y.data(), z.data(), sizeof(double) * y.size()), 0);
        const double m = c.gain * (c.invert ? -1.0 : 1.0);
        for (size_t i = 0; i < x.size(); ++i) {
            if (c.copies)
                ASSERT_EQ(std::memcmp(&y[i], &x[i], sizeof(double)), 0) << c.gain << " at " << i;
            else
                ASSERT_EQ(y[i], m * x[i]) << c.gain;
        }
    }
}

TEST(ModGain, MutedAndDenormNoiseNeverOutputZeros) {
    const std::vector<double> zeros(4096, 0.0);
    std::vector<double> y(zeros.size());
    for (bool invert : {false, true}) {
        CModGain g;
        g.setParams({2.0, true, invert});
        for (int block = 0; block < 3; ++block) {
            g.process(zeros.data(), y.data(), int(y.size()));
            expectTinyNoise(y);
        }
    }
    CModDenormNoise d;
    d.process(zeros.data(), y.data(), int(y.size()));
    expectTinyNoise(y);
}

TEST(ModClip, LimitsToGainTimesClipLevel) {
    const double inf = std::numeric_limits<double>::infinity();
    // clip-level, gain, resulting level (levels below 0.01 are raised)
    for (auto [clipLevel, gain, level] : {std::tuple{1.1, 0.5, 0.55}, {1.1, 1.0, 1.1}, {0.0, 1.0, 0.01}, {0.005, 2.0, 0.02}}) {
        CModClip clip;
        clip.setClipLevel(clipLevel);
        clip.setParams({gain});
        const std::vector<double> x = {inf, level * 1.0001, level * 0.999, 0.0, -level * 0.999, -level * 1.0001, -inf};
        std::vector<double> y(x.size());
        clip.process(x.data(), y.data(), int(x.size()));
        EXPECT_NEAR(clip.level(), level, 1e-15);
        const double L = clip.level();
        EXPECT_EQ(y, (std::vector<double>{L, L, x[2], 0.0, x[4], -L, -L})) << clipLevel << " x " << gain;
    }
}

// Two sines on the two ports; bypass on at 1000, off again half-way through
// the fade, then group-solo mute at 1500, processed in blocks of 100.
TEST(ModBypass, CrossFadesWithoutJumpsAndEndsOnTheNewSource) {
    CModBypass b;
    b.prepare(48000.0, 512);
    const int L = b.fadeLength();
    ASSERT_EQ(L, 720);
    const int frames = 5000;
    std::vector<double> p(frames), u(frames), y(frames);
    for (int i = 0; i < frames; ++i) {
        p[size_t(i)] = 0.5 * std::sin(0.01 * i);
        u[size_t(i)] = 0.8 * std::sin(0.013 * i + 1.0);
    }
    for (int pos = 0; pos < frames; pos += 100) {
        if (pos == 1000) b.setParams({true, false});
        if (pos == 3000) b.setParams({false, false});
        if (pos == 3300) b.setParams({true, true});
        b.process(p.data() + pos, u.data() + pos, y.data() + pos, 100);
    }
    for (int i = 0; i < 1000; ++i) ASSERT_EQ(y[size_t(i)], p[size_t(i)]);
    for (int k = 1; k <= L; ++k) {
        const size_t i = size_t(999 + k);
        const double t = 0.5 - 0.5 * std::cos(std::numbers::pi * k / L);
        ASSERT_NEAR(y[i], (1 - t) * p[i] + t * u[i], 1e-12) << k;
    }
    for (int i = 1000 + L; i < 3000; ++i) ASSERT_EQ(y[size_t(i)], u[size_t(i)]);
    EXPECT_LT(maxStep(y), 1.1 * std::max(maxStep(p), maxStep(u)));
    EXPECT_EQ(b.source(), CModBypass::kNoise);
    expectTinyNoise(std::vector<double>(y.begin() + 3300 + L, y.end()));

    // Equal gain: identical ports pass unchanged through a fade.
    b.setParams({false, false});
    b.reset();
    b.setParams({true, false});
    b.process(p.data(), p.data(), y.data(), frames);
    for (int i = 0; i < frames; ++i) ASSERT_NEAR(y[size_t(i)], p[size_t(i)], 1e-15);
}

// The noise added a block at a time (states computed eight ahead) is the
// sample-by-sample sequence to the bit, across block lengths that leave
// every remainder, in place and out of place.
TEST(TinyNoise, BlockFormEqualsTheSequence) {
    CTinyNoise one, block;
    std::vector<double> x = awkwardInput();
    while (x.size() < 3000) x.insert(x.end(), x.begin(), x.begin() + 64);
    std::vector<double> y(x.size());
    for (size_t pos = 0, k = 0; pos < x.size(); ++k) {
        const int n = int(std::min<size_t>(k % 19, x.size() - pos));
        if (k % 2) {
            std::copy_n(x.data() + pos, n, y.data() + pos);
            block.addTo(y.data() + pos, y.data() + pos, n);
        } else {
            block.addTo(x.data() + pos, y.data() + pos, n);
        }
        pos += size_t(n);
    }
    for (size_t i = 0; i < x.size(); ++i) {
        const double expected = x[i] + one.next();
        ASSERT_EQ(std::memcmp(&expected, &y[i], sizeof(double)), 0) << "sample " << i;
    }
    EXPECT_EQ(one.state(), block.state());
}
