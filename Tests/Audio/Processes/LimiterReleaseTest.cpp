// The release stage keeps its table row while 127 R4 lies inside the row's
// kept range times RT and divides only near a bound. These tests hold it to
// the plain form, which divides and looks the row up on every sample: the
// ranges must never keep a row the division would leave, and the stage must
// come out bit for bit the same, one channel and two side by side.

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <vector>

#include "Audio/Processes/Limiters/LimiterStages.h"

namespace {

// The row for a = 127 R4.
int rowByDivision(double a, double rt) { return vIndex(a / rt + 0.5, 127); }

// The release stage as it reads plainly: divide, look up, step.
struct PlainRelease {
    double rt = 1.0, r1 = 1.0, r2 = 1.0, r3 = 1.0, r4 = 1.0;

    double apply(double g, const CLimReleaseTables& tb) {
        rt += (g - rt) * tb.kTarget;
        const bool hold = r4 >= rt;
        const auto j = static_cast<size_t>(rowByDivision(127.0 * r4, rt));
        const double n1 = r1 + (rt - r1) * tb.t1[j];
        const double n2 = r2 + (n1 - r2) * tb.t2[j];
        const double n3 = r3 + (n2 - r3) * tb.t2[j];
        const double n4 = r4 + (n3 - r4) * tb.t3[j];
        r1 = hold ? rt : n1;
        r2 = hold ? rt : n2;
        r3 = hold ? rt : n3;
        r4 = hold ? rt : n4;
        return std::min(g, r4);
    }
};

// The bits of a value, with every NaN alike: a NaN's sign and payload depend
// on how the compiler arranged the operations that made it (they differ
// between optimised and unoptimised builds), and nothing reads them.
std::uint64_t bits(double x) {
    return std::isnan(x) ? 0x7FF8000000000000ull : std::bit_cast<std::uint64_t>(x);
}

// Gains as a limiter produces them: long recoveries after sharp dips of every
// depth, flat stretches at 1, and a few values no gain should take (zero,
// tiny, negative, then infinite and NaN, after which the state stays NaN) to
// check the fall-back to the division.
std::vector<double> gains(unsigned seed) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> uni(0.0, 1.0);
    std::vector<double> g(40000, 1.0);
    for (size_t i = 0; i < g.size(); ++i) {
        if (uni(rng) < 0.004) g[i] = std::pow(10.0, -3.0 * uni(rng));
        else if (uni(rng) < 0.3) g[i] = 1.0 - 0.2 * uni(rng) * uni(rng);
    }
    const double odd[] = {0.0, 1e-300, 4.9e-324, -0.5, 1e-310, HUGE_VAL, std::numeric_limits<double>::quiet_NaN()};
    for (size_t k = 0; k < std::size(odd); ++k) g[5000 + 4000 * k] = odd[k];
    return g;
}

}  // namespace

// For every row and every scale of RT from the smallest it accepts to the
// largest, values of 127 R4 a few units in the last place either side of
// RT times each bound: whenever the kept range takes one, the division
// gives that row.
TEST(LimiterRelease, KeptRangesNeverHoldARowTheDivisionLeaves) {
    std::mt19937 rng(7);
    std::uniform_real_distribution<double> uni(1.0, 2.0);
    int taken = 0;
    for (int j = 0; j < CLimReleaseTables::kSize; ++j) {
        const double lo = limReleaseRowLow(j), hi = limReleaseRowHigh(j);
        for (int e = -960; e <= 1000; e += 7) {
            const double rt = std::ldexp(uni(rng), e);
            for (double edge : {j - 0.5, j + 0.5, lo, hi}) {
                if (!std::isfinite(edge) || edge < 0.0) continue;
                double a = rt * edge;
                for (int k = 0; k < 8; ++k) a = std::nextafter(a, 0.0);
                for (int k = 0; k < 16; ++k, a = std::nextafter(a, HUGE_VAL)) {
                    if (!(a > rt * lo && a < rt * hi && rt > kLimReleaseMinTarget)) continue;
                    ++taken;
                    ASSERT_EQ(rowByDivision(a, rt), j) << "rt " << rt << " a " << a;
                }
            }
        }
    }
    EXPECT_GT(taken, 10000);
}

TEST(LimiterRelease, StageMatchesThePlainFormBitForBit) {
    for (double release : {0.001, 0.01, 0.3}) {
        CLimReleaseTables tb;
        tb.build(release, 0.2, 44100.0);
        const std::vector<double> g = gains(static_cast<unsigned>(release * 1000));
        PlainRelease plain;
        CLimReleaseState kept;
        CLimReleaseRow row;
        for (size_t i = 0; i < g.size(); ++i) {
            const double want = plain.apply(g[i], tb);
            const double got = kept.apply(g[i], tb, row);
            ASSERT_EQ(bits(got), bits(want)) << "release " << release << " sample " << i;
            // The plain form has no kept row; a row kept from an earlier block
            // must not matter either, so start some blocks afresh.
            if (i % 512 == 511 && i % 3 == 0) row = {};
        }
        EXPECT_EQ(bits(kept.r4), bits(plain.r4));
    }
}

#if TAMBLOR_HAVE_DUAL
TEST(LimiterRelease, PairMatchesThePlainFormPerChannel) {
    CLimReleaseTables ta, tb;
    ta.build(0.005, 0.2, 44100.0);
    tb.build(0.05, 0.1, 96000.0);
    const std::vector<double> ga = gains(11), gb = gains(12);
    PlainRelease pa, pb;
    CLimReleaseStateT<CDual> pair;
    CLimReleaseRowT<CDual> row;
    for (size_t i = 0; i < ga.size(); ++i) {
        const CDual got = pair.apply(CDual(ga[i], gb[i]), CLimReleaseTablePair{ta, tb}, row);
        ASSERT_EQ(bits(got.lane0()), bits(pa.apply(ga[i], ta))) << "sample " << i;
        ASSERT_EQ(bits(got.lane1()), bits(pb.apply(gb[i], tb))) << "sample " << i;
    }
}
#endif

// The block form with its state and row in locals: blocks of odd lengths,
// one channel and two side by side, against the plain form sample by sample.
TEST(LimiterRelease, BlockRunMatchesThePlainForm) {
    CLimReleaseTables ta, tb;
    ta.build(0.002, 0.3, 44100.0);
    tb.build(0.03, 0.05, 352800.0);
    const std::vector<double> ga = gains(21), gb = gains(22);
    PlainRelease pa, pb, single;
    std::vector<double> outA = ga, outB = gb, outSingle = gb;
    CLimReleaseState one;
    CLimReleaseRow oneRow;
#if TAMBLOR_HAVE_DUAL
    CLimReleaseStateT<CDual> pair;
    CLimReleaseRowT<CDual> pairRow;
#endif
    const int sizes[] = {1, 513, 7, 64, 2, 1000, 33};
    for (size_t pos = 0, k = 0; pos < ga.size(); ++k) {
        const int n = static_cast<int>(std::min<size_t>(sizes[k % 7], ga.size() - pos));
        one.run(outSingle.data() + pos, nullptr, n, tb, oneRow);
#if TAMBLOR_HAVE_DUAL
        pair.run(outA.data() + pos, outB.data() + pos, n, CLimReleaseTablePair{ta, tb}, pairRow);
#endif
        pos += size_t(n);
    }
    for (size_t i = 0; i < ga.size(); ++i) {
        ASSERT_EQ(bits(outSingle[i]), bits(single.apply(gb[i], tb))) << "one channel, sample " << i;
#if TAMBLOR_HAVE_DUAL
        ASSERT_EQ(bits(outA[i]), bits(pa.apply(ga[i], ta))) << "pair, sample " << i;
        ASSERT_EQ(bits(outB[i]), bits(pb.apply(gb[i], tb))) << "pair, sample " << i;
#endif
    }
}
