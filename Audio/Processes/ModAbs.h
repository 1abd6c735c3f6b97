#pragma once
// CModAbs: rectifies one channel, y = |x|.

class CModAbs {
public:
    void prepare(double /*sampleRate*/, int /*maxBlock*/) {}
    void reset() {}
    // in may equal out.
    void process(const double* in, double* out, int frames);
};
