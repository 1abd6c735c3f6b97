#pragma once
// Stages shared by the limiter gain computers (CModLimTB, CModLimTBC,
// CModLimTBI, CModLimAIGC, CModLimClip): the threshold chosen by the attack
// time, the look-ahead length, the release stage with its three 128-entry
// coefficient tables, and the slow dynamic-range stage that steers the input
// factor.
//
// Tables and coefficients are built when parameters change; the per-sample
// parts are small inline functions over plain state structs so that the
// processors can keep the state in locals for the length of a block.

#include <algorithm>
#include <array>
#include <cmath>

// The longest attack the look-ahead windows are allocated for (seconds).
inline constexpr double kLimMaxAttack = 0.020;

// Threshold by attack time: the first row whose bound the attack reaches.
double limThresholdForAttack(double attack);

// Look-ahead length L = round(attack * SR), halves away from zero, limited to
// 1 ... maxLength.
int limLookAheadLength(double attack, double sampleRate, int maxLength);

// The window length the processors allocate for at a sample rate.
int limMaxLookAheadLength(double sampleRate);

// A received integer parameter: rounded half away from zero, limited to lo ... hi.
inline int limParamInt(double v, int lo, int hi) {
    const double r = std::round(v);
    if (!(r >= lo)) return lo;
    return r > hi ? hi : static_cast<int>(r);
}

// A received switch parameter: on at 0.5 and above.
inline bool limParamSwitch(double v) { return v >= 0.5; }

// ---------------------------------------------------------------------------
// Release stage: a fast target follower RT and four release stages R1...R4
// that rise towards it at a speed looked up from how far R4 still lies below
// RT; any fall of RT below R4 is taken at once.

struct CLimReleaseTables {
    static constexpr int kSize = 128;
    std::array<double, kSize> t1{};
    std::array<double, kSize> t2{};
    std::array<double, kSize> t3{};
    double kTarget = 0.0;  // coefficient of the target follower RT

    // Builds the tables for a release time (seconds) and sets the follower's
    // coefficient.
    void build(double release, double kTargetCoef, double sampleRate);
};

struct CLimReleaseState {
    double rt = 1.0;
    double r1 = 1.0, r2 = 1.0, r3 = 1.0, r4 = 1.0;

    void reset() { rt = r1 = r2 = r3 = r4 = 1.0; }

    // Runs one sample of gain g and returns min(g, release output).
    double apply(double g, const CLimReleaseTables& tb) {
        rt += (g - rt) * tb.kTarget;
        double r;
        if (r4 >= rt) {
            r1 = r2 = r3 = r4 = rt;
            r = rt;
        } else {
            // Table row floor(127 R4 / RT + 0.5), limited in the double domain
            // so that a NaN level selects row 0 instead of an undefined cast.
            const double q = 127.0 * r4 / rt + 0.5;
            const int j = q >= 127.0 ? 127 : (q > 0.0 ? static_cast<int>(q) : 0);
            r1 += (rt - r1) * tb.t1[j];
            r2 += (r1 - r2) * tb.t2[j];
            r3 += (r2 - r3) * tb.t2[j];
            r4 += (r3 - r4) * tb.t3[j];
            r = r4;
        }
        return std::min(g, r);
    }
};

// ---------------------------------------------------------------------------
// Dynamic-range stage: a slow follower D1 of the total gain z and an input
// factor D3 steered by how far z lies from that slow average. Type 1 ("Rls")
// only lowers the input after loud passages (ratio clamped to 0.25 ... 1);
// type 2 ("Exp") also raises it while the gain lies below its average
// (0.25 ... 4, rising with the 400 Hz and falling with the 40 Hz coefficient).

struct CLimDrcCoefs {
    double kSlow = 0.0;
    double k40 = 0.0;
    double k400 = 0.0;
    void build(double sampleRate);
};

struct CLimDrcState {
    double d1 = 1.0;
    double d3 = 1.0;

    void reset() { d1 = d3 = 1.0; }

    void update(double z, int drcType, const CLimDrcCoefs& k) {
        d1 += (z - d1) * k.kSlow;
        const double q = d1 / z;
        if (drcType == 2) {
            if (q >= 1.0)
                d3 += (std::min(q, 4.0) - d3) * k.k400;
            else
                d3 += (std::max(q, 0.25) - d3) * k.k40;
        } else {
            d3 += (std::min(std::max(q, 0.25), 1.0) - d3) * k.k40;
        }
    }
};
