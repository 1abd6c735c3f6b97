#pragma once
// The latency uniformer in the graph (audio:modLatencyUniformer): pads the
// chain in front of it to the total latency that the "latencies" table
// ("44100=1041;48000=1080;…") gives for its rate (it sits at the host rate).
// The upstream latency U is the latency at its inputs; it adds D = T − U.
// A change of D is cross-faded over round(xfade-length · R) samples
// ("xfade-length" 15 ms when unset). An unsupported rate or U above T adds
// nothing and is reported to the log ("Unsupported sample rate %f in
// LatencyUniformer", "Too high latency %i at sample rate %f in
// LatencyUniformer", each with the module's full name), once per change.

#include <vector>

#include "Audio/Graph/ProcessTerminal.h"
#include "Audio/Processes/Flow/ModLatencyUniformer.h"

class CModLatencyUniformerModule : public CAudioProcessTerminalBase {
public:
    CError prepare(const CProcessConfig& config) override;
    bool update() override;
    void process(int frames) override;
    void reset() override {
        m_dsp.reset();
        m_fresh = true;
    }

    int outputPortCount() const override { return std::max(1, inputPortCount()); }
    double latency() const override { return m_dsp.addedLatency(); }
    double maxLatencySeconds() const override;

    const CModLatencyUniformer& processor() const { return m_dsp; }

protected:
    CError moduleSetup(CAudioProcessBuild& b) override;
    void updateParams() override;

private:
    void report(CModLatencyUniformer::Status status, int upstream);

    CModLatencyUniformer m_dsp;
    int m_ports = 1;
    double m_seenInputLatency = -1.0;
    bool m_repad = true;
    bool m_fresh = true;  // no audio since prepare or reset: a new delay applies at once
    std::vector<const double*> m_inLanes;  // lane = channel · ports + port
    std::vector<double*> m_outLanes;
};

using CModLatencyUniformerDef = CModDefT<CModLatencyUniformerModule>;
