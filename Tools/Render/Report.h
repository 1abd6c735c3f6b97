#pragma once
// What tamblor-render prints after a render: a table for people, or one JSON
// object for programs (--json).

#include <cstdio>
#include <string>
#include <vector>

#include "Tools/Render/AudioFile.h"
#include "Tools/Render/Measure.h"

namespace render {

struct CRenderReport {
    std::string plugin;  // bundle path
    std::string className;
    std::string input;   // file name, or "demo"
    std::string output;  // file written, or empty
    std::string preset;  // as selected, or empty
    std::string routing;  // the plug-in's routing preset, or empty when it has none
    double sampleRate = 0.0;
    int inChannels = 0, outChannels = 0;
    size_t frames = 0;
    size_t declaredFrames = 0;  // what the input file's header declares (more when it was cut short)
    int block = 0;
    bool is64 = false;
    int latency = 0;        // samples, as the plug-in reported them
    double cpuSeconds = 0;  // processing time of the plug-in (thread CPU time)
    double inGainDb = 0, outGainDb = 0;  // the settings the figures below refer to
    CSignalFigures in{}, out{};
    double maxGainReductionDb = 0;
    COvers overs;
    CSampleFormat outputFormat = CSampleFormat::Float32;  // of the file written
    std::string plot;                                     // the picture written, or empty
    // With a loudness target: the target, the passes the search took (0
    // without one) and, with --album, the album's loudness in and out.
    double targetLufs = 0.0;
    int searchPasses = 0;
    bool album = false;
    double albumInLufs = 0.0, albumOutLufs = 0.0;
    bool ditherOff = false;                               // the plug-in's dither was off

    // Integer output without the plug-in's dither: worth a word.
    bool suggestDither() const { return !output.empty() && ditherOff && outputFormat != CSampleFormat::Float32; }
    double seconds() const { return sampleRate > 0 ? double(frames) / sampleRate : 0.0; }
    // Seconds of audio per second of processing.
    double realTimeFactor() const { return cpuSeconds > 0 ? seconds() / cpuSeconds : 0.0; }
};

void printReportTable(std::FILE* f, const CRenderReport& r);
void printReportJson(std::FILE* f, const CRenderReport& r);
// The JSON object of one report, its lines indented.
std::string reportJson(const CRenderReport& r, const std::string& indent);

// Several renders: one line per file (its report, or why it failed), and the
// album's figures with --album.
struct CSummaryRow {
    std::string input;
    const CRenderReport* report = nullptr;  // null when it failed
    std::string error;
};
struct CSummaryAlbum {
    double inGainDb = 0, inLufs = 0, outLufs = 0;
    int passes = 0;
};
void printSummaryTable(std::FILE* f, const std::vector<CSummaryRow>& rows, const CSummaryAlbum* album);
void printSummaryJson(std::FILE* f, const std::vector<CSummaryRow>& rows, const CSummaryAlbum* album);

// A JSON string literal (quotes included) and a JSON number (null when not finite).
std::string jsonString(const std::string& s);
std::string jsonNumber(double v, int decimals = 2);

}  // namespace render
