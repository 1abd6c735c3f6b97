#pragma once
// The gain computer of the limiter modes "TB-C" in the graph
// (audio:modLimTBC); its slots are listed in the .cpp in index order.

#include "Audio/Processes/Limiters/ModGainComputerModule.h"
#include "Audio/Processes/Limiters/ModLimTBC.h"

class CModLimTBCModule : public CModGainComputerModule<CModLimTBC> {
protected:
    CError moduleSetup(CAudioProcessBuild& b) override;
};

using CModLimTBCDef = CModDefT<CModLimTBCModule>;
