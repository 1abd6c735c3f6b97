#pragma once
// Helpers of the filter and resampler tests: the application started with
// the product's creator table and the shared audio definitions the filter
// modules use (converters, generators, generator arrays, the resampling
// nodes), definitions written as XML, a test delay that follows its rate, and
// graphs built with live parameters.

#include <memory>
#include <string>
#include <vector>

#include "Audio/AudioEnv.h"
#include "Audio/AudioParam.h"
#include "Audio/AudioParamCollector.h"
#include "Audio/Process.h"
#include "Audio/ProcessTerminal.h"
#include "Core/Object.h"

namespace filtertest {

// Starts the application (product creators plus "test:rate-delay") and loads
// the shared "audio" object the product declares for the filter modules:
// "paramcvt" ("real", "time"), "flt" (the base generators, the FIR
// generators and the ten serial DC-filter designs), "fltarray" ("firlp",
// "firlim", "dcfilters") and the five resampling nodes. stopApp() finishes it.
void startApp();
void stopApp();

// Compiles a definition document (the body of <definitions>) and loads it
// under target.
CError loadXml(CObject* target, const std::string& body);

// Delays by round("latency-sec" x rate) + "latency-samples" at its own rate,
// sized for its highest rate; reports that latency.
class CTestRateDelay : public CAudioProcessTerminalBase {
public:
    CError prepare(const CProcessConfig& config) override;
    void process(int frames) override;
    double latency() const override { return m_delay; }
    void reset() override;

protected:
    CError moduleSetup(CAudioProcessBuild& b) override;
    void updateParams() override;

private:
    double m_seconds = 0.0;
    int m_samples = 0, m_delay = 0, m_size = 1, m_pos = 0;
    std::vector<double> m_lines;
};

// A runtime graph built from a container definition with live parameters.
struct Graph {
    std::unique_ptr<CObject> root;  // "plugin" -> the process, "param-collector"
    CAudioParamCollector* collector = nullptr;
    CAudioProcess* process = nullptr;
    CAudioEnv env;
    std::vector<std::vector<double>> in;

    // maxRate: the highest rate the graph may run at (0: rate).
    CError build(const CObject& def, int channels, double rate, int hostMaxFrames = 512, double maxRate = 0.0);
    // Writes a parameter (group 0, element 0) and marks it changed.
    void set(const char* fullName, double value);
    // Runs one block; returns every output channel of port 0.
    std::vector<std::vector<double>> run(const std::vector<std::vector<double>>& input);
    // Runs one block without allocating: in[c] for every channel; the
    // outputs stay readable through process->outputChannel().
    int step(const double* const* in, int channels, int frames);
    // Runs a whole signal (one channel per entry) in blocks of `block` frames.
    std::vector<std::vector<double>> runSignal(const std::vector<std::vector<double>>& input, int block);
};

}  // namespace filtertest
