#pragma once
// CModDenormNoise: adds the tiny ±1e-11 noise to one channel so that the
// filters and recursions after it never run into denormal numbers.

#include "Audio/Graph/ProcessTerminal.h"
#include "Audio/Processes/Gain/TinyNoise.h"

class CModDenormNoise : public CModProcessorBase {
public:
    void prepare(double /*sampleRate*/, int /*maxBlock*/) {}
    void reset() {}
    // in may equal out.
    void process(const double* in, double* out, int frames);

private:
    CTinyNoise m_noise;
};
