#include "Audio/Graph/GraphCreators.h"

#include "Audio/Plugin/AudioEnv.h"
#include "Audio/Graph/ProcessDef.h"
#include "Audio/Processes/Flow/ModNode.h"
#include "Audio/Processes/Flow/ModProcessSwitch.h"
#include "Audio/Processes/Flow/ModRouter.h"

namespace {
template <class T>
CObject* make() {
    return new T();
}

const CreatorRow kRows[] = {
    {"audio:audio-env", &make<CAudioEnv>, &CAudioEnv::registerEvents},
    {"audio:process-def", &make<CAudioProcessDef>, nullptr},
    {"audio:process-link", &make<CAudioProcessLinkDef>, nullptr},
    {"audio:process-bypass-state", &make<CAudioProcessBypassStateDef>, nullptr},
    {"audio:modNode", &make<CModNodeDef>, nullptr},
    {"audio:modOutput", &make<CModOutputDef>, nullptr},
    {"audio:modRouter", &make<CModRouterDef>, nullptr},
    {"audio:modProcessSwitch", &make<CModProcessSwitchDef>, nullptr},
};
}  // namespace

std::span<const CreatorRow> audioGraphCreatorRows() { return kRows; }
