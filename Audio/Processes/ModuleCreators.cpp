#include "Audio/Processes/ModuleCreators.h"

#include "Audio/Processes/Gain/ModAbsModule.h"
#include "Audio/Processes/Flow/ModBypassModule.h"
#include "Audio/Processes/Gain/ModClipModule.h"
#include "Audio/Processes/Gain/ModDenormNoiseModule.h"
#include "Audio/Processes/Gain/ModDitherModule.h"
#include "Audio/Processes/Flow/ModFixedLatencyModule.h"
#include "Audio/Processes/Gain/ModGainModule.h"
#include "Audio/Processes/Flow/ModLatencyUniformerModule.h"
#include "Audio/Processes/Limiters/ModLevelerModule.h"
#include "Audio/Processes/Limiters/GainComputerModules.h"
#include "Audio/Processes/Limiters/ModLimEvaluatorModule.h"
#include "Audio/Processes/Gain/ModMultModule.h"

namespace {
template <class T>
CObject* make() {
    return new T();
}

const CreatorRow kRows[] = {
    {"audio:modGain", &make<CModGainDef>, nullptr},
    {"audio:modMult", &make<CModMultDef>, nullptr},
    {"audio:modAbs", &make<CModAbsDef>, nullptr},
    {"audio:modClip", &make<CModClipDef>, nullptr},
    {"audio:modDither", &make<CModDitherDef>, nullptr},
    {"audio:modDenormNoise", &make<CModDenormNoiseDef>, nullptr},
    {"audio:modBypass", &make<CModBypassDef>, nullptr},
    {"audio:modFixedLatency", &make<CModFixedLatencyDef>, nullptr},
    {"audio:modLatencyUniformer", &make<CModLatencyUniformerDef>, nullptr},
    {"audio:modLeveler", &make<CModLevelerDef>, nullptr},
    {"audio:modLimTB", &make<CModLimTBDef>, nullptr},
    {"audio:modLimTBC", &make<CModLimTBCDef>, nullptr},
    {"audio:modLimTBI", &make<CModLimTBIDef>, nullptr},
    {"audio:modLimAIGC", &make<CModLimAIGCDef>, nullptr},
    {"audio:modLimClip", &make<CModLimClipDef>, nullptr},
    {"audio:modLimEvaluator", &make<CModLimEvaluatorDef>, nullptr},
};
}  // namespace

std::span<const CreatorRow> audioModuleCreatorRows() { return kRows; }
