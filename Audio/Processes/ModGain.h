#pragma once
// CModGain: gain with mute and phase invert for one channel. The multiplier
// is gain × (±1); a multiplier within one rounding step of 1 copies the input
// bit for bit, and a muted channel carries the tiny noise instead of zeros.

#include "Audio/Processes/TinyNoise.h"

class CModGain {
public:
    // Module parameters in index order.
    struct Params {
        double gain = 1.0;  // linear
        bool mute = false;
        bool phaseInvert = false;
    };

    void prepare(double sampleRate, int maxBlock);
    void setParams(const Params& p);
    void reset() {}

    // in may equal out.
    void process(const double* in, double* out, int frames);

    double multiplier() const { return m_mult; }

private:
    double m_mult = 1.0;
    bool m_mute = false;
    bool m_copy = true;
    CTinyNoise m_noise;
};
