#pragma once
// The gain computer of the limiter modes "AIGC-1" ... "AIGC-4" (type 0 ... 3) in the graph
// (audio:modLimAIGC); its slots are listed in the .cpp in index order.

#include "Audio/Processes/Limiters/ModGainComputerModule.h"
#include "Audio/Processes/Limiters/ModLimAIGC.h"

class CModLimAIGCModule : public CModGainComputerModule<CModLimAIGC> {
protected:
    CError moduleSetup(CAudioProcessBuild& b) override;
};

using CModLimAIGCDef = CModDefT<CModLimAIGCModule>;
