#include "Audio/Processes/ModFixedLatency.h"

#include <algorithm>
#include <cmath>

void CModFixedLatency::setLatency(double seconds, int samples) {
    m_seconds = seconds;
    m_samples = samples;
}

int CModFixedLatency::delayFor(double seconds, int samples, double sampleRate) {
    return std::max(0, int(std::lround(seconds * sampleRate)) + samples);
}

void CModFixedLatency::prepare(double sampleRate, int /*maxBlock*/, int lanes) {
    const int d = delayFor(m_seconds, m_samples, sampleRate);
    m_delay.setFadeLength(0);
    m_delay.prepare(lanes, d);
    m_delay.setDelay(d);
}
