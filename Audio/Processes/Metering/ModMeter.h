#pragma once
// CModMeter (audio:modMeter): the level meter. CModMeter is the processor of
// one channel, CModMeterModule the module, CModMeterDef its definition.
//
// Ballistics, on squared values (x² of the input sample):
//   ms += (x² − ms)·k_rms                      mean square, t = 1.362·rms-time
//   r = ms when ms > r, else r += (ms − r)·k_rel   displayed mean: rises at
//                                              once, falls with t = 1.362·release
//   p = max(p, x², r)                          the frame's peak
// With the factor 1.362 the one-pole settles within 1 % (−20 dB on the power
// scale) after the nominal time; k_rel is 1 below 0.1 ms of release. At each
// frame end p enters a ring of H = max(1, round(peak-time·SR/F)) frames; the
// held peak is the ring's maximum, kept with a cached maximum and a countdown
// until it leaves the ring (the ring is scanned only then).
//
// Routines (one per-sample loop each, chosen per module):
//   plain        the ballistics above
//   bias         plain, plus a slow mean square b += (ms − b)·k_bias with
//                t = 1.362·bias-time: the long-term level mark
//   compression  the input is a gain signal g; the meter runs on the
//                reduction 1/g (x² = 1/g²), so more reduction reads higher;
//                it rests at 1 (no reduction), and a gain of exactly 0 (no
//                signal written yet) counts as 1
//   diff         two mean squares (port 0 and port 1, same k_rms); the
//                displayed value follows their ratio (ms0 + ε)/(ms1 + ε)
//                with the rise/release rule; the frame peak is the ratio's
//                maximum (ε = 1e-20: two silent ports read 1)
// With use-ebu128 the audio input (and the reference of diff) passes the
// K-weighting filters first (not in the compression routine).
//
// Module parameters in slot order: 0 peak-time (s), 1 rms-time (s), 2 gain,
// 3 bias-time (s), 4 use-bias, 5 release (s), 6 peak-gain, 7 rms-time2,
// 8 release2, 9 use-time2 (rms-time2 and release2 replace rms-time and
// release), 10 use-ebu128. Attributes: "fps", "is-diff", "is-inverted",
// "is-compression".
//
// Published data (kind meter, no global values), per channel:
//   "level" √r · gain, "peak" √held · gain · peak-gain, "bias" √b · gain
//   (0 without use-bias); linear amplitude factors. With "is-inverted" each
//   reading v > 0 is replaced by 1/v before the gains.

#include <memory>
#include <vector>

#include "Audio/Graph/SampleBuffer.h"
#include "Audio/Processes/Metering/ModStatsModule.h"
#include "Audio/Processes/Filters/SectionChain.h"

// Maximum over the last H values with a cached maximum.
class CPeakHoldRing {
public:
    // Allocates room for up to capacity values.
    void prepare(int capacity);
    // Sets H (clamped to 1 ... capacity) and clears the ring.
    void setLength(int frames);
    int length() const { return m_length; }
    void clear();
    void push(double v);
    double max() const { return m_max; }

private:
    void rescan();

    std::vector<double> m_ring;
    int m_length = 1;
    int m_pos = 0;
    int m_countdown = 0;  // pushes until the maximum leaves the ring
    double m_max = 0.0;
};

class CModMeter : public CModProcessorBase {
public:
    enum ERoutine : int { kPlain = 0, kBias = 1, kCompression = 2, kDiff = 3 };

    struct Params {
        ERoutine routine = kPlain;
        double kRms = 1.0;
        double kRelease = 1.0;
        double kBias = 0.0;
        int holdFrames = 1;
        bool kWeighting = false;
    };

    // Coefficient of a meter time constant at a rate (the 1.362 factor
    // applied); release times below 0.1 ms give 1.
    static double coefficient(double seconds, double sampleRate);
    static double releaseCoefficient(double seconds, double sampleRate);

    // Allocates the weighting scratch (maxBlock) and the hold ring.
    void prepare(double sampleRate, int maxBlock, int maxHoldFrames);
    // Recomputes the weighting filters (rate at most the prepared one).
    void setSampleRate(double sampleRate);
    void setParams(const Params& p);
    void reset();

    // A segment of one frame (at most maxBlock samples); ref is port 1 (the
    // diff routine only).
    void process(const double* x, const double* ref, int frames);
    // Closes the frame: its peak enters the hold ring.
    void endFrame();

    // Squared readings.
    double meanSquare() const { return m_ms; }
    double level() const { return m_level; }
    double heldPeak() const { return m_hold.max(); }
    double bias() const { return m_bias; }
    const Params& params() const { return m_params; }

private:
    template <int Routine>
    void run(const double* x, const double* ref, int frames);

    Params m_params;
    double m_rate = 44100.0;
    int m_maxBlock = 0;
    double m_ms = 0.0, m_msRef = 0.0, m_level = 0.0, m_peak = 0.0, m_bias = 0.0;
    CPeakHoldRing m_hold;
    CSectionChain<2> m_weight, m_weightRef;
    CSampleBuffer m_scratch, m_scratchRef;  // written before read: untouched until a channel runs
};

class CModMeterModule : public CModStatsModule {
public:
    int inputPortCount() const override;
    bool isDiff() const { return m_isDiff; }
    bool isCompression() const { return m_isCompression; }
    bool isInverted() const { return m_isInverted; }
    const CModMeter& processor(int ch) const { return *m_procs[size_t(ch)]; }

    // Seconds of peak hold the ring is sized for.
    static constexpr double kMaxPeakTime = 10.0;

protected:
    CError readAttributes() override;
    void resetStats() override;
    void updateStats() override;
    void connectParams(CAudioProcessBuild& b) override;
    void publish(double* frame) override;
    void processSegment(int offset, int count) override;
    void endFrame() override;
    void describe(CAudioVizDataInfo& info) const override;
    CError prepareStats(const CProcessConfig& config) override;

private:
    bool m_isDiff = false, m_isCompression = false, m_isInverted = false;
    double m_gain = 1.0, m_peakGain = 1.0;
    bool m_useBias = false;
    std::vector<std::unique_ptr<CModMeter>> m_procs;
};

using CModMeterDef = CModDefT<CModMeterModule>;
