#include "Audio/Processes/Gain/ModDenormNoise.h"

void CModDenormNoise::process(const double* in, double* out, int frames) { m_noise.addTo(in, out, frames); }
