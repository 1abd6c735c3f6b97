#include "Audio/Filters/FilterCreators.h"

#include "Audio/Filters/AudioFilterGen.h"
#include "Audio/Filters/AudioFilterGenFIR.h"
#include "Audio/Processes/Filters/ModFilterFIR.h"
#include "Audio/Processes/Filters/ModFilterIIR.h"
#include "Audio/Processes/Resampling/ModInterpolator.h"
#include "Audio/Processes/Resampling/ModResampler.h"

namespace {
template <class T>
CObject* make() {
    return new T();
}

const CreatorRow kRows[] = {
    {"audio:fltgen-rbj", &make<CAudioFilterRBJGen>, &CObject::registerEvents},
    {"audio:fltgen-lphp1", &make<CAudioFilterLPHP1Gen>, &CObject::registerEvents},
    {"audio:fltgen-serial", &make<CAudioFilterSerialGen>, &CObject::registerEvents},
    {"audio:fltgen-serial-item", &make<CAudioFilterSerialGenItem>, &CObject::registerEvents},
    {"audio:fltgen-array", &make<CAudioFilterGenArray>, &CObject::registerEvents},
    {"audio:fltgen-array-item", &make<CAudioFilterGenArrayItem>, &CObject::registerEvents},
    {"audio:fltgen-firlp", &make<CAudioFilterFIRLPGen>, &CObject::registerEvents},
    {"audio:fltgen-firlim", &make<CAudioFilterFIRLimGen>, &CObject::registerEvents},
    {"audio:modFilterIIR", &make<CModFilterIIRDef>, nullptr},
    {"audio:modFilterFIR", &make<CModFilterFIRDef>, nullptr},
    {"audio:modInterpolator", &make<CModInterpolatorDef>, nullptr},
    {"audio:modDecimator", &make<CModDecimatorDef>, nullptr},
    {"audio:modResampler", &make<CModResamplerDef>, nullptr},
};
}  // namespace

std::span<const CreatorRow> audioFilterCreatorRows() { return kRows; }
