#pragma once
// CModFixedLatency: delays every signal it receives by a fixed latency of
// "latency-sec" seconds plus "latency-samples" samples at its own rate, so a
// path's latency does not depend on settings that vary the work before it.

#include <span>

#include "Audio/Processes/DSPModDelay.h"

class CModFixedLatency {
public:
    // The "latency-sec" and "latency-samples" attributes.
    void setLatency(double seconds, int samples);

    // D = round(seconds · sampleRate) + samples.
    static int delayFor(double seconds, int samples, double sampleRate);

    // lanes: the number of signals delayed together (one per input port and channel).
    void prepare(double sampleRate, int maxBlock, int lanes);
    void reset() { m_delay.reset(); }

    void process(std::span<const double* const> in, std::span<double* const> out, int frames) {
        m_delay.process(in, out, frames);
    }

    // The latency reported for the node, in samples.
    int latency() const { return m_delay.delay(); }

private:
    double m_seconds = 0.0;
    int m_samples = 0;
    CDSPModDelay m_delay;
};
