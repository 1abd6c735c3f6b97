#include "Audio/Processes/Limiters/ModLimTBI.h"

#include <algorithm>


void CModLimTBI::prepare(double sampleRate, int /*maxBlock*/) {
    m_sr = sampleRate > 0.0 ? sampleRate : 44100.0;
    m_window.prepare(limMaxLookAheadLength(m_sr));
    m_prepared = true;
    rebuild();
}

void CModLimTBI::setSampleRate(double sampleRate) {
    if (!(sampleRate > 0.0)) return;
    m_sr = sampleRate;
    if (!m_prepared) return;
    rebuild();
    reset();
}

void CModLimTBI::setParams(const Params& in) {
    Params p = in;
    p.attack = std::max(p.attack, 0.0);
    const bool changed = !(p == m_params);
    m_params = p;
    if (m_prepared && changed) rebuild();
}

void CModLimTBI::rebuild() {
    m_window.setLength(limLookAheadLength(m_params.attack, m_sr, m_window.maxLength()));
    T_ = limThresholdForAttack(m_params.attack);
}

void CModLimTBI::reset() { m_window.clear(); }

void CModLimTBI::process(const double* level, double* __restrict gainOut, double* __restrict scaleOut, int n) {
    if (!m_prepared || n <= 0) return;
    const double T = T_;
    // The knee gains, then the look-ahead window over them in its block form.
    for (int i = 0; i < n; ++i) {
        const double x = level[i];
        gainOut[i] = x > T ? T / x : 1.0;
    }
    std::fill_n(scaleOut, n, 1.0);
    m_window.run(gainOut, gainOut, n);
}
