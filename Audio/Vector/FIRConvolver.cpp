#include "Audio/Vector/FIRConvolver.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>

#include "Audio/Vector/VecKernels.h"

KELSTR(CFIRConvolver_prepare_BlockOrder, "Convolution block order %1 is outside 0...14.");
KELSTR(CFIRConvolver_prepare_NoMemory, "Out of memory for a convolution of %1 taps.");

CError CFIRConvolver::prepare(size_t maxKernelLength, int blockOrder, bool zeroLatency, bool crossfade) {
    if (blockOrder < 0 || blockOrder > kMaxBlockOrder)
        return KEL_ERROR(kelstr_CFIRConvolver_prepare_BlockOrder, CString::number(int64_t(blockOrder)));

    m_block = size_t(1) << blockOrder;
    if (zeroLatency) m_block = std::min(m_block, kMaxDirectTaps);
    m_fftLength = 2 * m_block;
    m_directTaps = zeroLatency ? m_block : 0;
    m_maxKernelLength = maxKernelLength;
    m_crossfade = crossfade;
    const size_t fftTaps = maxKernelLength > m_directTaps ? maxKernelLength - m_directTaps : 0;
    m_maxParts = (fftTaps + m_block - 1) / m_block;
    m_cur = 0;
    m_fade = kFadeNone;
    m_hasPending = false;

    int fftOrder = 1;
    while ((size_t(1) << fftOrder) < m_fftLength) ++fftOrder;
    const int banks = crossfade ? 2 : 1;
    bool ok = m_input.allocate(m_fftLength) && m_output.allocate(m_block) &&
              m_inputSpectra.allocate(m_maxParts * m_fftLength) && m_accum.allocate(m_maxParts ? m_fftLength : 0) &&
              m_outputOld.allocate(crossfade ? m_block : 0) && m_mix.allocate(crossfade ? 2 * m_block : 0) &&
              m_pending.allocate(crossfade ? maxKernelLength : 0);
    for (int b = 0; b < 2; ++b) {
        Bank& bank = m_bank[b];
        bank.length = bank.headLength = bank.parts = 0;
        const bool used = b < banks;
        ok = ok && bank.head.allocate(used ? m_directTaps : 0) &&
             bank.spectra.allocate(used ? m_maxParts * m_fftLength : 0);
    }
    CError err;
    if (ok && m_maxParts)
        err = m_fft.prepare(fftOrder, kVecFFTDivInvByN);
    else
        m_fft.release();
    if (!ok || err) {
        // Unprepared: process() writes silence and setKernel() refuses.
        m_block = m_fftLength = m_directTaps = m_maxKernelLength = m_maxParts = 0;
        m_crossfade = false;
        if (err) return KEL_PASS(err);
        return KEL_ERROR(kelstr_CFIRConvolver_prepare_NoMemory, CString::number(int64_t(maxKernelLength)));
    }
    reset();
    return {};
}

void CFIRConvolver::install(Bank& bank, std::span<const double> taps) {
    const size_t length = taps.size();
    bank.headLength = std::min(length, m_directTaps);
    if (bank.headLength) std::memcpy(bank.head.data(), taps.data(), bank.headLength * sizeof(double));

    const size_t fftTaps = length - bank.headLength;
    bank.parts = (fftTaps + m_block - 1) / m_block;
    for (size_t i = 0; i < bank.parts; ++i) {
        const size_t first = m_directTaps + i * m_block;
        const size_t n = std::min(m_block, length - first);
        double* scratch = m_accum.data();
        std::memcpy(scratch, taps.data() + first, n * sizeof(double));
        std::memset(scratch + n, 0, (m_fftLength - n) * sizeof(double));
        m_fft.forwardSplit(scratch, bank.spectra.data() + i * m_fftLength);
    }
    bank.length = length;
}

bool CFIRConvolver::setKernel(std::span<const double> taps) {
    if (taps.size() > m_maxKernelLength || m_block == 0) return false;
    m_fade = kFadeNone;
    m_hasPending = false;
    install(m_bank[m_cur], taps);
    return true;
}

bool CFIRConvolver::changeKernel(std::span<const double> taps, size_t fadeLength) {
    if (taps.size() > m_maxKernelLength || m_block == 0) return false;
    if (!m_crossfade || fadeLength == 0 || m_fresh) return setKernel(taps);
    if (m_fade == kFadeRunning) {
        // Waits for the running change-over; a later request replaces it.
        std::memcpy(m_pending.data(), taps.data(), taps.size() * sizeof(double));
        m_pendingLength = taps.size();
        m_pendingFade = fadeLength;
        m_hasPending = true;
        return true;
    }
    // An armed change is not audible yet: its kernel is simply replaced.
    if (m_fade == kFadeNone) m_cur ^= 1;
    install(m_bank[m_cur], taps);
    m_fade = kFadeArmed;
    m_fadeLength = fadeLength;
    m_fadePos = 0;
    m_fadeCos = 1.0;
    m_fadeSin = 0.0;
    m_stepCos = std::cos(std::numbers::pi / double(fadeLength));
    m_stepSin = std::sin(std::numbers::pi / double(fadeLength));
    return true;
}

void CFIRConvolver::startPending() {
    if (!m_hasPending) return;
    m_hasPending = false;
    (void)changeKernel({m_pending.data(), m_pendingLength}, m_pendingFade);
}

void CFIRConvolver::reset() {
    m_input.clear();
    m_output.clear();
    m_outputOld.clear();
    m_inputSpectra.clear();
    m_pos = 0;
    m_ringHead = 0;
    m_fade = kFadeNone;
    if (m_hasPending) install(m_bank[m_cur], {m_pending.data(), m_pendingLength});
    m_hasPending = false;
    m_fresh = true;
}

void CFIRConvolver::segment(const Bank& bank, const double* fromBlocks, const double* cur, size_t n,
                            double* dst) const {
    if (!bank.headLength) {
        std::memcpy(dst, fromBlocks, n * sizeof(double));
        return;
    }
    // Direct part: y[j] += h[i] x[j - i] for the head taps; the input buffer
    // holds the previous block in front of the current one. n <= B <= 64 here.
    double acc[kMaxDirectTaps];
    std::memcpy(acc, fromBlocks, n * sizeof(double));
    const double* head = bank.head.data();
    const size_t n4 = n & ~size_t(3);
    for (size_t i = 0; i < bank.headLength; ++i) {
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
    std::memcpy(dst, acc, n * sizeof(double));
}

void CFIRConvolver::process(const double* in, double* out, size_t count) {
    const size_t block = m_block;
    if (block == 0) {
        std::memset(out, 0, count * sizeof(double));
        return;
    }
    if (count) m_fresh = false;
    while (count) {
        const size_t n = std::min(count, block - m_pos);
        double* cur = m_input.data() + block + m_pos;
        std::memcpy(cur, in, n * sizeof(double));
        if (m_fade != kFadeRunning) {
            // An armed change is heard from the next block boundary on.
            const Bank& bank = m_bank[m_fade == kFadeArmed ? m_cur ^ 1 : m_cur];
            segment(bank, m_output.data() + m_pos, cur, n, out);
        } else {
            double* yNew = m_mix.data();
            double* yOld = m_mix.data() + block;
            segment(m_bank[m_cur], m_output.data() + m_pos, cur, n, yNew);
            segment(m_bank[m_cur ^ 1], m_outputOld.data() + m_pos, cur, n, yOld);
            size_t pos = m_fadePos;
            double c = m_fadeCos, s = m_fadeSin;
            for (size_t j = 0; j < n; ++j) {
                if (pos < m_fadeLength) {
                    ++pos;
                    const double c2 = c * m_stepCos - s * m_stepSin;
                    s = s * m_stepCos + c * m_stepSin;
                    c = c2;
                    const double w = pos == m_fadeLength ? 1.0 : 0.5 - 0.5 * c;
                    out[j] = yOld[j] + w * (yNew[j] - yOld[j]);
                } else {
                    out[j] = yNew[j];
                }
            }
            m_fadePos = pos;
            m_fadeCos = c;
            m_fadeSin = s;
            if (pos >= m_fadeLength) {
                m_fade = kFadeNone;
                startPending();
            }
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

void CFIRConvolver::blockOutput(const Bank& bank, double* dst) {
    if (!bank.parts) {
        std::memset(dst, 0, m_block * sizeof(double));
        return;
    }
    // The ring runs backwards, so partition i meets the input spectrum in
    // slot (head + i) mod size. The products of up to kGroup partitions are
    // summed in one pass over the bins (the sum stays in registers), in
    // partition order, as one product and accumulating products would.
    constexpr size_t kGroup = 16;
    const size_t fftLength = m_fftLength;
    const double* ring = m_inputSpectra.data();
    double* acc = m_accum.data();
    const double* kernel = bank.spectra.data();
    const int len = int(fftLength);
    const double* in[kGroup];
    const double* part[kGroup];
    for (size_t done = 0; done < bank.parts;) {
        const size_t count = std::min(kGroup, bank.parts - done);
        for (size_t k = 0; k < count; ++k) {
            const size_t i = done + k;
            size_t slot = m_ringHead + i;
            if (slot >= m_maxParts) slot -= m_maxParts;
            in[k] = ring + slot * fftLength;
            part[k] = kernel + i * fftLength;
        }
        vecMulSumSplit(in, part, int(count), acc, len, done > 0 ? 1 : 0);
        done += count;
    }
    m_fft.inverseSplit(acc, acc);
    std::memcpy(dst, acc + m_block, m_block * sizeof(double));
}

void CFIRConvolver::runBlock() {
    const size_t block = m_block;
    if (m_maxParts) {
        m_ringHead = m_ringHead ? m_ringHead - 1 : m_maxParts - 1;
        m_fft.forwardSplit(m_input.data(), m_inputSpectra.data() + m_ringHead * m_fftLength);
        blockOutput(m_bank[m_cur], m_output.data());
        if (m_fade != kFadeNone) blockOutput(m_bank[m_cur ^ 1], m_outputOld.data());
    } else {
        m_output.clear();
        m_outputOld.clear();
    }
    if (m_fade == kFadeArmed) m_fade = kFadeRunning;
    std::memcpy(m_input.data(), m_input.data() + block, block * sizeof(double));
}
