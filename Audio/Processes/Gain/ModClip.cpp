#include "Audio/Processes/Gain/ModClip.h"

#include <algorithm>

void CModClip::setClipLevel(double level) {
    m_clipLevel = std::max(level, 0.01);
    m_level = m_gain * m_clipLevel;
}

void CModClip::setParams(const Params& p) {
    m_gain = p.gain;
    m_level = m_gain * m_clipLevel;
}

void CModClip::process(const double* in, double* out, int frames) {
    const double c = m_level;
    for (int i = 0; i < frames; ++i) {
        const double x = in[i];
        out[i] = x >= c ? c : (x <= -c ? -c : x);
    }
}
