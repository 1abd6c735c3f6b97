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
std::vector<std::vector<float>> program(double rate = kRate) {
    std::mt19937 rng(7);
    std::uniform_real_distribution<double> uni(-1.0, 1.0);
    constexpr double tau = 2.0 * std::numbers::pi;
    std::vector<std::vector<float>> x(2, std::vector<float>(size_t(rate) / kBlock * kBlock));
    const size_t burst = size_t(5000 * rate / kRate), burstOn = size_t(400 * rate / kRate);
    for (size_t i = 0; i < x[0].size(); ++i) {
        const double t = double(i) / rate, beat = std::fmod(t, 0.46875);
        const double kick = 1.2 * std::exp(-beat / 0.12) * std::sin(tau * 55.0 * beat);
        const double body = 0.5 * std::sin(tau * 110.0 * t) + 0.3 * std::sin(tau * 440.0 * t + 1.0);
        const double hit = i % burst < burstOn ? 0.6 * uni(rng) : 0.0;
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

host::CHostSetup stereoSetup(double rate = kRate) {
    host::CHostSetup setup;
    setup.sampleRate = rate;
    setup.maxBlock = kBlock;
    setup.offline = false;
    return setup;
}

// Instance start: creation through the factory to the first processed block
// (stereo at the rate of the argument, product defaults), and the resident
// memory that instance adds (measured on the first iteration, before freed
// pages can be reused; it includes what the module shares among instances).
void startPlugin(benchmark::State& state) {
    CLinkedModule module(state);
    if (!module.factory()) return;
    const double rate = double(state.range(0));
    std::vector<float> in(kBlock, 0.25f), outL(kBlock), outR(kBlock);
    void* inPtrs[2] = {in.data(), in.data()};
    void* outPtrs[2] = {outL.data(), outR.data()};
    double residentGrowth = -1.0;
    for (auto _ : state) {
        const double before = residentBytes();
        auto plugin = std::make_unique<host::CPluginInstance>();
        if (!plugin->create(module.factory()).empty() || !plugin->prepare(stereoSetup(rate)).empty()) {
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

// Sets a host parameter by the text the plug-in displays; false when it cannot.
bool setByText(host::CPluginInstance& plugin, const char* name, const std::string& text) {
    sv::ParamID id = 0;
    double value = 0.0;
    if (!plugin.findParameter(name, &id).empty() || !plugin.valueFromText(id, text, &value)) return false;
    plugin.queuePoint(id, value);
    return true;
}

// A stereo instance at a rate, ready and with a second of program run
// through it at an oversampling factor and limiter mode; null on failure.
std::unique_ptr<host::CPluginInstance> runningInstance(sb::IPluginFactory* factory, double rate, int factor,
                                                       const char* mode, const std::vector<std::vector<float>>& x) {
    auto plugin = std::make_unique<host::CPluginInstance>();
    if (!plugin->create(factory).empty() || !plugin->prepare(stereoSetup(rate)).empty()) return nullptr;
    if (!setByText(*plugin, "Oversmp", std::to_string(factor) + "X") && factor != 1) return nullptr;
    if (!setByText(*plugin, "Mode", mode)) return nullptr;
    std::vector<float> outL(kBlock), outR(kBlock);
    void* inPtrs[2] = {nullptr, nullptr};
    void* outPtrs[2] = {outL.data(), outR.data()};
    for (size_t s = 0; s < x[0].size(); s += kBlock) {
        inPtrs[0] = const_cast<float*>(x[0].data() + s);
        inPtrs[1] = const_cast<float*>(x[1].data() + s);
        plugin->processDirect(inPtrs, outPtrs, kBlock);
    }
    benchmark::DoNotOptimize(outL.data());
    return plugin;
}

// The resident memory one more stereo instance adds once it has run a
// second of program (arguments: the host rate, the oversampling factor and
// the limiter mode, 0 "TB-1" or 1 "AIGC-4"). A first instance, created
// before, holds what every instance of the module shares, so the figure is
// what a host pays for each instance it adds.
void residentPlugin(benchmark::State& state) {
    CLinkedModule module(state);
    if (!module.factory()) return;
    const double rate = double(state.range(0));
    const int factor = int(state.range(1));
    const char* mode = state.range(2) == 0 ? "TB-1" : "AIGC-4";
    const auto x = program(rate);
    auto first = runningInstance(module.factory(), rate, factor, mode, x);
    if (!first) {
        state.SkipWithError("no instance");
        return;
    }
    double growth = 0.0;
    for (auto _ : state) {
        const double before = residentBytes();
        auto plugin = runningInstance(module.factory(), rate, factor, mode, x);
        growth = residentBytes() - before;
        if (!plugin) {
            state.SkipWithError("no instance");
            return;
        }
        state.PauseTiming();
        plugin.reset();
        state.ResumeTiming();
    }
    state.counters["resident_MB"] = growth / 1048576.0;
    state.SetLabel(std::to_string(factor) + "X " + mode);
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
// Argument: the host rate.
BENCHMARK(startPlugin)->Name("BM_PluginStart")->Arg(44100)->Arg(192000)->Iterations(3)->Unit(benchmark::kMillisecond);
// Arguments: the host rate, the factor, the mode (0 TB-1, 1 AIGC-4). One
// iteration: later ones would reuse the pages the one before freed.
BENCHMARK(residentPlugin)
    ->Name("BM_PluginResident")
    ->ArgsProduct({{44100, 192000}, {1, 4, 8}, {0, 1}})
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);
