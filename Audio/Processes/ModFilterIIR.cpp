#include "Audio/Processes/ModFilterIIR.h"

#include <algorithm>
#include <cmath>
#include <cstring>

CError CModFilterIIR::setGenArray(std::span<const CFilterArrayItem> array) {
    KEL_TRY(checkFilterArray(array));
    m_array = array;
    return {};
}

void CModFilterIIR::prepare(double sampleRate, int /*maxBlock*/) {
    m_rate = sampleRate;
    const size_t n = maxFilterArraySections(m_array);
    m_sections.reserve(n);
    m_state.reserve(2 * n);
    regenerate();
    reset();
}

void CModFilterIIR::setParams(const Params& p) {
    if (p == m_params) return;
    m_params = p;
    regenerate();
}

void CModFilterIIR::reset() { std::fill(m_state.begin(), m_state.end(), 0.0); }

void CModFilterIIR::regenerate() {
    const size_t before = m_sections.size();
    m_sections.clear();
    if (const CFilterArrayItem* item = findFilterArrayItem(m_array, m_params.index))
        generateSerial(item->items, {m_params.freq, m_params.gain, m_params.bw}, m_rate, m_sections);
    if (m_sections.size() != before) {
        m_state.assign(2 * m_sections.size(), 0.0);
    }
}

void CModFilterIIR::process(const double* in, double* out, int frames) {
    if (m_sections.empty()) {
        if (in != out) std::memcpy(out, in, sizeof(double) * size_t(frames));
        return;
    }
    const double* src = in;
    double* st = m_state.data();
    for (const CFilterSection& s : m_sections) {
        const double b0 = s.b0, b1 = s.b1, b2 = s.b2, a1 = s.a1, a2 = s.a2;
        double z1 = st[0], z2 = st[1];
        for (int i = 0; i < frames; ++i) {
            const double x = src[i];
            const double y = b0 * x + z1;
            z1 = b1 * x - a1 * y + z2;
            z2 = b2 * x - a2 * y;
            out[i] = y;
        }
        // States that have decayed to nothing are cleared so that silence
        // never leaves them in the denormal range.
        if (std::abs(z1) < 1e-30) z1 = 0.0;
        if (std::abs(z2) < 1e-30) z2 = 0.0;
        st[0] = z1;
        st[1] = z2;
        st += 2;
        src = out;
    }
}
