#include "Core/CreatorTable.h"

#include <vector>

#include "Audio/AudioCreators.h"
#include "Audio/GraphCreators.h"
#include "Audio/Interface/InterfaceCreators.h"
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
// concatenation in this order. Add an area's function here when it lands.
std::span<const CreatorRow> kelCreatorTable() {
    static const std::vector<CreatorRow> table = [] {
        std::vector<CreatorRow> t;
        for (std::span<const CreatorRow> part :
             {std::span<const CreatorRow>(kCoreRows), audioParamCreatorRows(), audioGraphCreatorRows(),
              audioInterfaceCreatorRows()})
            t.insert(t.end(), part.begin(), part.end());
        return t;
    }();
    return table;
}
