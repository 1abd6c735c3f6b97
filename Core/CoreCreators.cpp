#include "Core/CoreCreators.h"

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

std::span<const CreatorRow> kelCoreCreatorRows() { return kCoreRows; }
