#pragma once
// CSpectralStage: one 2x stage of a resampler with a long kernel, for every
// channel of a section, as block convolution whose rate change happens in the
// spectrum.
//
// The straightforward stage runs the FIR module's convolver (overlap-save,
// partitions and hop of B samples at the stage's high rate, output delayed by
// B) on the zero-stuffed signal (up) or before keeping every other sample
// (down). This form keeps the same partitions, hop and delay, so its output is
// the same within rounding, and saves half of one transform per block:
//
// Up: the 2B-sample window of the zero-stuffed signal u (u[2n] = 2 x[n],
// u[2n+1] = 0) holds the last B input samples x, and its 2B-point spectrum is
// the B-point spectrum of those samples twice over, U[k] = 2 X[k mod B]. So
// each block transforms B samples, not 2B, and builds U from X.
// Down: of the 2B-point inverse transform only the samples at even positions
// are kept; they are the B-point inverse of the folded spectrum
// Z[k] = (Y[k] + Y[k + B]) / 2, Y[k + B] = conj(Y[B - k]). So each block
// inverts B bins, not 2B. (The factors 2 and 1/2 are taken into the kernel
// spectra, which are shared by all channels.)
//
// prepare() allocates; the rest never does. B must be a power of two from 2.

#include <cstddef>
#include <span>
#include <vector>

#include "Audio/Vector/AlignedBuffer.h"
#include "Audio/Vector/RealFFT.h"
#include "Core/Error.h"

class CSpectralStage {
public:
    enum Kind { kUp, kDown };

    // Sizes the stage for `channels`, kernels of up to maxTaps taps, a hop
    // (and delay) of `block` samples at the high rate (a power of two, 2 ...
    // 2^14) and chunks of up to maxInFrames input frames.
    CError prepare(Kind kind, int channels, size_t maxTaps, int block, int maxInFrames);
    // Whether a kernel and delay can run here: the delay must be the block.
    bool fits(std::span<const double> taps, int delay) const;
    // Installs a kernel (taps in filter order) at once; the history stays.
    // False, changing nothing, when it does not fit.
    bool setKernel(std::span<const double> taps, int delay);
    bool sameKernel(std::span<const double> taps, int delay) const;
    void reset();

    // Runs `frames` input frames on `channels` channels; returns the output
    // frame count. Outputs stay valid until the next call.
    int process(const double* const* in, int channels, int frames);
    const double* output(int ch) const { return m_out.data() + size_t(ch) * m_outStride; }
    int outputFrames(int inputFrames) const;

    bool prepared() const { return m_block != 0; }
    int block() const { return m_block; }

private:
    // The input window, spectrum ring and last block outputs of a channel.
    struct Channel {
        CAlignedBuffer window;  // up: B inputs; down: 2B
        CAlignedBuffer ring;    // m_maxParts x 2B spectra, newest at m_ringHead
        CAlignedBuffer output;  // up: B outputs; down: B / 2 kept outputs
    };
    void runBlock(Channel& c);

    Kind m_kind = kUp;
    int m_block = 0;        // B
    int m_hop = 0;          // input frames per block: up B / 2, down B
    int m_channels = 0, m_maxInFrames = 0;
    size_t m_maxTaps = 0, m_maxParts = 0, m_parts = 0;
    size_t m_spectrum = 0;  // 2B: the length of a packed spectrum
    int m_pos = 0;          // input frames of the current block taken in
    size_t m_ringHead = 0;
    std::vector<double> m_taps;  // the kernel as installed
    int m_delay = 0;
    bool m_hasKernel = false;

    CRealFFT m_fftLong;      // 2B points
    CRealFFT m_fftShort;     // B points
    CAlignedBuffer m_kernel; // m_maxParts x 2B, scaled (up 2, down 1/2)
    CAlignedBuffer m_accum;  // 2B, split layout (VecKernels.h), as the ring and kernel spectra
    CAlignedBuffer m_short;  // B: the short transform's spectrum or signal
    std::vector<Channel> m_ch;
    CAlignedBuffer m_out;
    size_t m_outStride = 0;
};
