// Cost of the limiter sub-graph (input gain, rectifier, channel linker, mode
// switch with the gain computer, transient filter on the gain, fixed-latency
// pad, the two multiplications and the graph's alignment delays) on a stereo
// signal at 44.1 kHz, with the product's default settings (attack 1.5 ms,
// release 10 ms) and the limiter working on every peak. Reported per stereo
// frame and as the real-time factor (seconds of audio per second of
// processing, one core).
//
// The transient filter here is the test stand-in: a direct-form FIR (66 taps
// at 1.5 ms) behind a 128-sample delay.

#include <benchmark/benchmark.h>

#include <cmath>
#include <numbers>
#include <random>
#include <vector>

#include "Core/Log.h"
#include "Tests/Audio/Processes/LimiterGraph.h"

namespace {

constexpr int kBlock = 512;
constexpr double kRate = 44100.0;

// One second of stereo partials with transients, peaking around 4.
std::vector<std::vector<double>> music() {
    std::mt19937 rng(7);
    std::uniform_real_distribution<double> uni(-1.0, 1.0);
    constexpr double tau = 2.0 * std::numbers::pi;
    std::vector<std::vector<double>> x(2, std::vector<double>(size_t(kRate) / kBlock * kBlock));
    for (size_t i = 0; i < x[0].size(); ++i) {
        const double t = double(i) / kRate;
        const double body = (0.7 + 0.3 * std::sin(tau * 1.3 * t)) *
                            (1.1 * std::sin(tau * 110.0 * t) + 0.6 * std::sin(tau * 440.0 * t + 1.0));
        const double hit = i % 5000 < 40 ? 2.0 * uni(rng) : 0.0;
        x[0][i] = body + hit + 0.05 * uni(rng);
        x[1][i] = 0.8 * body - hit + 0.05 * uni(rng);
    }
    return x;
}

void runLimiter(benchmark::State& state) {
    kelSetLogSink({});
    if (CError e = limgraph::startApplication()) {
        state.SkipWithError(e.text().c_str());
        return;
    }
    {
        limgraph::CLimiterGraph g;
        if (CError e = g.build(2, kRate, kRate)) {
            state.SkipWithError(e.text().c_str());
        } else {
            g.setMode(int(state.range(0)));
            const auto x = music();
            std::vector<const double*> in(2);
            for (auto _ : state)
                for (size_t s = 0; s < x[0].size(); s += kBlock) {
                    in[0] = x[0].data() + s;
                    in[1] = x[1].data() + s;
                    g.runBlock(in, kBlock);
                    benchmark::DoNotOptimize(g.output(0));
                }
            const double frames = double(x[0].size());
            state.counters["per_frame"] =
                benchmark::Counter(frames, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
            state.counters["rt_factor"] = benchmark::Counter(frames / kRate, benchmark::Counter::kIsIterationInvariantRate);
        }
    }
    CApplication::finish();
}

}  // namespace

// Arguments: the mode index ("TB UNI" 6, "TB-4" 7).
BENCHMARK(runLimiter)->Name("BM_LimiterGraphStereo44k/TB_UNI")->Arg(6)->Unit(benchmark::kMillisecond);
BENCHMARK(runLimiter)->Name("BM_LimiterGraphStereo44k/TB-4")->Arg(7)->Unit(benchmark::kMillisecond);
