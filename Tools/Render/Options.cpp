#include "Tools/Render/Options.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "Host/Module.h"

#ifndef TAMBLOR_RENDER_DEFAULT_BUNDLE
#define TAMBLOR_RENDER_DEFAULT_BUNDLE "Tamblor.vst3"
#endif

namespace fs = std::filesystem;

namespace render {

const char kRenderUsage[] =
    "usage: tamblor-render [options] [INPUT] [-o OUTPUT]\n"
    "       tamblor-render [options] INPUT... -d DIR\n"
    "\n"
    "  INPUT                 audio file to master (WAV, FLAC, AIFF, ...); without one\n"
    "                        the built-in demo programme is mastered into tamblor-demo.wav\n"
    "  -o, --output FILE     write the result (.wav, .flac, .aiff)\n"
    "  -d, --output-dir DIR  with several inputs: write each result into DIR, its name kept\n"
    "  --format wav|flac|aiff  the container of the results in DIR (default: the input's)\n"
    "  -j, --jobs N          render N inputs at once, each in its own instance (default: cores)\n"
    "  --target-lufs L       find the In Gain that brings the output to L LUFS integrated\n"
    "                        (within 0.1 LU; the Out Gain set is the ceiling)\n"
    "  --max-gr DB           the gain reduction a target may need at most (default 12)\n"
    "  --album               with several inputs and a target: one In Gain for all, found\n"
    "                        from their loudness as one programme\n"
    "  --plot FILE.png|.svg  draw the render over time (several inputs: --plot png|svg,\n"
    "                        a picture beside each result)\n"
    "  --overwrite-input     allow the output to replace the input file\n"
    "  --bits 16|24|float    sample format written (default: the input's; the demo: 24)\n"
    "  --plugin BUNDLE       the plug-in bundle (default: ~/.vst3/Tamblor.vst3 if installed,\n"
    "                        else " TAMBLOR_RENDER_DEFAULT_BUNDLE ")\n"
    "  --preset NAME         select a factory program by name\n"
    "  --routing NAME        choose a routing preset by name (\"5.1 Surround (Multi)\"; --list\n"
    "                        shows them); by default the plug-in routes every channel of\n"
    "                        the file's width\n"
    "  --set NAME=VALUE      set a host parameter from its display text (--set OutGain=-1.0)\n"
    "  --set-norm NAME=V     set a host parameter to a normalized value 0..1\n"
    "  --state FILE          load a state chunk before rendering\n"
    "  --save-state FILE     save the state chunk after rendering\n"
    "  --block N             host block size in frames (default 512)\n"
    "  --double              process 64-bit samples (default 32-bit)\n"
    "  --realtime            run in real-time mode (default: offline rendering)\n"
    "  --demo                master the demo programme (the default without INPUT)\n"
    "  --demo-seconds S      length of the demo programme, more than 0 and at most 600 (default 6)\n"
    "  --rate HZ             sample rate of the demo programme (default 48000)\n"
    "  --json                print the report as one JSON object\n"
    "  --list                print the parameters and programs (nothing is rendered)\n"
    "  -h, --help            this text\n";

int reportFailure(const std::string& message, int code) {
    std::fprintf(stderr, "tamblor-render: %s\n", message.c_str());
    return code;
}

bool parseDecimal(const std::string& text, double* out) {
    // Digits, an optional point and exponent: strtod alone also takes "0x10", "inf" and "nan".
    size_t i = 0;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
    bool digits = false;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') ++i, digits = true;
    if (i < text.size() && text[i] == '.') {
        ++i;
        while (i < text.size() && text[i] >= '0' && text[i] <= '9') ++i, digits = true;
    }
    if (!digits) return false;
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        ++i;
        if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
        bool exponent = false;
        while (i < text.size() && text[i] >= '0' && text[i] <= '9') ++i, exponent = true;
        if (!exponent) return false;
    }
    if (i != text.size()) return false;
    errno = 0;
    *out = std::strtod(text.c_str(), nullptr);
    return errno == 0 && std::isfinite(*out);
}

bool samePath(const std::string& a, const std::string& b) {
    std::error_code ec;
    if (fs::exists(a, ec) && fs::exists(b, ec)) return fs::equivalent(a, b, ec);
    const fs::path pa = fs::weakly_canonical(fs::absolute(a, ec), ec);
    const fs::path pb = fs::weakly_canonical(fs::absolute(b, ec), ec);
    return pa == pb;
}

namespace {

const char kDemoOutput[] = "tamblor-demo.wav";

bool splitAssignment(const std::string& s, std::pair<std::string, std::string>* out) {
    const size_t eq = s.find('=');
    if (eq == std::string::npos || eq == 0) return false;
    *out = {s.substr(0, eq), s.substr(eq + 1)};
    return true;
}

std::string defaultBundle() {
#ifndef _WIN32
    if (const char* home = std::getenv("HOME")) {
        const std::string installed = std::string(home) + "/.vst3/Tamblor.vst3";
        std::error_code ec;
        if (fs::exists(host::CModule::libraryPath(installed), ec)) return installed;
    }
#endif
    return TAMBLOR_RENDER_DEFAULT_BUNDLE;
}

// The files a run reads and writes must be different files.
int checkPaths(const CRenderOptions& o) {
    struct Written {
        const char* what;
        const std::string& path;
    };
    std::vector<Written> written;
    if (!o.output.empty()) written.push_back({"output", o.output});
    if (!o.saveState.empty()) written.push_back({"saved state", o.saveState});
    if (!o.plot.empty() && !o.batch()) written.push_back({"plot", o.plot});
    for (size_t i = 0; i < written.size(); ++i)
        for (size_t j = i + 1; j < written.size(); ++j)
            if (samePath(written[i].path, written[j].path))
                return reportFailure(std::string("the ") + written[i].what + " and the " + written[j].what +
                                         " are the same file '" + written[j].path + "'",
                                     2);
    for (const std::string& in : o.inputs)
        for (const Written& w : written) {
            if (!samePath(w.path, in)) continue;
            if (&w.path == &o.output && !o.overwriteInput)
                return reportFailure("the output '" + w.path + "' is the input file (add --overwrite-input to replace it)",
                                     2);
            if (&w.path != &o.output)
                return reportFailure(std::string("the ") + w.what + " '" + w.path + "' would replace the input file", 2);
        }
    return -1;
}

bool endsWith(const std::string& s, const char* tail) {
    const std::string t(tail);
    return s.size() >= t.size() && s.compare(s.size() - t.size(), t.size(), t) == 0;
}

// The options of several inputs and of delivery go together only so.
int checkDelivery(const CRenderOptions& o) {
    if (o.inputs.size() > 1 && !o.output.empty())
        return reportFailure("-o names one output: with several inputs give -d DIR", 2);
    if (o.batch() && !o.saveState.empty()) return reportFailure("--save-state takes one input", 2);
    if (o.batch() && o.list) return reportFailure("--list takes no input", 2);
    if (!o.batch() && !o.container.empty()) return reportFailure("--format goes with -d DIR (use -o NAME.EXT)", 2);
    if (o.album && (o.inputs.size() < 2 || !o.targetLufs))
        return reportFailure("--album needs several inputs and --target-lufs", 2);
    if (!o.plot.empty()) {
        if (o.batch() && o.outputDir.empty())
            return reportFailure("with several inputs --plot draws beside the results: give -d DIR", 2);
        if (o.batch() && o.plot != "png" && o.plot != "svg")
            return reportFailure("with several inputs --plot takes png or svg (a picture beside each result)", 2);
        if (!o.batch() && !endsWith(o.plot, ".png") && !endsWith(o.plot, ".svg"))
            return reportFailure("--plot needs a .png or .svg file", 2);
    }
    return -1;
}

}  // namespace

int parseRenderOptions(int argc, const char* const* argv, CRenderOptions* o) {
    const std::vector<std::string> args(argv, argv + argc);
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto value = [&](std::string* v) {
            if (i + 1 >= args.size()) return false;
            *v = args[++i];
            return true;
        };
        std::string v;
        std::pair<std::string, std::string> kv;
        double d = 0.0;
        if (a == "-h" || a == "--help") {
            std::fputs(kRenderUsage, stdout);
            return 0;
        } else if (a == "--demo") {
            o->demo = true;
        } else if (a == "--double") {
            o->is64 = true;
        } else if (a == "--realtime") {
            o->realtime = true;
        } else if (a == "--list") {
            o->list = true;
        } else if (a == "--json") {
            o->json = true;
        } else if (a == "--overwrite-input") {
            o->overwriteInput = true;
        } else if (a == "-o" || a == "--output") {
            if (!value(&o->output) || o->output.empty()) return reportFailure(a + " needs a file", 2);
        } else if (a == "--bits") {
            if (!value(&v) || !parseSampleFormat(v, &o->format))
                return reportFailure("--bits takes 16, 24 or float", 2);
            o->formatGiven = true;
        } else if (a == "--plugin") {
            if (!value(&o->plugin)) return reportFailure(a + " needs a bundle path", 2);
        } else if (a == "--preset") {
            if (!value(&o->preset)) return reportFailure(a + " needs a program name", 2);
        } else if (a == "--routing") {
            if (!value(&o->routing) || o->routing.empty()) return reportFailure(a + " needs a routing preset name", 2);
        } else if (a == "--state") {
            if (!value(&o->loadState) || o->loadState.empty()) return reportFailure(a + " needs a file", 2);
        } else if (a == "--save-state") {
            if (!value(&o->saveState) || o->saveState.empty()) return reportFailure(a + " needs a file", 2);
        } else if (a == "--block") {
            if (!value(&v) || !parseDecimal(v, &d) || d < 1 || d > 65536 || d != std::floor(d))
                return reportFailure("--block needs a frame count 1..65536", 2);
            o->block = int(d);
        } else if (a == "--demo-seconds") {
            if (!value(&v) || !parseDecimal(v, &d) || !(d > 0) || d > 600)
                return reportFailure("--demo-seconds needs a length in seconds, more than 0 and at most 600", 2);
            o->demoSeconds = d;
        } else if (a == "--rate") {
            if (!value(&v) || !parseDecimal(v, &d) || d < 8000 || d > 768000 || d != std::floor(d))
                return reportFailure("--rate needs a sample rate in Hz, 8000..768000", 2);
            o->rate = d;
        } else if (a == "-d" || a == "--output-dir") {
            if (!value(&o->outputDir) || o->outputDir.empty()) return reportFailure(a + " needs a folder", 2);
        } else if (a == "--format") {
            if (!value(&v) || (v != "wav" && v != "flac" && v != "aiff"))
                return reportFailure("--format takes wav, flac or aiff", 2);
            o->container = v;
        } else if (a == "-j" || a == "--jobs") {
            if (!value(&v) || !parseDecimal(v, &d) || d < 1 || d > 256 || d != std::floor(d))
                return reportFailure(a + " needs a count 1..256", 2);
            o->jobs = int(d);
        } else if (a == "--target-lufs") {
            if (!value(&v) || !parseDecimal(v, &d) || d < -70 || d > 0)
                return reportFailure("--target-lufs needs a loudness in LUFS, -70..0", 2);
            o->targetLufs = d;
        } else if (a == "--max-gr") {
            if (!value(&v) || !parseDecimal(v, &d) || d < 0 || d > 60)
                return reportFailure("--max-gr needs a gain reduction in dB, 0..60", 2);
            o->maxGainReductionDb = d;
        } else if (a == "--album") {
            o->album = true;
        } else if (a == "--plot") {
            if (!value(&o->plot) || o->plot.empty()) return reportFailure(a + " needs a file (.png or .svg)", 2);
        } else if (a == "--set" || a == "--set-norm") {
            if (!value(&v) || !splitAssignment(v, &kv)) return reportFailure(a + " needs NAME=VALUE", 2);
            (a == "--set" ? o->setText : o->setNorm).push_back(kv);
        } else if (!a.empty() && a[0] == '-' && a != "-") {
            return reportFailure("unknown option '" + a + "' (see --help)", 2);
        } else {
            o->inputs.push_back(a);
        }
    }
    if (o->demo && !o->inputs.empty()) return reportFailure("give an input file or --demo, not both", 2);
    if (int code = checkDelivery(*o); code >= 0) return code;
    if (o->inputs.empty()) {
        o->demo = true;
        if (o->output.empty() && !o->list) o->output = kDemoOutput;
    }
    if (o->plugin.empty()) o->plugin = defaultBundle();
    return checkPaths(*o);
}

}  // namespace render
