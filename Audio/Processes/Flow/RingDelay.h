#pragma once
// The steady part of the delay lines on a power-of-two ring: n samples of x
// written at ring position w on and each read back d positions behind the
// one just written, into y (x == y allowed). It equals the per-sample
//     ring[(w + i) & mask] = x[i];  y[i] = ring[(w + i - d) & mask];
// moved in runs of at most size - d samples: such a run never overwrites a
// slot it still has to read, so each run is two bulk copies (each split at
// the ring's end at most once).

#include <algorithm>

// size: the ring's length (a power of two); d < size.
inline void ringDelayRun(double* ring, unsigned size, unsigned w, unsigned d, const double* x, double* y, int n) {
    const unsigned mask = size - 1;
    const int runLength = int(size - d);
    w &= mask;
    for (int i = 0; i < n;) {
        const int len = std::min(n - i, runLength);
        const int toEnd = std::min(len, int(size - w));
        std::copy_n(x + i, toEnd, ring + w);
        std::copy_n(x + i + toEnd, len - toEnd, ring);
        const unsigned r = (w - d) & mask;
        const int fromEnd = std::min(len, int(size - r));
        std::copy_n(ring + r, fromEnd, y + i);
        std::copy_n(ring, len - fromEnd, y + i + fromEnd);
        w = (w + unsigned(len)) & mask;
        i += len;
    }
}
