// Creator rows of the panel classes.
#include "UI/Panels/PanelCreators.h"

#include "UI/Panels/ControlArray.h"
#include "UI/Panels/Frame.h"
#include "UI/Panels/StatusLineController.h"
#include "UI/Panels/UIEventBridge.h"
#include "UI/View/View.h"

namespace {
template <class T>
CObject* make() {
    return new T();
}
}  // namespace

std::span<const CreatorRow> uiPanelCreatorRows() {
    static const CreatorRow rows[] = {
        {"ui:frame", &make<CFrame>, &CFrame::registerEvents},
        {"ui:control-array", &make<CControlArray>, &CControlArray::registerEvents},
        // A picture is a view that shows one image of its image set at the
        // image's size.
        {"ui:picture", &make<CView>, &CView::registerEvents},
        {"ui:status-line-controller", &make<CStatusLineController>, &CStatusLineController::registerEvents},
        {"ui:ui-event-bridge", &make<CUIEventBridge>, &CUIEventBridge::registerEvents},
    };
    return rows;
}
