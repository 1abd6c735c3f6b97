#include "Audio/RegistryCreators.h"

#include "Audio/AudioCCTable.h"
#include "Audio/AudioExtParam.h"
#include "Audio/AudioParamRegistry.h"
#include "Audio/AudioParamSharedStorage.h"

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
