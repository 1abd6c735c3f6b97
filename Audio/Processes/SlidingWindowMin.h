#pragma once
// Sliding-window extreme: the minimum (or maximum) of the last L values pushed,
// including the one just pushed; until L values have arrived, the extreme of
// all values since the window was emptied.
//
// A monotonic deque in a ring: it keeps only the values that can still become
// the extreme, in arrival order, so the front is the extreme of the window. A
// push drops the dominated values at the back and at most one expired value at
// the front, which makes it O(1) amortised; over any block of n pushes at most
// n + L entries are dropped. Among equal values the newest is kept: it leaves
// the window last and the returned value is the same.
//
// NaN: a NaN push clears the deque and is returned for that sample; the next
// value drops it again.
//
// Storage is allocated by prepare() for the largest window; setLength() and
// clear() never allocate, and push() is allocation-free.

#include <bit>
#include <cstdint>
#include <vector>

template <bool IsMin>
class CSlidingWindowExtreme {
public:
    // Allocates for windows of up to maxLength values (at least 1) and sets the
    // window to that length, empty.
    void prepare(int maxLength) {
        maxLength_ = maxLength < 1 ? 1 : maxLength;
        // The deque holds up to L entries plus the new one before the expired
        // front is dropped.
        const auto cap = std::bit_ceil(static_cast<uint32_t>(maxLength_) + 1u);
        ring_.assign(cap, Entry{0.0, 0});
        mask_ = cap - 1u;
        length_ = maxLength_;
        clear();
    }

    // Sets the window length (clamped to 1 ... maxLength) and empties the window.
    void setLength(int length) {
        length_ = length < 1 ? 1 : (length > maxLength_ ? maxLength_ : length);
        clear();
    }

    void clear() {
        head_ = tail_ = 0;
        pos_ = 0;
    }

    int length() const { return length_; }
    int maxLength() const { return maxLength_; }
    bool empty() const { return head_ == tail_; }

    // Pushes v and returns the extreme of the window that now ends with v.
    double push(double v) {
        Entry* ring = ring_.data();
        const uint32_t mask = mask_;
        const int64_t pos = pos_++;
        uint32_t tail = tail_;
        const uint32_t head = head_;
        while (tail != head && !keeps(ring[(tail - 1u) & mask].value, v)) --tail;
        ring[tail & mask] = Entry{v, pos};
        tail_ = tail + 1u;
        // Only one value leaves the window per push: the front, if it is the
        // one pushed L values ago.
        if (ring[head & mask].pos <= pos - length_) head_ = head + 1u;
        return ring[head_ & mask].value;
    }

private:
    struct Entry {
        double value;
        int64_t pos;
    };

    // Whether an older value a stays in the deque in front of a newer value b:
    // only when it is strictly more extreme.
    static bool keeps(double a, double b) {
        if constexpr (IsMin)
            return a < b;
        else
            return a > b;
    }

    std::vector<Entry> ring_;
    uint32_t mask_ = 0;
    uint32_t head_ = 0;  // running index of the front entry
    uint32_t tail_ = 0;  // running index one past the back entry
    int64_t pos_ = 0;    // running number of the next value pushed
    int length_ = 1;
    int maxLength_ = 0;
};

using CSlidingWindowMin = CSlidingWindowExtreme<true>;
using CSlidingWindowMax = CSlidingWindowExtreme<false>;
