#include <gtest/gtest.h>

#include <cmath>

#include "Audio/Filters/FilterDesign.h"
#include "Tests/Audio/Filters/DCFilterTable.h"

namespace {

constexpr double kRate = 48000.0;

double magnitudeDb(std::span<const CFilterSection> s, double freq, double rate = kRate) {
    return 20.0 * std::log10(cascadeMagnitude(s, freq, rate));
}

CFilterSectionList dcDesign(int index, double freq = 10.0, double q = 0.7071) {
    const auto array = dc_filters::array();
    CFilterSectionList out;
    if (const CFilterArrayItem* item = findFilterArrayItem(array, index))
        generateSerial(item->items, {freq, 1.0, q}, kRate, out);
    return out;
}

}  // namespace

// Each cookbook type where its response is defined exactly: 1 kHz, +6 dB
// (A² = 10^(6/20)), Q 2, at 48 kHz.
TEST(FilterDesign, CookbookTypesHitTheirDefiningPoints) {
    const double f0 = 1000.0, A2 = std::pow(10.0, 6.0 / 20.0), q = 2.0, nyq = 23990.0;
    const struct {
        int type;
        double freq, expected;
    } cases[] = {
        {kRBJLowPass, 1.0, 1.0},     {kRBJLowPass, f0, q},        {kRBJLowPass, nyq, 0.0},
        {kRBJHighPass, 1.0, 0.0},    {kRBJHighPass, f0, q},       {kRBJHighPass, nyq, 1.0},
        {kRBJBandPassPeak, f0, 1.0}, {kRBJBandPassPeak, 1.0, 0.0}, {kRBJBandPassSkirt, f0, q},
        {kRBJNotch, f0, 0.0},        {kRBJNotch, 1.0, 1.0},       {kRBJAllPass, 123.0, 1.0},
        {kRBJAllPass, 15000.0, 1.0}, {kRBJPeaking, f0, A2},       {kRBJPeaking, 1.0, 1.0},
        {kRBJLowShelf, 1.0, A2},     {kRBJLowShelf, nyq, 1.0},    {kRBJLowShelf, f0, std::sqrt(A2)},
        {kRBJHighShelf, nyq, A2},    {kRBJHighShelf, 1.0, 1.0},   {kRBJHighShelf, f0, std::sqrt(A2)},
    };
    for (const auto& c : cases) {
        const CFilterSection s = designRBJ(c.type, true, {f0, A2, q}, kRate);
        EXPECT_NEAR(cascadeMagnitude({&s, 1}, c.freq, kRate), c.expected, 2e-3 * std::max(1.0, c.expected))
            << "type " << c.type << " at " << c.freq << " Hz";
    }
    // Bandwidth form: a one-octave peak is at half its dB gain half an octave
    // either side of f0.
    const CFilterSection p = designRBJ(kRBJPeaking, false, {f0, A2, 1.0}, kRate);
    EXPECT_NEAR(magnitudeDb({&p, 1}, f0), 6.0, 1e-9);
    EXPECT_NEAR(magnitudeDb({&p, 1}, f0 / std::sqrt(2.0)), 3.0, 0.05);
    EXPECT_NEAR(magnitudeDb({&p, 1}, f0 * std::sqrt(2.0)), 3.0, 0.05);
}

TEST(FilterDesign, FirstOrderSectionsAreDownThreeDecibelsAtTheirFrequency) {
    for (double rate : {44100.0, 96000.0}) {
        for (double freq : {10.0, 1000.0, 15000.0}) {
            for (int type : {0, 1}) {
                const CFilterSection s = designLPHP1(type, freq, rate);
                EXPECT_NEAR(cascadeMagnitude({&s, 1}, freq, rate), kLPHP1CutoffGain, 1e-12);
                EXPECT_NEAR(cascadeMagnitude({&s, 1}, type == 0 ? 0.0 : rate / 2, rate), 1.0, 1e-12);
                EXPECT_NEAR(cascadeMagnitude({&s, 1}, type == 0 ? rate / 2 : 0.0, rate), 0.0, 1e-12);
            }
        }
    }
}

TEST(FilterDesign, TypesAndAdjustListsAreParsed) {
    int type = -1;
    EXPECT_TRUE(parseFilterType(CFilterGenSetup::kRBJ, "8", &type).ok());
    EXPECT_EQ(type, 8);
    for (const char* bad : {"9", "-1", "x", "", "1.5"}) {
        const CError e = parseFilterType(CFilterGenSetup::kRBJ, bad, &type);
        ASSERT_TRUE(e) << bad;
        EXPECT_EQ(e.message().utf8(), std::string("Invalid filter type '") + bad + "' specified.");
    }
    EXPECT_TRUE(parseFilterType(CFilterGenSetup::kLPHP1, "2", &type));

    std::vector<double> adjust;
    ASSERT_TRUE(parseAdjustList(" 0.5, 2 ,3", &adjust).ok());
    EXPECT_EQ(adjust, (std::vector<double>{0.5, 2.0, 3.0}));
    EXPECT_TRUE(parseAdjustList("1,,2", &adjust));
    EXPECT_TRUE(parseAdjustList("1,", &adjust));
}

TEST(FilterDesign, SerialItemsRaiseThenScaleTheirParameters) {
    CFilterSerialItem item{{}, {0.5, 2.0}};
    EXPECT_EQ(adjustFilterParams(item, {100.0, 3.0, 4.0}), (CFilterParams{50.0, 6.0, 4.0}));  // missing: 1.0
    item.hasAdjustPow = true;
    item.adjustPow = 2.0;
    EXPECT_EQ(adjustFilterParams(item, {100.0, 3.0, 4.0}), (CFilterParams{5000.0, 18.0, 16.0}));
}

// "-12 steep" is the cookbook high-pass itself; "-24 steep" the fourth-order
// Butterworth pair, whose analogue corner gains equal their Qs.
TEST(DCFilters, SteepDesignsAreTheCookbookHighPasses) {
    const CFilterSectionList two = dcDesign(2);
    const CFilterSection ref = designRBJ(kRBJHighPass, true, {10.0, 1.0, 0.7071}, kRate);
    ASSERT_EQ(two.size(), 1u);
    EXPECT_EQ(two[0].a1, ref.a1);
    EXPECT_EQ(two[0].a2, ref.a2);
    EXPECT_EQ(two[0].b0, ref.b0);
    const CFilterSectionList six = dcDesign(6);
    ASSERT_EQ(six.size(), 2u);
    for (size_t i = 0; i < 2; ++i) {
        const double q = 0.7071 * (i == 0 ? 0.7636826 : 1.8526375);
        EXPECT_EQ(six[i].a1, designRBJ(kRBJHighPass, true, {10.0, 1.0, q}, kRate).a1);
        EXPECT_NEAR(cascadeMagnitude({&six[i], 1}, 10.0, kRate), q, 1e-4);
    }
}

// Every design: −3 dB at the cut-off (the frequency multipliers move each
// alignment's corner there), the slope of its order, overshoot of at most a
// few hundredths of a decibel and none for the soft (Bessel) ones.
TEST(DCFilters, ResponsesMatchTheirAlignment) {
    for (int index = 0; index < 11; ++index) {
        const dc_filters::Design& d = dc_filters::kDesigns[index];
        SCOPED_TRACE(d.name);
        for (double freq : {10.0, 40.0}) {
            const CFilterSectionList s = dcDesign(index, freq);
            ASSERT_EQ(s.size(), size_t((d.order + 1) / 2));
            EXPECT_TRUE(sectionsStable(s));
            double lo = freq / 10, hi = freq * 10;
            for (int i = 0; i < 60; ++i) (magnitudeDb(s, std::sqrt(lo * hi)) < -3.0 ? lo : hi) = std::sqrt(lo * hi);
            EXPECT_NEAR(lo / freq, 1.0, 0.01);
            EXPECT_NEAR(magnitudeDb(s, freq / 50) - magnitudeDb(s, freq / 100), 6.02 * d.order, 0.05);
            double peak = -1e9;
            for (double f = freq; f < 20000.0; f *= 1.02) peak = std::max(peak, magnitudeDb(s, f));
            EXPECT_LT(peak, d.butterworth ? 0.03 : 1e-6);
        }
    }
    EXPECT_TRUE(dcDesign(11).empty());
}

// At 48 kHz the pair reproduces the published reference coefficients of the
// loudness K-weighting; its shape holds at other rates.
TEST(KWeighting, MatchesTheReferenceFilterAndShape) {
    const auto k = designKWeighting(48000.0);
    EXPECT_NEAR(k[0].b0, 1.53512485958697, 1e-4);
    EXPECT_NEAR(k[0].b1, -2.69169618940638, 1e-3);
    EXPECT_NEAR(k[0].b2, 1.19839281085285, 1e-3);
    EXPECT_NEAR(k[0].a1, -1.69065929318241, 1e-4);
    EXPECT_NEAR(k[0].a2, 0.73248077421585, 1e-4);
    EXPECT_NEAR(k[1].a1, -1.99004745483398, 1e-8);
    EXPECT_NEAR(k[1].a2, 0.99007225036621, 1e-8);
    EXPECT_EQ(k[1].b1, -2.0 * k[1].b0);
    EXPECT_EQ(k[1].b2, k[1].b0);
    for (double rate : {44100.0, 48000.0, 96000.0, 192000.0}) {
        const auto s = designKWeighting(rate);
        EXPECT_TRUE(sectionsStable(s));
        EXPECT_NEAR(magnitudeDb(s, 1000.0, rate), 0.0, 0.8) << rate;
        EXPECT_NEAR(magnitudeDb(s, 10000.0, rate), 4.0, 0.1) << rate;
        EXPECT_LT(magnitudeDb(s, 10.0, rate), -20.0) << rate;
    }
}
