#pragma once
// CFIRConvolver: one channel of FIR filtering by uniformly partitioned FFT
// convolution (overlap-save).
//
// The kernel is cut into partitions of B = 2^k samples (k = 0 ... 14, 7 by
// default); each partition's spectrum (2B-point real FFT, packed layout) is
// computed when the kernel is set. Every B input samples the last 2B inputs
// are transformed into a ring of input spectra, the ring is multiplied
// partition by partition into one accumulated spectrum, and the inverse
// transform's second half is the next B outputs. The output therefore equals
// the direct FIR of the kernel delayed by exactly B samples: latency() = B.
//
// Zero-latency mode: the first taps (B' = min(B, 64) of them) are convolved
// directly, sample by sample, and the rest by FFT blocks of B' samples whose
// latency the direct part covers, so the output is the direct FIR itself.
//
// prepare() sizes every buffer for a largest kernel; process() and any
// setKernel() that fits the prepared length never allocate. process() takes
// chunks of any length (host blocks need not be multiples of B).

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

    // Sizes the buffers for kernels of up to maxKernelLength taps. Clears the
    // kernel (the output is silent until setKernel) and the signal history.
    CError prepare(size_t maxKernelLength, int blockOrder = kDefaultBlockOrder, bool zeroLatency = false);

    // Installs a kernel; returns false, keeping the current one, when it is
    // longer than the prepared length. The signal history is kept, so from the
    // next block boundary on the output is the new kernel applied to it.
    bool setKernel(std::span<const double> taps);

    // Silences the signal history (the kernel stays).
    void reset();

    // Filters count samples; in == out is allowed.
    void process(const double* in, double* out, size_t count);

    size_t latency() const { return m_directTaps ? 0 : m_block; }
    size_t blockLength() const { return m_block; }
    size_t kernelLength() const { return m_kernelLength; }
    size_t maxKernelLength() const { return m_maxKernelLength; }
    bool isZeroLatency() const { return m_directTaps != 0; }

private:
    void runBlock();

    size_t m_block = 0;            // B: partition and hop length
    size_t m_fftLength = 0;        // 2B
    size_t m_directTaps = 0;       // taps convolved directly (zero-latency mode), else 0
    size_t m_maxKernelLength = 0;
    size_t m_kernelLength = 0;
    size_t m_headLength = 0;       // taps in m_head (<= m_directTaps)
    size_t m_maxParts = 0;         // partitions the buffers hold
    size_t m_parts = 0;            // partitions of the current kernel
    size_t m_pos = 0;              // samples of the current block taken in
    size_t m_ringHead = 0;         // slot of the newest input spectrum

    CRealFFT m_fft;
    CAlignedBuffer m_input;        // 2B: previous block, current block
    CAlignedBuffer m_output;       // B: outputs of the last completed block
    CAlignedBuffer m_kernelSpectra;  // m_maxParts x 2B
    CAlignedBuffer m_inputSpectra;   // ring of m_maxParts x 2B
    CAlignedBuffer m_accum;        // 2B
    CAlignedBuffer m_head;         // directly convolved taps
};
