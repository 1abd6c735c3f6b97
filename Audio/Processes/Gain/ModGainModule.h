#pragma once
// The gain stage in the graph (audio:modGain): slots 0 `gain` (linear, 1.0),
// 1 `mute` and 2 `phase-invert` (on at 0.5 and above, off unless bound).
// With "is-smooth-update" a change of the multiplier is ramped over the
// module's "xfade-length" (15 ms when unset) instead of jumping.

#include "Audio/Processes/ModChannelModule.h"
#include "Audio/Processes/Gain/ModGain.h"

class CModGainModule : public CModChannelModule<CModGain> {
public:
    void process(int frames) override;

protected:
    CError moduleSetup(CAudioProcessBuild& b) override;
    void updateParams() override;
};

using CModGainDef = CModDefT<CModGainModule>;
