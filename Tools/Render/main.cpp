// tamblor-render: masters an audio file (or the built-in demo programme)
// through the plug-in bundle, loaded as a host loads it, and prints loudness
// and peak figures of the input and the output.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "Tools/Render/AudioFile.h"
#include "Tools/Render/DemoSignal.h"
#include "Tools/Render/LoudnessMeter.h"
#include "Tools/Render/Vst3Host.h"

#ifndef TAMBLOR_RENDER_DEFAULT_BUNDLE
#define TAMBLOR_RENDER_DEFAULT_BUNDLE "Tamblor.vst3"
#endif

namespace {

using namespace render;

const char kUsage[] =
    "usage: tamblor-render [options] (INPUT | --demo) [-o OUTPUT]\n"
    "\n"
    "  INPUT                 audio file to master (WAV, FLAC, AIFF, ...)\n"
    "  --demo                master the built-in demo programme instead\n"
    "  --demo-seconds S      length of the demo programme (default 6)\n"
    "  --rate HZ             sample rate of the demo programme (default 48000)\n"
    "  -o, --output FILE     write the result (.wav, .flac, .aiff; 24-bit)\n"
    "  --float               write 32-bit float samples (WAV, AIFF)\n"
    "  --plugin BUNDLE       the plug-in bundle (default: " TAMBLOR_RENDER_DEFAULT_BUNDLE ")\n"
    "  --block N             host block size in frames (default 512)\n"
    "  --f64                 process 64-bit samples (default 32-bit)\n"
    "  --realtime            run in real-time mode (default: offline rendering)\n"
    "  --set TITLE=TEXT      set a parameter by its title from display text (--set InGain=6)\n"
    "  --set-norm TITLE=V    set a parameter to a normalized value 0..1\n"
    "  --load-state FILE     apply a state chunk before rendering\n"
    "  --save-state FILE     save the state chunk after rendering\n"
    "  --list-params         print the parameters and their values\n"
    "  -h, --help            this text\n";

struct Options {
    std::string input, output, plugin = TAMBLOR_RENDER_DEFAULT_BUNDLE;
    bool demo = false, asFloat = false, is64 = false, realtime = false, listParams = false;
    double demoSeconds = 6.0, rate = 48000.0;
    int block = 512;
    std::vector<std::pair<std::string, std::string>> setText, setNorm;
    std::string loadState, saveState;
};

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
        } else if (a == "--float") {
            o->asFloat = true;
        } else if (a == "--f64") {
            o->is64 = true;
        } else if (a == "--realtime") {
            o->realtime = true;
        } else if (a == "--list-params") {
            o->listParams = true;
        } else if (a == "-o" || a == "--output") {
            if (!value(&o->output)) return fail(a + " needs a file", 2);
        } else if (a == "--plugin") {
            if (!value(&o->plugin)) return fail(a + " needs a bundle path", 2);
        } else if (a == "--load-state") {
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
            if (!value(&v) || !splitAssignment(v, &kv)) return fail(a + " needs TITLE=VALUE", 2);
            (a == "--set" ? o->setText : o->setNorm).push_back(kv);
        } else if (!a.empty() && a[0] == '-') {
            return fail("unknown option '" + a + "'\n\n" + kUsage, 2);
        } else if (o->input.empty()) {
            o->input = a;
        } else {
            return fail("more than one input file", 2);
        }
    }
    if (o->demo == !o->input.empty()) return fail(std::string("give an input file or --demo\n\n") + kUsage, 2);
    return -1;
}

std::string readFile(const std::string& path, std::vector<uint8_t>* out) {
    std::ifstream f(path, std::ios::binary);
    if (!f) return "cannot open '" + path + "'";
    out->assign(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
    return {};
}

std::string writeFile(const std::string& path, const std::vector<uint8_t>& data) {
    std::ofstream f(path, std::ios::binary);
    f.write(reinterpret_cast<const char*>(data.data()), std::streamsize(data.size()));
    return f ? std::string() : "cannot write '" + path + "'";
}

struct Figures {
    double loudness, samplePeak, truePeak;
};

Figures measure(const CAudioBuffer& buf) {
    CLoudnessMeter meter(int(buf.channels.size()), buf.sampleRate);
    std::vector<const double*> ptrs;
    for (const auto& ch : buf.channels) ptrs.push_back(ch.data());
    meter.process(ptrs.data(), buf.frames());
    return {meter.integratedLoudness(), CLoudnessMeter::toDecibels(meter.samplePeak()),
            CLoudnessMeter::toDecibels(meter.truePeak())};
}

std::string figure(double v, bool sign = false) {
    if (std::isinf(v)) return v < 0 ? "-inf" : "+inf";
    if (std::isnan(v)) return "-";
    if (std::fabs(v) < 0.005) v = 0.0;  // no "-0.00"
    char s[32];
    std::snprintf(s, sizeof s, sign ? "%+.2f" : "%.2f", v);
    return s;
}

void printTable(const Figures& in, const Figures& out) {
    std::printf("%-10s %14s %14s %14s\n", "", "Integrated", "Sample peak", "True peak");
    std::printf("%-10s %14s %14s %14s\n", "", "(LUFS)", "(dBFS)", "(dBTP)");
    std::printf("%-10s %14s %14s %14s\n", "Input", figure(in.loudness).c_str(), figure(in.samplePeak).c_str(),
                figure(in.truePeak).c_str());
    std::printf("%-10s %14s %14s %14s\n", "Output", figure(out.loudness).c_str(), figure(out.samplePeak).c_str(),
                figure(out.truePeak).c_str());
    std::printf("%-10s %14s %14s %14s\n", "Change", figure(out.loudness - in.loudness, true).c_str(),
                figure(out.samplePeak - in.samplePeak, true).c_str(), figure(out.truePeak - in.truePeak, true).c_str());
}

void listParameters(CVst3Plugin& plugin) {
    std::printf("%5s  %-10s %-16s %-8s %s\n", "id", "title", "value", "units", "flags");
    for (const CPluginParam& p : plugin.parameters()) {
        const double v = plugin.parameterValue(p.id);
        std::printf("%5u  %-10s %-16s %-8s 0x%X\n", unsigned(p.id), p.title.c_str(),
                    plugin.parameterText(p.id, v).c_str(), p.units.c_str(), unsigned(p.flags));
    }
}

// Runs the whole signal through the plug-in; the output is aligned to the
// input by dropping the reported latency and feeding that many zeros at the end.
std::string renderThrough(CVst3Plugin& plugin, const CAudioBuffer& in, int block, CAudioBuffer* out, int* latencyOut) {
    const int inCh = plugin.inputChannels(), outCh = plugin.outputChannels();
    const size_t frames = in.frames();
    out->sampleRate = in.sampleRate;
    out->channels.assign(size_t(outCh), std::vector<double>(frames, 0.0));

    std::vector<std::vector<double>> inBlock(size_t(inCh), std::vector<double>(size_t(block), 0.0));
    std::vector<std::vector<double>> outBlock(size_t(outCh), std::vector<double>(size_t(block), 0.0));
    std::vector<const double*> inPtrs;
    std::vector<double*> outPtrs;
    for (auto& ch : inBlock) inPtrs.push_back(ch.data());
    for (auto& ch : outBlock) outPtrs.push_back(ch.data());

    // A block without frames hands the settings over; the latency is read after it.
    plugin.process(inPtrs.data(), outPtrs.data(), 0);
    plugin.takeRestartFlags();
    const int latency = plugin.latency();

    size_t produced = 0;  // frames processed so far
    bool warned = false;
    while (produced < frames + size_t(latency)) {
        const int n = int(std::min<size_t>(size_t(block), frames + size_t(latency) - produced));
        for (int c = 0; c < inCh; ++c)
            for (int i = 0; i < n; ++i) {
                const size_t src = produced + size_t(i);
                inBlock[size_t(c)][size_t(i)] =
                    c < int(in.channels.size()) && src < frames ? in.channels[size_t(c)][src] : 0.0;
            }
        plugin.process(inPtrs.data(), outPtrs.data(), n);
        for (int c = 0; c < outCh; ++c)
            for (int i = 0; i < n; ++i) {
                const size_t t = produced + size_t(i);
                if (t >= size_t(latency) && t - size_t(latency) < frames)
                    out->channels[size_t(c)][t - size_t(latency)] = outBlock[size_t(c)][size_t(i)];
            }
        produced += size_t(n);
        if ((plugin.takeRestartFlags() & Steinberg::Vst::kLatencyChanged) && !warned) {
            const int now = plugin.latency();
            if (now != latency) {
                std::fprintf(stderr, "tamblor-render: warning: latency changed from %d to %d while rendering\n",
                             latency, now);
                warned = true;
            }
        }
    }
    *latencyOut = latency;
    return {};
}

}  // namespace

int main(int argc, char** argv) {
    Options opt;
    if (int code = parseArgs(argc, argv, &opt); code >= 0) return code;

    CAudioBuffer input;
    if (opt.demo) {
        input = makeDemoSignal(opt.rate, opt.demoSeconds);
    } else if (std::string err = readAudioFile(opt.input, &input); !err.empty()) {
        return fail(err);
    }

    CVst3Module module;
    if (std::string err = module.load(opt.plugin); !err.empty()) return fail(err);
    int latency = 0;
    CAudioBuffer output;
    {
        CVst3Plugin plugin;
        if (std::string err = plugin.create(module.factory()); !err.empty()) return fail(err);
        CProcessConfig config;
        config.sampleRate = input.sampleRate;
        config.maxBlock = opt.block;
        config.is64 = opt.is64;
        config.offline = !opt.realtime;
        config.channels = int(input.channels.size());
        if (std::string err = plugin.prepare(config); !err.empty()) return fail(err);

        if (!opt.loadState.empty()) {
            std::vector<uint8_t> chunk;
            if (std::string err = readFile(opt.loadState, &chunk); !err.empty()) return fail(err);
            if (std::string err = plugin.loadState(chunk); !err.empty()) return fail(opt.loadState + ": " + err);
        }
        for (const auto& [title, text] : opt.setText)
            if (std::string err = plugin.setParameter(title, text); !err.empty()) return fail(err, 2);
        for (const auto& [title, text] : opt.setNorm) {
            double v = 0.0;
            if (!parseNumber(text, &v)) return fail("'" + text + "' is not a number", 2);
            if (std::string err = plugin.setParameterNormalized(title, v); !err.empty()) return fail(err, 2);
        }
        if (opt.listParams) listParameters(plugin);

        if (std::string err = renderThrough(plugin, input, opt.block, &output, &latency); !err.empty()) return fail(err);

        if (!opt.saveState.empty()) {
            std::vector<uint8_t> chunk;
            if (std::string err = plugin.saveState(&chunk); !err.empty()) return fail(err);
            if (std::string err = writeFile(opt.saveState, chunk); !err.empty()) return fail(err);
        }
        std::printf("%s: %s, %.0f Hz, %zu channels in, %zu out, %zu frames, block %d, %s-bit, %s, latency %d\n\n",
                    plugin.className().c_str(), opt.demo ? "demo programme" : opt.input.c_str(), input.sampleRate,
                    input.channels.size(), output.channels.size(), input.frames(), opt.block, opt.is64 ? "64" : "32",
                    opt.realtime ? "real-time" : "offline", latency);
        plugin.close();
    }
    module.unload();

    printTable(measure(input), measure(output));
    if (!opt.output.empty()) {
        if (std::string err = writeAudioFile(opt.output, output, opt.asFloat); !err.empty()) return fail(err);
        std::printf("\nwritten: %s\n", opt.output.c_str());
    }
    return 0;
}
