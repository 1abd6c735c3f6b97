// The IIR filter module in a graph with the product's DC-filter array:
// the designs it runs, and parameter changes with and without smoothing.

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <string>
#include <vector>

#include "Audio/Processes/Filters/ModFilterIIR.h"
#include "Tests/Audio/Filters/DCFilterTable.h"
#include "Tests/Audio/Filters/FilterTestSupport.h"
#include "Tests/Support/AllocationCounter.h"

namespace {

class FilterIIRModule : public testing::Test {
protected:
    void SetUp() override { filtertest::startApp(); }
    void TearDown() override {
        graph.root.reset();
        defs.reset();
        filtertest::stopApp();
    }
    CError build(const std::string& attrs, const char* genArray = "shared::audio.fltarray.dcfilters") {
        graph.root.reset();
        defs = std::make_unique<CObject>();
        const std::string xml =
            std::string("<audio:process-def name='modMain'>"
                        "<audio:param name='dcfilter-type' converter='shared::audio.paramcvt.real' min-values='0'"
                        " max-values='10' def-values='5'/>"
                        "<audio:param name='dcfilter-freq' converter='shared::audio.paramcvt.real' min-values='1'"
                        " max-values='100' def-values='10'/>"
                        "<audio:modFilterIIR name='modDCFilter' gen-array='") +
            genArray + "' " + attrs +
            "/><audio:param-remap orig='modDCFilter.index' new='dcfilter-type'/>"
            "<audio:param-remap orig='modDCFilter.freq' new='dcfilter-freq'/></audio:process-def>";
        KEL_TRY(filtertest::loadXml(defs.get(), xml));
        KEL_TRY(graph.build(*defs->findChild("modMain"), 2, 48000));
        module = dynamic_cast<CModFilterIIRModule*>(graph.process->findProcess("modDCFilter"));
        return {};
    }
    // A DC offset under a 50 Hz tone, in blocks of 480; changes at blocks 20 and 21.
    std::vector<double> runWithChanges(double type1, double freq1, double type2, double freq2, size_t* allocations) {
        std::vector<double> x(48000), y;
        for (size_t i = 0; i < x.size(); ++i) x[i] = 0.5 + 0.1 * std::sin(2 * std::numbers::pi * 50 * double(i) / 48000);
        const double* in[2];
        *allocations = 0;
        for (size_t pos = 0, block = 0; pos < x.size(); pos += 480, ++block) {
            if (block == 20) {
                graph.set("plugin.modMain.dcfilter-type", type1);
                graph.set("plugin.modMain.dcfilter-freq", freq1);
            }
            if (block == 21) {
                graph.set("plugin.modMain.dcfilter-type", type2);
                graph.set("plugin.modMain.dcfilter-freq", freq2);
            }
            in[0] = in[1] = x.data() + pos;
            alloc_counter::Scope scope;
            graph.step(in, 2, 480);
            *allocations += scope.allocations();
            const double* o = graph.process->outputChannel(0, 1);
            y.insert(y.end(), o, o + 480);
        }
        return y;
    }
    std::unique_ptr<CObject> defs;
    filtertest::Graph graph;
    CModFilterIIRModule* module = nullptr;
};

}  // namespace

TEST_F(FilterIIRModule, RunsTheSelectedDesign) {
    ASSERT_TRUE(build("").ok());
    // The default design ("-24 soft" at 10 Hz) runs exactly as the table form.
    CModFilterIIR ref;
    const auto table = dc_filters::array();
    ASSERT_TRUE(ref.setGenArray(table).ok());
    ref.prepare(48000, 480);
    ref.setParams({5, 10.0, 1.0, 0.7071});
    std::vector<double> x(4800);
    for (size_t i = 0; i < x.size(); ++i) x[i] = 0.3 + std::sin(0.01 * double(i));
    std::vector<double> expected(x.size());
    ref.process(x.data(), expected.data(), int(x.size()));
    const auto y = graph.runSignal({x, x}, 480);
    EXPECT_EQ(y[0], expected);
    EXPECT_EQ(y[1], expected);
    EXPECT_EQ(module->processor(0)->sections().size(), 2u);
    EXPECT_EQ(module->latency(), 0.0);

    EXPECT_EQ(build("", "shared::audio.fltarray.none").message().utf8(),
              "The 'gen-array' 'shared::audio.fltarray.none' not found.");
}

TEST_F(FilterIIRModule, SmoothUpdatesCrossFadeWithoutAllocating) {
    // From one section (first order) to three, then a second change within
    // the fade: unsmoothed, the new states start from zero under the DC offset.
    size_t allocations = 0;
    ASSERT_TRUE(build("").ok());
    const auto abrupt = runWithChanges(0, 10, 10, 20, &allocations);
    EXPECT_GT(filtertest::maxStep(abrupt), 0.2);

    ASSERT_TRUE(build("is-smooth-update='true' xfade-length='0.015'").ok());
    const auto smooth = runWithChanges(0, 10, 10, 20, &allocations);
    EXPECT_EQ(allocations, 0u);
    // Faded in, the new filter's answer to the offset is a swell over 15 ms,
    // not the step of half the scale.
    EXPECT_LT(filtertest::maxStep(smooth), 0.01);
    // The change made during the fade arrived after it.
    const auto& sections = module->processor(0)->sections();
    ASSERT_EQ(sections.size(), 3u);
    EXPECT_DOUBLE_EQ(sections[0].a1, designRBJ(kRBJHighPass, true, {20.0, 1.0, 0.7071 * 0.7353981}, 48000).a1);
    EXPECT_FALSE(module->processor(0)->changing());
}
