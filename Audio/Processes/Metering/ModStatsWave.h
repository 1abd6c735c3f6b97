#pragma once
// CModStatsWave (audio:modStatsWave): the source of the waveform graph. Per
// frame (90 per second in this product) it reports the extremes of each
// channel on both input ports: port 0 (e.g. the dry input) and port 1 (e.g.
// the processed output; silence when unlinked). The waveform is thus
// decimated to one minimum/maximum pair per port and frame. CModStatsWave is
// the processor of one channel, CModStatsWaveModule the module.
//
// Attribute: "fps". No parameters.
//
// Published data (kind vscope, one point per frame), per channel: "min0",
// "max0" (port 0) and "min1", "max1" (port 1), sample values of the frame.

#include <memory>
#include <vector>

#include "Audio/Processes/Metering/ModStatsModule.h"

class CModStatsWave : public CModProcessorBase {
public:
    void reset();
    // Widens the frame's extremes of a port by a segment.
    void process(int port, const double* x, int frames);
    // Hands out the frame's extremes (min0, max0, min1, max1) and starts a new frame.
    void takeFrame(double* out);

private:
    double m_min[2] = {0.0, 0.0}, m_max[2] = {0.0, 0.0};
    bool m_any[2] = {false, false};
};

class CModStatsWaveModule : public CModStatsModule {
public:
    int inputPortCount() const override;

protected:
    void resetStats() override;
    void updateStats() override {}
    void connectParams(CAudioProcessBuild&) override {}
    void publish(double* frame) override;
    void processSegment(int offset, int count) override;
    void endFrame() override;
    void describe(CAudioVizDataInfo& info) const override;
    CError prepareStats(const CProcessConfig& config) override;

private:
    std::vector<std::unique_ptr<CModStatsWave>> m_procs;
    std::vector<double> m_last;  // extremes of the last closed frame, 4 per channel
};

using CModStatsWaveDef = CModDefT<CModStatsWaveModule>;
