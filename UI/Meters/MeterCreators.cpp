// Creator rows of the meters.
#include "UI/Meters/MeterCreators.h"

#include "UI/Meters/LevelMeter.h"
#include "UI/Meters/LevelMeterGraph.h"
#include "UI/Meters/VizExchange.h"

namespace {
template <class T>
CObject* make() {
    return new T();
}
}  // namespace

std::span<const CreatorRow> uiMeterCreatorRows() {
    static const CreatorRow rows[] = {
        {"ui:viz-exchange", &make<CVizExchange>, &CVizExchange::registerEvents},
        {"ui:level-meter-listener", &make<CLevelMeterListener>, &CLevelMeterListener::registerEvents},
        {"ui:level-meter-base", &make<CLevelMeterBase>, &CLevelMeterBase::registerEvents},
        {"ui:level-meter", &make<CLevelMeter>, &CLevelMeter::registerEvents},
        {"ui:level-meter-graph", &make<CLevelMeterGraph>, &CLevelMeterGraph::registerEvents},
        {"ui:graph-log-lines", &make<CGraphLogLines>, &CGraphLogLines::registerEvents},
    };
    return rows;
}
