#include "Audio/Processes/ModGain.h"

#include <cmath>
#include <cstring>

void CModGain::prepare(double /*sampleRate*/, int /*maxBlock*/) {}

void CModGain::setParams(const Params& p) {
    m_mute = p.mute;
    m_mult = p.mute ? 0.0 : p.gain * (p.phaseInvert ? -1.0 : 1.0);
    m_copy = !m_mute && std::abs(m_mult - 1.0) <= 2.220446049250313e-16;
}

void CModGain::process(const double* in, double* out, int frames) {
    if (m_mute) {
        for (int i = 0; i < frames; ++i) out[i] = m_noise.next();
    } else if (m_copy) {
        if (in != out) std::memcpy(out, in, sizeof(double) * size_t(frames));
    } else {
        const double m = m_mult;
        for (int i = 0; i < frames; ++i) out[i] = m * in[i];
    }
}
