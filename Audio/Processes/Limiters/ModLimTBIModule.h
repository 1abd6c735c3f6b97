#pragma once
// The gain computer of the limiter modes "TB INS" in the graph
// (audio:modLimTBI); its slots are listed in the .cpp in index order.

#include "Audio/Processes/Limiters/ModGainComputerModule.h"
#include "Audio/Processes/Limiters/ModLimTBI.h"

class CModLimTBIModule : public CModGainComputerModule<CModLimTBI> {
protected:
    CError moduleSetup(CAudioProcessBuild& b) override;
};

using CModLimTBIDef = CModDefT<CModLimTBIModule>;
