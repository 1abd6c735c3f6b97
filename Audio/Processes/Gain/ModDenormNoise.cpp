#include "Audio/Processes/Gain/ModDenormNoise.h"

void CModDenormNoise::process(const double* in, double* out, int frames) {
    CTinyNoise noise = m_noise;
    for (int i = 0; i < frames; ++i) out[i] = in[i] + noise.next();
    m_noise = noise;
}
