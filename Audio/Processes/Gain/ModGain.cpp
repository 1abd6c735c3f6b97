#include "Audio/Processes/Gain/ModGain.h"

#include <algorithm>
#include <cmath>
#include <cstring>

void CModGain::prepare(double /*sampleRate*/, int /*maxBlock*/) {}

void CModGain::setParams(const Params& p) {
    const double before = m_mult;
    m_mute = p.mute;
    m_mult = p.mute ? 0.0 : p.gain * (p.phaseInvert ? -1.0 : 1.0);
    m_copy = !m_mute && std::abs(m_mult - 1.0) <= 2.220446049250313e-16;
    if (m_fresh || m_rampLen == 0) {
        m_current = m_mult;
        m_rampLeft = 0;
        return;
    }
    if (m_mult == before) return;  // a running ramp keeps its course
    // From wherever a running ramp has got to.
    m_rampLeft = m_rampLen;
    m_step = (m_mult - m_current) / double(m_rampLen);
}

void CModGain::reset() {
    m_current = m_mult;
    m_rampLeft = 0;
    m_fresh = true;
}

void CModGain::process(const double* in, double* out, int frames) {
    m_fresh = false;
    int i = 0;
    if (m_rampLeft > 0) {
        const int n = std::min(frames, m_rampLeft);
        double g = m_current;
        const double step = m_step;
        for (; i < n; ++i) {
            g += step;
            out[i] = g * in[i];
        }
        m_rampLeft -= n;
        m_current = m_rampLeft == 0 ? m_mult : g;
        if (i == frames) return;
    }
    const int rest = frames - i;
    if (m_mute) {
        for (; i < frames; ++i) out[i] = m_noise.next();
    } else if (m_copy) {
        if (in != out) std::memmove(out + i, in + i, sizeof(double) * size_t(rest));
    } else {
        const double m = m_mult;
        for (; i < frames; ++i) out[i] = m * in[i];
    }
}
