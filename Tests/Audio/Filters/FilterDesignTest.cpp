#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "Audio/Filters/FilterDesign.h"
#include "Tests/Audio/Filters/DCFilterTable.h"

namespace {

constexpr double kRate = 48000.0;

double db(double linear) { return 20.0 * std::log10(linear); }

double magnitudeDb(std::span<const CFilterSection> s, double freq, double rate = kRate) {
    return db(cascadeMagnitude(s, freq, rate));
}

// The frequency where the response of a high-pass first reaches −3 dB.
double minus3dBPoint(std::span<const CFilterSection> s, double lo, double hi) {
    for (int i = 0; i < 80; ++i) {
        const double mid = std::sqrt(lo * hi);
        (magnitudeDb(s, mid) < -3.0 ? lo : hi) = mid;
    }
    return lo;
}

CFilterSectionList design(int index, double freq = 10.0, double q = 0.7071) {
    const auto array = dc_filters::array();
    const CFilterArrayItem* item = findFilterArrayItem(array, index);
    CFilterSectionList out;
    if (item) generateSerial(item->items, {freq, 1.0, q}, kRate, out);
    return out;
}

}  // namespace

// Each cookbook type checked where its response is defined exactly: 1 kHz,
// gain +6 dB, Q 2 (or an equivalent bandwidth) at 48 kHz.
TEST(FilterDesign, CookbookTypesHitTheirDefiningPoints) {
    const double f0 = 1000.0, gain = std::pow(10.0, 6.0 / 20.0), q = 2.0;
    const double A2 = gain;  // A² = the linear gain
    struct Case {
        int type;
        double freq;      // where to look
        double expected;  // linear magnitude
    };
    const Case cases[] = {
        {kRBJLowPass, 1.0, 1.0},          {kRBJLowPass, f0, q},           {kRBJLowPass, 23990.0, 0.0},
        {kRBJHighPass, 1.0, 0.0},         {kRBJHighPass, f0, q},          {kRBJHighPass, 23990.0, 1.0},
        {kRBJBandPassPeak, f0, 1.0},      {kRBJBandPassPeak, 1.0, 0.0},   {kRBJBandPassSkirt, f0, q},
        {kRBJNotch, f0, 0.0},             {kRBJNotch, 1.0, 1.0},          {kRBJAllPass, 123.0, 1.0},
        {kRBJAllPass, f0, 1.0},           {kRBJAllPass, 15000.0, 1.0},    {kRBJPeaking, f0, A2},
        {kRBJPeaking, 1.0, 1.0},          {kRBJLowShelf, 1.0, A2},        {kRBJLowShelf, 23990.0, 1.0},
        {kRBJLowShelf, f0, std::sqrt(A2)}, {kRBJHighShelf, 23990.0, A2},  {kRBJHighShelf, 1.0, 1.0},
        {kRBJHighShelf, f0, std::sqrt(A2)},
    };
    for (const Case& c : cases) {
        const CFilterSection s = designRBJ(c.type, true, {f0, gain, q}, kRate);
        EXPECT_NEAR(cascadeMagnitude({&s, 1}, c.freq, kRate), c.expected, 2e-3 * std::max(1.0, c.expected))
            << "type " << c.type << " at " << c.freq << " Hz";
    }
    // The bandwidth form: a peaking filter one octave wide has its half-gain
    // (in dB) points one octave apart, centred geometrically on f0.
    const CFilterSection p = designRBJ(kRBJPeaking, false, {f0, gain, 1.0}, kRate);
    EXPECT_NEAR(magnitudeDb({&p, 1}, f0), 6.0, 1e-9);
    EXPECT_NEAR(magnitudeDb({&p, 1}, f0 / std::sqrt(2.0)), 3.0, 0.05);
    EXPECT_NEAR(magnitudeDb({&p, 1}, f0 * std::sqrt(2.0)), 3.0, 0.05);
}

TEST(FilterDesign, FirstOrderSectionsAreDownThreeDecibelsAtTheirFrequency) {
    for (double rate : {44100.0, 96000.0}) {
        for (double freq : {10.0, 1000.0, 15000.0}) {
            for (int type : {0, 1}) {
                const CFilterSection s = designLPHP1(type, freq, rate);
                EXPECT_EQ(s.order, 1);
                EXPECT_NEAR(cascadeMagnitude({&s, 1}, freq, rate), kLPHP1CutoffGain, 1e-12);
                // Unity gain in the pass band, nothing in the stop band.
                EXPECT_NEAR(cascadeMagnitude({&s, 1}, type == 0 ? 0.0 : rate / 2, rate), 1.0, 1e-12);
                EXPECT_NEAR(cascadeMagnitude({&s, 1}, type == 0 ? rate / 2 : 0.0, rate), 0.0, 1e-12);
            }
        }
    }
}

TEST(FilterDesign, TypesOutsideTheListAreRejected) {
    int type = -1;
    EXPECT_TRUE(parseFilterType(CFilterGenSpec::kRBJ, "8", &type).ok());
    EXPECT_EQ(type, 8);
    EXPECT_TRUE(parseFilterType(CFilterGenSpec::kLPHP1, "1", &type).ok());
    for (const char* bad : {"9", "-1", "x", "", "1.5"}) {
        const CError e = parseFilterType(CFilterGenSpec::kRBJ, bad, &type);
        ASSERT_TRUE(e) << bad;
        EXPECT_EQ(e.message().utf8(), std::string("Invalid filter type '") + bad + "' specified.");
    }
    EXPECT_TRUE(parseFilterType(CFilterGenSpec::kLPHP1, "2", &type));
    EXPECT_TRUE(checkFilterGen({CFilterGenSpec::kLPHP1, 2, false}));
}

TEST(FilterDesign, SerialItemsScaleTheirParameters) {
    std::vector<double> adjust;
    ASSERT_TRUE(parseAdjustList(" 0.5, 2 ,3", &adjust).ok());
    EXPECT_EQ(adjust, (std::vector<double>{0.5, 2.0, 3.0}));
    EXPECT_TRUE(parseAdjustList("1,,2", &adjust));
    EXPECT_TRUE(parseAdjustList("1,", &adjust));

    CFilterSerialItem item{{}, {0.5, 2.0}};
    EXPECT_EQ(adjustFilterParams(item, {100.0, 3.0, 4.0}), (CFilterParams{50.0, 6.0, 4.0}));  // missing → 1.0
    item.hasAdjustPow = true;
    item.adjustPow = 2.0;  // raised first, then multiplied
    EXPECT_EQ(adjustFilterParams(item, {100.0, 3.0, 4.0}), (CFilterParams{5000.0, 18.0, 16.0}));
}

// The −12 steep design is the cookbook high-pass itself; the −24 steep one is
// the fourth-order Butterworth pair.
TEST(DCFilters, SteepDesignsAreTheCookbookHighPasses) {
    const CFilterSectionList two = design(2);
    ASSERT_EQ(two.size(), 1u);
    const CFilterSection ref = designRBJ(kRBJHighPass, true, {10.0, 1.0, 0.7071}, kRate);
    EXPECT_DOUBLE_EQ(two[0].b0, ref.b0);
    EXPECT_DOUBLE_EQ(two[0].a1, ref.a1);
    EXPECT_DOUBLE_EQ(two[0].a2, ref.a2);

    const CFilterSectionList six = design(6);
    ASSERT_EQ(six.size(), 2u);
    const double qs[2] = {0.7071 * 0.7636826, 0.7071 * 1.8526375};
    for (int i = 0; i < 2; ++i) {
        const CFilterSection r = designRBJ(kRBJHighPass, true, {10.0, 1.0, qs[i]}, kRate);
        EXPECT_DOUBLE_EQ(six[size_t(i)].a1, r.a1);
        EXPECT_DOUBLE_EQ(six[size_t(i)].a2, r.a2);
        // The analogue prototype's gain at the corner equals its Q.
        EXPECT_NEAR(cascadeMagnitude({&six[size_t(i)], 1}, 10.0, kRate), qs[i], 1e-4);
    }
}

// Every design: −3 dB at the cut-off (its frequency multipliers move the
// corner of each alignment there), the slope of its order, no pass-band
// overshoot beyond a few hundredths of a decibel, none at all for the soft
// (Bessel) ones, and the same shape at other cut-offs and rates.
TEST(DCFilters, ResponsesMatchTheirAlignment) {
    for (int index = 0; index < 11; ++index) {
        const dc_filters::Design& d = dc_filters::kDesigns[index];
        SCOPED_TRACE(d.name);
        for (double freq : {10.0, 40.0}) {
            const CFilterSectionList s = design(index, freq);
            ASSERT_EQ(s.size(), size_t((d.order + 1) / 2));
            EXPECT_TRUE(sectionsStable(s));
            EXPECT_NEAR(minus3dBPoint(s, freq / 10, freq * 10) / freq, 1.0, 0.01);
            const double slope = magnitudeDb(s, freq / 50) - magnitudeDb(s, freq / 100);
            EXPECT_NEAR(slope, 6.02 * d.order, 0.05);
            double peak = -1e9;
            for (double f = freq; f < 20000.0; f *= 1.02) peak = std::max(peak, magnitudeDb(s, f));
            EXPECT_LT(peak, d.butterworth ? 0.03 : 1e-6);
            EXPECT_NEAR(magnitudeDb(s, 1000.0), 0.0, 0.01);
        }
    }
    EXPECT_TRUE(design(11).empty());
}

// The K-weighting pair at 48 kHz reproduces the coefficients published with
// the loudness measurement recommendation, and its shape holds at other rates.
TEST(KWeighting, MatchesTheReferenceFilterAndShape) {
    const auto k = designKWeighting(48000.0);
    EXPECT_NEAR(k[0].b0, 1.53512485958697, 1e-4);
    EXPECT_NEAR(k[0].b1, -2.69169618940638, 1e-3);
    EXPECT_NEAR(k[0].b2, 1.19839281085285, 1e-3);
    EXPECT_NEAR(k[0].a1, -1.69065929318241, 1e-4);
    EXPECT_NEAR(k[0].a2, 0.73248077421585, 1e-4);
    EXPECT_NEAR(k[1].a1, -1.99004745483398, 1e-8);
    EXPECT_NEAR(k[1].a2, 0.99007225036621, 1e-8);
    EXPECT_DOUBLE_EQ(k[1].b1, -2.0 * k[1].b0);
    EXPECT_DOUBLE_EQ(k[1].b2, k[1].b0);

    for (double rate : {44100.0, 48000.0, 96000.0, 192000.0}) {
        const auto s = designKWeighting(rate);
        EXPECT_TRUE(sectionsStable(s));
        EXPECT_NEAR(magnitudeDb(s, 1000.0, rate), 0.0, 0.8) << rate;
        EXPECT_NEAR(magnitudeDb(s, 10000.0, rate), 4.0, 0.1) << rate;
        EXPECT_LT(magnitudeDb(s, 10.0, rate), -20.0) << rate;
    }
}
