#include "Audio/Processes/Limiters/ModLimEvaluator.h"

#include <algorithm>
#include <cmath>

#include "Audio/Processes/Limiters/OnePole.h"


void CModLimEvaluator::prepare(double sampleRate, int /*maxBlock*/) {
    m_sr = sampleRate > 0.0 ? sampleRate : 44100.0;
    m_prepared = true;
    rebuild();
    reset();
}

void CModLimEvaluator::setSampleRate(double sampleRate) {
    if (!(sampleRate > 0.0)) return;
    m_sr = sampleRate;
    if (m_prepared) rebuild();
}

void CModLimEvaluator::setParams(const Params& in) {
    Params p = in;
    p.avgTime = std::max(p.avgTime, 1e-4);
    p.inGain = std::max(p.inGain, 1e-6);
    const bool changed = !(p == m_params);
    m_params = p;
    if (!m_prepared || !changed) return;
    rebuild();
    if (m_fresh) m_g = 1.0 / m_params.inGain;
}

void CModLimEvaluator::rebuild() {
    m_kAvg = onePoleCoefTime(1.362 * m_params.avgTime, m_sr);
    m_kGain = onePoleCoefTime(0.05, m_sr);
    m_holdLength = static_cast<int>(std::round(0.15 * m_sr));
    m_hold = m_holdLength;
}

void CModLimEvaluator::reset() {
    m_p1 = m_p2 = 0.0;
    m_g = 1.0 / m_params.inGain;
    m_hold = m_holdLength;
    m_fresh = true;
}

void CModLimEvaluator::process(std::span<const double* const> signal, std::span<const double* const> inLevel,
                               std::span<const double* const> outLevel, std::span<double* const> out, int n) {
    const size_t channels = std::min({signal.size(), inLevel.size(), outLevel.size(), out.size()});
    if (!m_prepared || n <= 0 || channels == 0) return;
    m_fresh = false;

    const double kAvg = m_kAvg;
    const double kGain = m_kGain;
    const double holdTarget = 1.0 / m_params.inGain;
    const double invChannels = 1.0 / static_cast<double>(channels);
    double p1 = m_p1, p2 = m_p2, g = m_g;
    int hold = m_hold;

    for (int i = 0; i < n; ++i) {
        double a2 = 0.0, b2 = 0.0;
        for (size_t c = 0; c < channels; ++c) {
            const double a = inLevel[c][i];
            const double b = outLevel[c][i];
            a2 += a * a;
            b2 += b * b;
        }
        p1 += (a2 * invChannels - p1) * kAvg;
        p2 += (b2 * invChannels - p2) * kAvg;

        double target;
        if (hold > 0) {
            --hold;
            target = holdTarget;
        } else {
            target = std::clamp(std::sqrt((p1 + 1e-30) / (p2 + 1e-30)), 0.03, 32.0);
        }
        g += (target - g) * kGain;
        for (size_t c = 0; c < channels; ++c) out[c][i] = signal[c][i] * g;
    }

    m_p1 = p1;
    m_p2 = p2;
    m_g = g;
    m_hold = hold;
}
