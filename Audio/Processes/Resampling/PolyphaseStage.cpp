#include "Audio/Processes/Resampling/PolyphaseStage.h"

#include <algorithm>
#include <cstring>

#include "Audio/Vector/VecKernels.h"

CError CPolyphaseStage::prepare(Kind kind, int channels, size_t maxTaps, int maxDelay, int maxInFrames) {
    m_kind = kind;
    m_channels = std::max(channels, 1);
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
    m_tmp.assign(kind == kUp ? 2 * size_t(m_maxInFrames) : 0, 0.0);
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
    return process(nullptr, 0, in, channels, frames);
}

int CPolyphaseStage::process(const double* const* head, int headFrames, const double* const* in, int channels,
                             int frames) {
    frames = std::clamp(frames, 0, m_maxInFrames);
    channels = std::clamp(channels, 0, m_channels);
    headFrames = head ? std::clamp(headFrames, 0, frames) : 0;
    return m_kind == kUp ? processUp(head, headFrames, in, channels, frames)
                         : processDown(head, headFrames, in, channels, frames);
}

namespace {
// out[n] (+)= sum of the reversed taps against x[n ...]; silence for no taps.
void sum(const std::vector<double>& rev, int taps, const double* x, double* out, int count, bool accumulate) {
    if (count <= 0) return;
    if (taps <= 0) {
        if (!accumulate) std::memset(out, 0, size_t(count) * sizeof(double));
        return;
    }
    vecCorrelate(rev.data(), taps, x, out, count, accumulate ? 1 : 0);
}
}  // namespace

int CPolyphaseStage::processUp(const double* const* head, int headFrames, const double* const* in, int channels,
                               int frames) {
    const int D = m_delay;
    // Phase p's taps, and where its sums start in the history.
    int q[2], taps[2], offset[2];
    for (int p = 0; p < 2; ++p) {
        q[p] = (p + D) & 1;
        taps[p] = m_phaseTaps[q[p]];
        offset[p] = (p - q[p] - D) / 2 - (taps[p] - 1);  // exact: p - q - D is even
    }
    for (int ch = 0; ch < channels; ++ch) {
        double* buf = m_histBuf[0].data() + size_t(ch) * m_histStride;
        double* x = buf + m_hist;
        if (headFrames) std::memcpy(x, head[ch], size_t(headFrames) * sizeof(double));
        std::memcpy(x + headFrames, in[ch], size_t(frames - headFrames) * sizeof(double));
        double* y = m_out.data() + size_t(ch) * m_outStride;
        if (frames > 0 && taps[0] > 0 && taps[1] > 0) {
            // Both phases in one pass, written interleaved.
            vecCorrelatePair(m_phase[q[0]].data(), taps[0], x + offset[0], m_phase[q[1]].data(), taps[1],
                             x + offset[1], y, frames, 1);
        } else {
            double* phaseOut[2] = {m_tmp.data(), m_tmp.data() + m_maxInFrames};
            for (int p = 0; p < 2; ++p) sum(m_phase[q[p]], taps[p], x + offset[p], phaseOut[p], frames, false);
            if (frames > 0) vecInterleave(phaseOut[0], phaseOut[1], y, frames);
        }
        std::memmove(buf, buf + frames, size_t(m_hist) * sizeof(double));
    }
    return 2 * frames;
}

int CPolyphaseStage::processDown(const double* const* head, int headFrames, const double* const* in, int channels,
                                 int frames) {
    const int d = m_delay / 2;
    const int s = m_oddPhase;
    const int evens = (frames + 1 - s) / 2, odds = frames - evens;
    const int te = m_phaseTaps[0], to = m_phaseTaps[1];
    for (int ch = 0; ch < channels; ++ch) {
        double* eBuf = m_histBuf[0].data() + size_t(ch) * m_histStride;
        double* oBuf = m_histBuf[1].data() + size_t(ch) * m_histStride;
        double* e = eBuf + m_hist;
        double* o = oBuf + m_hist;
        // Sample i of the block sits at an even position when i + s is even.
        // The head's few samples one by one; then the rest w of the block,
        // whose pairs (w[2j], w[2j+1]) are (E, O) samples when its first
        // sample is at an even position and (O, E) otherwise, a rest of odd
        // length ending on one more of the first kind.
        int ne = 0, no = 0;
        for (int i = 0; i < headFrames; ++i) {
            if (((i + s) & 1) == 0)
                e[ne++] = head[ch][i];
            else
                o[no++] = head[ch][i];
        }
        const double* w = in[ch];
        const int rest = frames - headFrames, whole = rest / 2;
        if (((headFrames + s) & 1) == 0) {
            vecDeinterleave(w, e + ne, o + no, whole);
            if (rest & 1) e[ne + whole] = w[2 * whole];
        } else {
            vecDeinterleave(w, o + no, e + ne, whole);
            if (rest & 1) o[no + whole] = w[2 * whole];
        }
        // Output j is the kept sample of absolute even index k = (evens before) + j.
        double* v = m_out.data() + size_t(ch) * m_outStride;
        const double* xe = e - d - (te - 1);
        const double* xo = o + s - d - 1 - (to - 1);
        if (evens > 0 && te > 0 && to > 0) {
            // Both phases in one pass, summed.
            vecCorrelatePair(m_phase[0].data(), te, xe, m_phase[1].data(), to, xo, v, evens, 0);
        } else {
            sum(m_phase[0], te, xe, v, evens, false);
            sum(m_phase[1], to, xo, v, evens, true);
        }
        std::memmove(eBuf, eBuf + evens, size_t(m_hist) * sizeof(double));
        std::memmove(oBuf, oBuf + odds, size_t(m_hist) * sizeof(double));
    }
    m_oddPhase = (s + frames) & 1;
    return evens;
}
