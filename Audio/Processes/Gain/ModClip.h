#pragma once
// CModClip: the hard clipper of one channel. The clip level is gain ×
// "clip-level", so with the output gain as its gain the output never exceeds
// that gain by more than the clip-level factor.

#include "Audio/Graph/ProcessTerminal.h"

class CModClip : public CModProcessorBase {
public:
    // Module parameters in index order.
    struct Params {
        double gain = 1.0;  // linear
    };

    // The "clip-level" attribute; values below 0.01 (including the default 0)
    // are raised to 0.01.
    void setClipLevel(double level);
    double clipLevel() const { return m_clipLevel; }

    void prepare(double /*sampleRate*/, int /*maxBlock*/) {}
    void setParams(const Params& p);
    void reset() {}

    // in may equal out.
    void process(const double* in, double* out, int frames);

    double level() const { return m_level; }

private:
    double m_clipLevel = 0.01;
    double m_gain = 1.0;
    double m_level = 0.01;
};
