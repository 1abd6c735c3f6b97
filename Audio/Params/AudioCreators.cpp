#include "Audio/Params/AudioCreators.h"

#include "Audio/Params/AudioParamAlloc.h"
#include "Audio/Params/AudioParamCollector.h"
#include "Audio/Params/AudioParamDef.h"
#include "Audio/Params/AudioParamFilter.h"
#include "Audio/Params/AudioParamRemap.h"
#include "Audio/Converters/AudioParamConverterEnum.h"
#include "Audio/Converters/AudioParamConverterLinear.h"
#include "Audio/Converters/AudioParamConverterLog.h"
#include "Audio/Converters/AudioParamConverterRatio.h"
#include "Audio/Converters/AudioParamConverterTime.h"

namespace {
template <class T>
CObject* make() {
    return new T();
}

const CreatorRow kParamRows[] = {
    {"audio:param", &make<CAudioParamDef>, &CAudioParamDef::registerEvents},
    {"audio:param-alloc", &make<CAudioParamAllocDef>, &CAudioParamAllocDef::registerEvents},
    {"audio:param-collector", &make<CAudioParamCollector>, &CAudioParamCollector::registerEvents},
    {"audio:param-filter-bypass-group-solo", &make<CAudioParamFilterBypassGroupSolo>,
     &CAudioParamFilter::registerEvents},
    {"audio:param-filter-bypass-os", &make<CAudioParamFilterBypassOS>, &CAudioParamFilter::registerEvents},
    {"audio:param-remap", &make<CAudioParamRemapDef>, &CAudioParamRemapDef::registerEvents},
    {"audio:cvt-bw", &make<CAudioParamConverterBW>, &CAudioParamConverter::registerEvents},
    {"audio:cvt-enum", &make<CAudioParamConverterEnum>, &CAudioParamConverter::registerEvents},
    {"audio:cvt-freq", &make<CAudioParamConverterFreq>, &CAudioParamConverter::registerEvents},
    {"audio:cvt-gain", &make<CAudioParamConverterGain>, &CAudioParamConverter::registerEvents},
    {"audio:cvt-percent", &make<CAudioParamConverterPercent>, &CAudioParamConverter::registerEvents},
    {"audio:cvt-ratio", &make<CAudioParamConverterRatio>, &CAudioParamConverter::registerEvents},
    {"audio:cvt-real", &make<CAudioParamConverterReal>, &CAudioParamConverter::registerEvents},
    {"audio:cvt-text", &make<CAudioParamConverterText>, &CAudioParamConverter::registerEvents},
    {"audio:cvt-time", &make<CAudioParamConverterTime>, &CAudioParamConverter::registerEvents},
};
}  // namespace

std::span<const CreatorRow> audioParamCreatorRows() { return kParamRows; }
