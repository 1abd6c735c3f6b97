// Creator rows of the view classes.
#include "UI/View/ViewCreators.h"

#include "UI/Render/WindowRenderer.h"
#include "UI/Text/TextView.h"
#include "UI/Text/VirtualKey.h"
#include "UI/View/StateSwitch.h"
#include "UI/View/View.h"
#include "UI/View/ViewState.h"

namespace {
template <class T>
CObject* make() {
    return new T();
}
}  // namespace

std::span<const CreatorRow> uiViewCreatorRows() {
    static const CreatorRow rows[] = {
        {"ui:view", &make<CView>, &CView::registerEvents},
        {"ui:view-state", &make<CViewState>, &CObject::registerEvents},
        {"ui:view-command", &make<CViewCommand>, &CViewCommand::registerEvents},
        {"ui:state-switch", &make<CStateSwitch>, &CStateSwitch::registerEvents},
        {"ui:textview", &make<CTextView>, &CTextView::registerEvents},
        {"ui:caption", &make<CTextView>, &CTextView::registerEvents},
        {"ui:virtual-key", &make<CVirtualKey>, &CVirtualKey::registerEvents},
        {"ui:window-renderer", &make<CWindowRenderer>, &CWindowRenderer::registerEvents},
    };
    return rows;
}
