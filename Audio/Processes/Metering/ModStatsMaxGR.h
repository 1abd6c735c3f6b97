#pragma once
// CModStatsMaxGR (audio:modStatsMaxGR): the largest gain reduction since the
// last reset. The input is the limiter's gain signal (linear factors, 1 = no
// reduction); the statistic is its smallest value. CModStatsMaxGR is the
// processor of one channel, CModStatsMaxGRModule the module.
//
// Module parameters: 0 reset (a rising edge clears). Attribute: "fps".
//
// Published data (kind meter, no global values), per channel:
// "max-reduction" = 1 / smallest gain (≥ 1, a linear factor: 20·log10 gives
// the reduction in dB; gains below 1e-10 count as 1e-10).

#include <memory>
#include <vector>

#include "Audio/Processes/Metering/ModStatsModule.h"

class CModStatsMaxGR : public CModProcessorBase {
public:
    void reset() { m_min = 1.0; }
    void process(const double* gain, int frames);
    // Smallest gain seen (1 when none was below 1).
    double minGain() const { return m_min; }

private:
    double m_min = 1.0;
};

class CModStatsMaxGRModule : public CModStatsModule {
public:
    const CModStatsMaxGR& processor(int ch) const { return *m_procs[size_t(ch)]; }

protected:
    void resetStats() override;
    void updateStats() override {}
    void connectParams(CAudioProcessBuild& b) override;
    void publish(double* frame) override;
    void processSegment(int offset, int count) override;
    void endFrame() override {}
    void describe(CAudioVizDataInfo& info) const override;
    CError prepareStats(const CProcessConfig& config) override;

private:
    std::vector<std::unique_ptr<CModStatsMaxGR>> m_procs;
};

using CModStatsMaxGRDef = CModDefT<CModStatsMaxGRModule>;
