#include "Audio/Processes/Flow/DSPModDelay.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "Audio/Processes/Flow/RingDelay.h"

void CDSPModDelayBase::setDelay(int samples) {
    const int d = std::clamp(samples, 0, m_maxDelay);
    if (m_fadePos < m_fadeLen && m_oldDelay != m_delay) {
        // A fade is under way: the change waits for its end.
        m_pending = d == m_delay ? -1 : d;
        return;
    }
    m_pending = -1;
    if (d == m_delay) return;
    m_oldDelay = m_delay;
    m_delay = d;
    m_fadePos = 0;
    if (m_fadeLen == 0) settle();
}

void CDSPModDelayBase::settle() {
    if (m_pending >= 0) m_delay = m_pending;
    m_pending = -1;
    m_oldDelay = m_delay;
    m_fadePos = m_fadeLen;
}

void CDSPModDelayBase::startPending() {
    if (m_pending < 0) return;
    const int d = m_pending;
    m_pending = -1;
    m_oldDelay = m_delay;
    m_delay = d;
    m_fadePos = 0;
}

void CDSPModDelay::prepare(int lanes, int maxDelay) {
    m_maxDelay = std::max(maxDelay, 0);
    unsigned size = 1;
    while (size < unsigned(m_maxDelay) + 1u) size <<= 1;
    m_mask = size - 1;
    m_rings.resize(size_t(std::max(lanes, 0)));
    for (auto& ring : m_rings) ring.allocate(size);
    m_delay = std::min(m_delay, m_maxDelay);
    if (m_pending > m_maxDelay) m_pending = m_maxDelay;
    reset();
}

void CDSPModDelay::reset() {
    for (auto& ring : m_rings) ring.zero();
    m_write = 0;
    settle();
}

void CDSPModDelay::process(std::span<const double* const> in, std::span<double* const> out, int frames) {
    const unsigned mask = m_mask;
    const size_t lanes = std::min({in.size(), out.size(), m_rings.size()});
    int done = 0;
    while (done < frames) {
        const unsigned w0 = m_write + unsigned(done);
        if (!fading()) {
            // Steady: one read position for the rest of the block.
            const int n = frames - done;
            const unsigned d = unsigned(m_delay);
            for (size_t l = 0; l < lanes; ++l) {
                double* ring = m_rings[l].data();
                const double* x = in[l] + done;
                double* y = out[l] + done;
                ringDelayRun(ring, mask + 1, w0, d, x, y, n);
            }
            done = frames;
            break;
        }
        // Fading: both read positions until the fade ends or the block does.
        const int n = std::min(frames - done, m_fadeLen - m_fadePos);
        const unsigned dOld = unsigned(m_oldDelay);
        const unsigned dNew = unsigned(m_delay);
        const double scale = std::numbers::pi / double(m_fadeLen);
        for (size_t l = 0; l < lanes; ++l) {
            double* ring = m_rings[l].data();
            const double* x = in[l] + done;
            double* y = out[l] + done;
            for (int i = 0; i < n; ++i) {
                const unsigned w = w0 + unsigned(i);
                ring[w & mask] = x[i];
                const int k = m_fadePos + i + 1;
                const double t = k >= m_fadeLen ? 1.0 : 0.5 - 0.5 * std::cos(scale * double(k));
                const double a = ring[(w - dOld) & mask];
                const double b = ring[(w - dNew) & mask];
                y[i] = k >= m_fadeLen ? b : a + (b - a) * t;
            }
        }
        m_fadePos += n;
        done += n;
        if (m_fadePos >= m_fadeLen) {
            m_oldDelay = m_delay;
            startPending();
        }
    }
    m_write += unsigned(frames);
}
