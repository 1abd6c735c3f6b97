#pragma once
// What tamblor-render prints after a render: a table for people, or one JSON
// object for programs (--json).

#include <cstdio>
#include <string>

#include "Tools/Render/Measure.h"

namespace render {

struct CRenderReport {
    std::string plugin;  // bundle path
    std::string className;
    std::string input;   // file name, or "demo"
    std::string output;  // file written, or empty
    std::string preset;  // as selected, or empty
    double sampleRate = 0.0;
    int inChannels = 0, outChannels = 0;
    size_t frames = 0;
    int block = 0;
    bool is64 = false;
    int latency = 0;        // samples, as the plug-in reported them
    double cpuSeconds = 0;  // processing time of the plug-in (thread CPU time)
    double inGainDb = 0, outGainDb = 0;  // the settings the figures below refer to
    CSignalFigures in{}, out{};
    double maxGainReductionDb = 0;
    COvers overs;

    double seconds() const { return sampleRate > 0 ? double(frames) / sampleRate : 0.0; }
    // Seconds of audio per second of processing.
    double realTimeFactor() const { return cpuSeconds > 0 ? seconds() / cpuSeconds : 0.0; }
};

void printReportTable(std::FILE* f, const CRenderReport& r);
void printReportJson(std::FILE* f, const CRenderReport& r);

// A JSON string literal (quotes included) and a JSON number (null when not finite).
std::string jsonString(const std::string& s);
std::string jsonNumber(double v, int decimals = 2);

}  // namespace render
