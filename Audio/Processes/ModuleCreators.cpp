#include "Audio/Processes/ModuleCreators.h"

#include "Audio/Processes/ModAbsModule.h"
#include "Audio/Processes/ModBypassModule.h"
#include "Audio/Processes/ModClipModule.h"
#include "Audio/Processes/ModDenormNoiseModule.h"
#include "Audio/Processes/ModDitherModule.h"
#include "Audio/Processes/ModFixedLatencyModule.h"
#include "Audio/Processes/ModGainModule.h"
#include "Audio/Processes/ModLatencyUniformerModule.h"
#include "Audio/Processes/ModLevelerModule.h"
#include "Audio/Processes/ModLimAIGCModule.h"
#include "Audio/Processes/ModLimClipModule.h"
#include "Audio/Processes/ModLimEvaluatorModule.h"
#include "Audio/Processes/ModLimTBCModule.h"
#include "Audio/Processes/ModLimTBIModule.h"
#include "Audio/Processes/ModLimTBModule.h"
#include "Audio/Processes/ModMultModule.h"

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
