// Real FFT of the vector kernels against FFTW (FFTW_MEASURE plans) at the
// sizes the block convolution uses, and the FIR convolver in time per sample
// for the resampler kernels and a 1.5 ms transient kernel.
//
// Run: ./build/Bench/tamblor_bench --benchmark_filter='FFT|Convolver'
//      --benchmark_repetitions=10 --benchmark_report_aggregates_only=true
// On a shared machine the "_min" aggregate is the steadiest figure.

#include <benchmark/benchmark.h>
#include <fftw3.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "Audio/Filters/FIRDesign.h"
#include "Audio/Vector/AlignedBuffer.h"
#include "Audio/Vector/FIRConvolver.h"
#include "Audio/Vector/RealFFT.h"

namespace {

void fillSignal(double* x, size_t n) {
    uint32_t s = 12345;
    for (size_t i = 0; i < n; ++i) {
        s = s * 1664525u + 1013904223u;
        x[i] = double(int32_t(s)) * (1.0 / 2147483648.0);
    }
}

// Selects the builds of a level for one benchmark and restores the
// processor's own afterwards; false when the processor cannot run it.
struct LevelScope {
    bool ok;
    explicit LevelScope(int level) : ok(vecSelectLevel(level)) {}
    ~LevelScope() { vecInitDispatch(); }
};

// Arguments: FFT length, processor level of the build (6 AVX2, 1 SSE2, 0 portable).
void BM_VecFFTForward(benchmark::State& state) {
    LevelScope level(int(state.range(1)));
    if (!level.ok) return state.SkipWithError("level not supported");
    const size_t n = size_t(state.range(0));
    int order = 0;
    while ((size_t(1) << order) < n) ++order;
    CRealFFT fft;
    if (fft.prepare(order, kVecFFTNoScale)) return state.SkipWithError("prepare failed");
    CAlignedBuffer in, out;
    (void)in.allocate(n);
    (void)out.allocate(n);
    fillSignal(in.data(), n);
    for (auto _ : state) {
        fft.forward(in.data(), out.data());
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    state.SetLabel(vecKernelTable(vecActiveLevel())->name);
}

// The inverse, preceded by a copy of the spectrum into the input buffer (as
// FFTW's needs, since its inverse destroys its input).
void BM_VecFFTInverse(benchmark::State& state) {
    LevelScope level(int(state.range(1)));
    if (!level.ok) return state.SkipWithError("level not supported");
    const size_t n = size_t(state.range(0));
    int order = 0;
    while ((size_t(1) << order) < n) ++order;
    CRealFFT fft;
    if (fft.prepare(order, kVecFFTNoScale)) return state.SkipWithError("prepare failed");
    CAlignedBuffer spectrum, in, out;
    (void)spectrum.allocate(n);
    (void)in.allocate(n);
    (void)out.allocate(n);
    fillSignal(out.data(), n);
    fft.forward(out.data(), spectrum.data());
    for (auto _ : state) {
        std::memcpy(in.data(), spectrum.data(), n * sizeof(double));
        fft.inverse(in.data(), out.data());
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    state.SetLabel(vecKernelTable(vecActiveLevel())->name);
}

void BM_FFTWForward(benchmark::State& state) {
    const int n = int(state.range(0));
    double* in = fftw_alloc_real(size_t(n));
    fftw_complex* out = fftw_alloc_complex(size_t(n / 2 + 1));
    fftw_plan plan = fftw_plan_dft_r2c_1d(n, in, out, FFTW_MEASURE);
    fillSignal(in, size_t(n));
    for (auto _ : state) {
        fftw_execute(plan);
        benchmark::DoNotOptimize(out);
        benchmark::ClobberMemory();
    }
    fftw_destroy_plan(plan);
    fftw_free(in);
    fftw_free(out);
}

void BM_FFTWInverse(benchmark::State& state) {
    const int n = int(state.range(0));
    const size_t bins = size_t(n / 2 + 1);
    fftw_complex* spectrum = fftw_alloc_complex(bins);
    fftw_complex* in = fftw_alloc_complex(bins);
    double* out = fftw_alloc_real(size_t(n));
    fftw_plan plan = fftw_plan_dft_c2r_1d(n, in, out, FFTW_MEASURE);
    fftw_plan toSpectrum = fftw_plan_dft_r2c_1d(n, out, spectrum, FFTW_ESTIMATE);
    fillSignal(out, size_t(n));
    fftw_execute(toSpectrum);
    for (auto _ : state) {
        std::memcpy(in, spectrum, bins * sizeof(fftw_complex));
        fftw_execute(plan);
        benchmark::DoNotOptimize(out);
        benchmark::ClobberMemory();
    }
    fftw_destroy_plan(toSpectrum);
    fftw_destroy_plan(plan);
    fftw_free(spectrum);
    fftw_free(in);
    fftw_free(out);
}

double minimum(const std::vector<double>& v) { return *std::min_element(v.begin(), v.end()); }

void fftSizes(benchmark::internal::Benchmark* b) {
    b->ComputeStatistics("min", minimum);
    for (int64_t n : {256, 512, 1024, 2048, 4096})
        for (int64_t level : {6, 1, 0}) b->Args({n, level});
}

BENCHMARK(BM_VecFFTForward)->Apply(fftSizes);
BENCHMARK(BM_FFTWForward)->RangeMultiplier(2)->Range(256, 4096)->ComputeStatistics("min", minimum);
BENCHMARK(BM_VecFFTInverse)->Apply(fftSizes);
BENCHMARK(BM_FFTWInverse)->RangeMultiplier(2)->Range(256, 4096)->ComputeStatistics("min", minimum);

// ---------------------------------------------------------------- convolver

// Arguments: kernel (0 soft 39 taps, 1 up steep 367, 2 down steep 1017,
// 3 transient 1.5 ms "Classic"), oversampling factor (1 or 8), zero latency.
// The host chunk is 512 frames, times the factor; the resampler kernels have
// the same taps at every rate, the transient kernel is designed at the
// stage's rate.
void BM_FIRConvolver(benchmark::State& state) {
    vecInitDispatch();  // as at module load
    const int kernel = int(state.range(0)), factor = int(state.range(1));
    const bool zeroLatency = state.range(2) != 0;
    const double rate = 44100.0 * factor;
    CFIRKernel k;
    switch (kernel) {
        case 0: k = designFIRLowPass(44100, 0.00081, 10200, 16.3); break;
        case 1: k = designFIRLowPass(44100, 0.008, 10650, 16); break;
        case 2: k = designFIRLowPass(44100, 0.023, 11000, 16); break;
        default: k = designFIRTransient(rate, 0.0015, 0.0, kFIRTransientClassic); break;
    }
    CFIRConvolver conv;
    if (conv.prepare(k.taps.size(), CFIRConvolver::kDefaultBlockOrder, zeroLatency) || !conv.setKernel(k.taps))
        return state.SkipWithError("prepare failed");
    const size_t chunk = 512 * size_t(factor);
    std::vector<double> in(chunk), out(chunk);
    fillSignal(in.data(), chunk);
    for (auto _ : state) {
        conv.process(in.data(), out.data(), chunk);
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    state.SetLabel(vecKernelTable(vecActiveLevel())->name);
    state.counters["taps"] = double(k.taps.size());
    state.counters["per_sample"] =
        benchmark::Counter(double(chunk), benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void convolverCases(benchmark::internal::Benchmark* b) {
    b->ComputeStatistics("min", minimum);
    for (int64_t zero : {0, 1})
        for (int64_t factor : {1, 8})
            for (int64_t kernel : {0, 1, 2, 3}) b->Args({kernel, factor, zero});
}

BENCHMARK(BM_FIRConvolver)->Apply(convolverCases);

// The transient filter at 8X for trans times of 0.1, 1.5 and 10 ms (argument
// in tenths of a millisecond), "Classic" shape: one channel, one host chunk
// of 512 frames per iteration, so "per_host_sample" is the cost of one host
// sample of one channel.
void BM_TransientFilter8X(benchmark::State& state) {
    vecInitDispatch();
    const double seconds = double(state.range(0)) * 1e-4;
    const double rate = 44100.0 * 8;
    const CFIRKernel k = designFIRTransient(rate, seconds, 0.0, kFIRTransientClassic);
    CFIRConvolver conv;
    if (conv.prepare(k.taps.size(), CFIRConvolver::kDefaultBlockOrder, false) || !conv.setKernel(k.taps))
        return state.SkipWithError("prepare failed");
    const size_t chunk = 512 * 8;
    std::vector<double> in(chunk), out(chunk);
    fillSignal(in.data(), chunk);
    for (auto _ : state) {
        conv.process(in.data(), out.data(), chunk);
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    state.counters["taps"] = double(k.taps.size());
    state.counters["per_host_sample"] =
        benchmark::Counter(512.0, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

BENCHMARK(BM_TransientFilter8X)->Arg(1)->Arg(15)->Arg(100)->ComputeStatistics("min", minimum);

}  // namespace
