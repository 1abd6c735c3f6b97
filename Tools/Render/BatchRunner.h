#pragma once
// Rendering a list of inputs with the same settings: each in its own
// plug-in instance, N at once on worker threads; with a loudness target,
// each searched on its own, or (--album) all with one In Gain found from
// the loudness of all the outputs as one programme. One file's failure does
// not stop the others.

#include <cstdint>
#include <string>
#include <vector>

#include "Tools/Render/LoudnessSearch.h"
#include "Tools/Render/Options.h"
#include "Tools/Render/Report.h"

namespace Steinberg {
class IPluginFactory;
}

namespace render {

struct CTrackJob {
    std::string input;   // a file, or empty for the demo programme
    std::string output;  // the file to write, or empty
    std::string plot;    // the picture to draw, or empty
};

struct CTrackOutcome {
    CRenderFailure failure;
    CRenderReport report;
    CSearchResult search;  // with a loudness target (and not --album)
};

struct CBatchResult {
    std::vector<CTrackOutcome> tracks;  // in the order of the jobs
    CRenderFailure albumFailure;        // a failure of the album's search (every track failed with it)
    CSearchResult albumSearch;
    double albumInLufs = 0.0, albumOutLufs = 0.0;
    int failed() const;
    int exitCode() const;  // 0, else the largest failure code
};

CBatchResult runTracks(Steinberg::IPluginFactory* factory, const CRenderOptions& options,
                       const std::vector<uint8_t>* state, const std::vector<CTrackJob>& jobs);

// The jobs for the options' inputs: outputs in options.outputDir (names kept,
// the extension from --format or the input), pictures beside them.
std::vector<CTrackJob> batchJobs(const CRenderOptions& options);

// Runs fn(0) .. fn(count - 1) on up to `threads` threads.
void parallelFor(size_t count, int threads, const std::function<void(size_t)>& fn);

}  // namespace render
