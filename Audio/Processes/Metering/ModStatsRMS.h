#pragma once
// CModStatsRMS (audio:modStatsRMS): the level statistics of the output since
// the last reset: running RMS and short-term RMS peak per channel, and the
// integrated loudness of all channels together. CModStatsRMS is the processor
// of one channel, CLoudnessGate the gated integration, CModStatsRMSModule the
// module, CModStatsRMSDef its definition.
//
// With use-ebu128 every channel first passes the K-weighting filters; all
// figures are then taken on the weighted signal.
//
// Integrated loudness (the gating of ITU-R BS.1770): the channels' squares
// are summed (every channel weighs 1) in steps of 100 ms; each 400 ms block
// (four steps, 75 % overlap) has the mean square z and the loudness
// −0.691 + 10·log10 z. Blocks below −70 LUFS are dropped; the result is the
// loudness of the mean z of the blocks not more than 10 LU below the loudness
// of the mean of all remaining blocks. Blocks are kept in a histogram of
// 0.01 LU bins from −70 to +10 LUFS (sum of z and count per bin), so the
// measurement runs for any length in fixed memory; only blocks in the bin
// that contains the relative gate may be misjudged, by less than 0.01 LU.
//
// Short-term RMS peak: the largest mean square over a sliding window of
// peak-rms-time, measured in 64 steps per window (the window is 64 steps of
// round(peak-rms-time·SR/64) samples); only full windows count.
//
// Module parameters in slot order: 0 reset (a rising edge clears), 1 gain,
// 2 use-ebu128, 3 peak-rms-time (s). Attribute: "fps".
//
// Published data (kind meter): global "loudness" (10^(L/20)·gain, 0 before
// the first block counts), per channel "rms" and "rms-peak" (· gain); all
// linear amplitude factors, so 20·log10 gives LUFS and dB.

#include <array>
#include <memory>
#include <vector>

#include "Audio/Graph/SampleBuffer.h"
#include "Audio/Processes/Metering/ModStatsModule.h"
#include "Audio/Processes/Filters/SectionChain.h"

class CLoudnessGate {
public:
    static constexpr double kAbsoluteGate = -70.0;  // LUFS
    static constexpr double kRelativeGate = -10.0;  // LU
    static constexpr double kBinWidth = 0.01;       // LU
    static constexpr double kTop = 10.0;            // LUFS
    static constexpr double kStepSeconds = 0.1;
    static constexpr int kStepsPerBlock = 4;

    // Loudness of a mean square.
    static double loudness(double meanSquare);

    // Allocates the histogram.
    void prepare();
    // Step length for a rate; a change restarts the current block.
    void setSampleRate(double sampleRate);
    int stepLength() const { return m_step; }
    void reset();
    // Adds one step: the sum over channels of the squares of its samples.
    void addStep(double sumOfSquares);
    // Adds one block's mean square directly.
    void addBlock(double meanSquare);
    // Integrated loudness in LUFS; false when no block counts yet.
    bool integrated(double* lufs) const;
    uint64_t blockCount() const { return m_count; }

private:
    std::vector<double> m_energy;
    std::vector<uint64_t> m_counts;
    double m_total = 0.0;
    uint64_t m_count = 0;
    int m_step = 4410;
    std::array<double, kStepsPerBlock> m_steps{};
    int m_stepsSeen = 0;
};

class CModStatsRMS : public CModProcessorBase {
public:
    static constexpr int kWindowSteps = 64;

    void prepare(double sampleRate, int maxBlock);
    void setSampleRate(double sampleRate);
    // K-weighting on/off and the short-term window in seconds.
    void setParams(bool weighting, double windowSeconds);
    void reset();
    void process(const double* x, int frames);

    // Sum of squares since the last takeStepSum (the gate's steps).
    double takeStepSum() {
        const double s = m_stepSum;
        m_stepSum = 0.0;
        return s;
    }
    double meanSquare() const { return m_samples ? m_total / double(m_samples) : 0.0; }
    double peakMeanSquare() const { return m_peakWindow; }
    uint64_t samples() const { return m_samples; }

private:
    void restartWindow();

    CSectionChain<2> m_weight;
    CSampleBuffer m_scratch;  // written before read
    double m_rate = 0.0;
    bool m_weighting = false;
    double m_windowSeconds = 0.05;
    int m_subLength = 1;
    double m_total = 0.0;
    uint64_t m_samples = 0;
    double m_stepSum = 0.0;
    // Short-term window: kWindowSteps step sums.
    std::array<double, kWindowSteps> m_window{};
    int m_windowPos = 0;
    int m_windowFilled = 0;
    double m_subSum = 0.0;
    int m_subPos = 0;
    double m_peakWindow = 0.0;
};

class CModStatsRMSModule : public CModStatsModule {
public:
    const CModStatsRMS& processor(int ch) const { return *m_procs[size_t(ch)]; }
    const CLoudnessGate& gate() const { return m_gate; }

protected:
    void resetStats() override;
    void updateStats() override;
    void connectParams(CAudioProcessBuild& b) override;
    void publish(double* frame) override;
    void processSegment(int offset, int count) override;
    void endFrame() override {}
    void describe(CAudioVizDataInfo& info) const override;
    CError prepareStats(const CProcessConfig& config) override;

private:
    std::vector<std::unique_ptr<CModStatsRMS>> m_procs;
    CLoudnessGate m_gate;
    int m_stepLeft = 0;
    double m_gain = 1.0;
};

using CModStatsRMSDef = CModDefT<CModStatsRMSModule>;
