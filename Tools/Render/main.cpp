// tamblor-render: masters an audio file (or the built-in demo programme)
// through the plug-in bundle, loaded as a host loads it, and reports loudness,
// peaks, gain reduction and processing cost of the input and the output.
//
// Nothing is written unless the whole job succeeds: the output file and the
// saved state go to temporary files beside their targets first and are
// renamed at the end.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#ifdef _WIN32
#include <process.h>
#define getpid _getpid
#else
#include <unistd.h>
#endif

#include "Tools/Render/AudioFile.h"
#include "Tools/Render/DemoSignal.h"
#include "Tools/Render/Measure.h"
#include "Tools/Render/ParamText.h"
#include "Tools/Render/RenderLoop.h"
#include "Tools/Render/Report.h"
#include "Tools/Render/Vst3Host.h"

#ifndef TAMBLOR_RENDER_DEFAULT_BUNDLE
#define TAMBLOR_RENDER_DEFAULT_BUNDLE "Tamblor.vst3"
#endif

namespace fs = std::filesystem;

namespace {

using namespace render;

const char kDemoOutput[] = "tamblor-demo.wav";

const char kUsage[] =
    "usage: tamblor-render [options] [INPUT] [-o OUTPUT]\n"
    "\n"
    "  INPUT                 audio file to master (WAV, FLAC, AIFF, ...); without one\n"
    "                        the built-in demo programme is mastered into tamblor-demo.wav\n"
    "  -o, --output FILE     write the result (.wav, .flac, .aiff)\n"
    "  --bits 16|24|float    sample format written (default: the input's; the demo: 24)\n"
    "  --plugin BUNDLE       the plug-in bundle (default: ~/.vst3/Tamblor.vst3 if installed,\n"
    "                        else " TAMBLOR_RENDER_DEFAULT_BUNDLE ")\n"
    "  --preset NAME         select a factory program by name\n"
    "  --set NAME=VALUE      set a host parameter from its display text (--set OutGain=-1.0)\n"
    "  --set-norm NAME=V     set a host parameter to a normalized value 0..1\n"
    "  --state FILE          load a state chunk before rendering\n"
    "  --save-state FILE     save the state chunk after rendering\n"
    "  --block N             host block size in frames (default 512)\n"
    "  --double              process 64-bit samples (default 32-bit)\n"
    "  --realtime            run in real-time mode (default: offline rendering)\n"
    "  --demo                master the demo programme (the default without INPUT)\n"
    "  --demo-seconds S      length of the demo programme (default 6)\n"
    "  --rate HZ             sample rate of the demo programme (default 48000)\n"
    "  --json                print the report as one JSON object\n"
    "  --list                print the parameters and programs, then render\n"
    "  -h, --help            this text\n";

struct Options {
    std::string input, output, plugin, preset, loadState, saveState;
    bool demo = false, is64 = false, realtime = false, list = false, json = false;
    bool formatGiven = false;
    CSampleFormat format = CSampleFormat::Int24;
    double demoSeconds = 6.0, rate = 48000.0;
    int block = 512;
    std::vector<std::pair<std::string, std::string>> setText, setNorm;
};

// Exit codes: 1 for failures of files and plug-in, 2 for wrong requests.
int fail(const std::string& message, int code = 1) {
    std::fprintf(stderr, "tamblor-render: %s\n", message.c_str());
    return code;
}

bool splitAssignment(const std::string& s, std::pair<std::string, std::string>* out) {
    const size_t eq = s.find('=');
    if (eq == std::string::npos || eq == 0) return false;
    *out = {s.substr(0, eq), s.substr(eq + 1)};
    return true;
}

bool parseNumber(const std::string& s, double* out) {
    char* end = nullptr;
    *out = std::strtod(s.c_str(), &end);
    return !s.empty() && end && *end == 0;
}

std::string defaultBundle() {
#ifndef _WIN32
    if (const char* home = std::getenv("HOME")) {
        const std::string installed = std::string(home) + "/.vst3/Tamblor.vst3";
        std::error_code ec;
        if (fs::exists(CVst3Module::libraryPath(installed), ec)) return installed;
    }
#endif
    return TAMBLOR_RENDER_DEFAULT_BUNDLE;
}

// Returns -1 to go on, else the exit code.
int parseArgs(int argc, char** argv, Options* o) {
    std::vector<std::string> args(argv + 1, argv + argc);
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
            std::fputs(kUsage, stdout);
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
        } else if (a == "-o" || a == "--output") {
            if (!value(&o->output)) return fail(a + " needs a file", 2);
        } else if (a == "--bits") {
            if (!value(&v) || !parseSampleFormat(v, &o->format)) return fail("--bits takes 16, 24 or float", 2);
            o->formatGiven = true;
        } else if (a == "--plugin") {
            if (!value(&o->plugin)) return fail(a + " needs a bundle path", 2);
        } else if (a == "--preset") {
            if (!value(&o->preset)) return fail(a + " needs a program name", 2);
        } else if (a == "--state") {
            if (!value(&o->loadState)) return fail(a + " needs a file", 2);
        } else if (a == "--save-state") {
            if (!value(&o->saveState)) return fail(a + " needs a file", 2);
        } else if (a == "--block") {
            if (!value(&v) || !parseNumber(v, &d) || d < 1 || d > 65536 || d != std::floor(d))
                return fail("--block needs a frame count 1..65536", 2);
            o->block = int(d);
        } else if (a == "--demo-seconds") {
            if (!value(&v) || !parseNumber(v, &d) || d <= 0 || d > 600) return fail("--demo-seconds needs 0..600", 2);
            o->demoSeconds = d;
        } else if (a == "--rate") {
            if (!value(&v) || !parseNumber(v, &d) || d < 8000 || d > 768000) return fail("--rate needs a sample rate", 2);
            o->rate = d;
        } else if (a == "--set" || a == "--set-norm") {
            if (!value(&v) || !splitAssignment(v, &kv)) return fail(a + " needs NAME=VALUE", 2);
            (a == "--set" ? o->setText : o->setNorm).push_back(kv);
        } else if (!a.empty() && a[0] == '-' && a != "-") {
            return fail("unknown option '" + a + "' (see --help)", 2);
        } else if (o->input.empty()) {
            o->input = a;
        } else {
            return fail("more than one input file", 2);
        }
    }
    if (o->demo && !o->input.empty()) return fail("give an input file or --demo, not both", 2);
    if (o->input.empty()) {
        o->demo = true;
        if (o->output.empty()) o->output = kDemoOutput;
    }
    if (o->plugin.empty()) o->plugin = defaultBundle();
    return -1;
}

std::string readFile(const std::string& path, std::vector<uint8_t>* out) {
    std::ifstream f(path, std::ios::binary);
    if (!f) return "cannot read '" + path + "'";
    out->assign(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
    return {};
}

// A temporary name beside the target, with the target's extension (the
// audio writer picks the container by it).
std::string temporaryBeside(const std::string& target) {
    const fs::path p(target);
    fs::path tmp = p;
    tmp.replace_filename("." + p.filename().string() + ".part" + std::to_string(getpid()) + p.extension().string());
    return tmp.string();
}

// Files written to temporary names and renamed into place only by commit();
// whatever is left is removed on destruction.
class CPendingFiles {
public:
    ~CPendingFiles() {
        std::error_code ec;
        for (const auto& [tmp, target] : m_files) fs::remove(tmp, ec);
    }
    std::string add(const std::string& target) {
        m_files.emplace_back(temporaryBeside(target), target);
        return m_files.back().first;
    }
    std::string commit() {
        for (const auto& [tmp, target] : m_files) {
            std::error_code ec;
            fs::rename(tmp, target, ec);
            if (ec) return "cannot write '" + target + "': " + ec.message();
        }
        m_files.clear();
        return {};
    }

private:
    std::vector<std::pair<std::string, std::string>> m_files;
};

std::string writeBytes(const std::string& path, const std::vector<uint8_t>& data) {
    std::ofstream f(path, std::ios::binary);
    f.write(reinterpret_cast<const char*>(data.data()), std::streamsize(data.size()));
    f.close();
    return f ? std::string() : "cannot write '" + path + "'";
}

// The setting in dB a parameter's display text shows; 0 without the parameter.
double settingDb(const CVst3Plugin& plugin, const std::string& title) {
    double v = 0.0;
    return leadingNumber(plugin.parameterTextByTitle(title), &v) ? v : 0.0;
}

void listPlugin(const CVst3Plugin& plugin) {
    std::printf("%5s  %-10s %-16s %-8s %s\n", "id", "title", "value", "units", "flags");
    for (const CPluginParam& p : plugin.parameters()) {
        const double v = plugin.parameterValue(p.id);
        std::printf("%5u  %-10s %-16s %-8s 0x%X\n", unsigned(p.id), p.title.c_str(),
                    plugin.parameterText(p.id, v).c_str(), p.units.c_str(), unsigned(p.flags));
    }
    std::printf("\nprograms:\n");
    for (const std::string& name : plugin.programs()) std::printf("  %s\n", name.c_str());
    std::printf("\n");
}

int run(const Options& opt) {
    CAudioBuffer input;
    CSampleFormat format = CSampleFormat::Int24;
    if (opt.demo) {
        input = makeDemoSignal(opt.rate, opt.demoSeconds);
    } else if (std::string err = readAudioFile(opt.input, &input, &format); !err.empty()) {
        return fail(err);
    }
    if (opt.formatGiven) {
        format = opt.format;
    } else if (format == CSampleFormat::Float32 && !checkOutputFormat(opt.output, format).empty()) {
        format = CSampleFormat::Int24;  // a float input mastered to FLAC
    }
    if (!opt.output.empty())
        if (std::string err = checkOutputFormat(opt.output, format); !err.empty()) return fail(err, 2);

    std::vector<uint8_t> stateIn;
    if (!opt.loadState.empty())
        if (std::string err = readFile(opt.loadState, &stateIn); !err.empty()) return fail(err);

    CRenderReport report;
    report.plugin = opt.plugin;
    report.input = opt.demo ? "demo" : opt.input;
    report.preset = opt.preset;
    report.sampleRate = input.sampleRate;
    report.inChannels = int(input.channels.size());
    report.frames = input.frames();
    report.block = opt.block;
    report.is64 = opt.is64;

    CPendingFiles pending;
    CAudioBuffer output;
    CVst3Module module;
    if (std::string err = module.load(opt.plugin); !err.empty()) return fail(err);
    {
        CVst3Plugin plugin;
        if (std::string err = plugin.create(module.factory()); !err.empty()) return fail(err);
        report.className = plugin.className();
        CProcessConfig config;
        config.sampleRate = input.sampleRate;
        config.maxBlock = opt.block;
        config.is64 = opt.is64;
        config.offline = !opt.realtime;
        config.channels = int(input.channels.size());
        if (std::string err = plugin.prepare(config); !err.empty()) return fail(err);

        if (!opt.loadState.empty())
            if (std::string err = plugin.loadState(stateIn); !err.empty()) return fail(opt.loadState + ": " + err);
        if (!opt.preset.empty())
            if (std::string err = plugin.selectProgram(opt.preset); !err.empty()) return fail(err, 2);
        for (const auto& [title, text] : opt.setText)
            if (std::string err = plugin.setParameter(title, text); !err.empty()) return fail(err, 2);
        for (const auto& [title, text] : opt.setNorm) {
            double v = 0.0;
            if (!parseNumber(text, &v)) return fail("'" + text + "' is not a number", 2);
            if (std::string err = plugin.setParameterNormalized(title, v); !err.empty()) return fail(err, 2);
        }
        if (opt.list && !opt.json) listPlugin(plugin);

        CProgressBar bar(stderr);
        CRenderResult result;
        std::string err = renderThrough(plugin, input, opt.block, &output, &result,
                                        [&bar](double done) { bar.update(done); });
        bar.finish();
        if (!err.empty()) return fail(err);
        report.latency = result.latency;
        report.cpuSeconds = result.cpuSeconds;
        report.outChannels = int(output.channels.size());
        report.inGainDb = settingDb(plugin, "InGain");
        report.outGainDb = settingDb(plugin, "OutGain");

        if (!opt.saveState.empty()) {
            std::vector<uint8_t> chunk;
            if (err = plugin.saveState(&chunk); !err.empty()) return fail(err);
            if (err = writeBytes(pending.add(opt.saveState), chunk); !err.empty()) return fail(err);
        }
        plugin.close();
    }
    module.unload();

    if (!opt.output.empty()) {
        if (std::string err = writeAudioFile(pending.add(opt.output), output, format); !err.empty()) return fail(err);
        report.output = opt.output;
    }
    if (std::string err = pending.commit(); !err.empty()) return fail(err);

    report.in = measureSignal(input);
    report.out = measureSignal(output);
    report.maxGainReductionDb = maxGainReduction(input, output, report.inGainDb + report.outGainDb);
    report.overs = countOvers(output, report.outGainDb);
    if (opt.json)
        printReportJson(stdout, report);
    else
        printReportTable(stdout, report);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    Options opt;
    if (int code = parseArgs(argc, argv, &opt); code >= 0) return code;
    return run(opt);
}
