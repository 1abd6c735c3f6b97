// Cost of the whole plug-in as a host runs it: one instance created through
// the module's factory, stereo 44.1 kHz in blocks of 512 frames of 32-bit
// samples through IAudioProcessor::process, product defaults with the
// oversampling factor set through its host parameter ("Oversmp"), on program
// material that keeps the limiter working; the host library runs the
// instance on this program's buffers as they are. Reported per stereo frame
// and as the real-time factor (seconds of audio per second of processing,
// one core).

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>
#include <numbers>
#include <random>
#include <string>
#include <vector>

#include <unistd.h>

#include "Audio/VST/PluginFactoryVST3.h"
#include "Core/Log.h"
#include "Host/PluginInstance.h"

namespace {

namespace sb = Steinberg;
namespace sv = Steinberg::Vst;

constexpr int kBlock = 512;
constexpr double kRate = 44100.0;

// One second of stereo program: a kick, noise bursts and partials, peaking
// about 6 dB over full scale so the limiter works throughout.
std::vector<std::vector<float>> program() {
    std::mt19937 rng(7);
    std::uniform_real_distribution<double> uni(-1.0, 1.0);
    constexpr double tau = 2.0 * std::numbers::pi;
    std::vector<std::vector<float>> x(2, std::vector<float>(size_t(kRate) / kBlock * kBlock));
    for (size_t i = 0; i < x[0].size(); ++i) {
        const double t = double(i) / kRate, beat = std::fmod(t, 0.46875);
        const double kick = 1.2 * std::exp(-beat / 0.12) * std::sin(tau * 55.0 * beat);
        const double body = 0.5 * std::sin(tau * 110.0 * t) + 0.3 * std::sin(tau * 440.0 * t + 1.0);
        const double hit = i % 5000 < 400 ? 0.6 * uni(rng) : 0.0;
        x[0][i] = float(kick + body + hit);
        x[1][i] = float(kick + 0.8 * body - hit);
    }
    return x;
}

// Resident set of this process in bytes (0 where /proc is missing).
double residentBytes() {
    std::FILE* f = std::fopen("/proc/self/statm", "r");
    if (!f) return 0.0;
    long size = 0, resident = 0;
    const int got = std::fscanf(f, "%ld %ld", &size, &resident);
    std::fclose(f);
    return got == 2 ? double(resident) * double(sysconf(_SC_PAGESIZE)) : 0.0;
}

// The module linked into this program, entered for one benchmark, and its
// factory; skips the benchmark when either is missing.
class CLinkedModule {
public:
    explicit CLinkedModule(benchmark::State& state) {
        kelSetLogSink({});
        m_entered = vst3ModuleEntry(reinterpret_cast<const void*>(&residentBytes));
        m_factory = m_entered ? vst3PluginFactory() : nullptr;
        if (!m_factory) state.SkipWithError(m_entered ? "no factory" : "the module did not start");
    }
    ~CLinkedModule() {
        if (m_factory) m_factory->release();
        if (m_entered) vst3ModuleExit();
    }
    CLinkedModule(const CLinkedModule&) = delete;
    CLinkedModule& operator=(const CLinkedModule&) = delete;
    sb::IPluginFactory* factory() const { return m_factory; }

private:
    bool m_entered = false;
    sb::IPluginFactory* m_factory = nullptr;
};

host::CHostSetup stereoSetup() {
    host::CHostSetup setup;
    setup.sampleRate = kRate;
    setup.maxBlock = kBlock;
    setup.offline = false;
    return setup;
}

// Instance start: creation through the factory to the first processed block
// (stereo 44.1 kHz, product defaults), and the resident memory that instance
// adds (measured on the first iteration, before freed pages can be reused).
void startPlugin(benchmark::State& state) {
    CLinkedModule module(state);
    if (!module.factory()) return;
    std::vector<float> in(kBlock, 0.25f), outL(kBlock), outR(kBlock);
    void* inPtrs[2] = {in.data(), in.data()};
    void* outPtrs[2] = {outL.data(), outR.data()};
    double residentGrowth = -1.0;
    for (auto _ : state) {
        const double before = residentBytes();
        auto plugin = std::make_unique<host::CPluginInstance>();
        if (!plugin->create(module.factory()).empty() || !plugin->prepare(stereoSetup()).empty()) {
            state.SkipWithError("no instance");
            break;
        }
        plugin->processDirect(inPtrs, outPtrs, kBlock);
        benchmark::DoNotOptimize(outL.data());
        if (residentGrowth < 0.0) residentGrowth = residentBytes() - before;

        state.PauseTiming();
        plugin.reset();
        state.ResumeTiming();
    }
    state.counters["resident_MB"] = std::max(residentGrowth, 0.0) / 1048576.0;
}

void runPlugin(benchmark::State& state) {
    CLinkedModule module(state);
    if (!module.factory()) return;
    host::CPluginInstance plugin;
    if (!plugin.create(module.factory()).empty()) {
        state.SkipWithError("no instance");
        return;
    }
    // The factor's host parameter and its value.
    const std::string factor = std::to_string(state.range(0)) + "X";
    sv::ParamID oversmp = 0;
    double value = 0.0;
    const bool canSwitch =
        plugin.findParameter("Oversmp", &oversmp).empty() && plugin.valueFromText(oversmp, factor, &value);
    if (!canSwitch && factor != "1X") {
        state.SkipWithError("no \"Oversmp\" host parameter");
        return;
    }
    if (!plugin.prepare(stereoSetup()).empty()) {
        state.SkipWithError("the instance refused the set-up");
        return;
    }
    auto x = program();
    std::vector<float> outL(kBlock), outR(kBlock);
    void* inPtrs[2] = {nullptr, nullptr};
    void* outPtrs[2] = {outL.data(), outR.data()};
    auto runSecond = [&]() {
        for (size_t s = 0; s < x[0].size(); s += kBlock) {
            inPtrs[0] = x[0].data() + s;
            inPtrs[1] = x[1].data() + s;
            plugin.processDirect(inPtrs, outPtrs, kBlock);
            benchmark::DoNotOptimize(outL.data());
        }
    };
    // The factor change with the first block, then its cross-fades.
    if (canSwitch) plugin.queuePoint(oversmp, value);
    runSecond();
    for (auto _ : state) runSecond();
    const double frames = double(x[0].size());
    state.counters["per_frame"] =
        benchmark::Counter(frames, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
    state.counters["rt_factor"] = benchmark::Counter(frames / kRate, benchmark::Counter::kIsIterationInvariantRate);
    state.counters["latency"] = double(plugin.latency());
    plugin.close();
}

}  // namespace

// Argument: the oversampling factor.
BENCHMARK(runPlugin)->Name("BM_PluginStereo44k")->Arg(1)->Arg(2)->Arg(4)->Arg(8)->Unit(benchmark::kMillisecond);
BENCHMARK(startPlugin)->Name("BM_PluginStart44k")->Iterations(3)->Unit(benchmark::kMillisecond);
