// Creator rows of scrolling.
#include "UI/Scroll/ScrollCreators.h"

#include "UI/Scroll/Scroller.h"
#include "UI/Scroll/WhatsNewList.h"

namespace {
template <class T>
CObject* make() {
    return new T();
}
}  // namespace

std::span<const CreatorRow> uiScrollCreatorRows() {
    static const CreatorRow rows[] = {
        {"ui:scroller-bar", &make<CScrollerBar>, &CScrollerBar::registerEvents},
        {"ui:scroller-pan", &make<CScrollerPan>, &CScrollerPan::registerEvents},
        {"ui:dynlist-whats-new", &make<CDynListWhatsNew>, &CDynListWhatsNew::registerEvents},
    };
    return rows;
}
