#pragma once
// Requantisation with dither in the graph (audio:modDither): slots 0 `bits`
// (word length 8 + bits, fallback 8 = 16 bits), 1 `noise` ("TPDF;Gauss;
// 1-Bit") and 2 `shaping` ("Off;Equal;Classic"), each rounded half away
// from zero. Every channel has its own generator, seeded from the
// process-wide counter, so the channels' noises are independent.

#include "Audio/Processes/ModChannelModule.h"
#include "Audio/Processes/Gain/ModDither.h"

class CModDitherModule : public CModChannelModule<CModDither> {
public:
    void process(int frames) override;

protected:
    CError moduleSetup(CAudioProcessBuild& b) override;
    void updateParams() override;
};

using CModDitherDef = CModDefT<CModDitherModule>;
