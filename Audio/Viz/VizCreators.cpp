#include "Audio/Viz/VizCreators.h"

#include "Audio/Processes/ModELoud.h"
#include "Audio/Processes/ModMeter.h"
#include "Audio/Processes/ModStatsMaxGR.h"
#include "Audio/Processes/ModStatsPeak.h"
#include "Audio/Processes/ModStatsRMS.h"
#include "Audio/Processes/ModStatsWave.h"
#include "Audio/Viz/AudioVizCollector.h"

namespace {
template <class T>
CObject* make() {
    return new T();
}

const CreatorRow kRows[] = {
    {"audio:viz-collector", &make<CAudioVizCollector>, &CAudioVizCollector::registerEvents},
    {"audio:modMeter", &make<CModMeterDef>, nullptr},
    {"audio:modStatsPeak", &make<CModStatsPeakDef>, nullptr},
    {"audio:modStatsRMS", &make<CModStatsRMSDef>, nullptr},
    {"audio:modStatsMaxGR", &make<CModStatsMaxGRDef>, nullptr},
    {"audio:modStatsWave", &make<CModStatsWaveDef>, nullptr},
    {"audio:modELoud", &make<CModELoudDef>, nullptr},
};
}  // namespace

std::span<const CreatorRow> audioVizCreatorRows() { return kRows; }
