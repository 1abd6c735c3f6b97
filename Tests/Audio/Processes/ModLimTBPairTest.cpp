// CModLimTB::processPair and CModLimTBC::processPair: two channels run side by
// side must come out bit for bit as each channel run alone, whatever the settings, the block sizes and
// the signals (silence, overloads, NaN in one channel only), and across
// parameter changes that start glides and switch stages in and out.

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <random>
#include <utility>
#include <vector>

#include "Audio/Processes/Limiters/ModLimTB.h"
#include "Audio/Processes/Limiters/ModLimTBC.h"

namespace {

using Signal = std::vector<double>;

// A rectified programme-like level: two partials, a slow swell, noise and
// sparse transients well above the threshold, a stretch of silence.
Signal level(unsigned seed, double f1, double f2) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> uni(0.0, 1.0);
    constexpr double tau = 2.0 * 3.141592653589793;
    Signal x(12000);
    for (size_t i = 0; i < x.size(); ++i) {
        const double t = static_cast<double>(i) / 44100.0;
        double v = (0.7 + 0.5 * std::sin(tau * 2.3 * t)) * (std::sin(tau * f1 * t) + 0.4 * std::sin(tau * f2 * t));
        v = std::abs(v) + 0.2 * uni(rng);
        if (i % 1313 == 0) v += 4.0 * uni(rng);
        if (i >= 7000 && i < 7200) v = 0.0;
        x[i] = v;
    }
    return x;
}

struct Setting {
    int type, aigc, drc;
    bool release;
    double shape;
};

// The settings a pair runs in one loop (no AIGC or DRC type) and those it
// hands to single runs, with the glides and stage switches a change of shape,
// timing, attack and knee brings.
std::vector<Setting> settings() {
    std::vector<Setting> out;
    for (int type = 0; type < 3; ++type)
        for (int aigc : {0, 2, 5})
            for (int drc : {0, 1, 2})
                for (bool release : {false, true})
                    for (double shape : {-1.0, 1.5}) out.push_back({type, aigc, drc, release, shape});
    return out;
}

CModLimTB::Params params(const Setting& s) {
    CModLimTB::Params p;
    p.type = s.type;
    p.aigcType = s.aigc;
    p.drcType = s.drc;
    p.releaseEnable = s.release;
    p.release = 0.02;
    p.releaseShape = s.shape;
    p.timing = 1.4;
    p.releaseRatio = 0.35;
    return p;
}

CModLimTB::Params changed(CModLimTB::Params p) {
    p.releaseShape = p.releaseShape > 1.0 ? 0.2 : 1.8;  // the S-curve comes in or goes
    p.attack = 0.0006;
    p.timing = 0.7;
    p.knee = 0.4;
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

// Runs both channels alone and as a pair over the same blocks and parameter
// changes; `bParams` lets the second channel differ.
void expectPairEqualsSingles(const CModLimTB::Params& aParams, const CModLimTB::Params& bParams, const Signal& xa,
                             const Signal& xb) {
    CModLimTB singleA, singleB, pairA, pairB;
    for (CModLimTB* m : {&singleA, &pairA}) m->setParams(aParams);
    for (CModLimTB* m : {&singleB, &pairB}) m->setParams(bParams);
    for (CModLimTB* m : {&singleA, &singleB, &pairA, &pairB}) m->prepare(44100.0, 512);

    const size_t n = xa.size();
    Signal ga(n), sa(n), gb(n), sb(n), pga(n), psa(n), pgb(n), psb(n);
    const int blocks[] = {1, 7, 512, 300, 33, 129};
    size_t pos = 0;
    for (int k = 0; pos < n; ++k) {
        if (k == 9) {
            singleA.setParams(changed(aParams));
            pairA.setParams(changed(aParams));
            singleB.setParams(changed(bParams));
            pairB.setParams(changed(bParams));
        }
        const int len = static_cast<int>(std::min<size_t>(blocks[k % 6], n - pos));
        singleA.process(xa.data() + pos, ga.data() + pos, sa.data() + pos, len);
        singleB.process(xb.data() + pos, gb.data() + pos, sb.data() + pos, len);
        CModLimTB::processPair(pairA, pairB, xa.data() + pos, xb.data() + pos, pga.data() + pos, pgb.data() + pos,
                               psa.data() + pos, psb.data() + pos, len);
        pos += static_cast<size_t>(len);
    }
    EXPECT_TRUE(sameBits(ga, pga) && sameBits(sa, psa) && sameBits(gb, pgb) && sameBits(sb, psb));
}

}  // namespace

TEST(ModLimTBPair, EachChannelComesOutAsItWouldAlone) {
    const Signal xa = level(1, 110.0, 1750.0);
    Signal xb = level(2, 97.0, 440.0);
    // A burst of NaN in one channel only: the other must not notice.
    for (size_t i = 5000; i < 5040; ++i) xb[i] = std::nan("");
    for (const Setting& s : settings()) {
        SCOPED_TRACE(testing::Message() << "type " << s.type << ", aigc " << s.aigc << ", drc " << s.drc << ", release "
                                        << s.release << ", shape " << s.shape);
        expectPairEqualsSingles(params(s), params(s), xa, xb);
        if (HasFailure()) return;
    }
}

// Channels whose stages differ run one after the other, with the same results.
TEST(ModLimTBPair, DifferentStagesFallBackToSingleRuns) {
    const Signal xa = level(3, 60.0, 3000.0), xb = level(4, 220.0, 880.0);
    CModLimTB::Params a = params({1, 0, 0, true, -1.0});
    CModLimTB::Params b = a;
    b.releaseEnable = false;
    expectPairEqualsSingles(a, b, xa, xb);
    b = a;
    b.type = 2;
    expectPairEqualsSingles(a, b, xa, xb);
}

// TB-C pairs: the groups of both channels move up or down lane by lane (the
// two channels often move different ways); overloads, silence, NaN in one
// channel, different attacks, an attack change mid-way, odd blocks.
TEST(ModLimTBCPair, EachChannelComesOutAsItWouldAlone) {
    const Signal xa = level(5, 110.0, 1750.0);
    Signal xb = level(6, 97.0, 440.0);
    for (size_t i = 5000; i < 5040; ++i) xb[i] = std::nan("");
    for (const auto& [attackA, attackB] : {std::pair{0.0015, 0.0015}, std::pair{0.0004, 0.003}}) {
        SCOPED_TRACE(testing::Message() << "attacks " << attackA << ", " << attackB);
        CModLimTBC singleA, singleB, pairA, pairB;
        for (CModLimTBC* m : {&singleA, &pairA}) m->setParams({attackA});
        for (CModLimTBC* m : {&singleB, &pairB}) m->setParams({attackB});
        for (CModLimTBC* m : {&singleA, &singleB, &pairA, &pairB}) m->prepare(44100.0, 512);
        const size_t n = xa.size();
        Signal ga(n), sa(n), gb(n), sb(n), pga(n), psa(n), pgb(n), psb(n);
        const int blocks[] = {1, 7, 512, 300, 33, 129};
        size_t pos = 0;
        for (int k = 0; pos < n; ++k) {
            if (k == 9)
                for (CModLimTBC* m : {&singleA, &pairA}) m->setParams({attackA * 2.0});
            const int len = static_cast<int>(std::min<size_t>(blocks[k % 6], n - pos));
            singleA.process(xa.data() + pos, ga.data() + pos, sa.data() + pos, len);
            singleB.process(xb.data() + pos, gb.data() + pos, sb.data() + pos, len);
            CModLimTBC::processPair(pairA, pairB, xa.data() + pos, xb.data() + pos, pga.data() + pos,
                                    pgb.data() + pos, psa.data() + pos, psb.data() + pos, len);
            pos += static_cast<size_t>(len);
        }
        EXPECT_TRUE(sameBits(ga, pga) && sameBits(sa, psa) && sameBits(gb, pgb) && sameBits(sb, psb));
    }
}
