#include "Audio/Vector/FIRConvolver.h"

#include <algorithm>
#include <cstring>

#include "Audio/Vector/VecKernels.h"

KELSTR(CFIRConvolver_prepare_BlockOrder, "Convolution block order %1 is outside 0...14.");
KELSTR(CFIRConvolver_prepare_NoMemory, "Out of memory for a convolution of %1 taps.");

CError CFIRConvolver::prepare(size_t maxKernelLength, int blockOrder, bool zeroLatency) {
    if (blockOrder < 0 || blockOrder > kMaxBlockOrder)
        return KEL_ERROR(kelstr_CFIRConvolver_prepare_BlockOrder, CString::number(int64_t(blockOrder)));

    m_block = size_t(1) << blockOrder;
    if (zeroLatency) m_block = std::min(m_block, kMaxDirectTaps);
    m_fftLength = 2 * m_block;
    m_directTaps = zeroLatency ? m_block : 0;
    m_maxKernelLength = maxKernelLength;
    const size_t fftTaps = maxKernelLength > m_directTaps ? maxKernelLength - m_directTaps : 0;
    m_maxParts = (fftTaps + m_block - 1) / m_block;
    m_kernelLength = m_headLength = m_parts = 0;

    int fftOrder = 1;
    while ((size_t(1) << fftOrder) < m_fftLength) ++fftOrder;
    bool ok = m_input.allocate(m_fftLength) && m_output.allocate(m_block) && m_head.allocate(m_directTaps) &&
              m_kernelSpectra.allocate(m_maxParts * m_fftLength) &&
              m_inputSpectra.allocate(m_maxParts * m_fftLength) && m_accum.allocate(m_maxParts ? m_fftLength : 0);
    CError err;
    if (ok && m_maxParts)
        err = m_fft.prepare(fftOrder, kVecFFTDivInvByN);
    else
        m_fft.release();
    if (!ok || err) {
        // Unprepared: process() writes silence and setKernel() refuses.
        m_block = m_fftLength = m_directTaps = m_maxKernelLength = m_maxParts = 0;
        if (err) return KEL_PASS(err);
        return KEL_ERROR(kelstr_CFIRConvolver_prepare_NoMemory, CString::number(int64_t(maxKernelLength)));
    }
    reset();
    return {};
}

bool CFIRConvolver::setKernel(std::span<const double> taps) {
    if (taps.size() > m_maxKernelLength || m_block == 0) return false;
    const size_t length = taps.size();
    m_headLength = std::min(length, m_directTaps);
    if (m_headLength) std::memcpy(m_head.data(), taps.data(), m_headLength * sizeof(double));

    const size_t fftTaps = length - m_headLength;
    m_parts = (fftTaps + m_block - 1) / m_block;
    for (size_t i = 0; i < m_parts; ++i) {
        const size_t first = m_directTaps + i * m_block;
        const size_t n = std::min(m_block, length - first);
        double* scratch = m_accum.data();
        std::memcpy(scratch, taps.data() + first, n * sizeof(double));
        std::memset(scratch + n, 0, (m_fftLength - n) * sizeof(double));
        m_fft.forward(scratch, m_kernelSpectra.data() + i * m_fftLength);
    }
    m_kernelLength = length;
    return true;
}

void CFIRConvolver::reset() {
    m_input.clear();
    m_output.clear();
    m_inputSpectra.clear();
    m_pos = 0;
    m_ringHead = 0;
}

void CFIRConvolver::process(const double* in, double* out, size_t count) {
    const size_t block = m_block;
    if (block == 0) {
        std::memset(out, 0, count * sizeof(double));
        return;
    }
    while (count) {
        const size_t n = std::min(count, block - m_pos);
        double* cur = m_input.data() + block + m_pos;
        std::memcpy(cur, in, n * sizeof(double));
        const double* fromBlocks = m_output.data() + m_pos;
        if (m_headLength) {
            // Direct part: y[j] += h[i] x[j - i] for the head taps; the input
            // buffer holds the previous block in front of the current one.
            double acc[kMaxDirectTaps];
            std::memcpy(acc, fromBlocks, n * sizeof(double));
            const double* head = m_head.data();
            const size_t n4 = n & ~size_t(3);
            for (size_t i = 0; i < m_headLength; ++i) {
                const double h = head[i];
                const double* x = cur - i;
                for (size_t j = 0; j < n4; j += 4) {  // four lanes: vectorised even at -O2
                    acc[j] += h * x[j];
                    acc[j + 1] += h * x[j + 1];
                    acc[j + 2] += h * x[j + 2];
                    acc[j + 3] += h * x[j + 3];
                }
                for (size_t j = n4; j < n; ++j) acc[j] += h * x[j];
            }
            std::memcpy(out, acc, n * sizeof(double));
        } else {
            std::memcpy(out, fromBlocks, n * sizeof(double));
        }
        in += n;
        out += n;
        count -= n;
        m_pos += n;
        if (m_pos == block) {
            runBlock();
            m_pos = 0;
        }
    }
}

void CFIRConvolver::runBlock() {
    const size_t block = m_block, fftLength = m_fftLength;
    if (m_maxParts) {
        // The ring runs backwards, so partition i meets the input spectrum in
        // slot (head + i) mod size: two contiguous runs.
        m_ringHead = m_ringHead ? m_ringHead - 1 : m_maxParts - 1;
        double* ring = m_inputSpectra.data();
        m_fft.forward(m_input.data(), ring + m_ringHead * fftLength);
        if (m_parts) {
            double* acc = m_accum.data();
            const double* kernel = m_kernelSpectra.data();
            const int len = int(fftLength);
            vecMulPacked(ring + m_ringHead * fftLength, kernel, acc, len);
            const size_t firstRun = std::min(m_parts, m_maxParts - m_ringHead);
            for (size_t i = 1; i < firstRun; ++i)
                vecMulAddPacked(ring + (m_ringHead + i) * fftLength, kernel + i * fftLength, acc, len);
            for (size_t i = firstRun; i < m_parts; ++i)
                vecMulAddPacked(ring + (i - firstRun) * fftLength, kernel + i * fftLength, acc, len);
            m_fft.inverse(acc, acc);
            std::memcpy(m_output.data(), acc + block, block * sizeof(double));
        } else {
            m_output.clear();
        }
    } else {
        m_output.clear();
    }
    std::memcpy(m_input.data(), m_input.data() + block, block * sizeof(double));
}
