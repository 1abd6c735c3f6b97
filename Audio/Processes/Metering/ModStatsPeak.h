#pragma once
// CModStatsPeak (audio:modStatsPeak): the peak statistics of the output since
// the last reset: sample peak, inter-sample ("true") peak and clippings.
// CModStatsPeak is the processor of one channel, CModStatsPeakModule the
// module, CModStatsPeakDef its definition.
//
// True peak: the signal is interpolated at four times its rate; the three
// points between two samples come from a 16-tap Kaiser-windowed sinc per
// phase (window parameter "true-peak-beta", default 6, clamped to 1 ... 350;
// the Bessel function of the FIR designs; each phase scaled to unit DC gain).
// The true peak is the largest magnitude among the samples and those points.
//
// Clippings: a run of consecutive samples whose magnitude exceeds full scale
// (1.0) counts once; the count is taken on the signal as it arrives (the
// display gains do not change it).
//
// Module parameters in slot order: 0 reset (a rising edge clears the
// statistics), 1 gain, 2 peak-gain. Attributes: "fps", "true-peak-beta".
//
// Published data (kind meter, no global values), per channel: "peak" (sample
// peak) and "true-peak", both · gain · peak-gain as linear amplitude
// factors, and "clips" (a count).

#include <memory>
#include <vector>

#include "Audio/Processes/Metering/ModStatsModule.h"

// Four-times interpolation between samples for the true-peak estimate.
class CTruePeakInterpolator {
public:
    static constexpr int kTaps = 16;    // per phase
    static constexpr int kPoints = 3;   // interpolated points between two samples
    static constexpr double kDefaultBeta = 6.0;

    void design(double beta);
    void reset();
    // Largest magnitude of the points interpolated while the block passes
    // (the history carries over between blocks).
    double process(const double* x, int frames);
    // Tap j of the filter of point p, applied oldest sample first (tests).
    double coefficient(int point, int tap) const { return m_h[point][tap]; }

private:
    double m_h[kPoints][kTaps] = {};
    double m_hist[2 * kTaps] = {};
    int m_pos = 0;
};

class CModStatsPeak : public CModProcessorBase {
public:
    static constexpr double kClipLevel = 1.0;

    void prepare(double beta);
    void reset();
    void process(const double* x, int frames);

    double samplePeak() const { return m_peak; }
    double truePeak() const { return m_truePeak; }
    uint64_t clips() const { return m_clips; }

private:
    CTruePeakInterpolator m_interp;
    double m_peak = 0.0, m_truePeak = 0.0;
    uint64_t m_clips = 0;
    bool m_over = false;
};

class CModStatsPeakModule : public CModStatsModule {
public:
    const CModStatsPeak& processor(int ch) const { return *m_procs[size_t(ch)]; }

protected:
    CError readAttributes() override;
    void resetStats() override;
    void updateStats() override;
    void connectParams(CAudioProcessBuild& b) override;
    void publish(double* frame) override;
    void processSegment(int offset, int count) override;
    void endFrame() override {}
    void describe(CAudioVizDataInfo& info) const override;
    CError prepareStats(const CProcessConfig& config) override;

private:
    double m_beta = CTruePeakInterpolator::kDefaultBeta;
    double m_scale = 1.0;
    std::vector<std::unique_ptr<CModStatsPeak>> m_procs;
};

using CModStatsPeakDef = CModDefT<CModStatsPeakModule>;
