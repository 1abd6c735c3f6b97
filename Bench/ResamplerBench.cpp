// The resampler round trip (upsampler straight into downsampler, stereo,
// 512-frame host blocks at 44.1 kHz) at 2X, 4X and 8X, with the stages whose
// kernels have at most "tap limit" taps in polyphase form (0: none; 64: the
// default, the soft filters; 400: also the up end's steep filter; 2000:
// every stage) and the longer ones as zero insertion or decimation around
// the FIR module's block convolution. Limit 0 is the straightforward section.
// Counters: "per_host_sample" is the time per host sample frame (both
// channels); "realtime" is how many seconds of audio one second processes.
//
// Run: ./build/Bench/tamblor_bench --benchmark_filter=Resampler
#include <benchmark/benchmark.h>

#include <cmath>
#include <memory>
#include <vector>

#include "Audio/Plugin/AudioEnv.h"
#include "Audio/Params/AudioParam.h"
#include "Audio/Params/AudioParamCollector.h"
#include "Audio/Graph/Process.h"
#include "Audio/Graph/ProcessBuild.h"
#include "Audio/Graph/ProcessDef.h"
#include "Audio/Processes/Resampling/ModResampler.h"
#include "Audio/Vector/VecKernels.h"
#include "Core/Application.h"
#include "Product/ProductCreators.h"
#include "Tests/Support/SharedAudioDefs.h"

namespace {

constexpr int kBlock = 512;
constexpr double kRate = 44100.0;

struct RoundTrip {
    std::unique_ptr<CObject> root;
    CAudioEnv env;
    CAudioProcess* process = nullptr;
    bool ok = false;

    RoundTrip(int mode, size_t tapLimit) {
        vecInitDispatch();
        CApplication::StartOptions o;
        o.sharedDefinition = nullptr;
        o.creators = kelProductCreatorTable();
        if (CApplication::start(o) || shared_audio::addSharedAudio(CApplication::sharedObject())) return;
        root = std::make_unique<CObject>();
        using shared_audio::add;
        CObject* defs = add(root.get(), "core:object", "defs");
        CObject* main = add(defs, "audio:process-def", "modMain");
        shared_audio::param(main, "oversampling", "real", "0", "4", std::to_string(mode));
        for (const char* name : {"modUpsampler", "modDownsampler"}) {
            add(main, "audio:modResampler", name, {{"is-upsampler", name[3] == 'U' ? "true" : "false"}});
            add(main, "audio:param-remap", "", {{"orig", std::string(name) + ".mode"}, {"new", "oversampling"}});
        }
        if (defs->initTree()) return;
        auto collectorNode = createObject("audio:param-collector");
        auto* collector = dynamic_cast<CAudioParamCollector*>(collectorNode.get());
        root->attachChild(std::move(collectorNode));
        CObject* plugin = add(root.get(), "core:object", "plugin");
        env.setSampleRate(kRate);
        CAudioProcessBuild b(collector, &env);
        auto* def = dynamic_cast<const CAudioProcessDefBase*>(main);
        std::unique_ptr<CAudioProcessBase> proc = b.createProcess(*def);
        proc->setName("modMain");
        process = dynamic_cast<CAudioProcess*>(proc.get());
        plugin->attachChild(std::move(proc));
        if (process->build(*def, b)) return;
        auto* up = dynamic_cast<CModResampler*>(process->findProcess("modUpsampler"));
        if (!up) return;
        up->section().setPolyphaseTapLimit(tapLimit);
        CProcessConfig cfg;
        cfg.hostRate = cfg.maxSampleRate = kRate;
        cfg.maxChannels = 2;
        if (process->prepare(cfg)) return;
        process->setRate(kRate);
        process->setChannels(2);
        ok = true;
    }
    ~RoundTrip() {
        root.reset();
        CApplication::finish();
    }
};

void BM_ResamplerRoundTrip(benchmark::State& state) {
    const int mode = int(state.range(0));  // 2: 2X, 3: 4X, 4: 8X
    const auto tapLimit = size_t(state.range(1));
    RoundTrip rt(mode, tapLimit);
    if (!rt.ok) return state.SkipWithError("graph not built");
    std::vector<double> left(kBlock), right(kBlock);
    for (int i = 0; i < kBlock; ++i) {
        left[size_t(i)] = 0.5 * std::sin(0.05 * i);
        right[size_t(i)] = 0.3 * std::sin(0.31 * i);
    }
    CPortBuffers& in = rt.process->input(0);
    in.channels = 2;
    in.ch[0] = left.data();
    in.ch[1] = right.data();
    for (auto _ : state) {
        rt.process->update();
        rt.process->process(kBlock);
        benchmark::DoNotOptimize(rt.process->outputChannel(0, 0));
    }
    const double frames = double(state.iterations()) * kBlock;
    state.counters["per_host_sample"] =
        benchmark::Counter(frames, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    state.counters["realtime"] = benchmark::Counter(frames / kRate, benchmark::Counter::kIsRate);
    state.SetLabel(std::to_string(1 << (mode - 1)) + "X, polyphase up to " + std::to_string(tapLimit) + " taps");
}

}  // namespace

BENCHMARK(BM_ResamplerRoundTrip)->ArgsProduct({{2, 3, 4}, {0, 64, 400, 2000}});

namespace {

// One phase of a soft stage at the 8X rate: TAPS taps, 1024 outputs, two
// channels through vecCorrelate. ns per output sample of one channel.
void BM_PhaseSum(benchmark::State& state) {
    vecInitDispatch();
    const int taps = int(state.range(0));
    constexpr int kCount = 1024;
    std::vector<double> rev(static_cast<size_t>(taps));
    for (int t = 0; t < taps; ++t) rev[size_t(t)] = 1.0 / (1.0 + std::abs(2 * t - (taps - 1)));
    std::vector<double> x0(size_t(kCount + taps)), x1(x0.size()), y0(kCount), y1(kCount);
    for (size_t i = 0; i < x0.size(); ++i) {
        x0[i] = std::sin(0.05 * double(i));
        x1[i] = std::sin(0.31 * double(i));
    }
    for (auto _ : state) {
        vecCorrelate(rev.data(), taps, x0.data(), y0.data(), kCount, 0);
        vecCorrelate(rev.data(), taps, x1.data(), y1.data(), kCount, 0);
        benchmark::DoNotOptimize(y0.data());
        benchmark::DoNotOptimize(y1.data());
        benchmark::ClobberMemory();
    }
    state.counters["per_sample"] =
        benchmark::Counter(2.0 * kCount, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

}  // namespace

BENCHMARK(BM_PhaseSum)->Arg(19)->Arg(20);
