#include "Audio/Processes/Resampling/PolyphaseStage.h"

#include <algorithm>
#include <cstring>

#include "Audio/Vector/VecKernels.h"

CError CPolyphaseStage::prepare(Kind kind, int channels, size_t maxTaps, int maxDelay, int maxInFrames) {
    m_kind = kind;
    m_channels = std::clamp(channels, 1, kMaxChannels);
    m_maxTaps = std::max<size_t>(maxTaps, 1);
    m_maxDelay = std::max(maxDelay, 0);
    m_maxInFrames = std::max(maxInFrames, 1);
    m_taps.assign(m_maxTaps, 0.0);
    m_taps.clear();
    for (auto& p : m_phase) p.assign(m_maxTaps / 2 + 1, 0.0);
    m_phaseTaps[0] = m_phaseTaps[1] = 0;
    m_hasKernel = false;
    // How far back a sum reaches, in input samples of its stream.
    m_hist = m_maxDelay / 2 + 2 + int(m_maxTaps + 1) / 2;
    m_histStride = size_t(m_hist) + size_t(m_maxInFrames) + 1;
    const int streams = kind == kUp ? 1 : 2;
    for (int s = 0; s < 2; ++s) m_histBuf[s].assign(s < streams ? size_t(m_channels) * m_histStride : 0, 0.0);
    m_outStride = kind == kUp ? 2 * size_t(m_maxInFrames) : size_t(m_maxInFrames) / 2 + 1;
    m_out.assign(size_t(m_channels) * m_outStride, 0.0);
    m_tmp.assign(kind == kUp ? size_t(m_channels) * 2 * size_t(m_maxInFrames) : 0, 0.0);
    reset();
    return {};
}

bool CPolyphaseStage::fits(std::span<const double> taps, int delay) const {
    if (taps.empty() || taps.size() > m_maxTaps || delay < 0 || delay > m_maxDelay) return false;
    return m_kind == kUp || delay % 2 == 0;
}

bool CPolyphaseStage::sameKernel(std::span<const double> taps, int delay) const {
    return m_hasKernel && delay == m_delay && taps.size() == m_taps.size() &&
           std::memcmp(taps.data(), m_taps.data(), taps.size() * sizeof(double)) == 0;
}

bool CPolyphaseStage::setKernel(std::span<const double> taps, int delay) {
    if (!fits(taps, delay)) return false;
    m_taps.assign(taps.begin(), taps.end());  // within the prepared capacity: no allocation
    m_delay = delay;
    // Up: 2 h of one parity (the interpolator's factor, exact in binary);
    // down: h of one parity. Reversed, so each sum runs forwards in time.
    const double scale = m_kind == kUp ? 2.0 : 1.0;
    for (int q = 0; q < 2; ++q) {
        const int count = int(taps.size() + 1 - size_t(q)) / 2;
        m_phaseTaps[q] = count;
        for (int i = 0; i < count; ++i) m_phase[q][size_t(count - 1 - i)] = scale * taps[size_t(2 * i + q)];
    }
    m_hasKernel = true;
    return true;
}

void CPolyphaseStage::reset() {
    for (auto& h : m_histBuf) std::fill(h.begin(), h.end(), 0.0);
    m_oddPhase = 0;
}

int CPolyphaseStage::outputFrames(int inputFrames) const {
    return m_kind == kUp ? 2 * inputFrames : (inputFrames + 1 - m_oddPhase) / 2;
}

int CPolyphaseStage::process(const double* const* in, int channels, int frames) {
    frames = std::clamp(frames, 0, m_maxInFrames);
    channels = std::clamp(channels, 0, m_channels);
    return m_kind == kUp ? processUp(in, channels, frames) : processDown(in, channels, frames);
}

void CPolyphaseStage::phaseSum(int q, const double* const* x, double* const* out, int channels, int count,
                               bool accumulate) const {
    if (count <= 0 || channels <= 0) return;
    const int taps = m_phaseTaps[q];
    if (taps <= 0) {
        if (!accumulate)
            for (int ch = 0; ch < channels; ++ch) std::memset(out[ch], 0, size_t(count) * sizeof(double));
        return;
    }
    for (int ch = 0; ch < channels; ++ch)
        vecCorrelate(m_phase[q].data(), taps, x[ch], out[ch], count, accumulate ? 1 : 0);
}

int CPolyphaseStage::processUp(const double* const* in, int channels, int frames) {
    const int D = m_delay;
    const double* x[kMaxChannels] = {};
    double* phaseOut[2][kMaxChannels] = {};
    for (int ch = 0; ch < channels; ++ch) {
        double* buf = m_histBuf[0].data() + size_t(ch) * m_histStride;
        std::memcpy(buf + m_hist, in[ch], size_t(frames) * sizeof(double));
        double* tmp = m_tmp.data() + size_t(ch) * 2 * size_t(m_maxInFrames);
        phaseOut[0][ch] = tmp;
        phaseOut[1][ch] = tmp + m_maxInFrames;
    }
    for (int p = 0; p < 2; ++p) {
        const int q = (p + D) & 1;
        const int offset = (p - q - D) / 2;  // exact: p - q - D is even
        const int taps = m_phaseTaps[q];
        for (int ch = 0; ch < channels; ++ch)
            x[ch] = m_histBuf[0].data() + size_t(ch) * m_histStride + m_hist + offset - (taps - 1);
        phaseSum(q, x, phaseOut[p], channels, frames, false);
    }
    for (int ch = 0; ch < channels; ++ch) {
        vecInterleave(phaseOut[0][ch], phaseOut[1][ch], m_out.data() + size_t(ch) * m_outStride, frames);
        double* buf = m_histBuf[0].data() + size_t(ch) * m_histStride;
        std::memmove(buf, buf + frames, size_t(m_hist) * sizeof(double));
    }
    return 2 * frames;
}

int CPolyphaseStage::processDown(const double* const* in, int channels, int frames) {
    const int d = m_delay / 2;
    const int s = m_oddPhase;
    const int evens = (frames + 1 - s) / 2, odds = frames - evens;
    const int te = m_phaseTaps[0], to = m_phaseTaps[1];
    const double* xe[kMaxChannels] = {};
    const double* xo[kMaxChannels] = {};
    double* v[kMaxChannels] = {};
    for (int ch = 0; ch < channels; ++ch) {
        double* e = m_histBuf[0].data() + size_t(ch) * m_histStride + m_hist;
        double* o = m_histBuf[1].data() + size_t(ch) * m_histStride + m_hist;
        // Sample i sits at an even position when i + s is even: the pairs
        // (w[2j], w[2j+1]) are (E, O) samples for s = 0 and (O, E) for s = 1,
        // and a block of odd length ends on one more of the first kind.
        const double* w = in[ch];
        const int whole = frames / 2;
        if (s == 0) {
            vecDeinterleave(w, e, o, whole);
            if (evens > whole) e[whole] = w[2 * whole];
        } else {
            vecDeinterleave(w, o, e, whole);
            if (odds > whole) o[whole] = w[2 * whole];
        }
        // Output j is the kept sample of absolute even index k = (evens before) + j.
        xe[ch] = e - d - (te - 1);
        xo[ch] = o + s - d - 1 - (to - 1);
        v[ch] = m_out.data() + size_t(ch) * m_outStride;
    }
    phaseSum(0, xe, v, channels, evens, false);
    phaseSum(1, xo, v, channels, evens, true);
    for (int ch = 0; ch < channels; ++ch) {
        double* eBuf = m_histBuf[0].data() + size_t(ch) * m_histStride;
        double* oBuf = m_histBuf[1].data() + size_t(ch) * m_histStride;
        std::memmove(eBuf, eBuf + evens, size_t(m_hist) * sizeof(double));
        std::memmove(oBuf, oBuf + odds, size_t(m_hist) * sizeof(double));
    }
    m_oddPhase = (s + frames) & 1;
    return evens;
}
