#include "Audio/Processes/Gain/ModMult.h"

#include <cmath>

void CModMult::process(const double* a, const double* b, double* out, int frames) {
    if (!m_division) {
        for (int i = 0; i < frames; ++i) out[i] = a[i] * b[i];
        return;
    }
    for (int i = 0; i < frames; ++i) {
        const double d = b[i];
        out[i] = std::abs(d) < 1e-30 ? 0.0 : a[i] / d;
    }
}
