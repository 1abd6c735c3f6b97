#pragma once
// An in-process host for the product tests: the plug-in linked into the test
// program is entered through its module entry point and its factory, and
// run by the host library's instance, through the VST3 interfaces only. It
// sets host parameters by their names the way a host automates them (a
// queued point in the next block plus the controller's value), and runs
// stereo audio through it in blocks.
//
// Nothing in a block allocates: the parameter queues, the bus buffers and
// the sample conversion buffers are sized when the host starts.

#include <string>
#include <vector>

#include "Host/PluginInstance.h"

namespace product {

namespace sv = Steinberg::Vst;

// Two channels of 64-bit samples.
struct Stereo {
    std::vector<double> l, r;
    Stereo() = default;
    explicit Stereo(size_t n) : l(n, 0.0), r(n, 0.0) {}
    size_t size() const { return l.size(); }
};

class CHost {
public:
    CHost();

    // The instance was created and initialised.
    bool loaded() const { return m_plugin.created(); }
    // Stereo buses, set-up at this rate, active and processing.
    bool start(double rate, int maxBlock = 512, bool is64 = true, int processMode = sv::kRealtime);
    void stop() { m_plugin.stop(); }

    // The latency as the host reads it.
    int latency() { return m_plugin.latency(); }

    // Host parameters by their names ("OutGain"); -1 when there is none.
    int paramId(const std::string& name) const;
    // The normalized value of a display text, NaN when the text is refused.
    double normalizedFromText(int id, const std::string& text) const;
    // A change arriving with the next block at the offset, also given to the
    // controller as a host does.
    void queueParam(int id, double normalized, int offset = 0);
    // A point of automation playback: it reaches the processor only.
    void queueAutomation(int id, double normalized, int offset = 0);
    // By name and display text; false when either is unknown.
    bool setParam(const std::string& name, const std::string& text, int offset = 0);

    // Runs one block of n <= maxBlock frames (no allocation).
    void processBlock(const double* inL, const double* inR, double* outL, double* outR, int n);
    // Runs a whole signal in blocks of the set-up size.
    Stereo run(const Stereo& in);
    // Runs n frames of silence and drops the output.
    void runSilence(size_t n);

    host::CComponentHandler& handler() { return m_plugin.handler(); }

private:
    host::CPluginInstance m_plugin;
};

// Application start and module entry for a test fixture.
bool enterModule();
void exitModule();

}  // namespace product
