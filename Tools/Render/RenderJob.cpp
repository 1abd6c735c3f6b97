#include "Tools/Render/RenderJob.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <mutex>

#include "Tools/Render/Measure.h"
#include "Tools/Render/ParamText.h"
#include "Tools/Render/PluginSettings.h"
#include "Tools/Render/RenderLoop.h"

namespace render {

namespace {

// Instances are created, set up and closed one at a time, as a host does on
// its main thread; only the processing runs side by side.
std::mutex g_setupLock;

// The setting in dB a parameter's display text shows; 0 without the parameter.
double settingDb(const host::CPluginInstance& plugin, const std::string& title) {
    double v = 0.0;
    return leadingNumber(parameterTextByTitle(plugin, title), &v) ? v : 0.0;
}

// A fresh instance, prepared for the input's rate and channels, with the
// run's state, program and parameters applied.
CRenderFailure createConfigured(Steinberg::IPluginFactory* factory, const CRenderOptions& o,
                                const std::vector<uint8_t>* state, double sampleRate, int channels,
                                host::CPluginInstance* plugin) {
    if (std::string err = plugin->create(factory); !err.empty()) return {err, 1};
    host::CHostSetup config;
    config.sampleRate = sampleRate;
    config.maxBlock = o.block;
    config.is64 = o.is64;
    config.offline = !o.realtime;
    config.channels = channels;
    if (std::string err = plugin->prepare(config); !err.empty()) return {err, 1};
    if (state)
        if (std::string err = plugin->loadState(*state); !err.empty()) return {o.loadState + ": " + err, 1};
    if (!o.preset.empty())
        if (std::string err = plugin->selectProgram(o.preset); !err.empty()) return {err, 2};
    if (!o.routing.empty())
        if (std::string err = plugin->selectProgram(o.routing, "Routing"); !err.empty()) return {err, 2};
    for (const auto& [title, text] : o.setText)
        if (std::string err = setParameter(*plugin, title, text); !err.empty()) return {err, 2};
    for (const auto& [title, text] : o.setNorm) {
        double v = 0.0;
        if (!parseDecimal(text, &v)) return {"'" + text + "' is not a number", 2};
        if (std::string err = setParameterNormalized(*plugin, title, v); !err.empty()) return {err, 2};
    }
    return {};
}

void printParameters(const host::CPluginInstance& plugin) {
    std::printf("%5s  %-10s %-16s %-8s %s\n", "id", "title", "value", "units", "flags");
    for (const host::CPluginParam& p : plugin.parameters()) {
        const double v = plugin.parameterValue(p.id);
        std::printf("%5u  %-10s %-16s %-8s 0x%X\n", unsigned(p.id), p.title.c_str(),
                    plugin.parameterText(p.id, v).c_str(), p.units.c_str(), unsigned(p.flags));
    }
    std::printf("\nprograms:\n");
    for (const std::string& name : plugin.programs()) std::printf("  %s\n", name.c_str());
    const std::vector<std::string> routings = plugin.programs("Routing");
    if (!routings.empty()) std::printf("\nrouting presets (--routing):\n");
    for (const std::string& name : routings) std::printf("  %s\n", name.c_str());
}

}  // namespace

CRenderFailure renderJob(Steinberg::IPluginFactory* factory, const CJobRequest& request, const CAudioBuffer& input,
                         CJobResult* result) {
    const CRenderOptions& o = *request.options;
    std::unique_lock setup(g_setupLock);  // before the instance: held again when it goes
    host::CPluginInstance plugin;
    if (CRenderFailure f = createConfigured(factory, o, request.state, input.sampleRate,
                                            int(input.channels.size()), &plugin))
        return f;
    if (request.inGainDb) {
        double lo = 0.0, hi = 0.0;
        if (std::string err = parameterRange(plugin, "InGain", &lo, &hi); !err.empty()) return {err, 2};
        result->inGainMinDb = lo;
        result->inGainMaxDb = hi;
        if (std::string err = setParameterNumber(plugin, "InGain", std::clamp(*request.inGainDb, lo, hi)); !err.empty())
            return {err, 1};
    } else {
        parameterRange(plugin, "InGain", &result->inGainMinDb, &result->inGainMaxDb);
    }
    result->className = plugin.className();
    setup.unlock();

    CProgressBar bar(request.progress ? stderr : nullptr);
    CRenderResult rendered;
    const std::string err = renderThrough(plugin, input, o.block, &result->output, &rendered,
                                          [&bar](double done) { bar.update(done); });
    bar.finish();
    setup.lock();
    if (!err.empty()) return {err, 1};
    result->latency = rendered.latency;
    result->cpuSeconds = rendered.cpuSeconds;
    result->inGainDb = settingDb(plugin, "InGain");
    result->outGainDb = settingDb(plugin, "OutGain");
    const std::string dither = parameterTextByTitle(plugin, "DithEnb");
    result->ditherOn = !dither.empty() && displayTextAgrees("On", dither);
    result->routing = parameterTextByTitle(plugin, "Routing");
    if (request.saveState)
        if (std::string e = plugin.saveState(&result->state); !e.empty()) return {e, 1};
    plugin.close();
    return {};
}

CRenderFailure listPlugin(Steinberg::IPluginFactory* factory, const CRenderOptions& options,
                          const std::vector<uint8_t>* state, double sampleRate) {
    std::lock_guard setup(g_setupLock);
    host::CPluginInstance plugin;
    if (CRenderFailure f = createConfigured(factory, options, state, sampleRate, 2, &plugin)) return f;
    printParameters(plugin);
    plugin.close();
    return {};
}

void measureJob(const CAudioBuffer& input, const CJobResult& job, CRenderReport* report) {
    report->className = job.className;
    report->latency = job.latency;
    report->cpuSeconds = job.cpuSeconds;
    report->outChannels = int(job.output.channels.size());
    report->inGainDb = job.inGainDb;
    report->outGainDb = job.outGainDb;
    report->routing = job.routing;
    report->in = measureSignal(input);
    report->out = measureSignal(job.output);
    report->maxGainReductionDb = maxGainReduction(input, job.output, job.inGainDb + job.outGainDb);
    report->overs = countOvers(job.output, job.outGainDb);
}

}  // namespace render
