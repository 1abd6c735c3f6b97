// Every algorithm of the mode table limits loud program material: with In
// Gain +6 dB and Out Gain -1 dB the output's sample peak stays within the
// output clipper's factor of 1.1 above the Out Gain at every oversampling
// factor, and so does its 4x true peak wherever a gain computer runs
// oversampled. The figures are printed as a table.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>

#include "ProductHost.h"
#include "ProductSignals.h"

namespace product {
namespace {

class ProductLimiting : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(enterModule()); }
    void TearDown() override { exitModule(); }
};

const char* const kModes[] = {"Clip", "AIGC-1", "AIGC-2", "AIGC-3", "AIGC-4",
                              "TB-1", "TB UNI", "TB-4", "TB-C", "TB INS"};
const char* const kFactors[] = {"1X", "2X", "4X", "8X"};

double db(double ratio) { return 20.0 * std::log10(ratio); }

TEST_F(ProductLimiting, EveryAlgorithmLimitsAtEveryFactor) {
    {
        CHost probe;
        ASSERT_TRUE(probe.loaded());
        for (const char* name : {"Mode", "InGain", "OutGain", "Oversmp"})
            if (probe.paramId(name) < 0) GTEST_SKIP() << "no \"" << name << "\" host parameter";
    }
    const double rate = 44100.0;
    const double ceiling = dbToGain(-1.0);
    const Stereo in = programMix(rate, 1.5, 11);
    const double inRms = rms(in, 0, in.size());

    std::string table = "overshoot above Out Gain (-1 dB), dB: sample peak / 4x true peak\n";
    table += "mode     ";
    for (const char* f : kFactors) table += std::string("  ") + f + "            ";
    table += "\n";
    // One instance per factor; the modes follow each other, each measured
    // on a fresh pass of the program after its switch has settled.
    double sp[10][4] = {}, tp[10][4] = {};
    for (int f = 0; f < 4; ++f) {
        CHost host;
        ASSERT_TRUE(host.start(rate, 512, false));
        ASSERT_TRUE(host.setParam("Oversmp", kFactors[f]));
        ASSERT_TRUE(host.setParam("InGain", "6.0"));
        ASSERT_TRUE(host.setParam("OutGain", "-1.0"));
        for (int m = 0; m < 10; ++m) {
            SCOPED_TRACE(std::string(kModes[m]) + " at " + kFactors[f]);
            ASSERT_TRUE(host.setParam("Mode", kModes[m]));
            host.run(slice(in, 0, size_t(0.1 * rate)));
            const Stereo out = host.run(in);
            ASSERT_EQ(firstNonFinite(out, 0), out.size());
            sp[m][f] = samplePeak(out) / ceiling;
            tp[m][f] = truePeak4x(out) / ceiling;
            // The output clipper bounds every sample. Between the samples
            // only the oversampled gain computers keep the bound: at 1X the
            // limiter sees no inter-sample peaks, and "Clip" cuts hard in
            // every domain, so those true peaks are reported, not bounded.
            EXPECT_LE(sp[m][f], 1.1);
            if (f > 0 && m > 0) {
                EXPECT_LE(tp[m][f], 1.1);
            }
            // It limits rather than silences: the ceiling is reached and the
            // program comes out at least as loud as it went in.
            EXPECT_GT(sp[m][f], 0.85);
            EXPECT_GT(rms(out, 0, out.size()), 0.9 * inRms);
        }
    }
    for (int m = 0; m < 10; ++m) {
        char row[256];
        std::snprintf(row, sizeof row, "%-8s", kModes[m]);
        table += row;
        for (int f = 0; f < 4; ++f) {
            std::snprintf(row, sizeof row, "  %+6.2f / %+6.2f ", db(sp[m][f]), db(tp[m][f]));
            table += row;
        }
        table += "\n";
    }
    std::printf("%s", table.c_str());
}

}  // namespace
}  // namespace product
