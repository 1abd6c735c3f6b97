#pragma once
// The gain computer of the limiter modes "TB-1", "TB UNI" and "TB-4" (type 0, 1, 2) in the graph
// (audio:modLimTB); its slots are listed in the .cpp in index order.

#include "Audio/Processes/Limiters/ModGainComputerModule.h"
#include "Audio/Processes/Limiters/ModLimTB.h"

class CModLimTBModule : public CModGainComputerModule<CModLimTB> {
protected:
    CError moduleSetup(CAudioProcessBuild& b) override;
};

using CModLimTBDef = CModDefT<CModLimTBModule>;
