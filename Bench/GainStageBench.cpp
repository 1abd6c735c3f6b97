// Per-sample cost of the dither with the Equal shaping, the IIR filter with
// three sections and the delay line, over 512-frame blocks of one channel.
// The "per_sample" counter is the time per processed sample.
#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

#include "Audio/Filters/FilterDesign.h"
#include "Audio/Processes/Flow/DSPModDelay.h"
#include "Audio/Processes/Gain/ModDither.h"
#include "Audio/Processes/Filters/ModFilterIIR.h"

namespace {

constexpr int kBlock = 512;

std::vector<double> testSignal() {
    std::vector<double> x(kBlock);
    for (int i = 0; i < kBlock; ++i) x[size_t(i)] = 0.5 * std::sin(0.05 * i) + 0.1 * std::sin(0.71 * i);
    return x;
}

void perSample(benchmark::State& state) {
    state.SetItemsProcessed(int64_t(state.iterations()) * kBlock);
    state.counters["per_sample"] = benchmark::Counter(double(state.iterations()) * kBlock,
                                                      benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void BM_DitherEqual(benchmark::State& state) {
    CModDither d(1);
    d.prepare(44100.0, kBlock);
    d.setParams({8, CModDither::kTPDF, CModDither::kShapingEqual});
    const std::vector<double> x = testSignal();
    std::vector<double> y(kBlock);
    for (auto _ : state) {
        d.process(x.data(), y.data(), kBlock);
        benchmark::DoNotOptimize(y.data());
    }
    perSample(state);
}
BENCHMARK(BM_DitherEqual);

void BM_FilterIIR3Sections(benchmark::State& state) {
    // The −36 dB/oct Butterworth high-pass: three biquads.
    const CFilterGenSetup hp2 = {CFilterGenSetup::kRBJ, kRBJHighPass, true};
    const std::vector<CFilterArrayItem> array = {
        {0, {{hp2, {1.0, 1.0, 0.7353981}}, {hp2, {1.0, 1.0, 1.0}}, {hp2, {1.0, 1.0, 2.729458351}}}}};
    CModFilterIIR f;
    if (f.setGenArray(array)) state.SkipWithError("bad array");
    f.prepare(44100.0, kBlock);
    f.setParams({0, 10.0, 1.0, 0.7071});
    const std::vector<double> x = testSignal();
    std::vector<double> y(kBlock);
    for (auto _ : state) {
        f.process(x.data(), y.data(), kBlock);
        benchmark::DoNotOptimize(y.data());
    }
    perSample(state);
}
BENCHMARK(BM_FilterIIR3Sections);

// arg 0: steady delay; arg 1: a cross-fade running all the time.
void BM_Delay(benchmark::State& state) {
    CDSPModDelay delay;
    delay.setFadeLength(kBlock * 4);
    delay.prepare(1, 4440);
    delay.setDelay(1041);
    delay.reset();
    const bool fading = state.range(0) != 0;
    const std::vector<double> x = testSignal();
    std::vector<double> y(kBlock);
    const double* src = x.data();
    double* dst = y.data();
    int toggle = 0;
    for (auto _ : state) {
        if (fading && !delay.fading()) delay.setDelay((++toggle & 1) ? 2000 : 1041);
        delay.process({&src, 1}, {&dst, 1}, kBlock);
        benchmark::DoNotOptimize(y.data());
    }
    perSample(state);
}
BENCHMARK(BM_Delay)->Arg(0)->Arg(1);

}  // namespace
