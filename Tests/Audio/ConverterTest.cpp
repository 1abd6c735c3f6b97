#include <cmath>

#include "Audio/Converters/AudioParamConverterEnum.h"
#include "Audio/Converters/AudioParamConverterLog.h"
#include "Tests/Audio/ParamFixture.h"

namespace {
using Cvt = CAudioParamConverter;

double parse(const Cvt* c, const char* text) {
    double v = std::nan("");
    EXPECT_TRUE(c->textToValue(text, &v)) << text;
    return v;
}
}  // namespace

// Every converter: position -> value -> position, and value -> position ->
// value, over the whole range as the product's parameters declare it.
TEST_F(ParamTest, ConvertersRoundTripOverTheWholeRange) {
    struct Case {
        const char* path;
        const char* min;
        const char* max;
    } cases[] = {
        {"audio.paramcvt.gain", "-48", "48"},    {"audio.cvt-gain-in", "-3", "24"},
        {"audio.cvt-gain-out", "-24", "3"},      {"audio.paramcvt.freq", "1", "100"},
        {"audio.paramcvt.bw", "0.01", "7.0"},    {"audio.paramcvt.ratio", "1:1", "5:1"},
        {"audio.paramcvt.real", "-1", "2"},      {"audio.paramcvt.percent", "40.0", "500.0"},
        {"audio.paramcvt.time", "0", "5000"},    {"audio.paramcvt.time-log", "1", "300"},
        {"audio.paramcvt.time-sec", "0.1", "10"}, {"audio.paramcvt.text", "0", "1"},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.path);
        const Cvt* c = shared<Cvt>(k.path);
        ASSERT_NE(c, nullptr);
        const double lo = parse(c, k.min), hi = parse(c, k.max);
        EXPECT_NEAR(c->denormalize(0.0, lo, hi), lo, 1e-12 * std::fabs(lo) + 1e-15);
        EXPECT_NEAR(c->denormalize(1.0, lo, hi), hi, 1e-12 * std::fabs(hi));
        for (int i = 0; i <= 64; ++i) {
            const double x = i / 64.0;
            const double v = c->denormalize(x, lo, hi);
            EXPECT_NEAR(c->normalize(v, lo, hi), x, 1e-9) << "x=" << x;
            EXPECT_NEAR(c->denormalize(c->normalize(v, lo, hi), lo, hi), v, 1e-9 * std::fabs(v) + 1e-12);
        }
        // Positions and values outside the range are clamped.
        EXPECT_EQ(c->normalize(c->denormalize(1.5, lo, hi), lo, hi), 1.0);
        EXPECT_DOUBLE_EQ(c->denormalize(-0.5, lo, hi), c->denormalize(0.0, lo, hi));
    }
    // Enumerations round trip on their indices.
    const Cvt* e = shared<Cvt>("audio.paramcvt.enum");
    for (int i = 0; i <= 11; ++i) EXPECT_EQ(e->denormalize(e->normalize(i, 0, 11), 0, 11), i);
    EXPECT_EQ(e->denormalize(0.5 / 11, 0, 11), 1.0);  // halves away from zero
}

TEST_F(ParamTest, GainOutputScaleKeepsUnityAtItsThreshold) {
    const Cvt* c = shared<Cvt>("audio.cvt-gain-out");
    const double lo = parse(c, "-24"), hi = parse(c, "3");
    EXPECT_EQ(c->denormalize(0.8333333, lo, hi), 1.0);  // exactly 0 dB
    EXPECT_EQ(c->valueToText(c->denormalize(0.8333333, lo, hi), Cvt::kFormatPrecise, lo, hi).utf8(), "0.00");
    EXPECT_NEAR(c->positionToDisplay(1.0, lo, hi), 3.0, 1e-12);
    EXPECT_NEAR(c->positionToDisplay(0.0, lo, hi), -24.0, 1e-12);
    EXPECT_NEAR(c->normalize(1.0, lo, hi), 0.8333333, 1e-15);
    // Below the threshold the power shapes the position: halfway to it the
    // dB value has covered 0.5^(1/3.8) of the way up from -24 dB.
    EXPECT_NEAR(c->positionToDisplay(0.8333333 / 2, lo, hi), -24.0 * (1.0 - std::pow(0.5, 1 / 3.8)), 1e-9);
    EXPECT_NEAR(c->normalize(CAudioParamConverterGain::dbToGain(-4.0), lo, hi),
                0.8333333 * std::pow(1.0 - 4.0 / 24.0, 3.8), 1e-12);
}

TEST_F(ParamTest, GainTextInDecibels) {
    const auto* c = shared<CAudioParamConverterGain>("audio.paramcvt.gain");
    EXPECT_NEAR(parse(c, "-48"), 0.003981071705534973, 1e-15);
    EXPECT_NEAR(parse(c, "48 dB"), 251.18864315095798, 1e-9);
    EXPECT_EQ(parse(c, "0"), 1.0);
    EXPECT_EQ(parse(c, "-inf"), 0.0);
    double v;
    EXPECT_FALSE(c->textToValue("loud", &v));
    struct Case {
        double db;
        int kind;
        const char* text;
    } cases[] = {
        {-9.9, Cvt::kFormatShort, "-9.9"},  {-10.0, Cvt::kFormatShort, "-10"}, {-9.96, Cvt::kFormatShort, "-10"},
        {12.34, Cvt::kFormatNormal, "12.3"}, {12.34, Cvt::kFormatPrecise, "12.34"},
        {-0.04, Cvt::kFormatNormal, "0.0"},  // no negative zero
    };
    for (const Case& k : cases)
        EXPECT_EQ(c->valueToText(CAudioParamConverterGain::dbToGain(k.db), k.kind, 0.01, 100).utf8(), k.text) << k.db;
    EXPECT_EQ(c->valueToText(0.0, Cvt::kFormatNormal, 0.01, 100).utf8(), "-inf");
    // "cvt-gain-in" keeps two decimals in its normal form.
    EXPECT_EQ(shared<Cvt>("audio.cvt-gain-in")->valueToText(CAudioParamConverterGain::dbToGain(1.5), 0, 0.5, 20).utf8(),
              "1.50");
}

TEST_F(ParamTest, RatioTextAndPositions) {
    const Cvt* c = shared<Cvt>("audio.paramcvt.ratio");
    EXPECT_EQ(parse(c, "2:1"), 0.5);
    EXPECT_EQ(parse(c, "1:1"), 1.0);
    EXPECT_EQ(parse(c, " 1 : 2 "), 2.0);
    EXPECT_DOUBLE_EQ(parse(c, "4"), 0.25);
    double v;
    for (const char* bad : {"2:0", "a:1", "", "0", "2:1:1"}) EXPECT_FALSE(c->textToValue(bad, &v)) << bad;
    struct Case {
        double value;
        const char* text;
    } cases[] = {{0.4, "2.5:1"}, {2.0, "1:2"}, {1.0, "1:1"}, {0.5, "2:1"}, {1 / 12.345, "12.3:1"}, {3.0 / 7, "2.33:1"}};
    for (const Case& k : cases) EXPECT_EQ(c->valueToText(k.value, 0, 1.0, 0.2).utf8(), k.text) << k.value;
    // Positions are linear in the ratio read: 1:1 .. 5:1 puts 2:1 at a quarter.
    EXPECT_DOUBLE_EQ(c->normalize(0.5, 1.0, 0.2), 0.25);
    EXPECT_DOUBLE_EQ(c->denormalize(0.75, 1.0, 0.2), 0.25);
    // Continuous and monotonic across 1:1.
    EXPECT_GT(c->normalize(1.01, 0.5, 2.0), c->normalize(0.99, 0.5, 2.0));
    EXPECT_NEAR(c->normalize(1.0, 0.5, 2.0), 0.5, 1e-12);
}

TEST_F(ParamTest, PercentRealAndTimeTexts) {
    const Cvt* pc = shared<Cvt>("audio.paramcvt.percent");
    EXPECT_EQ(parse(pc, "100"), 1.0);
    EXPECT_EQ(parse(pc, "50 %"), 0.5);
    EXPECT_EQ(pc->valueToText(1.0, 0, 0, 1).utf8(), "100");
    EXPECT_EQ(pc->valueToText(0.125, 0, 0, 1).utf8(), "12.5");
    EXPECT_EQ(pc->valueToText(0.125, Cvt::kFormatShort, 0, 1).utf8(), "13");
    EXPECT_DOUBLE_EQ(pc->positionToDisplay(0.5, 0.4, 5.0), 270.0);

    const Cvt* real = shared<Cvt>("audio.paramcvt.real");
    EXPECT_EQ(real->valueToText(-0.5, 0, -1, 1).utf8(), "-0.50");
    EXPECT_EQ(real->valueToText(650, Cvt::kFormatShort, 10, 8192).utf8(), "650.0");

    const Cvt* ms = shared<Cvt>("audio.paramcvt.time");
    EXPECT_EQ(ms->label().utf8(), "ms");
    EXPECT_DOUBLE_EQ(parse(ms, "750 ms"), 0.75);
    EXPECT_EQ(ms->valueToText(0.0015, 0, 0, 1).utf8(), "1.50");
    EXPECT_EQ(ms->valueToText(0.75, 0, 0, 5).utf8(), "750");
    const Cvt* sec = shared<Cvt>("audio.paramcvt.time-sec");
    EXPECT_EQ(sec->label().utf8(), "s");
    EXPECT_EQ(parse(sec, "1.5"), 1.5);
    // Checked parsing clamps, or reports failure with the minimum.
    bool ok = false;
    EXPECT_DOUBLE_EQ(ms->textToValueChecked("9000", 0.001, 5.0, &ok), 5.0);
    EXPECT_TRUE(ok);
    EXPECT_DOUBLE_EQ(ms->textToValueChecked("soon", 0.001, 5.0, &ok), 0.001);
    EXPECT_FALSE(ok);
}

TEST_F(ParamTest, EnumerationNamesAndReserve) {
    auto* c = shared<CAudioParamConverterEnum>("audio.paramcvt.enum-enable");
    EXPECT_TRUE(c->isDiscrete());
    EXPECT_FALSE(shared<Cvt>("audio.paramcvt.gain")->isDiscrete());
    EXPECT_EQ(c->valueToText(1, 0, 0, 1).utf8(), "On");
    EXPECT_EQ(parse(c, "off"), 0.0);

    const CAudioStateNames mode = parseStateNameList("Clip;AIGC-1;AIGC-2;AIGC-3;AIGC-4;TB-1;TB UNI;TB-4;TB-C;TB INS");
    EXPECT_EQ(CAudioParamConverterEnum::indexToText(mode, 4, 0, 0, 11).utf8(), "AIGC-4");
    EXPECT_EQ(CAudioParamConverterEnum::indexToText(mode, 10, 0, 0, 11).utf8(), "Reserve");
    EXPECT_EQ(CAudioParamConverterEnum::indexToText(mode, 11.2, Cvt::kFormatShort, 0, 11).utf8(), "Rsv");
    double v = -1;
    EXPECT_TRUE(CAudioParamConverterEnum::textToIndex(mode, "tb uni", &v));
    EXPECT_EQ(v, 6.0);

    const CAudioStateNames dc = parseStateNameList("-6 dB/oct|-6;-12 soft|-12sft");
    EXPECT_EQ(CAudioParamConverterEnum::indexToText(dc, 1, Cvt::kFormatShort, 0, 13).utf8(), "-12sft");
    EXPECT_EQ(CAudioParamConverterEnum::indexToText(dc, 1, Cvt::kFormatNormal, 0, 13).utf8(), "-12 soft");
    // Names that are numbers match as names first ("10" is the third name).
    const CAudioStateNames bits = parseStateNameList("8;9;10;11");
    EXPECT_TRUE(CAudioParamConverterEnum::textToIndex(bits, "10", &v));
    EXPECT_EQ(v, 2.0);
    // Without names the index itself is shown.
    EXPECT_EQ(shared<Cvt>("audio.paramcvt.enum")->valueToText(7, 0, 0, 16).utf8(), "7");
}

TEST_F(ParamTest, ConverterAttributeErrors) {
    struct Case {
        const char* tag;
        const char* attr;
        const char* value;
        const char* message;
    } cases[] = {
        {"audio:cvt-gain", "decimals", "x", "Invalid 'decimals' attribute value x specified."},
        {"audio:cvt-gain", "scale-power", "0", "Invalid 'scale-power' attribute value 0 specified."},
        {"audio:cvt-freq", "scale-power", "-1", "Invalid 'scale-power' attribute value -1 specified."},
        {"audio:cvt-gain", "scale-threshold", "1.5", "Invalid 'scale-threshold' attribute value 1.5 specified."},
        {"audio:cvt-ratio", "decimals", "-1", "Invalid decimals -1 specified."},
        {"audio:cvt-real", "decimals", "two", "Invalid decimals two specified."},
        {"audio:cvt-time", "scale", "0", "Invalid scale 0 specified."},
    };
    for (const Case& k : cases) {
        auto o = makeNode(k.tag, "c", {{k.attr, k.value}});
        CError e = o->initTree();
        ASSERT_TRUE(e) << k.tag << " " << k.attr;
        EXPECT_EQ(e.message().utf8(), k.message);
    }
    // A threshold of exactly 1 is accepted.
    EXPECT_TRUE(makeNode("audio:cvt-gain", "c", {{"scale-threshold", "1"}})->initTree().ok());
}
