// Cost of the whole plug-in as a host runs it: one instance created through
// the module's factory, stereo 44.1 kHz in blocks of 512 frames of 32-bit
// samples through IAudioProcessor::process, product defaults with the
// oversampling factor set through its host parameter ("Oversmp"), on program
// material that keeps the limiter working. Reported per stereo frame and as
// the real-time factor (seconds of audio per second of processing, one core).

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numbers>
#include <random>
#include <string>
#include <vector>

#include <unistd.h>

#include "Audio/VST/PluginFactoryVST3.h"
#include "Core/Log.h"
#include "pluginterfaces/vst/ivstaudioprocessor.h"
#include "pluginterfaces/vst/ivstcomponent.h"
#include "pluginterfaces/vst/ivsteditcontroller.h"
#include "pluginterfaces/vst/ivstparameterchanges.h"

namespace {

namespace sb = Steinberg;
namespace sv = Steinberg::Vst;

constexpr int kBlock = 512;
constexpr double kRate = 44100.0;

// One point for one parameter, delivered with the first block.
class COnePoint : public sv::IParamValueQueue, public sv::IParameterChanges {
public:
    COnePoint(sv::ParamID id, double value) : m_id(id), m_value(value) {}
    sb::tresult PLUGIN_API queryInterface(const sb::TUID, void**) override { return sb::kNoInterface; }
    sb::uint32 PLUGIN_API addRef() override { return 1; }
    sb::uint32 PLUGIN_API release() override { return 1; }
    sv::ParamID PLUGIN_API getParameterId() override { return m_id; }
    sb::int32 PLUGIN_API getPointCount() override { return 1; }
    sb::tresult PLUGIN_API getPoint(sb::int32, sb::int32& offset, sv::ParamValue& value) override {
        offset = 0;
        value = m_value;
        return sb::kResultOk;
    }
    sb::tresult PLUGIN_API addPoint(sb::int32, sv::ParamValue, sb::int32&) override { return sb::kResultFalse; }
    sb::int32 PLUGIN_API getParameterCount() override { return 1; }
    sv::IParamValueQueue* PLUGIN_API getParameterData(sb::int32) override { return this; }
    sv::IParamValueQueue* PLUGIN_API addParameterData(const sv::ParamID&, sb::int32&) override { return nullptr; }

private:
    sv::ParamID m_id;
    double m_value;
};

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

// Instance start: creation through the factory to the first processed block
// (stereo 44.1 kHz, product defaults), and the resident memory that instance
// adds (measured on the first iteration, before freed pages can be reused).
void startPlugin(benchmark::State& state) {
    kelSetLogSink({});
    if (!vst3ModuleEntry(reinterpret_cast<const void*>(&startPlugin))) {
        state.SkipWithError("the module did not start");
        return;
    }
    sb::IPluginFactory* factory = vst3PluginFactory();
    sb::PClassInfo info{};
    if (!factory || factory->getClassInfo(0, &info) != sb::kResultOk) {
        state.SkipWithError("no factory");
        if (factory) factory->release();
        vst3ModuleExit();
        return;
    }
    std::vector<float> in(kBlock, 0.25f), outL(kBlock), outR(kBlock);
    float* inPtrs[2] = {in.data(), in.data()};
    float* outPtrs[2] = {outL.data(), outR.data()};
    double residentGrowth = -1.0;
    for (auto _ : state) {
        const double before = residentBytes();
        void* obj = nullptr;
        if (factory->createInstance(info.cid, sv::IComponent::iid, &obj) != sb::kResultOk) {
            state.SkipWithError("no instance");
            break;
        }
        auto* component = static_cast<sv::IComponent*>(obj);
        component->initialize(nullptr);
        sv::IAudioProcessor* processor = nullptr;
        component->queryInterface(sv::IAudioProcessor::iid, reinterpret_cast<void**>(&processor));
        sv::SpeakerArrangement arr = sv::SpeakerArr::kStereo;
        processor->setBusArrangements(&arr, 1, &arr, 1);
        sv::ProcessSetup setup{sv::kRealtime, sv::kSample32, kBlock, kRate};
        processor->setupProcessing(setup);
        component->setActive(true);
        processor->setProcessing(true);
        sv::AudioBusBuffers inBus, outBus;
        inBus.numChannels = outBus.numChannels = 2;
        inBus.channelBuffers32 = inPtrs;
        outBus.channelBuffers32 = outPtrs;
        sv::ProcessData data;
        data.processMode = sv::kRealtime;
        data.symbolicSampleSize = sv::kSample32;
        data.numSamples = kBlock;
        data.numInputs = data.numOutputs = 1;
        data.inputs = &inBus;
        data.outputs = &outBus;
        processor->process(data);
        benchmark::DoNotOptimize(outL.data());
        if (residentGrowth < 0.0) residentGrowth = residentBytes() - before;

        state.PauseTiming();
        processor->setProcessing(false);
        component->setActive(false);
        processor->release();
        component->terminate();
        component->release();
        state.ResumeTiming();
    }
    factory->release();
    state.counters["resident_MB"] = std::max(residentGrowth, 0.0) / 1048576.0;
    vst3ModuleExit();
}

void runPlugin(benchmark::State& state) {
    kelSetLogSink({});
    if (!vst3ModuleEntry(reinterpret_cast<const void*>(&runPlugin))) {
        state.SkipWithError("the module did not start");
        return;
    }
    sb::IPluginFactory* factory = vst3PluginFactory();
    sb::PClassInfo info{};
    void* obj = nullptr;
    sv::IComponent* component = nullptr;
    if (factory && factory->getClassInfo(0, &info) == sb::kResultOk &&
        factory->createInstance(info.cid, sv::IComponent::iid, &obj) == sb::kResultOk)
        component = static_cast<sv::IComponent*>(obj);
    if (factory) factory->release();
    if (!component || component->initialize(nullptr) != sb::kResultOk) {
        state.SkipWithError("no instance");
        vst3ModuleExit();
        return;
    }
    sv::IAudioProcessor* processor = nullptr;
    sv::IEditController* controller = nullptr;
    component->queryInterface(sv::IAudioProcessor::iid, reinterpret_cast<void**>(&processor));
    component->queryInterface(sv::IEditController::iid, reinterpret_cast<void**>(&controller));

    // The factor's host parameter and its value.
    const std::string factor = std::to_string(state.range(0)) + "X";
    int oversmp = -1;
    for (int i = 0; i < controller->getParameterCount(); ++i) {
        sv::ParameterInfo pi{};
        controller->getParameterInfo(i, pi);
        std::string title;
        for (const sv::TChar* c = pi.title; *c; ++c) title += char(*c);
        if (title == "Oversmp") oversmp = int(pi.id);
    }
    sv::ParamValue value = 0.0;
    if (oversmp >= 0) {
        sv::String128 text{};
        for (size_t i = 0; i < factor.size(); ++i) text[i] = sv::TChar(factor[i]);
        if (controller->getParamValueByString(sv::ParamID(oversmp), text, value) != sb::kResultOk) oversmp = -1;
    }
    if (oversmp < 0 && factor != "1X") {
        state.SkipWithError("no \"Oversmp\" host parameter");
    } else {
        sv::SpeakerArrangement arr = sv::SpeakerArr::kStereo;
        processor->setBusArrangements(&arr, 1, &arr, 1);
        sv::ProcessSetup setup{sv::kRealtime, sv::kSample32, kBlock, kRate};
        processor->setupProcessing(setup);
        component->setActive(true);
        processor->setProcessing(true);

        auto x = program();
        std::vector<float> outL(kBlock), outR(kBlock);
        float* inPtrs[2] = {nullptr, nullptr};
        float* outPtrs[2] = {outL.data(), outR.data()};
        sv::AudioBusBuffers inBus, outBus;
        inBus.numChannels = outBus.numChannels = 2;
        inBus.channelBuffers32 = inPtrs;
        outBus.channelBuffers32 = outPtrs;
        sv::ProcessData data;
        data.processMode = sv::kRealtime;
        data.symbolicSampleSize = sv::kSample32;
        data.numSamples = kBlock;
        data.numInputs = data.numOutputs = 1;
        data.inputs = &inBus;
        data.outputs = &outBus;
        COnePoint change(sv::ParamID(std::max(oversmp, 0)), value);
        auto runSecond = [&](bool first) {
            for (size_t s = 0; s < x[0].size(); s += kBlock) {
                inPtrs[0] = x[0].data() + s;
                inPtrs[1] = x[1].data() + s;
                data.inputParameterChanges = first && s == 0 && oversmp >= 0 ? &change : nullptr;
                processor->process(data);
                benchmark::DoNotOptimize(outL.data());
            }
        };
        runSecond(true);  // the factor change and its cross-fades
        for (auto _ : state) runSecond(false);
        const double frames = double(x[0].size());
        state.counters["per_frame"] =
            benchmark::Counter(frames, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
        state.counters["rt_factor"] = benchmark::Counter(frames / kRate, benchmark::Counter::kIsIterationInvariantRate);
        state.counters["latency"] = double(processor->getLatencySamples());
        processor->setProcessing(false);
        component->setActive(false);
    }
    processor->release();
    controller->release();
    component->terminate();
    component->release();
    vst3ModuleExit();
}

}  // namespace

// Argument: the oversampling factor.
BENCHMARK(runPlugin)->Name("BM_PluginStereo44k")->Arg(1)->Arg(2)->Arg(4)->Arg(8)->Unit(benchmark::kMillisecond);
BENCHMARK(startPlugin)->Name("BM_PluginStart44k")->Iterations(3)->Unit(benchmark::kMillisecond);
