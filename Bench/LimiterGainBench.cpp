// Per-sample cost of the limiter gain computers, the loudness evaluator and
// the channel linker at 44.1 kHz and at 8x (352.8 kHz), with the product's
// usual settings (attack 1.5 ms, release 10 ms on, release shape -1) on a
// music-like level that keeps the limiter working. Reported as ns per sample
// (per channel). The ...Pair runs take two channels side by side, as the
// module runs the channels of a stereo group (TB, TB-C and AIGC modes).

#include <benchmark/benchmark.h>

#include <cmath>
#include <functional>
#include <numbers>
#include <random>
#include <vector>

#include "Audio/Processes/Limiters/ModLeveler.h"
#include "Audio/Processes/Limiters/ModLimAIGC.h"
#include "Audio/Processes/Limiters/ModLimClip.h"
#include "Audio/Processes/Limiters/ModLimEvaluator.h"
#include "Audio/Processes/Limiters/ModLimTB.h"
#include "Audio/Processes/Limiters/ModLimTBC.h"
#include "Audio/Processes/Limiters/ModLimTBI.h"

namespace {

constexpr int kBlock = 512;

// One second of rectified partials with transients, peaking around 2.
std::vector<double> level(double sr) {
    std::mt19937 rng(5);
    std::uniform_real_distribution<double> uni(-1.0, 1.0);
    constexpr double tau = 2.0 * std::numbers::pi;
    std::vector<double> x(static_cast<size_t>(sr) / kBlock * kBlock);
    for (size_t i = 0; i < x.size(); ++i) {
        const double t = static_cast<double>(i) / sr;
        double s = (0.7 + 0.3 * std::sin(tau * 1.3 * t)) *
                       (0.55 * std::sin(tau * 110.0 * t) + 0.3 * std::sin(tau * 440.0 * t + 1.0) +
                        0.15 * std::sin(tau * 1750.0 * t + 2.0)) +
                   0.03 * uni(rng);
        if (i % 3000 == 0) s += 0.8 * uni(rng);
        x[i] = 1.5 * std::abs(s);
    }
    return x;
}

void report(benchmark::State& state, int64_t samplesPerIteration) {
    state.SetItemsProcessed(state.iterations() * samplesPerIteration);
    // Seconds per sample, shown with an SI prefix (e.g. "20.1n").
    state.counters["per_sample"] = benchmark::Counter(static_cast<double>(samplesPerIteration),
                                                     benchmark::Counter::kIsIterationInvariantRate |
                                                         benchmark::Counter::kInvert);
}

// Runs a gain computer set up by `setup` block by block over the level.
template <class M>
void runGainComputer(benchmark::State& state, const std::function<void(M&)>& setup) {
    const double sr = static_cast<double>(state.range(0));
    const std::vector<double> x = level(sr);
    std::vector<double> g(kBlock), s(kBlock);
    M mod;
    setup(mod);
    mod.prepare(sr, kBlock);
    size_t pos = 0;
    for (auto _ : state) {
        mod.process(x.data() + pos, g.data(), s.data(), kBlock);
        benchmark::DoNotOptimize(g.data());
        benchmark::DoNotOptimize(s.data());
        pos = (pos + kBlock) % x.size();
    }
    report(state, kBlock);
}

// Two channels of one stack run side by side (M::processPair), as the
// module runs a stereo group; reported per channel sample.
template <class M>
void runPair(benchmark::State& state, const typename M::Params& p) {
    const double sr = static_cast<double>(state.range(0));
    const std::vector<double> x = level(sr);
    std::vector<double> g0(kBlock), s0(kBlock), g1(kBlock), s1(kBlock);
    M a, b;
    for (M* m : {&a, &b}) {
        m->setParams(p);
        m->prepare(sr, kBlock);
    }
    size_t pos = 0;
    for (auto _ : state) {
        M::processPair(a, b, x.data() + pos, x.data() + (x.size() - kBlock - pos), g0.data(), g1.data(),
                               s0.data(), s1.data(), kBlock);
        benchmark::DoNotOptimize(g0.data());
        benchmark::DoNotOptimize(g1.data());
        pos = (pos + kBlock) % x.size();
    }
    report(state, 2 * kBlock);
}

CModLimTB::Params tb(int type, int aigc = 0, int drc = 0, double shape = -1.0) {
    CModLimTB::Params p;
    p.type = type;
    p.knee = 0.0;
    p.release = 0.010;
    p.releaseEnable = true;
    p.aigcType = aigc;
    p.drcType = drc;
    p.releaseShape = shape;
    return p;
}

void BM_TB1(benchmark::State& st) { runGainComputer<CModLimTB>(st, [](auto& m) { m.setParams(tb(0)); }); }
void BM_TBUni(benchmark::State& st) { runGainComputer<CModLimTB>(st, [](auto& m) { m.setParams(tb(1)); }); }
void BM_TB4(benchmark::State& st) { runGainComputer<CModLimTB>(st, [](auto& m) { m.setParams(tb(2)); }); }
// Every optional stage on: AIGC cascade, DRC and the S-curve release.
void BM_TB4Full(benchmark::State& st) {
    runGainComputer<CModLimTB>(st, [](auto& m) { m.setParams(tb(2, 3, 2, 1.5)); });
}
void BM_TB1Pair(benchmark::State& st) { runPair<CModLimTB>(st, tb(0)); }
void BM_TBUniPair(benchmark::State& st) { runPair<CModLimTB>(st, tb(1)); }
void BM_TB4Pair(benchmark::State& st) { runPair<CModLimTB>(st, tb(2)); }
void BM_TB4FullPair(benchmark::State& st) { runPair<CModLimTB>(st, tb(2, 3, 2, 1.5)); }
void BM_TBC(benchmark::State& st) { runGainComputer<CModLimTBC>(st, [](auto& m) { m.setParams({0.0015}); }); }
void BM_TBCPair(benchmark::State& st) { runPair<CModLimTBC>(st, {0.0015}); }
void BM_TBI(benchmark::State& st) { runGainComputer<CModLimTBI>(st, [](auto& m) { m.setParams({0.0015}); }); }
void BM_AIGC1(benchmark::State& st) {
    runGainComputer<CModLimAIGC>(st, [](auto& m) { m.setParams({0.0015, 0, 0.010, true, 0}); });
}
void BM_AIGC4(benchmark::State& st) {
    runGainComputer<CModLimAIGC>(st, [](auto& m) { m.setParams({0.0015, 3, 0.010, true, 0}); });
}
void BM_AIGC1Pair(benchmark::State& st) { runPair<CModLimAIGC>(st, {0.0015, 0, 0.010, true, 0}); }
void BM_AIGC4Pair(benchmark::State& st) { runPair<CModLimAIGC>(st, {0.0015, 3, 0.010, true, 0}); }
void BM_Clip(benchmark::State& st) { runGainComputer<CModLimClip>(st, [](auto& m) { m.setClipLevel(0.994); }); }

void BM_Evaluator(benchmark::State& state) {
    const double sr = static_cast<double>(state.range(0));
    const std::vector<double> x = level(sr);
    std::vector<double> o0(kBlock), o1(kBlock);
    CModLimEvaluator ev;
    ev.prepare(sr, kBlock);
    ev.setParams({0.9, 1.0});
    size_t pos = 0;
    for (auto _ : state) {
        const double* in[2] = {x.data() + pos, x.data() + pos};
        double* out[2] = {o0.data(), o1.data()};
        ev.process(in, in, in, out, kBlock);
        benchmark::DoNotOptimize(o0.data());
        pos = (pos + kBlock) % x.size();
    }
    report(state, 2 * kBlock);  // per channel sample, stereo
}

void BM_LevelerStereo(benchmark::State& state) {
    const double sr = static_cast<double>(state.range(0));
    const std::vector<double> x = level(sr);
    std::vector<double> o0(kBlock), o1(kBlock);
    CModLeveler lev;
    lev.prepare(sr, kBlock);
    lev.setParams({0, 0.0, 0.5});
    size_t pos = 0;
    for (auto _ : state) {
        const double* in[2] = {x.data() + pos, x.data() + (x.size() - kBlock - pos)};
        double* out[2] = {o0.data(), o1.data()};
        lev.process(in, out, kBlock);
        benchmark::DoNotOptimize(o0.data());
        pos = (pos + kBlock) % x.size();
    }
    report(state, 2 * kBlock);
}

// The look-ahead window alone (1.5 ms at the rate), value by value and as a
// block.
void BM_WindowPush(benchmark::State& state) {
    const double sr = static_cast<double>(state.range(0));
    const std::vector<double> x = level(sr);
    std::vector<double> g(kBlock);
    CSlidingWindowMin w;
    w.prepare(limMaxLookAheadLength(sr));
    w.setLength(limLookAheadLength(0.0015, sr, w.maxLength()));
    size_t pos = 0;
    for (auto _ : state) {
        for (int i = 0; i < kBlock; ++i) g[size_t(i)] = w.push(x[pos + size_t(i)]);
        benchmark::DoNotOptimize(g.data());
        pos = (pos + kBlock) % x.size();
    }
    report(state, kBlock);
}

void BM_WindowRun(benchmark::State& state) {
    const double sr = static_cast<double>(state.range(0));
    const std::vector<double> x = level(sr);
    std::vector<double> g(kBlock);
    CSlidingWindowMin w;
    w.prepare(limMaxLookAheadLength(sr));
    w.setLength(limLookAheadLength(0.0015, sr, w.maxLength()));
    size_t pos = 0;
    for (auto _ : state) {
        w.run(x.data() + pos, g.data(), kBlock);
        benchmark::DoNotOptimize(g.data());
        pos = (pos + kBlock) % x.size();
    }
    report(state, kBlock);
}

}  // namespace

#define LIM_BENCH(fn) BENCHMARK(fn)->Arg(44100)->Arg(352800)
LIM_BENCH(BM_TB1);
LIM_BENCH(BM_TBUni);
LIM_BENCH(BM_TB4);
LIM_BENCH(BM_TB4Full);
LIM_BENCH(BM_TB1Pair);
LIM_BENCH(BM_TBUniPair);
LIM_BENCH(BM_TB4Pair);
LIM_BENCH(BM_TB4FullPair);
LIM_BENCH(BM_TBC);
LIM_BENCH(BM_TBCPair);
LIM_BENCH(BM_TBI);
LIM_BENCH(BM_AIGC1);
LIM_BENCH(BM_AIGC4);
LIM_BENCH(BM_AIGC1Pair);
LIM_BENCH(BM_AIGC4Pair);
LIM_BENCH(BM_Clip);
LIM_BENCH(BM_Evaluator);
LIM_BENCH(BM_LevelerStereo);
LIM_BENCH(BM_WindowPush);
LIM_BENCH(BM_WindowRun);
