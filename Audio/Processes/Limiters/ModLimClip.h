#pragma once
// CModLimClip: the per-channel gain computer of the limiter mode "Clip".
//
// No look-ahead: the gain is min(A, T / x) sample by sample, where the input
// factor A is a product of powers of a twelve-stage cascade that follows the
// squared gain (time constants 0.5 ms ... 1.024 s), times the dynamic-range
// factor. A lowers the level slowly under sustained clipping so that less of
// it is cut hard. A is part of the gain written on the first output; the
// second output (when given) is 1.
//
// The threshold T is the "clip-level" attribute (0 when absent, raised to at
// least 0.01). The coefficients depend only on the sample rate; a change of
// the DRC type restarts the dynamic-range stage.

#include <span>

#include "Audio/Graph/ProcessTerminal.h"
#include "Audio/Processes/Limiters/LimiterParams.h"
#include "Audio/Processes/Limiters/LimiterStages.h"

class CModLimClip : public CModProcessorBase {
public:
    // The module parameters in slot order.
    struct Params {
        int drcType = 0;  // 0 `drc-type`: 0 off, 1 "Rls", 2 "Exp"

        static constexpr CLimParam<Params> kTable[] = {limInt("drc-type", &Params::drcType, 0, 2)};
        static Params fromValues(std::span<const double> values) { return limReadParams(kTable, values); }
        bool operator==(const Params&) const = default;
    };

    static constexpr double kMinClipLevel = 0.01;

    // The "clip-level" attribute (set before or after prepare()).
    void setClipLevel(double level);
    double clipLevel() const { return T_; }

    void prepare(double sampleRate, int maxBlock);
    // Recomputes the rate-dependent coefficients; the states carry on.
    void setSampleRate(double sampleRate);
    void setParams(const Params& p);
    const Params& params() const { return m_params; }
    void reset();
    // scaleOut may be null.
    void process(const double* level, double* gainOut, double* scaleOut, int n);

private:
    double m_sr = 44100.0;
    bool m_prepared = false;
    Params m_params;
    double T_ = kMinClipLevel;
    double m_k[12] = {};
    double m_c[12] = {};
    CLimDrcCoefs m_drcCoefs;
    CLimDrcState m_drc;
};
