// Creator rows of the channel routing views.
#include "UI/Routing/RoutingCreators.h"

#include "UI/Routing/GroupSelector.h"
#include "UI/Routing/RoutingSelector.h"

namespace {
template <class T>
CObject* make() {
    return new T();
}
}  // namespace

std::span<const CreatorRow> uiRoutingCreatorRows() {
    static const CreatorRow rows[] = {
        {"ui:routing-selector", &make<CRoutingSelector>, &CRoutingSelector::registerEvents},
        {"ui:selector-group-minimal2", &make<CGroupSelectorMinimal>, &CGroupSelectorMinimal::registerEvents},
    };
    return rows;
}
