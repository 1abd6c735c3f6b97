#include "Audio/Processes/Resampling/ModInterpolator.h"

void CModInterpolator::interpolate(const double* in, double* out, int frames) {
    for (int i = 0; i < frames; ++i) {
        out[2 * i] = 2.0 * in[i];
        out[2 * i + 1] = 0.0;
    }
}

void CModInterpolator::process(int frames) {
    for (int ch = 0; ch < m_channels; ++ch) interpolate(input(0).ch[ch], outputBuffer(0, ch), frames);
}

int CModDecimator::outputFrames(int inputFrames) const {
    const int phase = inputFrames == m_lastFrames ? m_lastPhase : m_phase;
    return (inputFrames + 1 - phase) / 2;
}

void CModDecimator::process(int frames) {
    const int first = m_phase;  // index of the first even sample in this block
    for (int ch = 0; ch < m_channels; ++ch) {
        const double* x = input(0).ch[ch];
        double* y = outputBuffer(0, ch);
        int k = 0;
        for (int i = first; i < frames; i += 2) y[k++] = x[i];
    }
    m_lastPhase = m_phase;
    m_lastFrames = frames;
    m_phase = (m_phase + frames) & 1;
}
