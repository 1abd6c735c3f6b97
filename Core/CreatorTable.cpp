#include "Core/CreatorTable.h"

#include <vector>

#include "Audio/AudioCreators.h"
#include "Audio/Filters/FilterCreators.h"
#include "Audio/GraphCreators.h"
#include "Audio/Interface/InterfaceCreators.h"
#include "Audio/Processes/ModuleCreators.h"
#include "Audio/RegistryCreators.h"
#include "Audio/Viz/VizCreators.h"
#include "Core/CoreObjects.h"

namespace {
template <class T>
CObject* make() {
    return new T();
}

const CreatorRow kCoreRows[] = {
    {"core:object", &make<CObject>, &CObject::registerEvents},
    {"core:attr-doubler", &make<CAttrDoubler>, &CAttrDoubler::registerEvents},
    {"core:shared-attribute", &make<CSharedAttribute>, &CSharedAttribute::registerEvents},
    {"core:timer", &make<CTimerQueued>, &CTimerQueued::registerEvents},
};
}  // namespace

// Each area of the system contributes its rows; the table is their
// concatenation in this order.
std::span<const CreatorRow> kelCreatorTable() {
    static const std::vector<CreatorRow> table = [] {
        std::vector<CreatorRow> t;
        for (std::span<const CreatorRow> part :
             {std::span<const CreatorRow>(kCoreRows), audioParamCreatorRows(), audioGraphCreatorRows(),
              audioFilterCreatorRows(), audioModuleCreatorRows(), audioVizCreatorRows(),
              audioRegistryCreatorRows(), audioInterfaceCreatorRows()})
            t.insert(t.end(), part.begin(), part.end());
        return t;
    }();
    return table;
}
