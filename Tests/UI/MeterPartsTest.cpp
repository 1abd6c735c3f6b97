// Meter parts without an audio side: reading visualization blocks (bad
// blocks refused, nothing changed), channel combinations, the range object
// and the meter's own failures, peak hold and exported texts.
#include <gtest/gtest.h>

#include <cmath>

#include "Core/MemoryWriter.h"
#include "Tests/UI/UiTestSupport.h"
#include "UI/Meters/LevelMeter.h"
#include "UI/Controls/MinMax.h"
#include "UI/Meters/VizExchange.h"
#include "UI/Meters/VizFrames.h"

namespace {

// A meter block as the audio side writes it: fields "level" and "peak", one
// lane of group 0 with one frame of the given channel values (pairs).
std::vector<uint8_t> meterBlock(const std::vector<double>& values, bool info = true, uint32_t kind = 1,
                                uint32_t version = 1, uint32_t lanes = 1) {
    CMemoryWriter w;
    (void)w.writeU32(kind), (void)w.writeU32(version), (void)w.writeU32(info ? 1 : 0);
    if (info) {
        (void)w.writeString("src"), (void)w.writeU32(kind), (void)w.writeF64(30.0), (void)w.writeU32(1);
        (void)w.writeU32(0);
        (void)w.writeU32(2), (void)w.writeString("level"), (void)w.writeString("peak");
    }
    (void)w.writeU32(lanes);
    for (uint32_t l = 0; l < lanes; ++l) {
        (void)w.writeU32(l), (void)w.writeU32(1), (void)w.writeU64(7);
        (void)w.writeU32(uint32_t(values.size() / 2));
        for (double v : values) (void)w.writeF64(v);
    }
    return w.take();
}

TEST(VizFrames, BlocksAreReadAndBadOnesChangeNothing) {
    CVizFrames f;
    ASSERT_FALSE(f.parse(meterBlock({0.5, 0.7, 0.1, 0.2})));
    ASSERT_TRUE(f.hasInfo());
    const CVizFrames::Lane* lane = f.lane(0);
    ASSERT_NE(lane, nullptr);
    EXPECT_EQ(lane->newest, 7u);
    EXPECT_EQ(f.channelValue(*lane, 1, f.channelField("peak")), 0.2);
    EXPECT_TRUE(std::isnan(f.channelValue(*lane, 2, 0))) << "no third channel";
    EXPECT_TRUE(std::isnan(f.channelValue(*lane, 0, f.channelField("rms")))) << "no such field";
    // Without the information block the known fields are used.
    ASSERT_FALSE(f.parse(meterBlock({0.25, 0.3}, false)));
    EXPECT_EQ(f.channelValue(*f.lane(0), 0, 0), 0.25);

    std::vector<uint8_t> truncated = meterBlock({0.9, 0.9});
    truncated.resize(truncated.size() - 3);
    std::vector<uint8_t> trailing = meterBlock({0.9, 0.9});
    trailing.push_back(0);
    std::vector<uint8_t> hugeChannels = meterBlock({0.9, 0.9});
    hugeChannels[hugeChannels.size() - 20] = 0xFF;  // the channel count's low byte: 255 channels
    const struct {
        const char* what;
        std::vector<uint8_t> block;
    } bad[] = {
        {"truncated", truncated},
        {"trailing bytes", trailing},
        {"unknown kind", meterBlock({0.9, 0.9}, true, 9)},
        {"unknown version", meterBlock({0.9, 0.9}, true, 1, 2)},
        {"too many lanes", meterBlock({}, true, 1, 1, 65)},
        {"too many channels", hugeChannels},
        {"empty", {}},
    };
    for (const auto& b : bad) {
        EXPECT_TRUE(f.parse(b.block)) << b.what;
        EXPECT_EQ(f.channelValue(*f.lane(0), 0, 0), 0.25) << b.what << ": the old values stay";
    }
    CVizFrames fresh;
    EXPECT_TRUE(fresh.parse(meterBlock({0.1, 0.1}, false))) << "no information known yet";
}

TEST(MeterCombine, ModesCombineAmplitudes) {
    const double v[] = {0.5, 0.25, NAN, 0.0};
    struct Case {
        const char* name;
        double want;
    };
    for (const Case& c : {Case{"sum", std::sqrt(0.25 + 0.0625)}, Case{"max", 0.5}, Case{"min", 0.0},
                          Case{"avg", 0.75 / 3}, Case{"rms", std::sqrt((0.25 + 0.0625) / 3)}}) {
        EXPECT_NEAR(kelMeterCombine([&] { EMeterCombo m{}; EXPECT_TRUE(kelParseMeterCombo(c.name, &m)); return m; }(),
                                    v, 4),
                    c.want, 1e-15)
            << c.name;
    }
    EMeterCombo m{};
    EXPECT_FALSE(kelParseMeterCombo("median", &m));
    EXPECT_EQ(kelMeterCombine(EMeterCombo::Max, v, 0), 0.0);
    EXPECT_EQ(kelMeterDb(0.0), -HUGE_VAL);
    EXPECT_NEAR(kelMeterDb(0.1), -20.0, 1e-12);
}

using UiMeterParts = UiFixture;

const char* const kClient = "<audio:interface-client name=\"client\"/>"
                            "<ui:viz-exchange name=\"exchange\" interface-client=\"client\" fps=\"0\"/>"
                            "<ui:min-max name=\"range\" min=\"-60\" max=\"0\"/>";

std::string meter(const std::string& attrs, const std::string& listener = "<ui:level-meter-listener viz-name=\"a\" exchange=\"exchange\"/>") {
    return "<ui:level-meter name=\"m\" width=\"20\" height=\"100\" min-max=\"range\" " + attrs + ">" + listener +
           "</ui:level-meter>";
}

TEST_F(UiMeterParts, MeterFailuresNameTheirCause) {
    struct Case {
        std::string views, message;
    };
    const Case cases[] = {
        {meter("combo-mode=\"median\""), "Invalid combo mode."},
        {meter("combo-mode-peak=\"loud\""), "Invalid peak combo mode."},
        {meter("", ""), "At least one listener object is required."},
        {meter("lamp-size=\"0\""), "Invalid lamp height."},
        {meter("", "<ui:level-meter-listener exchange=\"exchange\"/>"), "Visual object name is not defined."},
    };
    for (const Case& c : cases) {
        const CError e = load(c.views, 1.0, "", 200, 100, kClient);
        ASSERT_TRUE(e) << c.message;
        EXPECT_NE(e.text().find(c.message), std::string::npos) << e.text();
    }
}

TEST_F(UiMeterParts, RangeNotifiesOnlyRealChangesAndMapsValues) {
    ASSERT_FALSE(load(meter(""), 1.0, "", 200, 100, kClient));
    auto* r = dynamic_cast<CMinMax*>(shot->root()->findObject("range"));
    ASSERT_NE(r, nullptr);
    ASSERT_FALSE(r->setAttr("max", "0.0"));
    ASSERT_FALSE(r->setAttr("max", "1e-17"));  // within the double epsilon
    EXPECT_EQ(r->updates(), 0u);
    ASSERT_FALSE(r->setAttr("max", "6"));
    EXPECT_EQ(r->updates(), 1u);
    EXPECT_TRUE(r->setAttr("min", "abc")) << "a bad value is refused";
    EXPECT_DOUBLE_EQ(r->min(), -60.0);
    EXPECT_DOUBLE_EQ(r->position(-27.0), 0.5);
    EXPECT_DOUBLE_EQ(r->position(-100.0), 0.0);
    EXPECT_DOUBLE_EQ(r->position(40.0), 1.0);
    EXPECT_DOUBLE_EQ(r->position(-HUGE_VAL), 0.0);
    ASSERT_FALSE(r->setAttr("scale-power", "2"));
    EXPECT_DOUBLE_EQ(r->position(-60.0 + 66.0 / 4), 0.5) << "a quarter of the range at the middle";
    EXPECT_NEAR(r->valueAt(r->position(-12.0)), -12.0, 1e-9);
}

TEST_F(UiMeterParts, PeakMarkHoldsThenFallsAndTextsFollowTheValues) {
    ASSERT_FALSE(load(meter("peak-hold-time=\"1\" peak-release=\"10\" out-format=\"%.2f\""), 1.0, "", 200, 100, kClient));
    auto* m = dynamic_cast<CLevelMeter*>(view("m"));
    auto* l = dynamic_cast<CLevelMeterListener*>(m->listeners().front());
    auto feed = [&](double level, double peak, double t) {
        ASSERT_FALSE(l->frames().parse(meterBlock({level, peak, level, peak})));
        m->update(t);
    };
    feed(0.1, 0.5, 0.0);
    const double top = kelMeterDb(0.5);
    EXPECT_NEAR(m->bars()[0].heldDb, top, 1e-12);
    feed(0.1, 0.1, 0.9);
    EXPECT_NEAR(m->bars()[0].heldDb, top, 1e-12) << "held for a second";
    feed(0.1, 0.1, 1.5);
    EXPECT_NEAR(m->bars()[0].heldDb, top - 6.0, 1e-9) << "then 10 dB per second";
    feed(0.1, 0.1, 10.0);
    EXPECT_NEAR(m->bars()[0].heldDb, -20.0, 1e-9) << "down to the peak, not below";
    EXPECT_EQ(m->attr("sum-value").utf8(), "-16.99");  // two channels of -20 dB, power sum
    EXPECT_EQ(m->attr("sum-peak").utf8(), "-20.00");
    feed(0.0, 0.0, 11.0);
    EXPECT_EQ(m->attr("sum-value").utf8(), "-inf");
    EXPECT_FALSE(m->hasAttr("clip-count")) << "the source counts no clippings";
}

}  // namespace
