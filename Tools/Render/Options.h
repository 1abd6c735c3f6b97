#pragma once
// tamblor-render's command line: what a run was asked to do, parsed and
// checked before anything is loaded or read.

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "Tools/Render/AudioFile.h"

namespace render {

struct CRenderOptions {
    std::vector<std::string> inputs;  // none: the demo programme
    std::string output, plugin, preset, routing, loadState, saveState;
    bool demo = false, is64 = false, realtime = false, list = false, json = false;
    bool overwriteInput = false;
    bool formatGiven = false;
    CSampleFormat format = CSampleFormat::Int24;
    double demoSeconds = 6.0, rate = 48000.0;
    int block = 512;
    std::vector<std::pair<std::string, std::string>> setText, setNorm;

    // Several inputs: the folder for the outputs, the container written
    // ("wav", "flac", "aiff"; empty: the input's) and the renders run at once.
    std::string outputDir, container;
    int jobs = 0;  // 0: the number of cores
    // Delivery: a loudness target for the In Gain search, the gain reduction
    // it may need at most, one In Gain for all inputs, and a picture.
    std::optional<double> targetLufs;
    double maxGainReductionDb = 12.0;
    bool album = false;
    std::string plot;  // FILE.png or FILE.svg; with several inputs "png" or "svg"

    bool batch() const { return inputs.size() > 1 || !outputDir.empty(); }
};

// A failure to report: one line, and the exit code (1 for files and the
// plug-in, 2 for wrong requests).
struct CRenderFailure {
    std::string message;
    int code = 1;
    explicit operator bool() const { return !message.empty(); }
};

// Parses the arguments (without the program name). Returns -1 to go on, else
// the exit code: 0 after --help (the usage is printed), 2 after a message on
// stderr.
int parseRenderOptions(int argc, const char* const* argv, CRenderOptions* out);

// A decimal number written whole ("-1", "0.25", "1e-3"); no hexadecimal,
// infinities or trailing text.
bool parseDecimal(const std::string& text, double* out);

// Prints "tamblor-render: MESSAGE" on stderr and returns the code.
int reportFailure(const std::string& message, int code = 1);
inline int reportFailure(const CRenderFailure& failure) { return reportFailure(failure.message, failure.code); }

// Whether two paths name the same file (when both exist) or the same place
// (when one does not exist yet).
bool samePath(const std::string& a, const std::string& b);

extern const char kRenderUsage[];

}  // namespace render
