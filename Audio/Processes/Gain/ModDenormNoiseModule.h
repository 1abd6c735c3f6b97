#pragma once
// Anti-denormal noise in the graph (audio:modDenormNoise): adds the ±1e-11
// tiny noise to every channel. No parameters.

#include "Audio/Processes/ModChannelModule.h"
#include "Audio/Processes/Gain/ModDenormNoise.h"

class CModDenormNoiseModule : public CModChannelModule<CModDenormNoise> {
public:
    void process(int frames) override;
};

using CModDenormNoiseDef = CModDefT<CModDenormNoiseModule>;
