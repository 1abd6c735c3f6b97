#pragma once
// Helpers of the filter and resampler tests: the application started with
// the product's creator table (plus "test:delay", graphtest::CTestDelay) and
// the shared audio definitions of Tests/Support/SharedAudioDefs.h,
// definitions written as XML, and graphs built with live parameters.

#include <algorithm>
#include <cmath>
#include <memory>
#include <random>
#include <span>
#include <string>
#include <vector>

#include "Audio/Plugin/AudioEnv.h"
#include "Audio/Params/AudioParamCollector.h"
#include "Audio/Graph/Process.h"
#include "Core/Object.h"

namespace filtertest {

inline std::vector<double> noise(size_t n, unsigned seed) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> u(-1.0, 1.0);
    std::vector<double> x(n);
    for (double& v : x) v = u(rng);
    return x;
}

// y[t] = sum h[i] x[t - delay - i], the straightforward way.
inline std::vector<double> direct(std::span<const double> h, const std::vector<double>& x, size_t delay) {
    std::vector<double> y(x.size(), 0.0);
    for (size_t t = delay; t < x.size(); ++t) {
        long double s = 0;
        for (size_t i = 0; i < h.size() && i + delay <= t; ++i) s += (long double)h[i] * x[t - delay - i];
        y[t] = double(s);
    }
    return y;
}

// Largest deviation relative to the largest reference sample.
inline double relError(const std::vector<double>& got, const std::vector<double>& ref) {
    double d = 0, m = 0;
    for (size_t t = 0; t < ref.size(); ++t) {
        d = std::max(d, std::fabs(got[t] - ref[t]));
        m = std::max(m, std::fabs(ref[t]));
    }
    return d / m;
}

// Largest step between neighbouring samples from index `from` on.
inline double maxStep(const std::vector<double>& y, size_t from = 0) {
    double m = 0;
    for (size_t i = from + 1; i < y.size(); ++i) m = std::max(m, std::fabs(y[i] - y[i - 1]));
    return m;
}

void startApp();
void stopApp();

// Compiles a definition document (the body of <definitions>) and loads it
// under target.
CError loadXml(CObject* target, const std::string& body);

// A runtime graph built from a container definition with live parameters.
struct Graph {
    std::unique_ptr<CObject> root;  // "param-collector", "plugin" -> the process
    CAudioParamCollector* collector = nullptr;
    CAudioProcess* process = nullptr;
    CAudioEnv env;

    // maxRate: the highest rate the graph may run at (0: rate).
    CError build(const CObject& def, int channels, double rate, double maxRate = 0.0);
    // Writes a parameter (group 0, element 0) and marks it changed.
    void set(const char* fullName, double value);
    // Runs one block without allocating (in[c] for every channel); returns
    // the output frames, readable through process->outputChannel().
    int step(const double* const* in, int channels, int frames);
    // Runs a signal (one vector per channel) in blocks; returns every output channel.
    std::vector<std::vector<double>> runSignal(const std::vector<std::vector<double>>& input, int block);
};

}  // namespace filtertest
