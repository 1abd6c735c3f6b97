#include "Tools/Render/LoudnessMeter.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace render {

// --- K-weighting ------------------------------------------------------------------

CKWeighting::CKWeighting(double sampleRate) {
    // Stage 1: high shelf (+4 dB above ~1.7 kHz), bilinear design for any rate.
    {
        const double f0 = 1681.974450955533, gainDb = 3.999843853973347, q = 0.7071752369554196;
        const double k = std::tan(M_PI * f0 / sampleRate);
        const double vh = std::pow(10.0, gainDb / 20.0);
        const double vb = std::pow(vh, 0.4996667741545416);
        const double a0 = 1.0 + k / q + k * k;
        m_b[0][0] = (vh + vb * k / q + k * k) / a0;
        m_b[0][1] = 2.0 * (k * k - vh) / a0;
        m_b[0][2] = (vh - vb * k / q + k * k) / a0;
        m_a[0][0] = 1.0;
        m_a[0][1] = 2.0 * (k * k - 1.0) / a0;
        m_a[0][2] = (1.0 - k / q + k * k) / a0;
    }
    // Stage 2: second-order high-pass at ~38 Hz.
    {
        const double f0 = 38.13547087602444, q = 0.5003270373238773;
        const double k = std::tan(M_PI * f0 / sampleRate);
        const double a0 = 1.0 + k / q + k * k;
        m_b[1][0] = 1.0;
        m_b[1][1] = -2.0;
        m_b[1][2] = 1.0;
        m_a[1][0] = 1.0;
        m_a[1][1] = 2.0 * (k * k - 1.0) / a0;
        m_a[1][2] = (1.0 - k / q + k * k) / a0;
    }
}

void CKWeighting::reset() {
    for (auto& s : m_z) s[0] = s[1] = 0.0;
}

// --- True peak ------------------------------------------------------------------------

CTruePeakDetector::CTruePeakDetector() {
    // Low-pass at the original Nyquist frequency, Kaiser window (beta 7),
    // split into kFactor phases of kTapsPerPhase taps each.
    constexpr int n = kFactor * kTapsPerPhase;
    constexpr double beta = 7.0;
    auto besselI0 = [](double x) {
        double sum = 1.0, term = 1.0;
        for (int k = 1; k < 40; ++k) {
            term *= (x / (2.0 * k)) * (x / (2.0 * k));
            sum += term;
        }
        return sum;
    };
    const double centre = (n - 1) / 2.0;
    double h[n];
    for (int i = 0; i < n; ++i) {
        const double m = i - centre;
        const double t = m / kFactor;
        const double sinc = t == 0.0 ? 1.0 : std::sin(M_PI * t) / (M_PI * t);
        const double r = m / centre;
        const double w = besselI0(beta * std::sqrt(std::max(0.0, 1.0 - r * r))) / besselI0(beta);
        h[i] = sinc * w;
    }
    // Each phase sums to one, so a constant signal keeps its level.
    for (int p = 0; p < kFactor; ++p) {
        double sum = 0.0;
        for (int k = 0; k < kTapsPerPhase; ++k) sum += h[p + kFactor * k];
        for (int k = 0; k < kTapsPerPhase; ++k) m_coeffs[p][k] = h[p + kFactor * k] / sum;
    }
}

void CTruePeakDetector::reset() {
    std::fill(std::begin(m_history), std::end(m_history), 0.0);
    m_pos = 0;
    m_peak = 0.0;
}

void CTruePeakDetector::process(const double* x, size_t n) {
    double peak = m_peak;
    int pos = m_pos;
    for (size_t i = 0; i < n; ++i) {
        // Newest sample at the front of the window m_history[pos .. pos + T).
        pos = pos == 0 ? kTapsPerPhase - 1 : pos - 1;
        m_history[pos] = m_history[pos + kTapsPerPhase] = x[i];
        const double* win = m_history + pos;
        for (int p = 0; p < kFactor; ++p) {
            double y = 0.0;
            for (int k = 0; k < kTapsPerPhase; ++k) y += m_coeffs[p][k] * win[k];
            peak = std::max(peak, std::fabs(y));
        }
    }
    m_pos = pos;
    m_peak = peak;
}

// --- Loudness meter ---------------------------------------------------------------------

double CLoudnessMeter::channelWeight(int channel, int channels) {
    constexpr double kSurround = 1.41;
    if (channels == 4) return channel < 2 ? 1.0 : kSurround;
    if (channels == 5) return channel < 3 ? 1.0 : kSurround;
    if (channel < 3) return 1.0;
    if (channel == 3) return 0.0;
    if (channel < 6) return kSurround;
    return 0.0;
}

double CLoudnessMeter::toDecibels(double linear) {
    return linear > 0.0 ? 20.0 * std::log10(linear) : -std::numeric_limits<double>::infinity();
}

CLoudnessMeter::CLoudnessMeter(int channels, double sampleRate)
    : m_channels(channels),
      m_step(size_t((long(sampleRate) + 5) / 10)),
      m_filters(size_t(channels), CKWeighting(sampleRate)),
      m_truePeak(size_t(channels)),
      m_samplePeak(size_t(channels), 0.0) {
    for (int c = 0; c < channels; ++c) m_weights.push_back(channelWeight(c, channels));
}

void CLoudnessMeter::process(const double* const* channels, size_t frames) {
    for (int c = 0; c < m_channels; ++c) {
        m_truePeak[size_t(c)].process(channels[c], frames);
        double peak = m_samplePeak[size_t(c)];
        for (size_t i = 0; i < frames; ++i) peak = std::max(peak, std::fabs(channels[c][i]));
        m_samplePeak[size_t(c)] = peak;
    }
    // Walk in pieces that end at 100 ms step boundaries.
    size_t done = 0;
    while (done < frames) {
        const size_t n = std::min(frames - done, m_step - m_partialCount);
        for (int c = 0; c < m_channels; ++c) {
            CKWeighting& f = m_filters[size_t(c)];
            const double* x = channels[c] + done;
            double sum = 0.0;
            for (size_t i = 0; i < n; ++i) {
                const double y = f.process(x[i]);
                sum += y * y;
            }
            m_partial += m_weights[size_t(c)] * sum;
        }
        done += n;
        m_partialCount += n;
        if (m_partialCount == m_step) {
            m_stepEnergy.push_back(m_partial);
            m_partial = 0.0;
            m_partialCount = 0;
        }
    }
}

double CLoudnessMeter::integratedLoudness() const {
    constexpr double kNegInf = -std::numeric_limits<double>::infinity();
    if (m_stepEnergy.size() < 4) return kNegInf;
    // Mean square of each 400 ms block (four consecutive steps).
    std::vector<double> blocks;
    blocks.reserve(m_stepEnergy.size() - 3);
    for (size_t j = 0; j + 3 < m_stepEnergy.size(); ++j)
        blocks.push_back((m_stepEnergy[j] + m_stepEnergy[j + 1] + m_stepEnergy[j + 2] + m_stepEnergy[j + 3]) /
                         double(4 * m_step));
    auto energyOf = [](double lufs) { return std::pow(10.0, (lufs + 0.691) / 10.0); };
    auto gatedMean = [&](double threshold, double* mean) {
        double sum = 0.0;
        size_t count = 0;
        for (double e : blocks)
            if (e >= threshold) {
                sum += e;
                ++count;
            }
        if (count == 0) return false;
        *mean = sum / double(count);
        return true;
    };
    const double absolute = energyOf(-70.0);
    double mean = 0.0;
    if (!gatedMean(absolute, &mean)) return kNegInf;
    const double relative = std::max(absolute, mean * std::pow(10.0, -1.0));
    if (!gatedMean(relative, &mean)) return kNegInf;
    return -0.691 + 10.0 * std::log10(mean);
}

double CLoudnessMeter::samplePeak() const {
    double p = 0.0;
    for (double v : m_samplePeak) p = std::max(p, v);
    return p;
}

double CLoudnessMeter::truePeak() const {
    double p = samplePeak();
    for (const auto& d : m_truePeak) p = std::max(p, d.peak());
    return p;
}

}  // namespace render
