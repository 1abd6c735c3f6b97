#pragma once
// Sliding-window extreme: the minimum (or maximum) of the last L values pushed,
// including the one just pushed; until L values have arrived, the extreme of
// all values since the window was emptied. Among equal values the newest is
// returned (which only tells +0 from -0).
//
// Block form (van Herk / Gil-Werman): the input is cut into blocks of L
// values. A window ending at position k of the current block covers
// positions k+1 ... L-1 of the previous block and 0 ... k of the current one,
// so its extreme is that of a suffix of the previous block, kept in a table
// computed when that block completed, and of the running prefix of the
// current block. A push costs two comparisons and a store; completing a
// block costs one more comparison per value of the block. No step depends on
// the data's order, so the per-sample cost is the same for any signal.
// run() takes the running prefix and the suffixes four values at a time (two
// SSE2 pairs), so that the chain of comparisons from one value to the next
// takes one step per four values; the results are push()'s bit for bit.
//
// NaN: a NaN push empties the window and is returned for that sample; the
// values after it start afresh.
//
// Storage is allocated by prepare() for the largest window; setLength(),
// clear() and push() never allocate.

#include <algorithm>
#include <utility>

#include "Audio/Graph/SampleBuffer.h"
#include "Audio/Vector/Dual.h"

template <bool IsMin>
class CSlidingWindowExtreme {
public:
    // Allocates for windows of up to maxLength values (at least 1) and sets the
    // window to that length, empty.
    void prepare(int maxLength) {
        m_maxLength = maxLength < 1 ? 1 : maxLength;
        // Every entry is written before it is read (a block's values before
        // the block completes, the suffixes when it does), so the storage
        // starts as untouched zeros and takes memory only where a window runs.
        m_block.allocate(static_cast<size_t>(m_maxLength));
        // One entry past the longest block: the empty suffix.
        m_suffix.allocate(static_cast<size_t>(m_maxLength) + 1);
        m_length = m_maxLength;
        clear();
    }

    // Sets the window length (clamped to 1 ... maxLength) and empties the window.
    void setLength(int length) {
        m_length = length < 1 ? 1 : (length > m_maxLength ? m_maxLength : length);
        clear();
    }

    void clear() {
        m_pos = 0;
        m_run = kNone;
        m_havePrevious = false;
        m_empty = true;
    }

    int length() const { return m_length; }
    int maxLength() const { return m_maxLength; }
    bool empty() const { return m_empty; }

    // Pushes v and returns the extreme of the window that now ends with v.
    double push(double v) {
        if (v != v) [[unlikely]] {
            clear();
            return v;
        }
        m_empty = false;
        const int pos = m_pos;
        m_block[static_cast<size_t>(pos)] = v;
        m_run = pick(m_run, v);
        const double out = m_havePrevious ? pick(std::as_const(m_suffix)[static_cast<size_t>(pos) + 1], m_run) : m_run;
        if (pos + 1 == m_length) {
            completeBlock();
        } else {
            m_pos = pos + 1;
        }
        return out;
    }

    // Pushes n values and writes the extreme after each push: out[i] is
    // what push(in[i]) would return. in == out is allowed. The same
    // comparisons as push(), run per block segment with the state in locals
    // and no per-value test of the position.
    void run(const double* in, double* out, int n) {
        int i = 0;
        while (i < n) {
            const int seg = std::min(n - i, m_length - m_pos);
            int k = 0;
            if (m_havePrevious)
                k = segment<true>(in + i, out + i, seg);
            else
                k = segment<false>(in + i, out + i, seg);
            i += k;
            if (k < seg) {
                // A NaN: it empties the window and is passed on.
                out[i] = in[i];
                clear();
                ++i;
            } else if (m_pos == m_length) {
                completeBlock();
            }
        }
    }

    // Two windows over their own inputs: each runs its block in turn (the
    // vector scans leave no chain of comparisons for the two to overlap).
    static void runPair(CSlidingWindowExtreme& a, const double* inA, double* outA, CSlidingWindowExtreme& b,
                        const double* inB, double* outB, int n) {
        a.run(inA, outA, n);
        b.run(inB, outB, n);
    }

private:
    // Up to seg values of the current block (seg <= m_length - m_pos); stops
    // before a NaN. Returns the values taken.
    template <bool HavePrevious>
    int segment(const double* in, double* out, int seg) {
        double* block = m_block.data() + m_pos;
        const double* suffix = m_suffix.data() + m_pos + 1;
        double run = m_run;
        int k = 0;
#if TAMBLOR_HAVE_DUAL
        // Four values at a time, in two pairs: each pair's own prefix
        // [v0, pick(v0, v1)] and the extreme of all four do not wait for the
        // running extreme, which then takes one comparison per four values
        // instead of one per value (pick() is associative: among equal
        // values it keeps the newest, however the comparisons are grouped).
        const __m128d none = _mm_set1_pd(kNone);
        __m128d carry = _mm_set1_pd(run);
        for (; k + 4 <= seg; k += 4) {
            const __m128d v0 = _mm_loadu_pd(in + k);
            const __m128d v1 = _mm_loadu_pd(in + k + 2);
            if (_mm_movemask_pd(_mm_cmpunord_pd(v0, v1)) != 0) [[unlikely]]
                break;
            _mm_storeu_pd(block + k, v0);
            _mm_storeu_pd(block + k + 2, v1);
            const __m128d l0 = pickPair(_mm_unpacklo_pd(none, v0), v0);
            const __m128d l1 = pickPair(_mm_unpacklo_pd(none, v1), v1);
            const __m128d t0 = _mm_unpackhi_pd(l0, l0);
            const __m128d t1 = _mm_unpackhi_pd(l1, l1);
            __m128d o0 = pickPair(carry, l0);
            __m128d o1 = pickPair(pickPair(carry, t0), l1);
            carry = pickPair(carry, pickPair(t0, t1));
            if constexpr (HavePrevious) {
                o0 = pickPair(_mm_loadu_pd(suffix + k), o0);
                o1 = pickPair(_mm_loadu_pd(suffix + k + 2), o1);
            }
            _mm_storeu_pd(out + k, o0);
            _mm_storeu_pd(out + k + 2, o1);
        }
        run = _mm_cvtsd_f64(carry);
#endif
        for (; k < seg; ++k) {
            const double v = in[k];
            if (v != v) [[unlikely]]
                break;
            block[k] = v;
            run = pick(run, v);
            if constexpr (HavePrevious)
                out[k] = pick(suffix[k], run);
            else
                out[k] = run;
        }
        if (k > 0) m_empty = false;
        m_run = run;
        m_pos += k;
        return k;
    }

    static constexpr double kNone = IsMin ? __builtin_inf() : -__builtin_inf();

    // The extreme of an older value a and a newer value b; b when they are
    // equal (a single minsd / maxsd).
    static double pick(double a, double b) {
        if constexpr (IsMin)
            return a < b ? a : b;
        else
            return a > b ? a : b;
    }

#if TAMBLOR_HAVE_DUAL
    // pick() lane by lane: minpd / maxpd return their first operand when it
    // is strictly smaller / larger, else the second.
    static __m128d pickPair(__m128d older, __m128d newer) {
        if constexpr (IsMin)
            return _mm_min_pd(older, newer);
        else
            return _mm_max_pd(older, newer);
    }
#endif

    // The block just filled becomes the previous block: its suffix extremes.
    void completeBlock() {
        const double* block = m_block.data();
        double* suffix = m_suffix.data();
        double r = kNone;
        suffix[m_length] = r;
        int k = m_length - 1;
#if TAMBLOR_HAVE_DUAL
        // Four values at a time from the end, as in segment(): each pair's
        // own suffix [pick(v0, v1), v1] and the extreme of all four do not
        // wait for the running extreme.
        const __m128d none = _mm_set1_pd(kNone);
        __m128d carry = none;
        for (; k >= 3; k -= 4) {
            const __m128d vh = _mm_loadu_pd(block + k - 1);
            const __m128d vl = _mm_loadu_pd(block + k - 3);
            const __m128d lh = pickPair(vh, _mm_unpackhi_pd(vh, none));
            const __m128d ll = pickPair(vl, _mm_unpackhi_pd(vl, none));
            const __m128d th = _mm_unpacklo_pd(lh, lh);
            const __m128d tl = _mm_unpacklo_pd(ll, ll);
            _mm_storeu_pd(suffix + k - 1, pickPair(lh, carry));
            _mm_storeu_pd(suffix + k - 3, pickPair(ll, pickPair(th, carry)));
            carry = pickPair(pickPair(tl, th), carry);
        }
        r = _mm_cvtsd_f64(carry);
#endif
        for (; k >= 0; --k) suffix[k] = r = pick(block[k], r);
        m_pos = 0;
        m_run = kNone;
        m_havePrevious = true;
    }

    CSampleBuffer m_block;   // the current block's values
    CSampleBuffer m_suffix;  // suffix extremes of the previous block, plus the empty one
    double m_run = kNone;          // extreme of the current block so far
    int m_pos = 0;                 // position of the next value in the current block
    bool m_havePrevious = false;   // whether a block has completed since the window was emptied
    bool m_empty = true;
    int m_length = 1;
    int m_maxLength = 0;
};

using CSlidingWindowMin = CSlidingWindowExtreme<true>;
using CSlidingWindowMax = CSlidingWindowExtreme<false>;
