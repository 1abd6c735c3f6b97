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
#include <type_traits>

#include "Audio/Vector/Dual.h"

// The longest attack the look-ahead windows are allocated for (seconds).
inline constexpr double kLimMaxAttack = 0.020;

// Threshold by attack time: the first row whose bound the attack reaches.
double limThresholdForAttack(double attack);

// Look-ahead length L = round(attack * SR), halves away from zero, limited to
// 1 ... maxLength.
int limLookAheadLength(double attack, double sampleRate, int maxLength);

// The window length the processors allocate for at a sample rate.
int limMaxLookAheadLength(double sampleRate);

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

// The tables of one channel, or of two channels run side by side; rows are
// read for each lane's own index.
inline double limReleaseTarget(const CLimReleaseTables& t) { return t.kTarget; }
inline double limReleaseRow(const std::array<double, CLimReleaseTables::kSize>& t, int j) { return t[size_t(j)]; }
#if TAMBLOR_HAVE_DUAL
struct CLimReleaseTablePair {
    const CLimReleaseTables& a;
    const CLimReleaseTables& b;
};
inline CDual limReleaseTarget(const CLimReleaseTablePair& t) { return {t.a.kTarget, t.b.kTarget}; }
#endif

// The table row in use and its three coefficients, kept by the processing
// loop for the length of a block. While the gain recovers the row changes
// only every few samples; the stages run on the kept coefficients and look
// them up again when the row moves. The row also keeps the range of
// 127 R4 / RT it surely holds for, drawn in from the row's rounding bounds
// by a margin far wider than the rounding of a product or quotient: while
// 127 R4 lies strictly between RT times those bounds, the row cannot have
// moved and the step needs neither the division nor its wait. Outside it
// the step tries the ranges of the neighbouring rows (where a recovering
// gain goes next) and divides only when neither holds, and always for a NaN,
// a zero or negative RT, or an RT too small for its products to keep their
// precision. Starts empty (row -1, a range nothing lies in).
template <class V>
struct CLimReleaseRowT;

// The range of 127 R4 / RT that surely gives row j (see above).
inline constexpr double kLimReleaseRowMargin = 1e-9;
inline constexpr double kLimReleaseMinTarget = 1e-290;
inline double limReleaseRowLow(int j) {
    return j <= 0 ? -HUGE_VAL : (j - 0.5) + kLimReleaseRowMargin * (j + 1);
}
inline double limReleaseRowHigh(int j) {
    return j >= CLimReleaseTables::kSize - 1 ? HUGE_VAL : (j + 0.5) - kLimReleaseRowMargin * (j + 1);
}

// Every row's range, as tables (the same values, computed once when the
// program starts).
struct CLimReleaseRowRanges {
    std::array<double, CLimReleaseTables::kSize> lo;
    std::array<double, CLimReleaseTables::kSize> hi;
};
extern const CLimReleaseRowRanges kLimReleaseRowRanges;

template <>
struct CLimReleaseRowT<double> {
    int j = -1;
    double t1 = 0.0, t2 = 0.0, t3 = 0.0;
    double lo = HUGE_VAL, hi = -HUGE_VAL;
};

#if TAMBLOR_HAVE_DUAL
template <>
struct CLimReleaseRowT<CDual> {
    CDualIndex j{-1, -1};
    CDual t1 = 0.0, t2 = 0.0, t3 = 0.0;
    CDual lo = HUGE_VAL, hi = -HUGE_VAL;
};
#endif

// V is double for one channel, CDual for two side by side (same results).
template <class V>
struct CLimReleaseStateT {
    V rt = 1.0;
    V r1 = 1.0, r2 = 1.0, r3 = 1.0, r4 = 1.0;

    void reset() { rt = r1 = r2 = r3 = r4 = 1.0; }

    // Runs one sample of gain g and returns min(g, release output). Tables
    // is CLimReleaseTables for double, CLimReleaseTablePair for CDual; row is
    // the loop's kept row.
    // Inlined into the processors' sample loops, where the state lives in
    // registers for the length of a block.
    template <class Tables>
    [[gnu::always_inline]] inline V apply(V g, const Tables& tb, CLimReleaseRowT<V>& row) {
        rt += (g - rt) * limReleaseTarget(tb);
        // While R4 is at or above the target all stages take the target;
        // otherwise they rise at the speed of table row
        // floor(127 R4 / RT + 0.5), limited in the double domain so that a
        // NaN level selects row 0 instead of an undefined cast.
        const auto hold = r4 >= rt;
        const V a = 127.0 * r4;
        if (!vAll((a > rt * row.lo) && (a < rt * row.hi) && (rt > kLimReleaseMinTarget))) [[unlikely]]
            moveRow(a, rt, tb, row);
        const V n1 = r1 + (rt - r1) * row.t1;
        const V n2 = r2 + (n1 - r2) * row.t2;
        const V n3 = r3 + (n2 - r3) * row.t2;
        const V n4 = r4 + (n3 - r4) * row.t3;
        if (vAny(hold)) [[unlikely]] {
            r1 = vSelect(hold, rt, n1);
            r2 = vSelect(hold, rt, n2);
            r3 = vSelect(hold, rt, n3);
            r4 = vSelect(hold, rt, n4);
        } else {
            r1 = n1;
            r2 = n2;
            r3 = n3;
            r4 = n4;
        }
        return vMin(g, r4);
    }

    // apply() over a block of gains in place, with the state and the kept
    // row in locals: g[i] becomes what apply(g[i]) returns. One channel
    // (Tables CLimReleaseTables) reads and writes gA alone; two side by side
    // (CLimReleaseTablePair) gA and gB. A new row is looked up out of line,
    // so that the loop keeps its state in registers.
    template <class Tables>
    void run(double* gA, double* gB, int n, const Tables& tb, CLimReleaseRowT<V>& row) {
        const V kTarget = limReleaseTarget(tb);
        V t = rt, s1 = r1, s2 = r2, s3 = r3, s4 = r4;
        V t1 = row.t1, t2 = row.t2, t3 = row.t3, lo = row.lo, hi = row.hi;
        for (int i = 0; i < n; ++i) {
            const V g = load(gA, gB, i);
            t += (g - t) * kTarget;
            const auto hold = s4 >= t;
            const V a = 127.0 * s4;
            if (!vAll((a > t * lo) && (a < t * hi) && (t > kLimReleaseMinTarget))) [[unlikely]] {
                moveRowOutOfLine(a, t, tb, row);
                t1 = row.t1, t2 = row.t2, t3 = row.t3, lo = row.lo, hi = row.hi;
            }
            const V n1 = s1 + (t - s1) * t1;
            const V n2 = s2 + (n1 - s2) * t2;
            const V n3 = s3 + (n2 - s3) * t2;
            const V n4 = s4 + (n3 - s4) * t3;
            // A select on every sample would lengthen each stage's chain from
            // one sample to the next; the branch costs only when it turns.
            if (vAny(hold)) [[unlikely]] {
                s1 = vSelect(hold, t, n1);
                s2 = vSelect(hold, t, n2);
                s3 = vSelect(hold, t, n3);
                s4 = vSelect(hold, t, n4);
            } else {
                s1 = n1, s2 = n2, s3 = n3, s4 = n4;
            }
            store(gA, gB, i, vMin(g, s4));
        }
        rt = t, r1 = s1, r2 = s2, r3 = s3, r4 = s4;
    }

    // The row for a = 127 R4 and the target rt, when the kept range does not
    // surely hold it. While the gain recovers the row mostly moves by one, so
    // each lane tries the kept ranges of its row and of the rows either side
    // before it divides; a range gives the row the division would give.
    template <class Tables>
    static void moveRow(V a, V rt, const Tables& tb, CLimReleaseRowT<V>& row) {
        const auto j = laneRows(a, rt, row.j);
        if (j != row.j) {
            row.j = j;
            row.t1 = lookup(tb, &CLimReleaseTables::t1, j);
            row.t2 = lookup(tb, &CLimReleaseTables::t2, j);
            row.t3 = lookup(tb, &CLimReleaseTables::t3, j);
            row.lo = range(&CLimReleaseRowRanges::lo, j);
            row.hi = range(&CLimReleaseRowRanges::hi, j);
        }
    }

private:
    template <class Tables>
    [[gnu::noinline]] static void moveRowOutOfLine(V a, V rt, const Tables& tb, CLimReleaseRowT<V>& row) {
        moveRow(a, rt, tb, row);
    }
    static V load(const double* x, const double* y, int i) {
        if constexpr (std::is_same_v<V, double>)
            return x[i];
        else
            return V(x[i], y[i]);
    }
    static void store(double* x, double* y, int i, V v) {
        if constexpr (std::is_same_v<V, double>) {
            x[i] = v;
        } else {
            x[i] = v.lane0();
            y[i] = v.lane1();
        }
    }

    using Table = std::array<double, CLimReleaseTables::kSize> CLimReleaseTables::*;
    static double lookup(const CLimReleaseTables& tb, Table t, int j) { return limReleaseRow(tb.*t, j); }
    using Range = std::array<double, CLimReleaseTables::kSize> CLimReleaseRowRanges::*;
    static double range(Range r, int j) { return (kLimReleaseRowRanges.*r)[size_t(j)]; }
    // One lane's row: its kept one, a neighbour or the division's.
    static int laneRow(double a, double rt, int j) {
        const auto holds = [&](int k) {
            const size_t i = size_t(k);
            return k >= 0 && k < CLimReleaseTables::kSize && a > rt * kLimReleaseRowRanges.lo[i] &&
                   a < rt * kLimReleaseRowRanges.hi[i];
        };
        if (rt > kLimReleaseMinTarget) {
            if (holds(j)) return j;
            if (holds(j + 1)) return j + 1;
            if (holds(j - 1)) return j - 1;
        }
        return vIndex(a / rt + 0.5, 127);
    }
    static int laneRows(double a, double rt, int j) { return laneRow(a, rt, j); }
#if TAMBLOR_HAVE_DUAL
    static CDual lookup(const CLimReleaseTablePair& tb, Table t, CDualIndex j) {
        return {limReleaseRow(tb.a.*t, j.i0), limReleaseRow(tb.b.*t, j.i1)};
    }
    static CDual range(Range r, CDualIndex j) { return {range(r, j.i0), range(r, j.i1)}; }
    static CDualIndex laneRows(CDual a, CDual rt, CDualIndex j) {
        return {laneRow(a.lane0(), rt.lane0(), j.i0), laneRow(a.lane1(), rt.lane1(), j.i1)};
    }
#endif
};
using CLimReleaseState = CLimReleaseStateT<double>;
using CLimReleaseRow = CLimReleaseRowT<double>;

// ---------------------------------------------------------------------------
// Dynamic-range stage: a slow follower D1 of the total gain z and an input
// factor D3 steered by how far z lies from that slow average. Type 1 ("Rls")
// only lowers the input after loud passages (ratio clamped to 0.25 ... 1);
// type 2 ("Exp") also raises it while the gain lies below its average
// (0.25 ... 4, rising with the 400 Hz and falling with the 40 Hz coefficient).

template <class V>
struct CLimDrcCoefsT {
    V kSlow = 0.0;
    V k40 = 0.0;
    V k400 = 0.0;
};

struct CLimDrcCoefs : CLimDrcCoefsT<double> {
    void build(double sampleRate);
};

template <class V>
struct CLimDrcStateT {
    V d1 = 1.0;
    V d3 = 1.0;

    void reset() { d1 = d3 = 1.0; }

    void update(V z, int drcType, const CLimDrcCoefsT<V>& k) {
        d1 += (z - d1) * k.kSlow;
        const V q = d1 / z;
        if (drcType == 2)
            d3 = vChoose(
                q >= 1.0, [&] { return d3 + (vMin(q, 4.0) - d3) * k.k400; },
                [&] { return d3 + (vMax(q, 0.25) - d3) * k.k40; });
        else
            d3 += (vMin(vMax(q, 0.25), 1.0) - d3) * k.k40;
    }
};
using CLimDrcState = CLimDrcStateT<double>;
