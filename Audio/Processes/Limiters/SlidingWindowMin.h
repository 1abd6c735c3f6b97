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
//
// NaN: a NaN push empties the window and is returned for that sample; the
// values after it start afresh.
//
// Storage is allocated by prepare() for the largest window; setLength(),
// clear() and push() never allocate.

#include <algorithm>
#include <utility>

#include "Audio/Graph/SampleBuffer.h"

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

    // Two windows over their own inputs, each value getting exactly the
    // comparisons run() gives it: while both stand at the same place (the
    // same length, position and history) one loop steps both, so their
    // chains of comparisons overlap; from a NaN in either, or when they
    // stand apart, each finishes alone.
    static void runPair(CSlidingWindowExtreme& a, const double* inA, double* outA, CSlidingWindowExtreme& b,
                        const double* inB, double* outB, int n) {
        int i = 0;
        while (i < n && a.m_pos == b.m_pos && a.m_length == b.m_length && a.m_havePrevious == b.m_havePrevious) {
            const int seg = std::min(n - i, a.m_length - a.m_pos);
            const int k = a.m_havePrevious ? segmentPair<true>(a, b, inA + i, outA + i, inB + i, outB + i, seg)
                                           : segmentPair<false>(a, b, inA + i, outA + i, inB + i, outB + i, seg);
            i += k;
            if (k < seg) break;
            if (a.m_pos == a.m_length) completeBlocks(a, b);
        }
        if (i < n) {
            a.run(inA + i, outA + i, n - i);
            b.run(inB + i, outB + i, n - i);
        }
    }

private:
    // segment() for two windows at the same place; stops before a NaN in
    // either input.
    template <bool HavePrevious>
    static int segmentPair(CSlidingWindowExtreme& a, CSlidingWindowExtreme& b, const double* inA, double* outA,
                           const double* inB, double* outB, int seg) {
        double* blockA = a.m_block.data() + a.m_pos;
        double* blockB = b.m_block.data() + b.m_pos;
        const double* suffixA = a.m_suffix.data() + a.m_pos + 1;
        const double* suffixB = b.m_suffix.data() + b.m_pos + 1;
        double runA = a.m_run, runB = b.m_run;
        int k = 0;
        for (; k < seg; ++k) {
            const double va = inA[k], vb = inB[k];
            if (va != va || vb != vb) [[unlikely]]
                break;
            blockA[k] = va;
            blockB[k] = vb;
            runA = pick(runA, va);
            runB = pick(runB, vb);
            if constexpr (HavePrevious) {
                outA[k] = pick(suffixA[k], runA);
                outB[k] = pick(suffixB[k], runB);
            } else {
                outA[k] = runA;
                outB[k] = runB;
            }
        }
        if (k > 0) a.m_empty = b.m_empty = false;
        a.m_run = runA;
        b.m_run = runB;
        a.m_pos += k;
        b.m_pos += k;
        return k;
    }

    // completeBlock() of two windows of the same length in one loop.
    static void completeBlocks(CSlidingWindowExtreme& a, CSlidingWindowExtreme& b) {
        const double* blockA = a.m_block.data();
        const double* blockB = b.m_block.data();
        double* suffixA = a.m_suffix.data();
        double* suffixB = b.m_suffix.data();
        double ra = kNone, rb = kNone;
        suffixA[a.m_length] = ra;
        suffixB[b.m_length] = rb;
        for (int k = a.m_length - 1; k >= 0; --k) {
            suffixA[k] = ra = pick(blockA[k], ra);
            suffixB[k] = rb = pick(blockB[k], rb);
        }
        a.m_pos = b.m_pos = 0;
        a.m_run = b.m_run = kNone;
        a.m_havePrevious = b.m_havePrevious = true;
    }

    // Up to seg values of the current block (seg <= m_length - m_pos); stops
    // before a NaN. Returns the values taken.
    template <bool HavePrevious>
    int segment(const double* in, double* out, int seg) {
        double* block = m_block.data() + m_pos;
        const double* suffix = m_suffix.data() + m_pos + 1;
        double run = m_run;
        int k = 0;
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

    // The block just filled becomes the previous block: its suffix extremes.
    void completeBlock() {
        const double* block = m_block.data();
        double* suffix = m_suffix.data();
        double r = kNone;
        suffix[m_length] = r;
        for (int k = m_length - 1; k >= 0; --k) suffix[k] = r = pick(block[k], r);
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
