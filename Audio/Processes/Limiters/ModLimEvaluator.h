#pragma once
// CModLimEvaluator: the loudness match of the "Eval" listening mode. It scales
// the processed signal by G so that the output's loudness matches the input's:
// P1 and P2 are running mean squares of the input-side and output-side
// loudness levels (time constant 1.362 * avg-time), and G glides (0.05 s)
// towards sqrt(P1 / P2), limited to 0.03 ... 32. For the first 0.15 s after a
// (re)start or a parameter change, while the averages settle, G glides
// towards 1 / in-gain instead; right after a reset G starts there, so the
// output is then scaled by exactly 1 / in-gain.
//
// It works on all channels of its group at once with one G: the levels enter
// as the mean of their squares over the channels (with linked levels, as in
// this product, that is each channel's own).

#include <span>

#include "Audio/Graph/ProcessTerminal.h"
#include "Audio/Processes/Limiters/LimiterParams.h"

class CModLimEvaluator : public CModProcessorBase {
public:
    // The module parameters in slot order.
    struct Params {
        double avgTime = 1.0;  // 0 `avg-time`: seconds (1 ... 5000 ms)
        double inGain = 1.0;   // 1 `in-gain`: linear factor

        static constexpr CLimParam<Params> kTable[] = {
            limReal("avg-time", &Params::avgTime), limReal("in-gain", &Params::inGain)};
        static Params fromValues(std::span<const double> values) { return limReadParams(kTable, values); }
        bool operator==(const Params&) const = default;
    };

    void prepare(double sampleRate, int maxBlock);
    // Recomputes the coefficients for another rate and restarts the hold.
    void setSampleRate(double sampleRate);
    // Recomputes the coefficients and restarts the 0.15 s hold.
    void setParams(const Params& p);
    const Params& params() const { return m_params; }
    // P1 = P2 = 0, G = 1 / in-gain, hold restarted.
    void reset();

    // signal, inLevel, outLevel: ports 0, 1 and 2, one pointer per channel;
    // out may alias signal. The channel count is the smallest of the four.
    void process(std::span<const double* const> signal, std::span<const double* const> inLevel,
                 std::span<const double* const> outLevel, std::span<double* const> out, int n);

    double currentGain() const { return m_g; }

private:
    void rebuild();

    double m_sr = 44100.0;
    bool m_prepared = false;
    bool m_fresh = true;  // nothing processed since the last reset
    Params m_params;
    double m_kAvg = 0.0;
    double m_kGain = 0.0;
    int m_holdLength = 0;
    double m_p1 = 0.0, m_p2 = 0.0;
    double m_g = 1.0;
    int m_hold = 0;
};
