#pragma once
// CModGain: gain with mute and phase invert for one channel. The multiplier
// is gain × (±1); a multiplier within one rounding step of 1 copies the input
// bit for bit, and a muted channel carries the tiny noise instead of zeros.
//
// With a ramp length set, a change of the multiplier after audio has passed
// moves there linearly over that many samples instead of jumping (muting
// ramps down to 0 before the noise takes over; unmuting ramps up from 0).
// The first setting after construction or reset applies at once.

#include "Audio/Graph/ProcessTerminal.h"
#include "Audio/Processes/Gain/TinyNoise.h"

class CModGain : public CModProcessorBase {
public:
    // Module parameters in index order.
    struct Params {
        double gain = 1.0;  // linear
        bool mute = false;
        bool phaseInvert = false;
    };

    void prepare(double sampleRate, int maxBlock);
    // Samples over which a multiplier change is ramped (0: at once).
    void setRampLength(int samples) { m_rampLen = samples > 0 ? samples : 0; }
    void setParams(const Params& p);
    // Ends any ramp at the set multiplier.
    void reset();

    // in may equal out.
    void process(const double* in, double* out, int frames);

    // The multiplier set (the ramp's destination while ramping).
    double multiplier() const { return m_mult; }
    bool ramping() const { return m_rampLeft > 0; }

private:
    double m_mult = 1.0;
    bool m_mute = false;
    bool m_copy = true;
    int m_rampLen = 0;
    int m_rampLeft = 0;
    double m_current = 1.0;  // the multiplier in effect
    double m_step = 0.0;     // per-sample ramp step
    bool m_fresh = true;     // no audio since construction or reset
    CTinyNoise m_noise;
};
