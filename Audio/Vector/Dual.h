#pragma once
// Per-sample arithmetic written once for one channel (double) or for two
// channels side by side (CDual, both lanes of one SSE2 register).
//
// The processors that run channels in pairs write their sample step as a
// template over the value type and use only the operations below. Every
// CDual operation does, lane by lane, exactly what the double operation does
// (IEEE add, subtract, multiply, divide and square root are correctly rounded
// in both), and the helpers keep the C++ meaning of their scalar forms,
// NaN included:
//   vMin(a, b)  = std::min(a, b) = (b < a) ? b : a
//   vMax(a, b)  = std::max(a, b) = (a < b) ? b : a
//   vSelect(m, a, b) = m ? a : b, with m the result of a comparison
//   vChoose(m, fa, fb) = m ? fa() : fb(): one channel evaluates only the arm
//               it takes (the compiler may branch, so a predictable condition
//               costs nothing and the other arm's work is skipped); a pair
//               evaluates both and selects per lane
//   vAny(m)     = whether m holds in some lane
//   vAll(m)     = whether m holds in every lane
// Conditional branches on signal values become selects, so a pair needs no
// per-lane control flow. Files that use CDual are built without contraction
// of multiply-adds (-ffp-contract=off), so that both forms round alike.
//
// CDual exists where doubles are computed in SSE2 registers anyway (x86-64,
// or 32-bit builds with SSE2 math); kHaveDual tells whether it does.

#include <algorithm>
#include <cmath>

#if defined(__SSE2__) && (defined(__x86_64__) || defined(__SSE2_MATH__))
#include <emmintrin.h>
#define TAMBLOR_HAVE_DUAL 1
#else
#define TAMBLOR_HAVE_DUAL 0
#endif

// --- One channel ---------------------------------------------------------------------------

inline double vMin(double a, double b) { return std::min(a, b); }
inline double vMax(double a, double b) { return std::max(a, b); }
inline double vAbs(double a) { return std::abs(a); }
inline double vSqrt(double a) { return std::sqrt(a); }
inline double vSelect(bool m, double a, double b) { return m ? a : b; }
template <class FA, class FB>
inline double vChoose(bool m, FA&& a, FB&& b) {
    return m ? static_cast<double>(a()) : static_cast<double>(b());
}
inline bool vAny(bool m) { return m; }
inline bool vAll(bool m) { return m; }

// An index in 0 ... hi from a real: truncated, with values at or above hi
// giving hi and values at or below 0 (and NaN) giving 0.
inline int vIndex(double q, int hi) {
    return q >= static_cast<double>(hi) ? hi : (q > 0.0 ? static_cast<int>(q) : 0);
}

#if TAMBLOR_HAVE_DUAL

inline constexpr bool kHaveDual = true;

// A comparison result: all ones in the lanes where it holds.
struct CDualMask {
    __m128d m;
};

struct CDual {
    __m128d v;

    CDual() = default;
    explicit CDual(__m128d x) : v(x) {}
    // Both lanes the same value (so that constants mix with pairs).
    CDual(double x) : v(_mm_set1_pd(x)) {}  // NOLINT(google-explicit-constructor)
    CDual(double lane0, double lane1) : v(_mm_set_pd(lane1, lane0)) {}

    double lane0() const { return _mm_cvtsd_f64(v); }
    double lane1() const { return _mm_cvtsd_f64(_mm_unpackhi_pd(v, v)); }

    CDual& operator+=(CDual b) { v = _mm_add_pd(v, b.v); return *this; }
    CDual& operator-=(CDual b) { v = _mm_sub_pd(v, b.v); return *this; }
    CDual& operator*=(CDual b) { v = _mm_mul_pd(v, b.v); return *this; }
    CDual& operator/=(CDual b) { v = _mm_div_pd(v, b.v); return *this; }
};

inline CDual operator+(CDual a, CDual b) { return CDual(_mm_add_pd(a.v, b.v)); }
inline CDual operator-(CDual a, CDual b) { return CDual(_mm_sub_pd(a.v, b.v)); }
inline CDual operator*(CDual a, CDual b) { return CDual(_mm_mul_pd(a.v, b.v)); }
inline CDual operator/(CDual a, CDual b) { return CDual(_mm_div_pd(a.v, b.v)); }
inline CDual operator-(CDual a) { return CDual(_mm_xor_pd(a.v, _mm_set1_pd(-0.0))); }

inline CDualMask operator<(CDual a, CDual b) { return {_mm_cmplt_pd(a.v, b.v)}; }
inline CDualMask operator<=(CDual a, CDual b) { return {_mm_cmple_pd(a.v, b.v)}; }
inline CDualMask operator>(CDual a, CDual b) { return {_mm_cmpgt_pd(a.v, b.v)}; }
inline CDualMask operator>=(CDual a, CDual b) { return {_mm_cmpge_pd(a.v, b.v)}; }
inline CDualMask operator==(CDual a, CDual b) { return {_mm_cmpeq_pd(a.v, b.v)}; }
inline CDualMask operator!=(CDual a, CDual b) { return {_mm_cmpneq_pd(a.v, b.v)}; }
inline CDualMask operator||(CDualMask a, CDualMask b) { return {_mm_or_pd(a.m, b.m)}; }
inline CDualMask operator&&(CDualMask a, CDualMask b) { return {_mm_and_pd(a.m, b.m)}; }

// minpd/maxpd return their second operand unless the first is strictly
// smaller/larger, which is std::min/std::max with the operands swapped.
inline CDual vMin(CDual a, CDual b) { return CDual(_mm_min_pd(b.v, a.v)); }
inline CDual vMax(CDual a, CDual b) { return CDual(_mm_max_pd(b.v, a.v)); }
inline CDual vAbs(CDual a) { return CDual(_mm_andnot_pd(_mm_set1_pd(-0.0), a.v)); }
inline CDual vSqrt(CDual a) { return CDual(_mm_sqrt_pd(a.v)); }
inline CDual vSelect(CDualMask m, CDual a, CDual b) {
    return CDual(_mm_or_pd(_mm_and_pd(m.m, a.v), _mm_andnot_pd(m.m, b.v)));
}
template <class FA, class FB>
inline CDual vChoose(CDualMask m, FA&& a, FB&& b) {
    return vSelect(m, CDual(a()), CDual(b()));
}
inline bool vAny(CDualMask m) { return _mm_movemask_pd(m.m) != 0; }
inline bool vAll(CDualMask m) { return _mm_movemask_pd(m.m) == 3; }

// Both lanes' indices (see the double form).
struct CDualIndex {
    int i0, i1;
    bool operator==(const CDualIndex&) const = default;
};
inline CDualIndex vIndex(CDual q, int hi) {
    // max(q, 0) gives 0 for NaN; truncation matches the scalar cast in range.
    const __m128d c = _mm_min_pd(_mm_max_pd(q.v, _mm_setzero_pd()), _mm_set1_pd(static_cast<double>(hi)));
    const __m128i t = _mm_cvttpd_epi32(c);
    return {_mm_cvtsi128_si32(t), _mm_cvtsi128_si32(_mm_srli_si128(t, 4))};
}

#else

inline constexpr bool kHaveDual = false;

#endif
