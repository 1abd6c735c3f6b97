#include "Audio/Processes/Flow/ModBypass.h"

#include <cmath>
#include <cstring>
#include <numbers>

void CModBypass::prepare(double sampleRate, int /*maxBlock*/) { setSampleRate(sampleRate); }

void CModBypass::setSampleRate(double sampleRate) {
    m_fadeLen = int(std::lround(m_xfadeSec * sampleRate));
    if (m_fadeLen < 0) m_fadeLen = 0;
    reset();
}

void CModBypass::setParams(const Params& p) {
    const Source target = p.groupSolo ? kNoise : (p.enable ? kUnprocessed : kProcessed);
    if (target == m_target) return;
    // Weights reached so far become the start of the new fade.
    if (m_fadePos < m_fadeLen) {
        const double t = 0.5 - 0.5 * std::cos(std::numbers::pi * double(m_fadePos) / double(m_fadeLen));
        for (int j = 0; j < kSourceCount; ++j) m_from[j] = m_from[j] * (1.0 - t) + (j == m_target ? t : 0.0);
    } else {
        for (int j = 0; j < kSourceCount; ++j) m_from[j] = j == m_target ? 1.0 : 0.0;
    }
    m_target = target;
    m_fadePos = 0;
    if (m_fadeLen == 0) reset();
}

void CModBypass::reset() {
    m_fadePos = m_fadeLen;
    for (int j = 0; j < kSourceCount; ++j) m_from[j] = j == m_target ? 1.0 : 0.0;
}

void CModBypass::process(const double* processed, const double* unprocessed, double* out, int frames) {
    int i = 0;
    if (m_fadePos < m_fadeLen) {
        const double scale = std::numbers::pi / double(m_fadeLen);
        double g[kSourceCount];
        for (; i < frames && m_fadePos < m_fadeLen; ++i) {
            ++m_fadePos;
            const double t = 0.5 - 0.5 * std::cos(scale * double(m_fadePos));
            for (int j = 0; j < kSourceCount; ++j) g[j] = m_from[j] * (1.0 - t) + (j == m_target ? t : 0.0);
            const double noise = m_noise.next();
            out[i] = g[kProcessed] * processed[i] + g[kUnprocessed] * unprocessed[i] + g[kNoise] * noise;
        }
        if (m_fadePos >= m_fadeLen) reset();
    }
    const int rest = frames - i;
    if (rest <= 0) return;
    switch (m_target) {
        case kProcessed:
            if (out != processed) std::memmove(out + i, processed + i, sizeof(double) * size_t(rest));
            break;
        case kUnprocessed:
            if (out != unprocessed) std::memmove(out + i, unprocessed + i, sizeof(double) * size_t(rest));
            break;
        default:
            for (; i < frames; ++i) out[i] = m_noise.next();
            break;
    }
}
