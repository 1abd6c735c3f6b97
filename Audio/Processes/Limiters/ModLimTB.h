#pragma once
// CModLimTB: the per-channel gain computer of the limiter modes "TB-1"
// (type 0), "TB UNI" (type 1) and "TB-4" (type 2).
//
// It reads the rectified, channel-linked level x and writes two signals: the
// gain (a factor in (0, 1]) and the input-scaling factor P (up to 4) by which
// the level was scaled before limiting. Per sample:
//   1. P = D3 (the dynamic-range factor), times a ratio of slow cascade stages
//      when an AIGC type is chosen;
//   2. knee gain of y = P x against the threshold T: 1 below the knee, T / y
//      above it, a circular arc tangent to both in between;
//   3. the AIGC cascade (twelve one-poles from 1500 Hz down to 0.73 Hz)
//      follows that gain;
//   4. optionally the release stage limits how fast the gain may rise;
//   5. the minimum over the last L samples (L = attack time) holds every gain
//      drop for the look-ahead: the audio is delayed against this path, so
//      each peak meets a gain that already limits it;
//   6. type 1 and 2 shape the held gain further (followers, release
//      cascades, band detectors, an S-curve release), never above it;
//   7. the dynamic-range stage updates D3 from the total gain.
//
// Lifecycle: prepare() allocates the look-ahead window for the longest attack
// (kLimMaxAttack) and builds everything; setParams() applies a parameter
// change with the least disturbance the change allows (see there); process()
// never allocates and calls no transcendental function.

#include <span>

#include "Audio/Graph/ProcessTerminal.h"
#include "Audio/Processes/Limiters/LimiterParams.h"
#include "Audio/Processes/Limiters/LimiterStages.h"
#include "Audio/Processes/Limiters/SlidingWindowMin.h"

class CModLimTB : public CModProcessorBase {
public:
    // The module parameters in slot order, as the module receives them.
    struct Params {
        double attack = 0.0015;      // 0 `attack`: seconds (0.1 ... 20 ms; longer holds as 20 ms)
        int type = 0;                // 1 `type`: 0 "TB-1", 1 "TB UNI", 2 "TB-4"
        double knee = 0.0;           // 2 `knee`: fraction 0 ... 1
        double release = 0.25;       // 3 `release`: seconds
        bool releaseEnable = false;  // 4 `release-enable`
        int aigcType = 0;            // 5 `aigc-type`: 0 off, 1 ... 5
        int drcType = 0;             // 6 `drc-type`: 0 off, 1 "Rls", 2 "Exp"
        double timing = 1.0;         // 7 `timing`: factor, 1.0 = 100 %
        double releaseRatio = 0.5;   // 8 `release-ratio`: 1 / ratio (2:1 gives 0.5)
        double releaseShape = 0.5;   // 9 `release-shape`: -1 ... 2

        static constexpr CLimParam<Params> kTable[] = {
            limReal("attack", &Params::attack),          limInt("type", &Params::type, 0, 2),
            limReal("knee", &Params::knee),              limReal("release", &Params::release),
            limSwitch("release-enable", &Params::releaseEnable),
            limInt("aigc-type", &Params::aigcType, 0, 5), limInt("drc-type", &Params::drcType, 0, 2),
            limReal("timing", &Params::timing),          limReal("release-ratio", &Params::releaseRatio),
            limReal("release-shape", &Params::releaseShape),
        };
        static Params fromValues(std::span<const double> values) { return limReadParams(kTable, values); }
        bool operator==(const Params&) const = default;
    };

    static constexpr double kMixGlideTime = 0.010;

    void prepare(double sampleRate, int maxBlock);
    // A new sample rate at or below the prepared one (the look-ahead window
    // keeps its prepared size): recomputes everything as a type change does.
    // Never allocates.
    void setSampleRate(double sampleRate);

    // A change of type, AIGC type or DRC type rebuilds everything and resets
    // every state. Otherwise: attack recomputes L, T and the release target
    // follower and empties the window; timing, release ratio and release shape
    // recompute the type-stage and S-curve coefficients and the mix weights,
    // which glide to their new values over kMixGlideTime; attack,
    // knee, release and release-enable rebuild the knee and the release tables,
    // and switching the release on starts its stages at 1.
    void setParams(const Params& p);
    const Params& params() const { return m_params; }

    // Followers, stages and cascades to their start values; window emptied.
    void reset();

    // level: n input levels (>= 0); gainOut: n gains; scaleOut: n input factors.
    void process(const double* level, double* gainOut, double* scaleOut, int n);

    // Two channels at once, with exactly the results of a.process() and
    // b.process(): when both run the same stages (type, release on or off,
    // no AIGC or DRC type) their samples go through one loop side by side,
    // both in one SSE2 register; otherwise each runs alone.
    static void processPair(CModLimTB& a, CModLimTB& b, const double* levelA, const double* levelB, double* gainA,
                            double* gainB, double* scaleA, double* scaleB, int n);

    int lookAhead() const { return m_window.length(); }
    double threshold() const { return m_co.T; }

private:
    // Coefficients and state hold one channel's values (V = double) or, while
    // two channels run side by side, both channels' values (V = CDual).
    template <class V>
    struct BiquadT {
        V b0 = 0.0, b1 = 0.0, b2 = 0.0, a1 = 0.0, a2 = 0.0;
    };

    // Everything the per-sample loop reads but does not change.
    template <class V>
    struct CoefsT {
        V T = 0.989;
        V K0 = 0.0, K1 = 0.0, B = 0.0, R2 = 0.0;  // knee: start, end, arc centre, squared radius
        V kc[12] = {};                            // AIGC cascade
        V k3 = 0.0, k6 = 0.0, k12 = 0.0;
        V aAtt = 0.0, aRel = 0.0, aQ = 0.0;   // type 1 follower and release cascade
        V k3t = 0.0, k3rt = 0.0, k6rt = 0.0;  // type 2: k3/timing, k3 rr/timing, k6 rr/timing
        V kBL = 0.0, kBM = 0.0, kBH = 0.0;    // type 2 band split (112.5, 187.5, 300 Hz)
        BiquadT<V> hp250, hp500;              // type 1 detectors
        V sA[8] = {}, sB[7] = {}, sG = 0.0;    // S-curve
        V mixQ = 0.0, mixF = 0.0, mixS = 0.0;  // mix weights being approached
    };
    using Coefs = CoefsT<double>;

    // Weights of the release cascade, the follower and the S-curve in the
    // type stage's mix.
    template <class V>
    struct MixT {
        V q = 0.0, f = 0.0, s = 0.0;
    };

    template <class V>
    struct StateT {
        V c[12] = {};
        V f = 0.0, q1 = 0.0, q2 = 0.0, q3 = 0.0, q4 = 0.0;
        V e1 = 0.0, e2 = 0.0, e3 = 0.0;
        V hp250[2] = {}, hp500[2] = {};
        V bl = 0.0, bm = 0.0, bh = 0.0;
        V u = 0.0, v = 0.0, eps = 0.0;
        V s[8] = {};
        MixT<V> mix;       // weights in effect
        MixT<V> mixStep;   // per-sample glide towards the coefficients' weights
        int mixGlide = 0;  // samples of glide left (the same in both lanes)
    };
    using State = StateT<double>;

    template <class V>
    struct Lane;
    template <int Type>
    void runOne(const double* level, double* gainOut, double* scaleOut, int n);
    template <int Type>
    static void runPair(CModLimTB& a, CModLimTB& b, const double* levelA, const double* levelB, double* gainA,
                        double* gainB, double* scaleA, double* scaleB, int n);
    bool runsLike(const CModLimTB& o) const;

    void rebuildAll();
    void updateLookAhead();
    void updateKneeAndRelease();
    void updateShape(bool glide);
    void resetState();

    double m_sr = 44100.0;
    bool m_prepared = false;
    Params m_params;
    Coefs m_co;
    State m_st;
    CLimReleaseTables m_relTables;
    CLimReleaseState m_rel;
    CLimDrcCoefs m_drcCoefs;
    CLimDrcState m_drc;
    CSlidingWindowMin m_window;
};
