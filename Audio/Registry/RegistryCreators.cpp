#include "Audio/Registry/RegistryCreators.h"

#include "Audio/Params/AudioCCTable.h"
#include "Audio/Params/AudioExtParam.h"
#include "Audio/Registry/AudioParamRegistry.h"
#include "Audio/Params/AudioParamSharedStorage.h"

namespace {
template <class T>
CObject* make() {
    return new T();
}

const CreatorRow kRegistryRows[] = {
    {"audio:param-registry", &make<CAudioParamRegistry>, &CAudioParamRegistry::registerEvents},
    {"audio:param-shared-storage", &make<CAudioParamSharedStorage>, &CAudioParamSharedStorage::registerEvents},
    {"audio:ext-param-list", &make<CAudioExtParamList>, &CAudioExtParamList::registerEvents},
    {"audio:ext-param", &make<CAudioExtParam>, &CAudioExtParam::registerEvents},
    {"audio:cctable", &make<CAudioCCTable>, &CAudioCCTable::registerEvents},
};
}  // namespace

std::span<const CreatorRow> audioRegistryCreatorRows() { return kRegistryRows; }
