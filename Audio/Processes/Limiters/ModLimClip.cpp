#include "Audio/Processes/Limiters/ModLimClip.h"

#include <algorithm>

#include "Audio/Processes/Limiters/OnePole.h"


void CModLimClip::setClipLevel(double level) { T_ = level >= kMinClipLevel ? level : kMinClipLevel; }

void CModLimClip::prepare(double sampleRate, int /*maxBlock*/) {
    setSampleRate(sampleRate > 0.0 ? sampleRate : 44100.0);
    m_prepared = true;
    reset();
}

void CModLimClip::setSampleRate(double sampleRate) {
    if (!(sampleRate > 0.0)) return;
    m_sr = sampleRate;
    // Cut-offs 0.7355 / t for t = 0.5 ms ... 1.024 s.
    for (int i = 0; i < 12; ++i) m_k[i] = onePoleCoefW(4.621282793430586 / (m_sr * 0.0005 * static_cast<double>(1 << i)));
    m_drcCoefs.build(m_sr);
}

void CModLimClip::setParams(const Params& in) {
    Params p = in;
    p.drcType = std::clamp(p.drcType, 0, 2);
    if (p.drcType != m_params.drcType) m_drc.reset();
    m_params = p;
}

void CModLimClip::reset() {
    std::fill(std::begin(m_c), std::end(m_c), 1.0);
    m_drc.reset();
}

void CModLimClip::process(const double* level, double* __restrict gainOut, double* __restrict scaleOut, int n) {
    if (!m_prepared || n <= 0) return;
    const double T = T_;
    double k[12], c[12];
    std::copy(std::begin(m_k), std::end(m_k), k);
    std::copy(std::begin(m_c), std::end(m_c), c);
    CLimDrcState drc = m_drc;
    const CLimDrcCoefs dk = m_drcCoefs;
    const int drcType = m_params.drcType;

    for (int i = 0; i < n; ++i) {
        // A = D3 C2^4 (C3 ... C8)^2 C9^4 C10^8 C11^16 from the previous sample.
        const double c2sq = c[2] * c[2];
        const double c9sq = c[9] * c[9];
        const double c10sq = c[10] * c[10];
        const double c10p4 = c10sq * c10sq;
        const double c11sq = c[11] * c[11];
        const double c11p4 = c11sq * c11sq;
        const double c11p8 = c11p4 * c11p4;
        const double mid = c[3] * c[4] * c[5] * c[6] * c[7] * c[8];
        const double a = drc.d3 * (c2sq * c2sq) * (mid * mid) * (c9sq * c9sq) * (c10p4 * c10p4) * (c11p8 * c11p8);

        const double y = level[i] * a;
        const double g = y <= T ? 1.0 : T / y;

        c[0] += (g * g - c[0]) * k[0];
        for (int j = 1; j < 12; ++j) c[j] += (c[j - 1] - c[j]) * k[j];

        const double out = a * g;
        if (drcType != 0) drc.update(out, drcType, dk);
        gainOut[i] = out;
    }
    if (scaleOut)
        for (int i = 0; i < n; ++i) scaleOut[i] = 1.0;

    std::copy(std::begin(c), std::end(c), m_c);
    m_drc = drc;
}
