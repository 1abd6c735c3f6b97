// CModLimAIGC::processPair: two channels run side by side must come out bit
// for bit as each channel run alone, for every type, DRC type and release
// setting, over blocks of any length, with NaN in one channel only and with
// parameter changes on the way.

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "Audio/Processes/Limiters/ModLimAIGC.h"

namespace {

using Signal = std::vector<double>;

// A rectified programme-like level: partials under a slow swell, noise,
// sparse overloads and a stretch of silence.
Signal level(unsigned seed, double f1, double f2) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> uni(0.0, 1.0);
    constexpr double tau = 2.0 * 3.141592653589793;
    Signal x(20000);
    for (size_t i = 0; i < x.size(); ++i) {
        const double t = static_cast<double>(i) / 44100.0;
        double v = (0.8 + 0.6 * std::sin(tau * 1.7 * t)) * (std::sin(tau * f1 * t) + 0.4 * std::sin(tau * f2 * t));
        v = std::abs(v) + 0.2 * uni(rng);
        if (i % 1511 == 0) v += 5.0 * uni(rng);
        if (i >= 9000 && i < 9300) v = 0.0;
        x[i] = v;
    }
    return x;
}

CModLimAIGC::Params params(int type, int drc, bool release) {
    CModLimAIGC::Params p;
    p.type = type;
    p.drcType = drc;
    p.releaseEnable = release;
    p.release = 0.03;
    p.attack = 0.0015;
    return p;
}

bool sameBits(const Signal& a, const Signal& b) {
    for (size_t i = 0; i < a.size(); ++i)
        if (std::bit_cast<uint64_t>(a[i]) != std::bit_cast<uint64_t>(b[i])) {
            ADD_FAILURE() << "sample " << i << ": " << a[i] << " vs " << b[i];
            return false;
        }
    return true;
}

// Runs both channels alone and as a pair over the same blocks; halfway both
// get a new attack and release (the window empties, the tables change).
void expectPairEqualsSingles(const CModLimAIGC::Params& aParams, const CModLimAIGC::Params& bParams,
                             const Signal& xa, const Signal& xb, double rate) {
    CModLimAIGC singleA, singleB, pairA, pairB;
    for (CModLimAIGC* m : {&singleA, &pairA}) m->setParams(aParams);
    for (CModLimAIGC* m : {&singleB, &pairB}) m->setParams(bParams);
    for (CModLimAIGC* m : {&singleA, &singleB, &pairA, &pairB}) m->prepare(rate, 512);

    const size_t n = xa.size();
    Signal ga(n), sa(n), gb(n), sb(n), pga(n), psa(n), pgb(n), psb(n);
    const int blocks[] = {1, 7, 512, 300, 33, 129};
    size_t pos = 0;
    for (int k = 0; pos < n; ++k) {
        if (k == 40) {
            for (CModLimAIGC* m : {&singleA, &pairA, &singleB, &pairB}) {
                CModLimAIGC::Params p = m->params();
                p.attack = 0.0007;
                p.release = 0.2;
                m->setParams(p);
            }
        }
        const int len = static_cast<int>(std::min<size_t>(blocks[k % 6], n - pos));
        singleA.process(xa.data() + pos, ga.data() + pos, sa.data() + pos, len);
        singleB.process(xb.data() + pos, gb.data() + pos, sb.data() + pos, len);
        CModLimAIGC::processPair(pairA, pairB, xa.data() + pos, xb.data() + pos, pga.data() + pos, pgb.data() + pos,
                                 psa.data() + pos, psb.data() + pos, len);
        pos += static_cast<size_t>(len);
    }
    EXPECT_TRUE(sameBits(ga, pga) && sameBits(sa, psa) && sameBits(gb, pgb) && sameBits(sb, psb));
}

}  // namespace

TEST(ModLimAIGCPair, EachChannelComesOutAsItWouldAlone) {
    const Signal xa = level(1, 110.0, 1750.0);
    Signal xb = level(2, 97.0, 440.0);
    // A burst of NaN in one channel only: the other must not notice.
    for (size_t i = 5000; i < 5040; ++i) xb[i] = std::nan("");
    for (int type = 0; type < 4; ++type)
        for (int drc = 0; drc < 3; ++drc)
            for (bool release : {false, true})
                for (double rate : {44100.0, 352800.0}) {
                    SCOPED_TRACE(testing::Message() << "type " << type << ", drc " << drc << ", release " << release
                                                    << ", rate " << rate);
                    expectPairEqualsSingles(params(type, drc, release), params(type, drc, release), xa, xb, rate);
                    if (HasFailure()) return;
                }
}

// Channels with different coefficients still share the loop; channels whose
// stages differ run one after the other. Both give the single results.
TEST(ModLimAIGCPair, DifferentSettingsGiveTheSingleResults) {
    const Signal xa = level(3, 60.0, 3000.0), xb = level(4, 220.0, 880.0);
    CModLimAIGC::Params a = params(3, 2, true);
    CModLimAIGC::Params b = a;
    b.attack = 0.004;  // other threshold, window and smoother
    expectPairEqualsSingles(a, b, xa, xb, 44100.0);
    b = a;
    b.releaseEnable = false;
    expectPairEqualsSingles(a, b, xa, xb, 44100.0);
    b = a;
    b.type = 0;
    expectPairEqualsSingles(a, b, xa, xb, 44100.0);
}
