#pragma once
// CModLimAIGC: the per-channel gain computer of the limiter modes "AIGC-1"
// ... "AIGC-4" (types 0 ... 3).
//
// A hard-knee look-ahead hold like "TB INS", plus an automatic input gain: the
// held gain is smoothed (s, at 1 / attack Hz) and runs through a cascade of
// twelve one-poles from 2048 Hz down to 1 Hz; products of powers of the slow
// stages form the input factor A that scales the level before limiting (and is
// written as the second output), so sustained gain reduction moves from the
// fast gain into the slowly varying input factor. Types 1 and 3 share one
// formula. The release stage and the dynamic-range stage are those of the TB
// family.
//
// Lifecycle: prepare() allocates the window for the longest attack; an attack
// change recomputes L, T and the attack-dependent coefficients and empties the
// window; release and release-enable rebuild the release tables (switching on
// starts its stages at 1); a change of type or DRC type restarts every state;
// process() never allocates.
//
// Each sample's cascade waits for the one before, so one channel keeps the
// processor's arithmetic units mostly idle; processPair() runs two channels
// side by side in one loop, each lane of a register doing exactly what its
// channel does alone.

#include <span>

#include "Audio/Graph/ProcessTerminal.h"
#include "Audio/Processes/Limiters/LimiterParams.h"
#include "Audio/Processes/Limiters/LimiterStages.h"
#include "Audio/Processes/Limiters/SlidingWindowMin.h"

class CModLimAIGC : public CModProcessorBase {
public:
    // The module parameters in slot order.
    struct Params {
        double attack = 0.0015;      // 0 `attack`: seconds
        int type = 0;                // 1 `type`: 0 ... 3 ("AIGC-1" ... "AIGC-4")
        double release = 0.25;       // 2 `release`: seconds
        bool releaseEnable = false;  // 3 `release-enable`
        int drcType = 0;             // 4 `drc-type`: 0 off, 1 "Rls", 2 "Exp"

        static constexpr CLimParam<Params> kTable[] = {
            limReal("attack", &Params::attack),     limInt("type", &Params::type, 0, 3),
            limReal("release", &Params::release),   limSwitch("release-enable", &Params::releaseEnable),
            limInt("drc-type", &Params::drcType, 0, 2),
        };
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
    // b.process(): side by side when both run the same stages (type, DRC
    // type, release on or off), otherwise one after the other.
    static void processPair(CModLimAIGC& a, CModLimAIGC& b, const double* levelA, const double* levelB,
                            double* gainA, double* gainB, double* scaleA, double* scaleB, int n);

    int lookAhead() const { return m_window.length(); }
    double threshold() const { return T_; }

private:
    void rebuildAll();
    void updateAttack();
    void resetState();
    bool runsLike(const CModLimAIGC& o) const;

    double m_sr = 44100.0;
    bool m_prepared = false;
    Params m_params;
    double T_ = 0.989;
    double m_kS = 0.0;       // smoother of the held gain, 1 / attack Hz
    double m_kc[12] = {};    // cascade, 2048 Hz ... 1 Hz
    double m_s = 1.0;
    double m_c[12] = {};
    CLimReleaseTables m_relTables;
    CLimReleaseState m_rel;
    CLimDrcCoefs m_drcCoefs;
    CLimDrcState m_drc;
    CSlidingWindowMin m_window;
};
