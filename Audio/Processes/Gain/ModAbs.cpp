#include "Audio/Processes/Gain/ModAbs.h"

#include <cmath>

void CModAbs::process(const double* in, double* out, int frames) {
    for (int i = 0; i < frames; ++i) out[i] = std::fabs(in[i]);
}
