#include "Tools/Render/Report.h"

#include <cmath>

namespace render {

namespace {

std::string figure(double v, bool sign = false) {
    if (std::isinf(v)) return v < 0 ? "-inf" : "+inf";
    if (std::isnan(v)) return "-";
    if (std::fabs(v) < 0.005) v = 0.0;  // no "-0.00"
    char s[32];
    std::snprintf(s, sizeof s, sign ? "%+.2f" : "%.2f", v);
    return s;
}

}  // namespace

std::string jsonString(const std::string& s) {
    std::string out = "\"";
    for (const char ch : s) {
        const auto c = static_cast<unsigned char>(ch);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += char(c);
        } else if (c < 0x20) {
            char esc[8];
            std::snprintf(esc, sizeof esc, "\\u%04x", c);
            out += esc;
        } else {
            out += char(c);
        }
    }
    return out + "\"";
}

std::string jsonNumber(double v, int decimals) {
    if (!std::isfinite(v)) return "null";
    if (std::fabs(v) < 0.5 * std::pow(10.0, -decimals)) v = 0.0;
    char s[48];
    std::snprintf(s, sizeof s, "%.*f", decimals, v);
    return s;
}

void printReportTable(std::FILE* f, const CRenderReport& r) {
    std::fprintf(f, "%s: %s, %.0f Hz, %d channels in, %d out, %.2f s, block %d, %s-bit, latency %d samples\n",
                 r.className.c_str(), r.input.c_str(), r.sampleRate, r.inChannels, r.outChannels, r.seconds(),
                 r.block, r.is64 ? "64" : "32", r.latency);
    if (!r.preset.empty()) std::fprintf(f, "preset: %s\n", r.preset.c_str());
    std::fprintf(f, "\n%-8s %11s %10s %12s %10s\n", "", "Integrated", "Range", "Sample peak", "True peak");
    std::fprintf(f, "%-8s %11s %10s %12s %10s\n", "", "(LUFS)", "(LU)", "(dBFS)", "(dBTP)");
    auto row = [&](const char* name, const CSignalFigures& s) {
        std::fprintf(f, "%-8s %11s %10s %12s %10s\n", name, figure(s.integrated).c_str(),
                     figure(s.loudnessRange).c_str(), figure(s.samplePeak).c_str(), figure(s.truePeak).c_str());
    };
    row("Input", r.in);
    row("Output", r.out);
    std::fprintf(f, "%-8s %11s %10s %12s %10s\n", "Change", figure(r.out.integrated - r.in.integrated, true).c_str(),
                 figure(r.out.loudnessRange - r.in.loudnessRange, true).c_str(),
                 figure(r.out.samplePeak - r.in.samplePeak, true).c_str(),
                 figure(r.out.truePeak - r.in.truePeak, true).c_str());
    std::fprintf(f, "\nIn Gain %s dB, Out Gain %s dB\n", figure(r.inGainDb, true).c_str(),
                 figure(r.outGainDb, true).c_str());
    std::fprintf(f, "max gain reduction  %s dB\n", figure(r.maxGainReductionDb).c_str());
    std::fprintf(f, "overs above Out Gain  %zu samples in %zu runs; sample peak %s dB, true peak %s dB re Out Gain\n",
                 r.overs.samples, r.overs.runs, figure(r.overs.maxOvershootDb, true).c_str(),
                 figure(r.out.truePeak - r.outGainDb, true).c_str());
    std::fprintf(f, "processing  %.3f s CPU, %.1fx real time\n", r.cpuSeconds, r.realTimeFactor());
    if (!r.output.empty()) std::fprintf(f, "written: %s\n", r.output.c_str());
}

void printReportJson(std::FILE* f, const CRenderReport& r) {
    std::string j = "{\n";
    auto add = [&j](const char* key, const std::string& value) {
        if (j.size() > 2) j += ",\n";
        j += std::string("  \"") + key + "\": " + value;
    };
    add("plugin", jsonString(r.plugin));
    add("class_name", jsonString(r.className));
    add("input", jsonString(r.input));
    add("output", r.output.empty() ? "null" : jsonString(r.output));
    add("preset", r.preset.empty() ? "null" : jsonString(r.preset));
    add("sample_rate", jsonNumber(r.sampleRate, 0));
    add("input_channels", std::to_string(r.inChannels));
    add("output_channels", std::to_string(r.outChannels));
    add("frames", std::to_string(r.frames));
    add("seconds", jsonNumber(r.seconds(), 3));
    add("block", std::to_string(r.block));
    add("sample_size", r.is64 ? "64" : "32");
    add("latency_samples", std::to_string(r.latency));
    add("in_gain_db", jsonNumber(r.inGainDb));
    add("out_gain_db", jsonNumber(r.outGainDb));
    add("input_integrated_lufs", jsonNumber(r.in.integrated));
    add("input_loudness_range_lu", jsonNumber(r.in.loudnessRange));
    add("input_sample_peak_dbfs", jsonNumber(r.in.samplePeak));
    add("input_true_peak_dbtp", jsonNumber(r.in.truePeak));
    add("output_integrated_lufs", jsonNumber(r.out.integrated));
    add("output_loudness_range_lu", jsonNumber(r.out.loudnessRange));
    add("output_sample_peak_dbfs", jsonNumber(r.out.samplePeak));
    add("output_true_peak_dbtp", jsonNumber(r.out.truePeak));
    add("max_gain_reduction_db", jsonNumber(r.maxGainReductionDb));
    add("overs", std::to_string(r.overs.samples));
    add("over_runs", std::to_string(r.overs.runs));
    add("sample_peak_over_out_gain_db", jsonNumber(r.overs.maxOvershootDb));
    add("true_peak_over_out_gain_db", jsonNumber(r.out.truePeak - r.outGainDb));
    add("cpu_seconds", jsonNumber(r.cpuSeconds, 4));
    add("rtf", jsonNumber(r.realTimeFactor(), 1));
    j += "\n}\n";
    std::fputs(j.c_str(), f);
}

}  // namespace render
