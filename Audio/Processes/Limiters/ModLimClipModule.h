#pragma once
// The gain computer of the limiter mode "Clip" in the graph
// (audio:modLimClip): attribute "clip-level" (the threshold, raised to at
// least 0.01), slot 0 `drc-type`. Its input-scaling output is 1.

#include "Audio/Processes/Limiters/ModGainComputerModule.h"
#include "Audio/Processes/Limiters/ModLimClip.h"

class CModLimClipModule : public CModGainComputerModule<CModLimClip> {
protected:
    CError moduleSetup(CAudioProcessBuild& b) override;
    void configureProcessor(CModLimClip& p) override { p.setClipLevel(m_clipLevel); }

private:
    double m_clipLevel = 0.0;
};

using CModLimClipDef = CModDefT<CModLimClipModule>;
