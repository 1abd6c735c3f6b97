#pragma once
// The limiter's gain computers in the graph, one module class per algorithm:
//   audio:modLimTB    "TB-1", "TB UNI", "TB-4" (type 0, 1, 2)
//   audio:modLimAIGC  "AIGC-1" ... "AIGC-4" (type 0 ... 3)
//   audio:modLimTBC   "TB-C"
//   audio:modLimTBI   "TB INS"
//   audio:modLimClip  "Clip": attribute "clip-level" (the threshold, raised
//                     to at least 0.01); its input-scaling output is 1.
// Their slots are the rows of each algorithm's Params::kTable.

#include "Audio/Processes/Limiters/ModGainComputerModule.h"
#include "Audio/Processes/Limiters/ModLimAIGC.h"
#include "Audio/Processes/Limiters/ModLimClip.h"
#include "Audio/Processes/Limiters/ModLimTB.h"
#include "Audio/Processes/Limiters/ModLimTBC.h"
#include "Audio/Processes/Limiters/ModLimTBI.h"

class CModLimTBModule final : public CModGainComputerModule<CModLimTB> {};
class CModLimAIGCModule final : public CModGainComputerModule<CModLimAIGC> {};
class CModLimTBCModule final : public CModGainComputerModule<CModLimTBC> {};
class CModLimTBIModule final : public CModGainComputerModule<CModLimTBI> {};

class CModLimClipModule final : public CModGainComputerModule<CModLimClip> {
protected:
    CError moduleSetup(CAudioProcessBuild& b) override {
        m_clipLevel = m_def->attrReal("clip-level", 0.0);
        return CModGainComputerModule::moduleSetup(b);
    }
    void configureProcessor(CModLimClip& p) override { p.setClipLevel(m_clipLevel); }

private:
    double m_clipLevel = 0.0;
};

using CModLimTBDef = CModDefT<CModLimTBModule>;
using CModLimAIGCDef = CModDefT<CModLimAIGCModule>;
using CModLimTBCDef = CModDefT<CModLimTBCModule>;
using CModLimTBIDef = CModDefT<CModLimTBIModule>;
using CModLimClipDef = CModDefT<CModLimClipModule>;
