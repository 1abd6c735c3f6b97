#include "Audio/Viz/VizCreators.h"

#include "Audio/Processes/Metering/ModELoud.h"
#include "Audio/Processes/Metering/ModMeter.h"
#include "Audio/Processes/Metering/ModStatsMaxGR.h"
#include "Audio/Processes/Metering/ModStatsPeak.h"
#include "Audio/Processes/Metering/ModStatsRMS.h"
#include "Audio/Processes/Metering/ModStatsWave.h"
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
