// The FIR filter module in a graph: output against the direct FIR of its
// kernel, the latency it reports, kernel changes (cross-faded, without
// allocation, within the prepared storage), and the reported problems.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <string>
#include <vector>

#include "Audio/Plugin/AudioDiagnostics.h"
#include "Audio/Filters/FIRDesign.h"
#include "Audio/Processes/Filters/ModFilterFIR.h"
#include "Core/Log.h"
#include "Tests/Audio/Filters/FilterTestSupport.h"
#include "Tests/Support/AllocationCounter.h"

namespace {

using filtertest::direct;
using filtertest::maxStep;
using filtertest::noise;
using filtertest::relError;

std::vector<double> sine(size_t n, double freq, double rate) {
    std::vector<double> x(n);
    for (size_t i = 0; i < n; ++i) x[i] = std::sin(2.0 * std::numbers::pi * freq * double(i) / rate);
    return x;
}

std::vector<std::string> g_log;

class FilterFIRModule : public testing::Test {
protected:
    void SetUp() override {
        g_log.clear();
        kelSetLogSink([](std::string_view line) { g_log.emplace_back(line); });
        filtertest::startApp();
        defs = std::make_unique<CObject>();
    }
    void TearDown() override {
        graph.root.reset();
        defs.reset();
        filtertest::stopApp();
        kelSetLogSink({});
    }
    // A container "modMain" holding one FIR module "modFIR" whose slots are
    // bound to container parameters of the same names.
    CError build(const std::string& moduleAttrs, const std::string& params, double rate, double maxRate = 0.0,
                 const std::string& extra = "") {
        graph.root.reset();
        defs = std::make_unique<CObject>();
        std::string xml = extra + "<audio:process-def name='modMain'>" + params +
                          "<audio:modFilterFIR name='modFIR' " + moduleAttrs + "/>";
        for (const char* n : {"index", "latency", "fixsr", "length", "freq", "beta", "power"})
            if (params.find(std::string("name='") + n + "'") != std::string::npos)
                xml += std::string("<audio:param-remap orig='modFIR.") + n + "' new='" + n + "'/>";
        xml += "</audio:process-def>";
        KEL_TRY(filtertest::loadXml(defs.get(), xml));
        KEL_TRY(graph.build(*defs->findChild("modMain"), 2, rate, maxRate));
        module = dynamic_cast<CModFilterFIRModule*>(graph.process->findProcess("modFIR"));
        return {};
    }
    static std::string param(const char* name, const char* lo, const char* hi, const std::string& def,
                             const char* cvt = "real") {
        return std::string("<audio:param name='") + name + "' converter='shared::audio.paramcvt." + cvt +
               "' min-values='" + lo + "' max-values='" + hi + "' def-values='" + def + "'/>";
    }
    static std::string lowPass(const std::string& lengthMs, const std::string& freq, const std::string& beta,
                               const std::string& latency, const std::string& fixsr) {
        return param("length", "0.1", "500", lengthMs, "time") + param("freq", "20", "22050", freq) +
               param("beta", "1", "100", beta) + param("latency", "0", "14", latency) + param("fixsr", "0", "1", fixsr);
    }
    static std::string transient(const std::string& lengthMs, const std::string& power, const std::string& form) {
        return param("length", "0.1", "10", lengthMs, "time") + param("power", "-1", "1", power) +
               param("index", "0", "2", form);
    }

    std::unique_ptr<CObject> defs;
    filtertest::Graph graph;
    CModFilterFIRModule* module = nullptr;
};

const char* const kLowPassAttrs = "gen-array='shared::audio.fltarray.firlp' xfade-length='0.015'";
const char* const kTransAttrs = "gen-array='shared::audio.fltarray.firlim' is-smooth-update='true' xfade-length='0.005'";

}  // namespace

TEST_F(FilterFIRModule, OutputIsTheDirectFIRDelayedByTheBlock) {
    struct Case {
        const char* name;
        std::string attrs, params;
        double rate;
        int block;     // expected block latency
        int genLatency;
        size_t taps;
    };
    const std::string lp = kLowPassAttrs;
    const std::string tr = kTransAttrs;
    const Case cases[] = {
        {"up steep at 96 kHz", lp, lowPass("8", "10650", "16", "7", "1"), 96000, 128, 183, 367},
        {"down steep, block 32", lp, lowPass("23", "11000", "16", "5", "1"), 44100, 32, 508, 1017},
        {"soft, block 1", lp, lowPass("0.81", "10200", "16.3", "0", "1"), 88200, 1, 19, 39},
        {"soft, block 16384", lp, lowPass("0.81", "10200", "16.3", "14", "1"), 44100, 16384, 19, 39},
        {"low-pass at the module rate", lp, lowPass("1", "5000", "8", "7", "0"), 48000, 128, 58, 117},
        {"zero latency", lp + " is-zero-latency='true'", lowPass("8", "10650", "16", "7", "1"), 44100, 0, 183, 367},
        {"transient Asymm x8", tr, transient("1.5", "0.3", "2"), 352800, 128, 528, 529},
        {"transient Sharp, zero latency", tr + " is-zero-latency='true'", transient("2", "-0.5", "1"), 44100, 0, 87,
         88},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(build(c.attrs, c.params, c.rate).ok());
        ASSERT_NE(module, nullptr);
        const std::vector<std::vector<double>> x = {noise(40000, 1), noise(40000, 2)};
        const auto y = graph.runSignal(x, 480);
        ASSERT_EQ(module->filterList().kernelCount(), 1u);
        const std::span<const double> h = module->filterList().kernel(0);
        EXPECT_EQ(h.size(), c.taps);
        EXPECT_EQ(module->latency(), double(c.genLatency + c.block));
        EXPECT_GE(module->maxLatencySeconds(), module->latency() / c.rate);
        for (size_t ch = 0; ch < 2; ++ch) EXPECT_LT(relError(y[ch], direct(h, x[ch], size_t(c.block))), 1e-12);
    }
    // With fixsr the taps are the 44.1 kHz design at every rate.
    EXPECT_TRUE(build(kLowPassAttrs, lowPass("8", "10650", "16", "7", "1"), 192000).ok());
    const auto ref = designFIRLowPass(44100, 0.008, 10650, 16).taps;
    const auto got = module->filterList().kernel(0);
    EXPECT_TRUE(std::equal(got.begin(), got.end(), ref.begin(), ref.end()));
}

TEST_F(FilterFIRModule, KernelChangesCrossFadeWithoutClicksOrAllocation) {
    // The transient filter: prepared for eight times 44.1 kHz, run at 44.1 kHz.
    auto runChanges = [&](const char* attrs) {
        EXPECT_TRUE(build(attrs, transient("1.5", "0", "0"), 44100, 352800).ok());
        const std::vector<double> x = sine(44100, 50.0, 44100.0);
        std::vector<double> y;
        const double* in[2] = {nullptr, nullptr};
        size_t allocations = 0;
        for (size_t pos = 0, block = 0; pos < x.size(); pos += 441, ++block) {
            if (block == 20) graph.set("plugin.modMain.length", 0.004);
            if (block == 21) graph.set("plugin.modMain.length", 0.0005);  // during the first fade
            if (block == 40) graph.set("plugin.modMain.index", 2);
            if (block == 60) graph.set("plugin.modMain.length", 0.010);
            in[0] = in[1] = x.data() + pos;
            alloc_counter::Scope scope;
            const int n = graph.step(in, 2, 441);
            allocations += scope.allocations();
            const double* out = graph.process->outputChannel(0, 0);
            y.insert(y.end(), out, out + n);
        }
        EXPECT_EQ(allocations, 0u);
        return y;
    };
    // Steady, a 50 Hz sine moves by at most 2 pi 50 / 44100 per sample.
    const double steady = 2.0 * std::numbers::pi * 50.0 / 44100.0;
    const auto smooth = runChanges(kTransAttrs);
    EXPECT_LT(maxStep(smooth, 2000), 3.0 * steady);
    EXPECT_EQ(module->processor(0)->kernelLength(), 441u);  // the last change arrived
    EXPECT_EQ(module->latency(), 440.0 + 128.0);
    // The same changes at once jump between differently delayed signals.
    const auto abrupt = runChanges("gen-array='shared::audio.fltarray.firlim'");
    EXPECT_GT(maxStep(abrupt, 2000), 20.0 * steady);

    // Ten milliseconds at the highest rate fit the storage prepared for it.
    EXPECT_EQ(module->preparedTaps(), 3528u);
    const std::vector<double> x(8 * 441, 0.25);
    const double* in[2] = {x.data(), x.data()};
    graph.process->setRate(352800);
    alloc_counter::Scope scope;
    graph.step(in, 2, 8 * 441);
    EXPECT_EQ(scope.allocations(), 0u);
    EXPECT_EQ(module->filterList().kernel(0).size(), 3528u);
    EXPECT_EQ(module->latency(), 3527.0 + 128.0);
}

TEST_F(FilterFIRModule, ReportsWhatItCannotDo) {
    // No such array.
    CError err = build("gen-array='shared::audio.fltarray.nothing'", "", 44100);
    EXPECT_EQ(err.message().utf8(), "The 'gen-array' 'shared::audio.fltarray.nothing' not found.");

    // A generator producing two kernels: reported, and nothing is applied.
    const std::string two =
        "<audio:fltgen-serial name='two'>"
        "<audio:fltgen-serial-item fltgen='shared::audio.flt.firlp'/>"
        "<audio:fltgen-serial-item fltgen='shared::audio.flt.firlp' adjust='0.5'/></audio:fltgen-serial>"
        "<audio:fltgen-array name='twoArray'><audio:fltgen-array-item index='0' fltgen='^^two'/></audio:fltgen-array>";
    ASSERT_TRUE(build("gen-array='twoArray'", lowPass("1", "10000", "10", "7", "1"), 44100, 0, two).ok());
    EXPECT_EQ(std::count(g_log.begin(), g_log.end(),
                         "FIR filter combining was not implemented yet! // plugin.modMain.modFIR"), 1);
    const auto y = graph.runSignal({noise(2000, 4), noise(2000, 5)}, 256);
    EXPECT_EQ(*std::max_element(y[0].begin(), y[0].end()), 0.0);

    // A kernel beyond the prepared storage is not installed: the module keeps
    // filtering with the one it has.
    ASSERT_TRUE(build(kLowPassAttrs, lowPass("1", "10000", "10", "7", "0"), 44100).ok());
    const std::vector<double> before(module->filterList().kernel(0).begin(), module->filterList().kernel(0).end());
    graph.set("plugin.modMain.freq", 20.0);
    const std::vector<std::vector<double>> x = {noise(6000, 6), noise(6000, 7)};
    const auto kept = graph.runSignal(x, 512);
    EXPECT_LT(relError(kept[0], direct(before, x[0], 128)), 1e-12);
    kelFlushAudioDiagnostics();
    EXPECT_EQ(std::count(g_log.begin(), g_log.end(),
                         "FIR kernel longer than the prepared storage; kept the previous one // plugin.modMain.modFIR"),
              1);
}
