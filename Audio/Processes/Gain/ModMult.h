#pragma once
// CModMult: the product of two signals of one channel (port 0 × port 1), or
// their quotient when the "is-division" attribute is set.

#include "Audio/Graph/ProcessTerminal.h"

class CModMult : public CModProcessorBase {
public:
    void setDivision(bool on) { m_division = on; }
    void prepare(double /*sampleRate*/, int /*maxBlock*/) {}
    void reset() {}

    // out may equal a or b. In division mode a divisor with a magnitude below
    // 1e-30 gives 0 rather than an overflow.
    void process(const double* a, const double* b, double* out, int frames);

private:
    bool m_division = false;
};
