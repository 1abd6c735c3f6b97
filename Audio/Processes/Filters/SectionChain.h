#pragma once
// CSectionChain<N>: a fixed cascade of N filter sections for one channel
// (transposed direct form II, two states per section), used by the weighting
// stages of the meters and statistics. Coefficients are set when the rate or
// the design changes; processing never allocates.

#include <array>
#include <cmath>
#include <cstddef>

#include "Audio/Filters/FilterSection.h"

template <size_t N>
class CSectionChain {
public:
    void setSections(const std::array<CFilterSection, N>& sections) { m_sec = sections; }
    const std::array<CFilterSection, N>& sections() const { return m_sec; }
    void reset() { m_state.fill(0.0); }

    // in may equal out.
    void process(const double* in, double* out, int frames) {
        const double* src = in;
        for (size_t k = 0; k < N; ++k) {
            const CFilterSection& s = m_sec[k];
            const double b0 = s.b0, b1 = s.b1, b2 = s.b2, a1 = s.a1, a2 = s.a2;
            double s1 = m_state[2 * k], s2 = m_state[2 * k + 1];
            for (int i = 0; i < frames; ++i) {
                const double x = src[i];
                const double y = b0 * x + s1;
                s1 = b1 * x - a1 * y + s2;
                s2 = b2 * x - a2 * y;
                out[i] = y;
            }
            m_state[2 * k] = s1;
            m_state[2 * k + 1] = s2;
            src = out;
        }
    }

    // Clears states that decayed towards the denormal range.
    void flushTiny() {
        for (double& s : m_state)
            if (std::fabs(s) < 1e-30) s = 0.0;
    }

private:
    std::array<CFilterSection, N> m_sec{};
    std::array<double, 2 * N> m_state{};
};
