#pragma once
// CModLimTBI: the per-channel gain computer of the limiter mode "TB INS": the
// plain look-ahead hold. The gain T / x (1 at or below the threshold) is held
// at its minimum over the last L samples; the input factor is always 1.

#include <span>

#include "Audio/Graph/ProcessTerminal.h"
#include "Audio/Processes/Limiters/LimiterParams.h"
#include "Audio/Processes/Limiters/LimiterStages.h"
#include "Audio/Processes/Limiters/SlidingWindowMin.h"

class CModLimTBI : public CModProcessorBase {
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
    // An attack change recomputes L and T and empties the window.
    void setParams(const Params& p);
    const Params& params() const { return m_params; }
    void reset();
    void process(const double* level, double* gainOut, double* scaleOut, int n);

    int lookAhead() const { return m_window.length(); }
    double threshold() const { return T_; }

private:
    void rebuild();

    double m_sr = 44100.0;
    bool m_prepared = false;
    Params m_params;
    double T_ = 0.989;
    CSlidingWindowMin m_window;
};
