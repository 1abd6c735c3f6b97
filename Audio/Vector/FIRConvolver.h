#pragma once
// CFIRConvolver: one channel of FIR filtering by uniformly partitioned FFT
// convolution (overlap-save).
//
// The kernel is cut into partitions of B = 2^k samples (k = 0 ... 14, 7 by
// default); each partition's spectrum (2B-point real FFT, packed layout) is
// computed when the kernel is set. Every B input samples the last 2B inputs
// are transformed into a ring of input spectra, the ring is multiplied
// partition by partition into one accumulated spectrum, and the inverse
// transform's second half is the next B outputs. The spectra are kept in the
// split layout (VecKernels.h), which the transforms write and read directly,
// so the products need no shuffling of pairs; the results are those of the
// packed layout. The output therefore equals
// the direct FIR of the kernel delayed by exactly B samples: latency() = B.
//
// Zero-latency mode: the first taps (B' = min(B, 64) of them) are convolved
// directly, sample by sample, and the rest by FFT blocks of B' samples whose
// latency the direct part covers, so the output is the direct FIR itself.
//
// Kernel change-over: a convolver prepared with cross-fading holds a second
// kernel. changeKernel() installs the new kernel beside the one in effect;
// from the next block boundary on both run over the same input history (one
// ring of input spectra serves both) and the output moves from the old to the
// new one with the raised-cosine weight w(k) = (1 - cos(pi k / L)) / 2,
// k = 1 ... L, so the L-th sample is the new kernel's alone. A change asked
// for during a change-over waits until it has ended (the latest request wins).
//
// prepare() sizes every buffer for a largest kernel; process(), setKernel()
// and changeKernel() with kernels that fit the prepared length never
// allocate. process() takes chunks of any length (host blocks need not be
// multiples of B).

#include <cstddef>
#include <span>

#include "Audio/Vector/AlignedBuffer.h"
#include "Audio/Vector/RealFFT.h"
#include "Core/Error.h"

class CFIRConvolver {
public:
    static constexpr int kMaxBlockOrder = 14;
    static constexpr int kDefaultBlockOrder = 7;
    static constexpr size_t kMaxDirectTaps = 64;

    CFIRConvolver() = default;
    CFIRConvolver(const CFIRConvolver&) = delete;
    CFIRConvolver& operator=(const CFIRConvolver&) = delete;

    // Sizes the buffers for kernels of up to maxKernelLength taps (and for a
    // second kernel when crossfade is set). Clears the kernel (the output is
    // silent until setKernel) and the signal history.
    CError prepare(size_t maxKernelLength, int blockOrder = kDefaultBlockOrder, bool zeroLatency = false,
                   bool crossfade = false);

    // Installs a kernel at once; returns false, keeping the current one, when
    // it is longer than the prepared length. The signal history is kept, so
    // from the next block boundary on the output is the new kernel applied to
    // it. Ends a change-over in progress.
    bool setKernel(std::span<const double> taps);

    // Changes to a kernel over fadeLength samples (see above). Without a
    // prepared cross-fade, with fadeLength 0, or before any audio has passed
    // since preparation or reset, this is setKernel. False when the kernel
    // does not fit.
    bool changeKernel(std::span<const double> taps, size_t fadeLength);
    // True while a change-over is waiting for its block boundary or running.
    bool changing() const { return m_fade != kFadeNone; }

    // Silences the signal history (the kernel stays; a waiting change takes
    // effect at once).
    void reset();

    // Filters count samples; in == out is allowed.
    void process(const double* in, double* out, size_t count);

    size_t latency() const { return m_directTaps ? 0 : m_block; }
    size_t blockLength() const { return m_block; }
    size_t kernelLength() const { return m_bank[m_cur].length; }
    size_t maxKernelLength() const { return m_maxKernelLength; }
    bool isZeroLatency() const { return m_directTaps != 0; }

private:
    // One kernel: its partition spectra and its directly convolved head.
    struct Bank {
        CAlignedBuffer spectra;  // m_maxParts x 2B
        CAlignedBuffer head;     // m_directTaps
        size_t length = 0;
        size_t headLength = 0;
        size_t parts = 0;
    };
    enum Fade { kFadeNone, kFadeArmed, kFadeRunning };

    void install(Bank& bank, std::span<const double> taps);
    // The next B outputs of a bank from the ring of input spectra.
    void blockOutput(const Bank& bank, double* dst);
    // n outputs of one bank: its block outputs plus its direct head on cur.
    void segment(const Bank& bank, const double* fromBlocks, const double* cur, size_t n, double* dst) const;
    void runBlock();
    void startPending();

    size_t m_block = 0;            // B: partition and hop length
    size_t m_fftLength = 0;        // 2B
    size_t m_directTaps = 0;       // taps convolved directly (zero-latency mode), else 0
    size_t m_maxKernelLength = 0;
    size_t m_maxParts = 0;         // partitions the buffers hold
    size_t m_pos = 0;              // samples of the current block taken in
    size_t m_ringHead = 0;         // slot of the newest input spectrum
    bool m_crossfade = false;
    bool m_fresh = true;           // no audio since prepare or reset

    Bank m_bank[2];
    int m_cur = 0;                 // the kernel in effect (faded in)
    Fade m_fade = kFadeNone;
    size_t m_fadeLength = 0, m_fadePos = 0;
    double m_fadeCos = 1.0, m_fadeSin = 0.0, m_stepCos = 1.0, m_stepSin = 0.0;
    bool m_hasPending = false;
    size_t m_pendingLength = 0, m_pendingFade = 0;

    CRealFFT m_fft;
    CAlignedBuffer m_input;        // 2B: previous block, current block
    CAlignedBuffer m_output;       // B: outputs of the last completed block (kernel in effect)
    CAlignedBuffer m_outputOld;    // B: the same for the kernel faded out
    CAlignedBuffer m_inputSpectra; // ring of m_maxParts x 2B
    CAlignedBuffer m_accum;        // 2B (split layout)
    CAlignedBuffer m_mix;          // 2 x B: the two outputs of a change-over segment
    CAlignedBuffer m_pending;      // taps of a waiting change
};
