#pragma once
// The fixed-latency pad in the graph (audio:modFixedLatency): attributes
// "latency-sec" and "latency-samples" give the total latency
// D = round(latency-sec · SR) + latency-samples that its outputs have
// relative to its container's input. It delays every input port by
// D − (the latency already at its inputs) and reports that delay, so the
// path's latency does not depend on the work in front of it. Output port p
// carries input port p. A change of the delay (another rate, another latency
// in front) is cross-faded over "xfade-length" (15 ms when unset).

#include <vector>

#include "Audio/Graph/ProcessTerminal.h"
#include "Audio/Processes/Flow/ModFixedLatency.h"

class CModFixedLatencyModule : public CAudioProcessTerminalBase {
public:
    CError prepare(const CProcessConfig& config) override;
    bool update() override;
    void process(int frames) override;
    void reset() override { m_dsp.reset(); }

    int outputPortCount() const override { return std::max(1, inputPortCount()); }
    double latency() const override { return m_dsp.latency(); }
    double maxLatencySeconds() const override;
    // A port whose output nobody reads is neither read nor padded.
    bool readsInputPort(int port) const override { return outputPortUsed(port); }

    // D at the current rate.
    int totalLatency() const { return m_dsp.totalLatency(); }
    const CModFixedLatency& processor() const { return m_dsp; }

protected:
    CError moduleSetup(CAudioProcessBuild& b) override;
    void updateParams() override;

private:
    int fadeSamples() const;

    CModFixedLatency m_dsp;
    double m_seconds = 0.0;
    int m_samples = 0;
    int m_ports = 1;
    double m_seenInputLatency = -1.0;
    std::vector<const double*> m_inLanes;  // the read ports of each channel in turn
    std::vector<double*> m_outLanes;
};

using CModFixedLatencyDef = CModDefT<CModFixedLatencyModule>;
