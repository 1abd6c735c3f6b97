#pragma once
// CPolyphaseStage: one 2x stage of a resampler in polyphase form, for every
// channel of a section.
//
// Up: the straightforward stage writes y[2n] = 2 x[n], y[2n+1] = 0 and runs a
// low-pass h of L taps with a delay of D samples (its block) over all of it.
// Here the zeros are never written nor multiplied: output 2n + p takes only
// the taps of one parity,
//     y[2n+p] = sum_i 2 h[2i+q] x[n + (p - q - D)/2 - i],  q = (p + D) mod 2.
// Down: the straightforward stage low-passes w and keeps the samples at even
// positions (counted from reset). Here only the kept outputs are computed,
// from the even and odd samples (E, O) of w with the even and odd taps:
//     v[k] = sum_i h[2i] E[k - D/2 - i] + sum_i h[2i+1] O[k - D/2 - 1 - i]
// (D even). Both equal the straightforward form within rounding.
//
// The sums run through the vector kernels (the processor's build): both
// phases of a block in one pass (vecCorrelatePair, the up stage's outputs
// written interleaved, the down stage's two sums added), the splitting into
// E and O through vecDeinterleave. prepare() allocates; the rest never does.

#include <span>
#include <vector>

#include "Core/Error.h"

class CPolyphaseStage {
public:
    enum Kind { kUp, kDown };

    // Sizes the stage for `channels`, kernels of up to maxTaps taps, delays of
    // up to maxDelay and blocks of up to maxInFrames input frames.
    CError prepare(Kind kind, int channels, size_t maxTaps, int maxDelay, int maxInFrames);
    // Whether a kernel and delay can run here (the down stage needs an even delay).
    bool fits(std::span<const double> taps, int delay) const;
    // Installs a kernel (taps in filter order) and delay; the history stays.
    // False, changing nothing, when it does not fit.
    bool setKernel(std::span<const double> taps, int delay);
    bool sameKernel(std::span<const double> taps, int delay) const;
    void reset();

    // Runs a block of `frames` input frames on `channels` channels; returns the
    // output frame count. Outputs stay valid until the next call.
    int process(const double* const* in, int channels, int frames);
    // The same with each channel's block made of headFrames samples at
    // head[ch] followed by frames - headFrames at in[ch] (0 <= headFrames
    // <= frames): an input delayed by a few samples without copying it.
    int process(const double* const* head, int headFrames, const double* const* in, int channels, int frames);
    const double* output(int ch) const { return m_out.data() + size_t(ch) * m_outStride; }
    // Output frames of a block of inputFrames starting at the current phase.
    int outputFrames(int inputFrames) const;

private:
    int processUp(const double* const* head, int headFrames, const double* const* in, int channels, int frames);
    int processDown(const double* const* head, int headFrames, const double* const* in, int channels, int frames);

    Kind m_kind = kUp;
    int m_channels = 0, m_maxInFrames = 0, m_maxDelay = 0;
    size_t m_maxTaps = 0;
    std::vector<double> m_taps;   // the kernel as installed (filter order)
    int m_delay = 0;
    // Each phase's taps, reversed (up: scaled by 2), and their counts.
    std::vector<double> m_phase[2];
    int m_phaseTaps[2] = {0, 0};
    bool m_hasKernel = false;

    // Histories: per channel, m_hist samples of the past then the new block.
    // Up: x. Down: E and O.
    int m_hist = 0;
    size_t m_histStride = 0;
    std::vector<double> m_histBuf[2];
    int m_oddPhase = 0;   // down: the next input sample is at an odd position
    std::vector<double> m_out;
    size_t m_outStride = 0;
    std::vector<double> m_tmp;  // up: each phase's outputs before interleaving (a phase without taps)
};
