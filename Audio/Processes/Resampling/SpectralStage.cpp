#include "Audio/Processes/Resampling/SpectralStage.h"

#include <algorithm>
#include <cstring>

#include "Audio/Vector/VecKernels.h"

KELSTR(CSpectralStage_prepare_Block, "Spectral resampler stage: block %1 is not a power of two from 2 to 16384.");
KELSTR(CSpectralStage_prepare_NoMemory, "Out of memory for a spectral resampler stage of %1 taps.");

namespace {

int orderOf(int n) {
    int order = 0;
    while ((1 << order) < n) ++order;
    return order;
}

// U[k] = X[k mod B]: X packed, of B points; U in the split layout, of 2B
// points (bin k's parts at re[k - 1] and im[k - 1]).
void expandSpectrum(const double* x, double* u, int block) {
    const int half = block / 2;
    double* re = u + 2;
    double* im = u + 2 + (block - 1);
    u[0] = x[0];
    u[1] = x[0];  // the 2B-point Nyquist bin is X[B mod B] = X[0]
    for (int k = 1; k < half; ++k) {
        re[k - 1] = x[2 * k];
        im[k - 1] = x[2 * k + 1];
    }
    re[half - 1] = x[1];  // bin B/2: X's real Nyquist term
    im[half - 1] = 0.0;
    // Bins B/2 + 1 ... B - 1: X[k] = conj(X[B - k]).
    for (int k = half + 1; k < block; ++k) {
        re[k - 1] = x[2 * (block - k)];
        im[k - 1] = -x[2 * (block - k) + 1];
    }
}

// Z[k] = Y[k] + conj(Y[B - k]): Y in the split layout, of 2B points; Z
// packed, of B points.
void foldSpectrum(const double* y, double* z, int block) {
    const int half = block / 2;
    const double* re = y + 2;
    const double* im = y + 2 + (block - 1);
    z[0] = y[0] + y[1];              // Y[0] + Y[B]
    z[1] = 2.0 * re[half - 1];       // bin B/2: Y[B/2] + conj(Y[B/2])
    for (int k = 1; k < half; ++k) {
        z[2 * k] = re[k - 1] + re[block - k - 1];
        z[2 * k + 1] = im[k - 1] - im[block - k - 1];
    }
}

}  // namespace

CError CSpectralStage::prepare(Kind kind, int channels, size_t maxTaps, int block, int maxInFrames) {
    m_block = 0;
    m_hasKernel = false;
    m_parts = 0;
    if (block < 2 || block > (1 << 14) || (block & (block - 1)))
        return KEL_ERROR(kelstr_CSpectralStage_prepare_Block, CString::number(int64_t(block)));
    m_kind = kind;
    m_channels = std::max(channels, 1);
    m_maxInFrames = std::max(maxInFrames, 1);
    m_maxTaps = std::max<size_t>(maxTaps, 1);
    m_spectrum = 2 * size_t(block);
    m_maxParts = (m_maxTaps + size_t(block) - 1) / size_t(block);
    m_hop = kind == kUp ? block / 2 : block;
    m_taps.reserve(m_maxTaps);
    m_taps.clear();

    const int order = orderOf(block);
    KEL_TRY(m_fftLong.prepare(order + 1, kVecFFTDivInvByN));
    KEL_TRY(m_fftShort.prepare(order, kVecFFTDivInvByN));
    bool ok = m_kernel.allocate(m_maxParts * m_spectrum) && m_accum.allocate(m_spectrum) &&
              m_short.allocate(size_t(block));
    m_ch.resize(size_t(m_channels));
    for (Channel& c : m_ch)
        ok = ok && c.window.allocate(kind == kUp ? size_t(block) : m_spectrum) &&
             c.ring.allocate(m_maxParts * m_spectrum) && c.output.allocate(kind == kUp ? size_t(block) : size_t(block / 2));
    m_outStride = kind == kUp ? 2 * size_t(m_maxInFrames) : size_t(m_maxInFrames) / 2 + 1;
    ok = ok && m_out.allocate(size_t(m_channels) * m_outStride);
    if (!ok) return KEL_ERROR(kelstr_CSpectralStage_prepare_NoMemory, CString::number(int64_t(m_maxTaps)));
    m_block = block;
    reset();
    return {};
}

bool CSpectralStage::fits(std::span<const double> taps, int delay) const {
    return m_block != 0 && delay == m_block && !taps.empty() && taps.size() <= m_maxTaps;
}

bool CSpectralStage::sameKernel(std::span<const double> taps, int delay) const {
    return m_hasKernel && delay == m_delay && taps.size() == m_taps.size() &&
           std::memcmp(taps.data(), m_taps.data(), taps.size() * sizeof(double)) == 0;
}

bool CSpectralStage::setKernel(std::span<const double> taps, int delay) {
    if (!fits(taps, delay)) return false;
    m_taps.assign(taps.begin(), taps.end());  // within the reserved capacity: no allocation
    m_delay = delay;
    // The interpolator's factor 2 (up) or the fold's 1/2 (down), exact in binary.
    const double scale = m_kind == kUp ? 2.0 : 0.5;
    const size_t block = size_t(m_block);
    m_parts = (taps.size() + block - 1) / block;
    double* scratch = m_accum.data();
    for (size_t i = 0; i < m_parts; ++i) {
        const size_t first = i * block;
        const size_t n = std::min(block, taps.size() - first);
        for (size_t j = 0; j < n; ++j) scratch[j] = scale * taps[first + j];
        std::memset(scratch + n, 0, (m_spectrum - n) * sizeof(double));
        m_fftLong.forwardSplit(scratch, m_kernel.data() + i * m_spectrum);
    }
    m_hasKernel = true;
    return true;
}

void CSpectralStage::reset() {
    for (Channel& c : m_ch) {
        c.window.clear();
        c.ring.clear();
        c.output.clear();
    }
    m_pos = 0;
    m_ringHead = 0;
}

int CSpectralStage::outputFrames(int inputFrames) const {
    return m_kind == kUp ? 2 * inputFrames : (inputFrames + 1 - (m_pos & 1)) / 2;
}

void CSpectralStage::runBlock(Channel& c) {
    const int block = m_block;
    double* slot = c.ring.data() + m_ringHead * m_spectrum;
    double* window = c.window.data();
    if (m_kind == kUp) {
        m_fftShort.forward(window, m_short.data());
        expandSpectrum(m_short.data(), slot, block);
        std::memcpy(window, window + m_hop, size_t(m_hop) * sizeof(double));
    } else {
        m_fftLong.forwardSplit(window, slot);
        std::memcpy(window, window + block, size_t(block) * sizeof(double));
    }
    if (m_parts == 0) {
        c.output.clear();
        return;
    }
    // Partition i meets the spectrum i blocks back; up to kGroup products are
    // summed in one pass over the bins, in partition order.
    constexpr size_t kGroup = 16;
    const double* ring = c.ring.data();
    const double* kernel = m_kernel.data();
    double* acc = m_accum.data();
    const double* a[kGroup];
    const double* b[kGroup];
    for (size_t done = 0; done < m_parts;) {
        const size_t count = std::min(kGroup, m_parts - done);
        for (size_t k = 0; k < count; ++k) {
            size_t s = m_ringHead + done + k;
            if (s >= m_maxParts) s -= m_maxParts;
            a[k] = ring + s * m_spectrum;
            b[k] = kernel + (done + k) * m_spectrum;
        }
        vecMulSumSplit(a, b, int(count), acc, int(m_spectrum), done > 0 ? 1 : 0);
        done += count;
    }
    if (m_kind == kUp) {
        m_fftLong.inverseSplit(acc, acc);
        std::memcpy(c.output.data(), acc + block, size_t(block) * sizeof(double));
    } else {
        foldSpectrum(acc, m_short.data(), block);
        m_fftShort.inverse(m_short.data(), m_short.data());
        std::memcpy(c.output.data(), m_short.data() + block / 2, size_t(block / 2) * sizeof(double));
    }
}

int CSpectralStage::process(const double* const* in, int channels, int frames) {
    frames = std::clamp(frames, 0, m_maxInFrames);
    channels = std::clamp(channels, 0, m_channels);
    if (m_block == 0) {
        const int n = outputFrames(frames);
        for (int ch = 0; ch < channels; ++ch) std::memset(m_out.data() + size_t(ch) * m_outStride, 0, size_t(n) * sizeof(double));
        return n;
    }
    const bool up = m_kind == kUp;
    const size_t windowPast = up ? size_t(m_hop) : size_t(m_block);
    int done = 0, produced = 0;
    while (done < frames) {
        const int n = std::min(frames - done, m_hop - m_pos);
        // Down: the kept outputs are those at even positions of the block.
        const int first = m_pos + (m_pos & 1);
        const int kept = up ? 2 * n : (m_pos + n - first + 1) / 2;
        for (int ch = 0; ch < channels; ++ch) {
            Channel& c = m_ch[size_t(ch)];
            std::memcpy(c.window.data() + windowPast + size_t(m_pos), in[ch] + done, size_t(n) * sizeof(double));
            double* y = m_out.data() + size_t(ch) * m_outStride + size_t(produced);
            const double* from = c.output.data() + (up ? size_t(2 * m_pos) : size_t(first / 2));
            if (kept > 0) std::memcpy(y, from, size_t(kept) * sizeof(double));
        }
        produced += kept;
        done += n;
        m_pos += n;
        if (m_pos == m_hop) {
            m_ringHead = m_ringHead ? m_ringHead - 1 : m_maxParts - 1;
            for (int ch = 0; ch < channels; ++ch) runBlock(m_ch[size_t(ch)]);
            m_pos = 0;
        }
    }
    return produced;
}
