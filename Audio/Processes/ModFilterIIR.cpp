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

namespace {

// Runs G sections in series, sample by sample: each section's recursion is a
// chain of dependent operations, and interleaving the sections lets those
// chains overlap instead of running one after another.
template <int G>
void runGroup(const CFilterSection* sec, double* st, const double* in, double* out, int frames) {
    double b0[G], b1[G], b2[G], a1[G], a2[G], z1[G], z2[G];
    for (int k = 0; k < G; ++k) {
        b0[k] = sec[k].b0;
        b1[k] = sec[k].b1;
        b2[k] = sec[k].b2;
        a1[k] = sec[k].a1;
        a2[k] = sec[k].a2;
        z1[k] = st[2 * k];
        z2[k] = st[2 * k + 1];
    }
    for (int i = 0; i < frames; ++i) {
        double x = in[i];
        for (int k = 0; k < G; ++k) {
            const double y = b0[k] * x + z1[k];
            z1[k] = b1[k] * x - a1[k] * y + z2[k];
            z2[k] = b2[k] * x - a2[k] * y;
            x = y;
        }
        out[i] = x;
    }
    // States that have decayed to nothing are cleared so that silence never
    // leaves them in the denormal range.
    for (int k = 0; k < G; ++k) {
        st[2 * k] = std::abs(z1[k]) < 1e-30 ? 0.0 : z1[k];
        st[2 * k + 1] = std::abs(z2[k]) < 1e-30 ? 0.0 : z2[k];
    }
}

}  // namespace

void CModFilterIIR::process(const double* in, double* out, int frames) {
    const size_t count = m_sections.size();
    if (count == 0) {
        if (in != out) std::memcpy(out, in, sizeof(double) * size_t(frames));
        return;
    }
    const double* src = in;
    for (size_t k = 0; k < count;) {
        const CFilterSection* sec = m_sections.data() + k;
        double* st = m_state.data() + 2 * k;
        switch (count - k) {
            case 1: runGroup<1>(sec, st, src, out, frames); k += 1; break;
            case 2: runGroup<2>(sec, st, src, out, frames); k += 2; break;
            default: runGroup<3>(sec, st, src, out, frames); k += 3; break;
        }
        src = out;
    }
}
