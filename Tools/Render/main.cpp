// tamblor-render: masters an audio file (or the built-in demo programme, or
// several files into a folder) through the plug-in bundle, loaded as a host
// loads it, and reports loudness, peaks, gain reduction and processing cost
// of the input and the output; optionally to a loudness target, for an album
// with one In Gain, with a picture of each render.
//
// Nothing is written for a render unless it wholly succeeds: the output file,
// the saved state and the picture go to temporary files beside their targets
// first and are renamed at the end.
#include <cstdio>
#include <exception>
#include <filesystem>
#include <new>
#include <string>
#include <vector>

#include "Tools/Render/BatchRunner.h"
#include "Tools/Render/Options.h"
#include "Tools/Render/PendingFiles.h"
#include "Tools/Render/Plot.h"
#include "Tools/Render/RenderJob.h"
#include "Tools/Render/Report.h"
#include "Host/Module.h"

namespace {

using namespace render;

void warnShortInputs(const CBatchResult& result) {
    for (const CTrackOutcome& t : result.tracks) {
        const CRenderReport& r = t.report;
        if (r.declaredFrames > r.frames)
            std::fprintf(stderr, "tamblor-render: '%s' is cut short: %zu of the %zu frames its header declares were read\n",
                         r.input.c_str(), r.frames, r.declaredFrames);
    }
}

int run(const CRenderOptions& opt) {
    std::vector<uint8_t> stateIn;
    if (!opt.loadState.empty())
        if (std::string err = readBoundedFile(opt.loadState, kMaxChunkBytes, &stateIn); !err.empty())
            return reportFailure(err);
    const std::vector<uint8_t>* state = opt.loadState.empty() ? nullptr : &stateIn;
    if (!opt.plot.empty() && !plotSupported()) return reportFailure("this build draws no plots", 2);

    host::CModule module;
    if (std::string err = module.load(opt.plugin); !err.empty()) return reportFailure(err);
    if (opt.list) {
        const CRenderFailure f = listPlugin(module.factory(), opt, state, opt.rate);
        return f ? reportFailure(f) : 0;
    }

    std::vector<CTrackJob> jobs;
    if (opt.batch()) {
        jobs = batchJobs(opt);
        std::error_code ec;
        if (!opt.outputDir.empty() && !std::filesystem::is_directory(opt.outputDir, ec) &&
            !std::filesystem::create_directories(opt.outputDir, ec))
            return reportFailure("cannot create the folder '" + opt.outputDir + "'");
    } else {
        jobs.push_back({opt.demo ? std::string() : opt.inputs.front(), opt.output, opt.plot});
    }
    const CBatchResult result = runTracks(module.factory(), opt, state, jobs);
    warnShortInputs(result);

    if (!opt.batch()) {
        const CTrackOutcome& t = result.tracks.front();
        if (t.failure) return reportFailure(t.failure);
        if (opt.json)
            printReportJson(stdout, t.report);
        else
            printReportTable(stdout, t.report);
        return 0;
    }
    std::vector<CSummaryRow> rows;
    for (size_t i = 0; i < jobs.size(); ++i) {
        const CTrackOutcome& t = result.tracks[i];
        rows.push_back({jobs[i].input, t.failure ? nullptr : &t.report, t.failure.message});
        if (t.failure && !opt.json) reportFailure("'" + jobs[i].input + "': " + t.failure.message, t.failure.code);
    }
    CSummaryAlbum album;
    if (opt.album && !result.albumFailure)
        album = {result.albumSearch.inGainDb, result.albumInLufs, result.albumOutLufs,
                 int(result.albumSearch.passes.size())};
    const CSummaryAlbum* albumRow = opt.album && !result.albumFailure ? &album : nullptr;
    if (opt.json)
        printSummaryJson(stdout, rows, albumRow);
    else
        printSummaryTable(stdout, rows, albumRow);
    return result.exitCode();
}

}  // namespace

int main(int argc, char** argv) {
    // Whatever escapes (memory running out, a library's exception) still ends
    // as one line and an exit code, never an abort.
    try {
        CRenderOptions opt;
        if (int code = parseRenderOptions(argc - 1, argv + 1, &opt); code >= 0) return code;
        return run(opt);
    } catch (const std::bad_alloc&) {
        return reportFailure("out of memory");
    } catch (const std::exception& e) {
        return reportFailure(e.what());
    }
}
