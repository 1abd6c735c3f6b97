// Filter generators as definition objects: the DC-filter designs through the
// object tree, serial adjustments, arrays, the FIR generators, and the
// definition errors.

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "Audio/Filters/AudioFilterGen.h"
#include "Audio/Filters/AudioFilterGenFIR.h"
#include "Audio/Filters/FIRDesign.h"
#include "Core/Application.h"
#include "FilterTestSupport.h"
#include "Tests/Audio/Filters/DCFilterTable.h"

namespace {

class FilterGen : public testing::Test {
protected:
    void SetUp() override {
        filtertest::startApp();
        root = std::make_unique<CObject>();
    }
    void TearDown() override {
        root.reset();
        filtertest::stopApp();
    }
    template <class T>
    static const T* shared(const char* path) {
        return dynamic_cast<const T*>(CApplication::sharedObject()->findObject(path));
    }
    // Generates from a generator with (freq, gain, bw) at rate.
    static CAudioFilterList run(const CAudioFilterGen& gen, double freq, double gain, double bw, double rate,
                                double index = 0) {
        CAudioFilterList list;
        list.reserve(gen.maxSections(), 0, 0);
        CAudioFilterParamList p;
        p.set("freq", freq);
        p.set("gain", gain);
        p.set("bw", bw);
        p.set("index", index);
        gen.generate(list, rate, p);
        return list;
    }
    std::unique_ptr<CObject> root;
};

void expectSame(const CFilterSection& a, const CFilterSection& b, const std::string& what) {
    EXPECT_DOUBLE_EQ(a.b0, b.b0) << what;
    EXPECT_DOUBLE_EQ(a.b1, b.b1) << what;
    EXPECT_DOUBLE_EQ(a.b2, b.b2) << what;
    EXPECT_DOUBLE_EQ(a.a1, b.a1) << what;
    EXPECT_DOUBLE_EQ(a.a2, b.a2) << what;
    EXPECT_EQ(a.order, b.order) << what;
}

}  // namespace

TEST_F(FilterGen, DCFilterDesignsThroughTheObjectTree) {
    const auto* array = shared<CAudioFilterGenArray>("shared::audio.fltarray.dcfilters");
    ASSERT_NE(array, nullptr);
    EXPECT_EQ(array->itemCount(), 11u);
    EXPECT_EQ(array->maxSections(), 3u);

    // Every design equals the table form of the same definitions.
    const auto table = dc_filters::array();
    for (int index = 0; index < 11; ++index)
        for (double rate : {44100.0, 192000.0}) {
            const CAudioFilterList list = run(*array, 17.0, 1.0, 0.7071, rate, index);
            CFilterSectionList expected;
            generateSerial(table[size_t(index)].items, {17.0, 1.0, 0.7071}, rate, expected);
            ASSERT_EQ(list.sections().size(), expected.size()) << index;
            for (size_t k = 0; k < expected.size(); ++k)
                expectSame(list.sections()[k], expected[k], "design " + std::to_string(index));
            EXPECT_EQ(list.latency(), 0);
            EXPECT_EQ(list.kernelCount(), 0u);
        }

    // "-12 steep": one cookbook high-pass at 10 Hz with Q 0.7071.
    CAudioFilterList two = run(*array->item(2), 10.0, 1.0, 0.7071, 48000.0);
    ASSERT_EQ(two.sections().size(), 1u);
    expectSame(two.sections()[0], designRBJ(kRBJHighPass, true, {10.0, 1.0, 0.7071}, 48000.0), "type 2");
    EXPECT_NEAR(cascadeMagnitude(two.sections(), 10.0, 48000.0), 0.7071, 1e-4);

    // "-24 steep": the fourth-order Butterworth pair.
    CAudioFilterList six = run(*array->item(6), 10.0, 1.0, 0.7071, 48000.0);
    ASSERT_EQ(six.sections().size(), 2u);
    expectSame(six.sections()[0], designRBJ(kRBJHighPass, true, {10.0, 1.0, 0.7071 * 0.7636826}, 48000.0), "6a");
    expectSame(six.sections()[1], designRBJ(kRBJHighPass, true, {10.0, 1.0, 0.7071 * 1.8526375}, 48000.0), "6b");
    // Butterworth: -3 dB at the corner and 24 dB per octave below it.
    EXPECT_NEAR(20 * std::log10(cascadeMagnitude(six.sections(), 10.0, 48000.0)), -3.0, 0.05);
    EXPECT_NEAR(20 * std::log10(cascadeMagnitude(six.sections(), 2.5, 48000.0)), -48.2, 0.3);

    // An index without an item generates nothing.
    EXPECT_EQ(array->item(11), nullptr);
    EXPECT_TRUE(run(*array, 10.0, 1.0, 0.7071, 48000.0, 11).sections().empty());
}

TEST_F(FilterGen, SerialItemsAdjustTheirParameters) {
    ASSERT_TRUE(filtertest::loadXml(root.get(), R"(
        <audio:fltgen-rbj name="peak" type="6"/>
        <audio:fltgen-lphp1 name="lp1" type="0"/>
        <audio:fltgen-serial name="pow">
            <audio:fltgen-serial-item fltgen="^^peak" adjust="0.5,1,3" adjust-pow="2"/>
            <audio:fltgen-serial-item fltgen="^^lp1"/>
        </audio:fltgen-serial>
        <audio:fltgen-serial name="nested">
            <audio:fltgen-serial-item fltgen="^^pow" adjust="2,0.25"/>
        </audio:fltgen-serial>
        <audio:fltgen-serial name="loop">
            <audio:fltgen-serial-item fltgen="^^loop"/>
        </audio:fltgen-serial>)").ok());
    const auto* pow = dynamic_cast<const CAudioFilterGen*>(root->findChild("pow"));
    const auto* nested = dynamic_cast<const CAudioFilterGen*>(root->findChild("nested"));
    ASSERT_TRUE(pow && nested);
    EXPECT_EQ(pow->maxSections(), 2u);
    EXPECT_EQ(nested->maxSections(), 2u);

    // Raised to the power first, then multiplied: freq 100 -> 5000, gain 2 ->
    // 4, bw 0.5 -> 0.75; the plain item receives the values unchanged.
    CAudioFilterList a = run(*pow, 100.0, 2.0, 0.5, 44100.0);
    ASSERT_EQ(a.sections().size(), 2u);
    expectSame(a.sections()[0], designRBJ(kRBJPeaking, false, {5000.0, 4.0, 0.75}, 44100.0), "pow");
    expectSame(a.sections()[1], designLPHP1(0, 100.0, 44100.0), "plain");

    // Nested: the outer adjustment applies before the inner one.
    CAudioFilterList b = run(*nested, 50.0, 8.0, 0.5, 44100.0);
    ASSERT_EQ(b.sections().size(), 2u);
    expectSame(b.sections()[0], designRBJ(kRBJPeaking, false, {5000.0, 4.0, 0.75}, 44100.0), "outer, inner");
    expectSame(b.sections()[1], designLPHP1(0, 100.0, 44100.0), "outer only");

    // A reference cycle ends instead of recursing forever.
    const auto* loop = dynamic_cast<const CAudioFilterGen*>(root->findChild("loop"));
    EXPECT_TRUE(run(*loop, 100.0, 1.0, 1.0, 44100.0).sections().empty());

    // A list whose reserve is too small reports it instead of growing.
    CAudioFilterList small;
    small.reserve(1, 0, 0);
    CAudioFilterParamList p;
    p.set("freq", 100.0);
    pow->generate(small, 44100.0, p);
    EXPECT_EQ(small.sections().size(), 1u);
    EXPECT_TRUE(small.overflowed());
}

TEST_F(FilterGen, FIRGeneratorsAppendKernelAndLatency) {
    const auto* firlp = shared<CAudioFilterGenArray>("shared::audio.fltarray.firlp");
    const auto* firlim = shared<CAudioFilterGenArray>("shared::audio.fltarray.firlim");
    ASSERT_TRUE(firlp && firlim);
    std::vector<std::string_view> names;
    firlp->collectParamNames(names);
    firlim->collectParamNames(names);
    EXPECT_EQ(names, (std::vector<std::string_view>{"length", "freq", "beta", "power"}));

    // The kernels of the design functions; the latency adds to what earlier
    // generators left in the list.
    CAudioFilterParamList p;
    p.set("length", 0.023);
    p.set("freq", 11000);
    p.set("beta", 16);
    CAudioFilterList list;
    list.reserve(0, 1100, 1);
    list.addLatency(5);
    firlp->generate(list, 44100.0, p);
    ASSERT_EQ(list.kernelCount(), 1u);
    EXPECT_EQ(std::vector<double>(list.kernel(0).begin(), list.kernel(0).end()),
              designFIRLowPass(44100.0, 0.023, 11000, 16).taps);
    EXPECT_EQ(list.latency(), 5 + 508);

    p.set("length", 0.0015, 0.0001, 0.010);
    p.set("power", 0.3);
    p.set("index", 2);
    list.clear();
    firlim->generate(list, 96000.0, p);
    ASSERT_EQ(list.kernelCount(), 1u);
    EXPECT_EQ(std::vector<double>(list.kernel(0).begin(), list.kernel(0).end()),
              designFIRTransient(96000.0, 0.0015, 0.3, 2).taps);
    EXPECT_EQ(list.latency(), 143);
    // The range bounds the storage: the longest length (and lowest cut-off).
    EXPECT_EQ(firlim->maxTaps(352800.0, p), 3528u);
    p.set("freq", 11000, 5500, 11000);
    EXPECT_EQ(firlp->maxTaps(44100.0, p), designFIRLowPass(44100.0, 0.010, 5500, 16).taps.size());

    // A missing parameter, or too little room, ends without a kernel.
    CAudioFilterParamList noBeta;
    noBeta.set("length", 0.008);
    noBeta.set("freq", 10650);
    list.clear();
    firlp->generate(list, 44100.0, noBeta);
    EXPECT_EQ(list.kernelCount(), 0u);
    EXPECT_FALSE(list.overflowed());
    p.set("length", 0.020);
    firlim->generate(list, 96000.0, p);  // 1920 taps into 1100
    EXPECT_EQ(list.kernelCount(), 0u);
    EXPECT_TRUE(list.overflowed());
}

TEST_F(FilterGen, DefinitionErrors) {
    struct Case {
        const char* xml;
        const char* message;
    } cases[] = {
        {R"(<audio:fltgen-rbj name="g" type="9"/>)", "Invalid filter type '9' specified."},
        {R"(<audio:fltgen-lphp1 name="g" type="2"/>)", "Invalid filter type '2' specified."},
        {R"(<audio:fltgen-firlim name="g" type="3"/>)", "Invalid filter type '3' specified."},
        {R"(<audio:fltgen-firlim name="g" type="x"/>)", "Invalid filter type 'x' specified."},
        {R"(<core:object name="g"><audio:fltgen-array-item index="0" fltgen="shared::audio.flt.hp1"/></core:object>)",
         "CAudioFilterGenArray class parent expected."},
        {R"(<audio:fltgen-array name="g"><audio:fltgen-array-item index="0" fltgen="shared::audio.flt.none"/></audio:fltgen-array>)",
         "Filter generator 'shared::audio.flt.none' not found."},
        {R"(<audio:fltgen-serial name="g"><audio:fltgen-serial-item fltgen="shared::audio.flt.hp1" adjust="1,,2"/></audio:fltgen-serial>)",
         "Invalid 'adjust' attribute value '1,,2' specified."},
    };
    for (const Case& c : cases) {
        auto holder = std::make_unique<CObject>();
        const CError err = filtertest::loadXml(holder.get(), c.xml);
        EXPECT_EQ(err.message().utf8(), c.message) << c.xml;
    }
    // Absent types mean 0; valid ones are kept.
    ASSERT_TRUE(filtertest::loadXml(root.get(), R"(<audio:fltgen-rbj name="a"/><audio:fltgen-rbj name="b" type="8"/>)").ok());
    EXPECT_EQ(dynamic_cast<CAudioFilterRBJGen*>(root->findChild("a"))->setup().type, 0);
    EXPECT_EQ(dynamic_cast<CAudioFilterRBJGen*>(root->findChild("b"))->setup().type, 8);
}
