#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <vector>

#include "Audio/Processes/Filters/ModFilterIIR.h"
#include "Tests/Audio/Filters/DCFilterTable.h"

namespace {

constexpr double kRate = 48000.0;

// Steady-state amplitude of the filter's answer to a unit sine at freq.
double measuredGain(CModFilterIIR& f, double freq) {
    f.reset();
    const int settle = int(kRate), n = int(kRate);
    std::vector<double> x(size_t(settle + n)), y(x.size());
    for (size_t i = 0; i < x.size(); ++i) x[i] = std::sin(2.0 * std::numbers::pi * freq * double(i) / kRate);
    for (size_t pos = 0; pos < x.size(); pos += 480) f.process(x.data() + pos, y.data() + pos, 480);
    double re = 0, im = 0;
    for (int i = settle; i < settle + n; ++i) {
        const double ph = 2.0 * std::numbers::pi * freq * double(i) / kRate;
        re += y[size_t(i)] * std::sin(ph);
        im += y[size_t(i)] * std::cos(ph);
    }
    return 2.0 * std::hypot(re, im) / n;
}

class FilterIIR : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(f.setGenArray(array).ok());
        f.prepare(kRate, 480);
    }
    std::vector<CFilterArrayItem> array = dc_filters::array();
    CModFilterIIR f;
};

}  // namespace

TEST_F(FilterIIR, RunsTheDesignedResponse) {
    for (int index : {0, 5, 10}) {
        f.setParams({index, 20.0, 1.0, 0.7071});
        for (double freq : {10.0, 20.0, 40.0, 1000.0}) {
            const double expected = cascadeMagnitude(f.sections(), freq, kRate);
            EXPECT_NEAR(measuredGain(f, freq), expected, 2e-3 * expected + 1e-6) << index << " at " << freq;
        }
    }
    // In place gives the same result.
    std::vector<double> x(1000, 0.5), a(1000), b = x;
    f.reset();
    f.process(x.data(), a.data(), 1000);
    f.reset();
    f.process(b.data(), b.data(), 1000);
    EXPECT_EQ(a, b);
}

TEST_F(FilterIIR, RegeneratesOnChangesAndClearsStatesOnlyWhenTheCountChanges) {
    // Frequency, bandwidth and rate changes take effect at once.
    f.setParams({2, 10.0, 1.0, 0.7071});
    const double a1 = f.sections()[0].a1;
    f.setParams({2, 20.0, 1.0, 0.7071});
    EXPECT_NE(f.sections()[0].a1, a1);
    f.setParams({2, 20.0, 1.0, 1.0});
    f.prepare(96000.0, 480);
    EXPECT_NEAR(cascadeMagnitude(f.sections(), 20.0, 96000.0), 1.0, 1e-3);  // the corner gain equals Q
    f.prepare(kRate, 480);

    std::vector<double> ones(2000, 1.0), zeros(16, 0.0), y(2000);
    f.process(ones.data(), y.data(), 2000);
    // Same section count: the states carry over into the new design.
    f.setParams({1, 20.0, 1.0, 0.7071});
    f.process(zeros.data(), y.data(), 16);
    EXPECT_NE(y[0], 0.0);
    // Another count: the states start from zero.
    f.setParams({6, 20.0, 1.0, 0.7071});
    ASSERT_EQ(f.sections().size(), 2u);
    f.process(zeros.data(), y.data(), 16);
    for (int i = 0; i < 16; ++i) EXPECT_EQ(y[size_t(i)], 0.0);

    // An index without an entry passes the signal through.
    f.setParams({42, 20.0, 1.0, 0.7071});
    EXPECT_TRUE(f.sections().empty());
    f.process(ones.data(), y.data(), 16);
    EXPECT_EQ(y[15], 1.0);

    std::vector<CFilterArrayItem> bad = {{0, {{{CFilterGenSetup::kRBJ, 12, true}, {}}}}};
    CModFilterIIR g;
    EXPECT_TRUE(g.setGenArray(bad));
}

TEST_F(FilterIIR, DecayingStatesNeverBecomeDenormal) {
    f.setParams({10, 100.0, 1.0, 0.7071});
    std::vector<double> y(480), x(480, 0.0);
    x[0] = 1.0;
    bool reachedZero = false;
    for (int block = 0; block < 2000; ++block) {
        f.process(x.data(), y.data(), 480);
        x[0] = 0.0;
        for (double v : y) ASSERT_TRUE(v == 0.0 || std::abs(v) >= 1e-300) << block;
        reachedZero = y.back() == 0.0;
    }
    EXPECT_TRUE(reachedZero);
}
