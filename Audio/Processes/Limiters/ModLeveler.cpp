#include "Audio/Processes/Limiters/ModLeveler.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#include "Audio/Vector/Dual.h"

namespace {

constexpr double kEps = std::numeric_limits<double>::epsilon();

template <bool Max>
inline double common(const double* const* in, int channels, int i) {
    double v = in[0][i];
    for (int c = 1; c < channels; ++c) {
        if constexpr (Max)
            v = std::max(v, in[c][i]);
        else
            v = std::min(v, in[c][i]);
    }
    return v;
}

template <bool Max>
void blend(const double* const* in, double* const* out, int channels, int n, double linking, double step) {
    for (int i = 0; i < n; ++i) {
        const double linked = common<Max>(in, channels, i);
        for (int c = 0; c < channels; ++c) {
            const double own = in[c][i];
            out[c][i] = own + (linked - own) * linking;
        }
        linking += step;
    }
}

template <bool Max>
void linkAll(const double* const* in, double* const* out, int channels, int n) {
    for (int i = 0; i < n; ++i) {
        const double linked = common<Max>(in, channels, i);
        for (int c = 0; c < channels; ++c) out[c][i] = linked;
    }
}

// blend() and linkAll() for a stereo pair with a steady linking, two samples
// at a time. Each output takes its samples only after both inputs gave
// theirs, so an output may be its own input (the graph's outputs are their
// inputs or lie apart from them).
template <bool Max>
inline double pick(double x, double y) {
    return Max ? std::max(x, y) : std::min(x, y);
}

template <bool Max>
void blendPair(const double* a, const double* b, double* oa, double* ob, int n, double linking) {
    int i = 0;
#if TAMBLOR_HAVE_DUAL
    const CDual k(linking);
    for (; i + 2 <= n; i += 2) {
        const CDual x(_mm_loadu_pd(a + i)), y(_mm_loadu_pd(b + i));
        const CDual linked = Max ? vMax(x, y) : vMin(x, y);
        _mm_storeu_pd(oa + i, (x + (linked - x) * k).v);
        _mm_storeu_pd(ob + i, (y + (linked - y) * k).v);
    }
#endif
    for (; i < n; ++i) {
        const double x = a[i], y = b[i];
        const double linked = pick<Max>(x, y);
        oa[i] = x + (linked - x) * linking;
        ob[i] = y + (linked - y) * linking;
    }
}

template <bool Max>
void linkPair(const double* a, const double* b, double* oa, double* ob, int n) {
    int i = 0;
#if TAMBLOR_HAVE_DUAL
    for (; i + 2 <= n; i += 2) {
        const CDual x(_mm_loadu_pd(a + i)), y(_mm_loadu_pd(b + i));
        const __m128d linked = (Max ? vMax(x, y) : vMin(x, y)).v;
        _mm_storeu_pd(oa + i, linked);
        _mm_storeu_pd(ob + i, linked);
    }
#endif
    for (; i < n; ++i) oa[i] = ob[i] = pick<Max>(a[i], b[i]);
}

}  // namespace


void CModLeveler::prepare(double sampleRate, int /*maxBlock*/) {
    m_sr = sampleRate > 0.0 ? sampleRate : 44100.0;
    reset();
}

void CModLeveler::setParams(const Params& in) {
    Params p = in;
    p.mode = std::clamp(p.mode, 0, 1);
    p.linking = std::clamp(p.linking, 0.0, 1.0);
    const double target = p.linking;
    m_params = p;
    if (m_fresh) {
        reset();
        return;
    }
    if (target == m_linking && m_glideLeft == 0) return;
    m_glideLeft = std::max(1, static_cast<int>(std::round(kGlideTime * m_sr)));
    m_step = (target - m_linking) / m_glideLeft;
}

void CModLeveler::reset() {
    m_linking = m_params.linking;
    m_step = 0.0;
    m_glideLeft = 0;
    m_fresh = true;
}

void CModLeveler::process(std::span<const double* const> in, std::span<double* const> out, int n) {
    const int channels = static_cast<int>(std::min({in.size(), out.size(), static_cast<size_t>(kMaxChannels)}));
    if (channels == 0 || n <= 0) return;
    m_fresh = false;
    const double* const* src = in.data();
    double* const* dst = out.data();
    const bool max = m_params.mode == 0;

    int done = 0;
    if (m_glideLeft > 0) {
        const int len = std::min(n, m_glideLeft);
        if (max)
            blend<true>(src, dst, channels, len, m_linking, m_step);
        else
            blend<false>(src, dst, channels, len, m_linking, m_step);
        m_glideLeft -= len;
        m_linking = m_glideLeft == 0 ? m_params.linking : m_linking + m_step * len;
        done = len;
    }
    if (done == n) return;

    const double* srcAt[kMaxChannels];
    double* dstAt[kMaxChannels];
    for (int c = 0; c < channels; ++c) {
        srcAt[c] = src[c] + done;
        dstAt[c] = dst[c] + done;
    }
    const int rest = n - done;
    if (m_linking <= kEps || channels == 1) {
        for (int c = 0; c < channels; ++c)
            if (dstAt[c] != srcAt[c]) std::memmove(dstAt[c], srcAt[c], sizeof(double) * static_cast<size_t>(rest));
    } else if (channels == 2) {
        if (m_linking >= 1.0 - kEps) {
            if (max)
                linkPair<true>(srcAt[0], srcAt[1], dstAt[0], dstAt[1], rest);
            else
                linkPair<false>(srcAt[0], srcAt[1], dstAt[0], dstAt[1], rest);
        } else if (max) {
            blendPair<true>(srcAt[0], srcAt[1], dstAt[0], dstAt[1], rest, m_linking);
        } else {
            blendPair<false>(srcAt[0], srcAt[1], dstAt[0], dstAt[1], rest, m_linking);
        }
    } else if (m_linking >= 1.0 - kEps) {
        if (max)
            linkAll<true>(srcAt, dstAt, channels, rest);
        else
            linkAll<false>(srcAt, dstAt, channels, rest);
    } else if (max) {
        blend<true>(srcAt, dstAt, channels, rest, m_linking, 0.0);
    } else {
        blend<false>(srcAt, dstAt, channels, rest, m_linking, 0.0);
    }
}
