#pragma once
// CModLimTBC: the per-channel gain computer of the limiter mode "TB-C".
//
// Five groups of four one-pole stages shape the gain. G0 tracks how hard the
// limiter works (the mean of its stages, a, speeds every later fall by 1/a
// and slows every rise by sqrt(a)); G1 smooths the held gain (the output never
// lies above it); G2, G3 and G4 form the input factor P = mean(G4) mean(G2)
// from the held gain and from how far the total gain P * out lies below its
// own slow average.
//
// A group moves up when its input is at or above its first stage (stage 1
// follows the input, stages 2-4 the stage before, with the rise coefficient)
// and down otherwise (stage 4 follows the input, stages 3, 2, 1 the stage
// after, with the fall coefficient).
//
// Lifecycle as the other gain computers: prepare() allocates, setParams()
// recomputes L, T and the coefficients on an attack change and restarts all
// groups at 1, process() never allocates.

#include <span>

#include "Audio/Graph/ProcessTerminal.h"
#include "Audio/Processes/Limiters/LimiterParams.h"
#include "Audio/Processes/Limiters/LimiterStages.h"
#include "Audio/Processes/Limiters/SlidingWindowMin.h"

class CModLimTBC : public CModProcessorBase {
public:
    // The module parameters in slot order.
    struct Params {
        double attack = 0.0015;  // 0 `attack`: seconds

        static constexpr CLimParam<Params> kTable[] = {limReal("attack", &Params::attack)};
        static Params fromValues(std::span<const double> values) { return limReadParams(kTable, values); }
        bool operator==(const Params&) const = default;
    };

    void prepare(double sampleRate, int maxBlock);
    // A new sample rate at or below the prepared one (the look-ahead window
    // keeps its prepared size): recomputes everything as a type change does.
    // Never allocates.
    void setSampleRate(double sampleRate);
    void setParams(const Params& p);
    const Params& params() const { return m_params; }
    void reset();
    void process(const double* level, double* gainOut, double* scaleOut, int n);

    // Two channels at once, with exactly the results of a.process() and
    // b.process(): both channels' groups in the lanes of SSE2 registers,
    // each group moving up or down per lane.
    static void processPair(CModLimTBC& a, CModLimTBC& b, const double* levelA, const double* levelB, double* gainA,
                            double* gainB, double* scaleA, double* scaleB, int n);

    int lookAhead() const { return m_window.length(); }
    double threshold() const { return T_; }

private:
    void rebuild();

    double m_sr = 44100.0;
    bool m_prepared = false;
    Params m_params;
    double T_ = 0.989;
    double m_k[8] = {};      // one-pole coefficients of the eight time constants
    double m_g[5][4] = {};   // groups G0 ... G4
    CSlidingWindowMin m_window;
};
