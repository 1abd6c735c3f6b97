// Creator rows of the pop-up lists.
#include "UI/Lists/ListCreators.h"

#include "UI/Lists/PopupList.h"

namespace {
template <class T>
CObject* make() {
    return new T();
}
}  // namespace

std::span<const CreatorRow> uiListCreatorRows() {
    static const CreatorRow rows[] = {
        {"ui:popup-list", &make<CPopupList>, &CPopupList::registerEvents},
    };
    return rows;
}
