#include "Tools/Render/Report.h"

#include <algorithm>
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
    if (!r.routing.empty()) std::fprintf(f, "routing: %s\n", r.routing.c_str());
    std::fprintf(f, "\n%-8s %11s %10s %12s %10s %10s\n", "", "Integrated", "Range", "Sample peak", "True peak",
                 "16x peak");
    std::fprintf(f, "%-8s %11s %10s %12s %10s %10s\n", "", "(LUFS)", "(LU)", "(dBFS)", "(dBTP)", "(dBTP)");
    auto row = [&](const char* name, const CSignalFigures& s) {
        std::fprintf(f, "%-8s %11s %10s %12s %10s %10s\n", name, figure(s.integrated).c_str(),
                     figure(s.loudnessRange).c_str(), figure(s.samplePeak).c_str(), figure(s.truePeak).c_str(),
                     figure(s.truePeak16x).c_str());
    };
    row("Input", r.in);
    row("Output", r.out);
    std::fprintf(f, "%-8s %11s %10s %12s %10s %10s\n", "Change",
                 figure(r.out.integrated - r.in.integrated, true).c_str(),
                 figure(r.out.loudnessRange - r.in.loudnessRange, true).c_str(),
                 figure(r.out.samplePeak - r.in.samplePeak, true).c_str(),
                 figure(r.out.truePeak - r.in.truePeak, true).c_str(),
                 figure(r.out.truePeak16x - r.in.truePeak16x, true).c_str());
    std::fprintf(f, "\nIn Gain %s dB, Out Gain %s dB\n", figure(r.inGainDb, true).c_str(),
                 figure(r.outGainDb, true).c_str());
    std::fprintf(f, "max gain reduction  %s dB\n", figure(r.maxGainReductionDb).c_str());
    std::fprintf(f, "overs above Out Gain  %zu samples in %zu runs, %zu true-peak runs (16x); "
                 "sample peak %s dB, true peak %s dB (16x) re Out Gain\n",
                 r.overs.samples, r.overs.runs, r.overs.truePeakRuns, figure(r.overs.maxOvershootDb, true).c_str(),
                 figure(r.overs.truePeakOverDb, true).c_str());
    std::fprintf(f, "processing  %.3f s CPU, %.1fx real time\n", r.cpuSeconds, r.realTimeFactor());
    if (r.searchPasses) {
        std::fprintf(f, "target %s LUFS: In Gain %s dB, found in %d passes; output %s LUFS\n",
                     figure(r.targetLufs).c_str(), figure(r.inGainDb, true).c_str(), r.searchPasses,
                     figure(r.out.integrated).c_str());
        const double over = r.overs.truePeakOverDb;
        std::fprintf(f, "true peak (16x) %s dBTP: %s dB %s the Out Gain\n", figure(r.out.truePeak16x).c_str(),
                     figure(std::fabs(over)).c_str(), over > 0 ? "over" : "within");
    }
    if (r.album)
        std::fprintf(f, "album: %s LUFS in, %s LUFS out\n", figure(r.albumInLufs).c_str(),
                     figure(r.albumOutLufs).c_str());
    if (r.plot.size()) std::fprintf(f, "plot: %s\n", r.plot.c_str());
    if (r.declaredFrames > r.frames)
        std::fprintf(f, "input cut short: %zu of the %zu frames its header declares\n", r.frames, r.declaredFrames);
    if (!r.output.empty()) std::fprintf(f, "written: %s (%s)\n", r.output.c_str(), sampleFormatName(r.outputFormat));
    if (r.suggestDither())
        std::fprintf(f, "dither is off for a %s output: consider --set DithEnb=On --set DithBit=%d\n",
                     sampleFormatName(r.outputFormat), r.outputFormat == CSampleFormat::Int16 ? 16 : 24);
}

std::string reportJson(const CRenderReport& r, const std::string& indent) {
    std::string j = "{\n";
    auto add = [&j, &indent](const char* key, const std::string& value) {
        if (j.size() > 2) j += ",\n";
        j += indent + "  \"" + key + "\": " + value;
    };
    add("plugin", jsonString(r.plugin));
    add("class_name", jsonString(r.className));
    add("input", jsonString(r.input));
    add("output", r.output.empty() ? "null" : jsonString(r.output));
    add("preset", r.preset.empty() ? "null" : jsonString(r.preset));
    add("routing", r.routing.empty() ? "null" : jsonString(r.routing));
    add("sample_rate", jsonNumber(r.sampleRate, 0));
    add("input_channels", std::to_string(r.inChannels));
    add("output_channels", std::to_string(r.outChannels));
    add("frames", std::to_string(r.frames));
    add("frames_declared", std::to_string(std::max(r.frames, r.declaredFrames)));
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
    add("input_true_peak_16x_dbtp", jsonNumber(r.in.truePeak16x));
    add("output_integrated_lufs", jsonNumber(r.out.integrated));
    add("output_loudness_range_lu", jsonNumber(r.out.loudnessRange));
    add("output_sample_peak_dbfs", jsonNumber(r.out.samplePeak));
    add("output_true_peak_dbtp", jsonNumber(r.out.truePeak));
    add("output_true_peak_16x_dbtp", jsonNumber(r.out.truePeak16x));
    add("max_gain_reduction_db", jsonNumber(r.maxGainReductionDb));
    add("overs", std::to_string(r.overs.samples));
    add("over_runs", std::to_string(r.overs.runs));
    add("sample_peak_over_out_gain_db", jsonNumber(r.overs.maxOvershootDb));
    add("true_peak_runs_over_out_gain", std::to_string(r.overs.truePeakRuns));
    add("true_peak_over_out_gain_db", jsonNumber(r.overs.truePeakOverDb));
    add("cpu_seconds", jsonNumber(r.cpuSeconds, 4));
    add("rtf", jsonNumber(r.realTimeFactor(), 1));
    add("dither_suggested", r.suggestDither() ? "true" : "false");
    add("plot", r.plot.empty() ? "null" : jsonString(r.plot));
    if (r.searchPasses) {
        add("target_lufs", jsonNumber(r.targetLufs));
        add("target_passes", std::to_string(r.searchPasses));
        add("target_met", std::fabs(r.out.integrated - r.targetLufs) <= 0.1 ? "true" : "false");
    }
    if (r.album) {
        add("album_input_integrated_lufs", jsonNumber(r.albumInLufs));
        add("album_output_integrated_lufs", jsonNumber(r.albumOutLufs));
    }
    return j + "\n" + indent + "}";
}

void printReportJson(std::FILE* f, const CRenderReport& r) { std::fprintf(f, "%s\n", reportJson(r, "").c_str()); }

void printSummaryTable(std::FILE* f, const std::vector<CSummaryRow>& rows, const CSummaryAlbum* album) {
    size_t width = 4;
    for (const CSummaryRow& row : rows) width = std::max(width, row.input.size());
    width = std::min<size_t>(width, 48);
    std::fprintf(f, "%-*s %-6s %8s %9s %9s %9s %7s  %s\n", int(width), "file", "result", "In Gain", "in LUFS",
                 "out LUFS", "TP 16x", "max GR", "written / error");
    for (const CSummaryRow& row : rows) {
        if (!row.error.empty() || !row.report) {
            std::fprintf(f, "%-*s %-6s %s\n", int(width), row.input.c_str(), "FAILED", row.error.c_str());
            continue;
        }
        const CRenderReport& r = *row.report;
        std::fprintf(f, "%-*s %-6s %8s %9s %9s %9s %7s  %s\n", int(width), row.input.c_str(), "ok",
                     figure(r.inGainDb, true).c_str(), figure(r.in.integrated).c_str(),
                     figure(r.out.integrated).c_str(), figure(r.out.truePeak16x).c_str(),
                     figure(r.maxGainReductionDb).c_str(), r.output.empty() ? "-" : r.output.c_str());
    }
    if (album)
        std::fprintf(f, "%-*s %-6s %8s %9s %9s\n", int(width), "album", "", figure(album->inGainDb, true).c_str(),
                     figure(album->inLufs).c_str(), figure(album->outLufs).c_str());
    size_t failed = 0;
    for (const CSummaryRow& row : rows) failed += !row.error.empty() || !row.report;
    std::fprintf(f, "%zu files, %zu failed\n", rows.size(), failed);
}

void printSummaryJson(std::FILE* f, const std::vector<CSummaryRow>& rows, const CSummaryAlbum* album) {
    std::string j = "{\n  \"files\": [";
    for (size_t i = 0; i < rows.size(); ++i) {
        j += i ? ",\n    " : "\n    ";
        if (rows[i].report && rows[i].error.empty())
            j += reportJson(*rows[i].report, "    ");
        else
            j += "{\"input\": " + jsonString(rows[i].input) + ", \"error\": " + jsonString(rows[i].error) + "}";
    }
    size_t failed = 0;
    for (const CSummaryRow& row : rows) failed += !row.error.empty() || !row.report;
    j += "\n  ],\n  \"summary\": {\"files\": " + std::to_string(rows.size()) + ", \"failed\": " +
         std::to_string(failed);
    if (album)
        j += ", \"album_in_gain_db\": " + jsonNumber(album->inGainDb) + ", \"album_input_integrated_lufs\": " +
             jsonNumber(album->inLufs) + ", \"album_output_integrated_lufs\": " + jsonNumber(album->outLufs) +
             ", \"album_passes\": " + std::to_string(album->passes);
    j += "}\n}\n";
    std::fputs(j.c_str(), f);
}

}  // namespace render
