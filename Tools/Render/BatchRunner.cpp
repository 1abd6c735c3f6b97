#include "Tools/Render/BatchRunner.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <filesystem>
#include <thread>

#include "Tools/Render/AudioFile.h"
#include "Tools/Render/DemoSignal.h"
#include "Tools/Render/Measure.h"
#include "Tools/Render/PendingFiles.h"
#include "Tools/Render/Plot.h"
#include "Tools/Render/RenderJob.h"

namespace fs = std::filesystem;

namespace render {

int CBatchResult::failed() const {
    return int(std::count_if(tracks.begin(), tracks.end(), [](const CTrackOutcome& t) { return bool(t.failure); }));
}

int CBatchResult::exitCode() const {
    int code = 0;
    for (const CTrackOutcome& t : tracks)
        if (t.failure) code = std::max(code, t.failure.code);
    return code;
}

void parallelFor(size_t count, int threads, const std::function<void(size_t)>& fn) {
    const size_t n = std::min(count, size_t(std::max(1, threads)));
    if (n <= 1) {
        for (size_t i = 0; i < count; ++i) fn(i);
        return;
    }
    std::atomic<size_t> next{0};
    std::vector<std::thread> workers;
    for (size_t w = 0; w < n; ++w)
        workers.emplace_back([&] {
            for (size_t i = next++; i < count; i = next++) fn(i);
        });
    for (std::thread& t : workers) t.join();
}

std::vector<CTrackJob> batchJobs(const CRenderOptions& o) {
    std::vector<CTrackJob> jobs;
    for (const std::string& in : o.inputs) {
        CTrackJob job;
        job.input = in;
        if (!o.outputDir.empty()) {
            fs::path out = fs::path(o.outputDir) / fs::path(in).filename();
            if (!o.container.empty()) out.replace_extension("." + o.container);
            job.output = out.string();
            if (!o.plot.empty()) job.plot = fs::path(out).replace_extension("." + o.plot).string();
        }
        jobs.push_back(job);
    }
    return jobs;
}

namespace {

// One track between the steps: its input, and the render kept for writing.
struct CTrack {
    const CTrackJob* job = nullptr;
    CAudioBuffer input;
    CSampleFormat format = CSampleFormat::Int24;
    size_t declaredFrames = 0;
    CJobResult render;
};

int threadCount(const CRenderOptions& o) {
    if (o.jobs > 0) return o.jobs;
    return int(std::max(1u, std::thread::hardware_concurrency()));
}

CRenderFailure loadTrack(const CRenderOptions& o, CTrack* t, CTrackOutcome* outcome) {
    const CTrackJob& job = *t->job;
    if (job.input.empty()) {
        t->input = makeDemoSignal(o.rate, o.demoSeconds);
        t->declaredFrames = t->input.frames();
    } else if (std::string err = readAudioFile(job.input, &t->input, &t->format, &t->declaredFrames); !err.empty()) {
        return {err, 1};
    }
    if (o.formatGiven) {
        t->format = o.format;
    } else if (t->format == CSampleFormat::Float32 && !checkOutputFormat(job.output, t->format).empty()) {
        t->format = CSampleFormat::Int24;  // a float input mastered to FLAC
    }
    if (!job.output.empty()) {
        if (std::string err = checkOutputFormat(job.output, t->format); !err.empty()) return {err, 2};
        if (!o.overwriteInput && !job.input.empty() && samePath(job.output, job.input))
            return {"the output '" + job.output + "' is the input file (add --overwrite-input to replace it)", 2};
    }
    CRenderReport& r = outcome->report;
    r.plugin = o.plugin;
    r.input = job.input.empty() ? std::string("demo") : job.input;
    r.preset = o.preset;
    r.sampleRate = t->input.sampleRate;
    r.inChannels = int(t->input.channels.size());
    r.frames = t->input.frames();
    r.declaredFrames = t->declaredFrames;
    r.block = o.block;
    r.is64 = o.is64;
    if (o.targetLufs) r.targetLufs = *o.targetLufs;
    return {};
}

CLoudnessTarget targetOf(const CRenderOptions& o, const CJobResult& probe) {
    CLoudnessTarget t;
    t.lufs = *o.targetLufs;
    t.maxGainReductionDb = o.maxGainReductionDb;
    t.minInGainDb = probe.inGainMinDb;
    t.maxInGainDb = probe.inGainMaxDb;
    t.startInGainDb = probe.inGainDb;
    return t;
}

// Writes the track's result (output, saved state, picture) and fills the
// report's figures.
CRenderFailure finishTrack(const CRenderOptions& o, CTrack* t, CTrackOutcome* outcome) {
    CRenderReport& r = outcome->report;
    measureJob(t->input, t->render, &r);
    r.ditherOff = !t->render.ditherOn;
    CPendingFiles pending;
    const CTrackJob& job = *t->job;
    if (!o.saveState.empty())
        if (std::string err = writeBytes(pending.add(o.saveState), t->render.state); !err.empty()) return {err, 1};
    if (!job.output.empty()) {
        if (std::string err = writeAudioFile(pending.add(job.output), t->render.output, t->format); !err.empty())
            return {err, 1};
        r.output = job.output;
        r.outputFormat = t->format;
    }
    if (!job.plot.empty()) {
        if (std::string err = drawPlot(pending.add(job.plot), t->input, t->render.output, r); !err.empty())
            return {err, 1};
        r.plot = job.plot;
    }
    if (std::string err = pending.commit(); !err.empty()) return {err, 1};
    return {};
}

// One track on its own: a render, or a search for its loudness target.
CRenderFailure runTrack(Steinberg::IPluginFactory* factory, const CRenderOptions& o,
                        const std::vector<uint8_t>* state, bool progress, CTrack* t, CTrackOutcome* outcome) {
    if (CRenderFailure f = loadTrack(o, t, outcome)) return f;
    CJobRequest request;
    request.options = &o;
    request.state = state;
    request.saveState = !o.saveState.empty();
    request.progress = progress && !o.targetLufs;
    if (CRenderFailure f = renderJob(factory, request, t->input, &t->render)) return f;
    if (o.targetLufs) {
        const CLoudnessTarget target = targetOf(o, t->render);
        bool first = true;  // the render above is the first pass
        auto pass = [&](double gain, CSearchPass* p) -> CRenderFailure {
            if (!first) {
                request.inGainDb = gain;
                if (CRenderFailure f = renderJob(factory, request, t->input, &t->render)) return f;
            }
            first = false;
            p->loudness = integratedLoudness(t->render.output);
            p->gainReductionDb =
                maxGainReduction(t->input, t->render.output, t->render.inGainDb + t->render.outGainDb);
            return {};
        };
        if (CRenderFailure f = searchInGain(target, pass, &outcome->search)) return f;
        outcome->report.searchPasses = int(outcome->search.passes.size());
    }
    return finishTrack(o, t, outcome);
}

// All tracks with one In Gain, searched on the album's loudness.
void runAlbum(Steinberg::IPluginFactory* factory, const CRenderOptions& o, const std::vector<uint8_t>* state,
              std::vector<CTrack>& tracks, CBatchResult* result) {
    const int threads = threadCount(o);
    parallelFor(tracks.size(), threads, [&](size_t i) {
        result->tracks[i].failure = loadTrack(o, &tracks[i], &result->tracks[i]);
    });
    std::vector<size_t> live;
    for (size_t i = 0; i < tracks.size(); ++i)
        if (!result->tracks[i].failure) live.push_back(i);
    if (live.empty()) return;
    const CTrack& first = tracks[live.front()];
    for (size_t i : live)
        if (tracks[i].input.sampleRate != first.input.sampleRate ||
            tracks[i].input.channels.size() != first.input.channels.size())
            result->albumFailure = {"an album's files need one sample rate and channel count ('" +
                                        tracks[i].job->input + "' differs from '" + first.job->input + "')",
                                    2};
    CJobRequest request;
    request.options = &o;
    request.state = state;
    auto renderAll = [&](std::optional<double> gain) {
        std::vector<CRenderFailure> failures(tracks.size());
        request.inGainDb = gain;
        parallelFor(live.size(), threads, [&](size_t k) {
            failures[live[k]] = renderJob(factory, request, tracks[live[k]].input, &tracks[live[k]].render);
        });
        for (size_t i : live)
            if (failures[i]) return failures[i];
        return CRenderFailure{};
    };
    auto album = [&](bool outputs) {
        std::vector<const CAudioBuffer*> parts;
        for (size_t i : live) parts.push_back(outputs ? &tracks[i].render.output : &tracks[i].input);
        return integratedLoudness(parts);
    };
    if (!result->albumFailure) result->albumFailure = renderAll(std::nullopt);
    if (!result->albumFailure) {
        const CLoudnessTarget target = targetOf(o, tracks[live.front()].render);
        bool firstPass = true;
        auto pass = [&](double gain, CSearchPass* p) -> CRenderFailure {
            if (!firstPass)
                if (CRenderFailure f = renderAll(gain)) return f;
            firstPass = false;
            p->loudness = album(true);
            p->gainReductionDb = 0.0;
            for (size_t i : live) {
                const CJobResult& r = tracks[i].render;
                p->gainReductionDb = std::max(p->gainReductionDb,
                                              maxGainReduction(tracks[i].input, r.output, r.inGainDb + r.outGainDb));
            }
            return {};
        };
        result->albumFailure = searchInGain(target, pass, &result->albumSearch);
    }
    if (result->albumFailure) {
        for (size_t i : live) result->tracks[i].failure = result->albumFailure;
        return;
    }
    result->albumInLufs = album(false);
    result->albumOutLufs = album(true);
    parallelFor(live.size(), threads, [&](size_t k) {
        CTrackOutcome& outcome = result->tracks[live[k]];
        outcome.report.album = true;
        outcome.report.albumInLufs = result->albumInLufs;
        outcome.report.albumOutLufs = result->albumOutLufs;
        outcome.report.searchPasses = int(result->albumSearch.passes.size());
        outcome.failure = finishTrack(o, &tracks[live[k]], &outcome);
    });
}

}  // namespace

CBatchResult runTracks(Steinberg::IPluginFactory* factory, const CRenderOptions& o,
                       const std::vector<uint8_t>* state, const std::vector<CTrackJob>& jobs) {
    CBatchResult result;
    result.tracks.resize(jobs.size());
    std::vector<CTrack> tracks(jobs.size());
    for (size_t i = 0; i < jobs.size(); ++i) tracks[i].job = &jobs[i];
    if (o.album) {
        runAlbum(factory, o, state, tracks, &result);
        return result;
    }
    const bool progress = jobs.size() == 1;
    parallelFor(jobs.size(), threadCount(o), [&](size_t i) {
        result.tracks[i].failure = runTrack(factory, o, state, progress, &tracks[i], &result.tracks[i]);
        CAudioBuffer().channels.swap(tracks[i].input.channels);  // done with it: free the memory early
        CAudioBuffer().channels.swap(tracks[i].render.output.channels);
    });
    return result;
}

}  // namespace render
