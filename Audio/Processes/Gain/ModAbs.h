#pragma once
// CModAbs: rectifies one channel, y = |x|.

#include "Audio/Graph/ProcessTerminal.h"

class CModAbs : public CModProcessorBase {
public:
    void prepare(double /*sampleRate*/, int /*maxBlock*/) {}
    void reset() {}
    // in may equal out.
    void process(const double* in, double* out, int frames);
};
