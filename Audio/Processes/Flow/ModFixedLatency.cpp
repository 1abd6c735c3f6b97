#include "Audio/Processes/Flow/ModFixedLatency.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>

#include "Audio/Processes/Flow/RingDelay.h"

namespace {
constexpr int64_t kNever = std::numeric_limits<int64_t>::max() / 2;
}

void CModFixedLatency::setLatency(double seconds, int samples) {
    m_seconds = seconds;
    m_samples = samples;
}

int CModFixedLatency::delayFor(double seconds, int samples, double sampleRate) {
    return std::max(0, int(std::lround(seconds * sampleRate)) + samples);
}

void CModFixedLatency::prepare(double sampleRate, int /*maxBlock*/, int lanes) {
    m_total = delayFor(m_seconds, m_samples, sampleRate);
    unsigned size = 1;
    while (size < unsigned(m_total) + 1u) size <<= 1;
    m_size = size;
    m_mask = size - 1;
    lanes = std::max(lanes, 0);
    m_ring.allocate(size_t(lanes) * size);
    m_usedLanes = 0;
    m_held.assign(size_t(lanes), 0.0);
    m_last.assign(size_t(lanes), 0.0);
    m_delay = std::max(0, m_total - m_upstream);
    reset();
}

void CModFixedLatency::reset() {
    // Only the lanes that carried signal hold anything but zeros.
    if (m_ring.written()) std::fill_n(m_ring.data(), m_usedLanes * m_size, 0.0);
    m_usedLanes = 0;
    std::fill(m_last.begin(), m_last.end(), 0.0);
    if (m_hasPending) m_delay = m_pendingDelay;
    else if (m_transition) m_delay = m_to;
    m_hasPending = m_transition = false;
    m_n = 0;
    m_signalStart = -kNever;
    m_fresh = true;
}

void CModFixedLatency::setSampleRate(double sampleRate) {
    m_total = delayFor(m_seconds, m_samples, sampleRate);
    request(false);
}

void CModFixedLatency::setUpstreamLatency(int samples) {
    if (samples == m_upstream) return;
    m_upstream = samples;
    request(true);
}

void CModFixedLatency::request(bool newSignal) {
    const int target = std::clamp(m_total - m_upstream, 0, int(m_mask));
    if (m_fresh) {
        m_delay = target;
        return;
    }
    // A new signal begins with the next sample; a later request keeps the
    // start of the newest signal.
    if (newSignal) {
        m_pendingNewSignal = true;
        m_pendingStart = m_n;
    } else if (!m_hasPending) {
        m_pendingNewSignal = false;
    }
    m_pendingDelay = target;
    m_hasPending = true;
}

void CModFixedLatency::startTransition() {
    m_hasPending = false;
    const int from = m_delay, to = m_pendingDelay;
    if (m_pendingNewSignal) {
        // The old signal ends where the new one began. The new one can be
        // read at its delay once it has travelled that far; a stage that has
        // just joined the path first puts out what it held from before, for
        // as many samples as it adds, so the fade never starts before the old
        // signal has run out.
        m_signalStart = m_pendingStart;
        m_fromEnd = m_pendingStart + from;
        m_fadeStart = std::max(m_n, m_pendingStart + std::max(from, to));
    } else {
        if (from == to) return;
        m_fromEnd = kNever;
        m_fadeStart = std::max(m_n, m_signalStart + to);
    }
    if (m_fadeLen == 0 && m_fromEnd == kNever) {
        m_delay = to;
        return;
    }
    m_from = from;
    m_to = to;
    m_transFadeLen = std::max(1, m_fadeLen);
    // Past its end already: the old signal is held at the last output.
    for (size_t l = 0; l < m_held.size(); ++l) m_held[l] = m_last[l];
    m_transition = true;
}

template <bool Fading>
void CModFixedLatency::run(std::span<const double* const> in, std::span<double* const> out, size_t lanes, int frames) {
    const unsigned mask = m_mask;
    const int64_t n0 = m_n;
    for (size_t l = 0; l < lanes; ++l) {
        double* ring = m_ring.data() + l * m_size;
        const double* x = in[l];
        double* y = out[l];
        if constexpr (!Fading) {
            ringDelayRun(ring, m_size, unsigned(n0), unsigned(m_delay), x, y, frames);
        } else {
            const unsigned dFrom = unsigned(m_from), dTo = unsigned(m_to);
            const double scale = std::numbers::pi / double(m_transFadeLen);
            double held = m_held[l];
            for (int i = 0; i < frames; ++i) {
                const int64_t n = n0 + i;
                const unsigned w = unsigned(n);
                ring[w & mask] = x[i];
                double f = held;
                if (n < m_fromEnd) f = held = ring[(w - dFrom) & mask];
                if (n < m_fadeStart) {
                    y[i] = f;
                    continue;
                }
                const int64_t k = n - m_fadeStart + 1;
                const double to = ring[(w - dTo) & mask];
                y[i] = k >= m_transFadeLen ? to : f + (to - f) * (0.5 - 0.5 * std::cos(scale * double(k)));
            }
            m_held[l] = held;
        }
        if (frames > 0) m_last[l] = y[frames - 1];
    }
}

void CModFixedLatency::process(std::span<const double* const> in, std::span<double* const> out, int frames) {
    if (frames <= 0) return;
    const size_t lanes = std::min({in.size(), out.size(), m_last.size()});
    m_usedLanes = std::max(m_usedLanes, lanes);
    if (!m_transition && m_hasPending) startTransition();
    if (m_transition)
        run<true>(in, out, lanes, frames);
    else
        run<false>(in, out, lanes, frames);
    m_n += frames;
    m_fresh = false;
    if (m_transition && m_n - m_fadeStart >= m_transFadeLen) {
        m_transition = false;
        m_delay = m_to;
    }
}
