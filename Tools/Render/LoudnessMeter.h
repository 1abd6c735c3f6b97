#pragma once
// Loudness and peak figures of a multichannel signal: integrated loudness
// after ITU-R BS.1770 (K-weighting, 400 ms blocks every 100 ms, absolute gate
// at -70 LUFS and relative gate 10 LU below the gated mean), the sample peak,
// and the true peak estimated by 4x oversampling.
//
// Channel weights follow the usual order: 1.0 for L, R, C; 0 for the LFE
// (the fourth channel of six or more); 1.41 for Ls, Rs (channels 3-4 of a
// four-channel signal, 4-5 of a five-channel one, 5-6 of six or more);
// channels beyond the sixth do not count.

#include <cstddef>
#include <vector>

namespace render {

class CKWeighting {
public:
    explicit CKWeighting(double sampleRate);
    void reset();
    double process(double x) {
        // Shelving stage, then the high-pass stage (transposed direct form II).
        const double y1 = m_b[0][0] * x + m_z[0][0];
        m_z[0][0] = m_b[0][1] * x - m_a[0][1] * y1 + m_z[0][1];
        m_z[0][1] = m_b[0][2] * x - m_a[0][2] * y1;
        const double y2 = m_b[1][0] * y1 + m_z[1][0];
        m_z[1][0] = m_b[1][1] * y1 - m_a[1][1] * y2 + m_z[1][1];
        m_z[1][1] = m_b[1][2] * y1 - m_a[1][2] * y2;
        return y2;
    }

private:
    double m_b[2][3];
    double m_a[2][3];
    double m_z[2][2] = {};
};

// 4x oversampling peak detector (polyphase windowed-sinc interpolator).
class CTruePeakDetector {
public:
    static constexpr int kFactor = 4;
    static constexpr int kTapsPerPhase = 16;

    CTruePeakDetector();
    void reset();
    void process(const double* x, size_t n);
    double peak() const { return m_peak; }  // linear

private:
    double m_coeffs[kFactor][kTapsPerPhase];
    double m_history[2 * kTapsPerPhase] = {};  // doubled ring: contiguous windows
    int m_pos = 0;
    double m_peak = 0.0;
};

class CLoudnessMeter {
public:
    CLoudnessMeter(int channels, double sampleRate);

    // Planar input: channels pointers of frames samples.
    void process(const double* const* channels, size_t frames);

    // LUFS; -infinity when no block passes the gates.
    double integratedLoudness() const;
    // Linear peaks over all channels.
    double samplePeak() const;
    double truePeak() const;

    static double channelWeight(int channel, int channels);
    static double toDecibels(double linear);

private:
    int m_channels;
    size_t m_step;  // samples in 100 ms
    std::vector<CKWeighting> m_filters;
    std::vector<CTruePeakDetector> m_truePeak;
    std::vector<double> m_weights;
    std::vector<double> m_samplePeak;
    std::vector<double> m_stepEnergy;  // weighted sum of squares of each completed 100 ms step
    double m_partial = 0.0;
    size_t m_partialCount = 0;
};

}  // namespace render
