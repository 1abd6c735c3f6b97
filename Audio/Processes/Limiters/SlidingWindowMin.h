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

#include <vector>

template <bool IsMin>
class CSlidingWindowExtreme {
public:
    // Allocates for windows of up to maxLength values (at least 1) and sets the
    // window to that length, empty.
    void prepare(int maxLength) {
        maxLength_ = maxLength < 1 ? 1 : maxLength;
        block_.assign(static_cast<size_t>(maxLength_), kNone);
        // One entry past the longest block: the empty suffix.
        suffix_.assign(static_cast<size_t>(maxLength_) + 1, kNone);
        length_ = maxLength_;
        clear();
    }

    // Sets the window length (clamped to 1 ... maxLength) and empties the window.
    void setLength(int length) {
        length_ = length < 1 ? 1 : (length > maxLength_ ? maxLength_ : length);
        clear();
    }

    void clear() {
        pos_ = 0;
        run_ = kNone;
        havePrevious_ = false;
        empty_ = true;
    }

    int length() const { return length_; }
    int maxLength() const { return maxLength_; }
    bool empty() const { return empty_; }

    // Pushes v and returns the extreme of the window that now ends with v.
    double push(double v) {
        if (v != v) [[unlikely]] {
            clear();
            return v;
        }
        empty_ = false;
        const int pos = pos_;
        block_[static_cast<size_t>(pos)] = v;
        run_ = pick(run_, v);
        const double out = havePrevious_ ? pick(suffix_[static_cast<size_t>(pos) + 1], run_) : run_;
        if (pos + 1 == length_) {
            completeBlock();
        } else {
            pos_ = pos + 1;
        }
        return out;
    }

private:
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
        const double* block = block_.data();
        double* suffix = suffix_.data();
        double r = kNone;
        suffix[length_] = r;
        for (int k = length_ - 1; k >= 0; --k) suffix[k] = r = pick(block[k], r);
        pos_ = 0;
        run_ = kNone;
        havePrevious_ = true;
    }

    std::vector<double> block_;   // the current block's values
    std::vector<double> suffix_;  // suffix extremes of the previous block, plus the empty one
    double run_ = kNone;          // extreme of the current block so far
    int pos_ = 0;                 // position of the next value in the current block
    bool havePrevious_ = false;   // whether a block has completed since the window was emptied
    bool empty_ = true;
    int length_ = 1;
    int maxLength_ = 0;
};

using CSlidingWindowMin = CSlidingWindowExtreme<true>;
using CSlidingWindowMax = CSlidingWindowExtreme<false>;
