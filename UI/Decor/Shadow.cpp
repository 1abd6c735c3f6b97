// Shadows of panels and pop-ups.
#include "UI/Decor/Shadow.h"

CError CShadow::init() {
    // The look of a shadow unless the definition gives its own.
    static const std::pair<const char*, const char*> kDefaults[] = {
        {"placement", "overlay"}, {"width", "100%"},     {"height", "100%"},        {"image-set", "is.shadow"},
        {"color", "Shadow"},      {"spread", "8"},       {"unclip-level", "-1"},    {"is-click-through", "true"},
        {"z-index", "-1"},
    };
    for (const auto& [name, value] : kDefaults)
        if (!hasAttr(name)) KEL_TRY(setAttr(name, value, false));
    return CView::init();
}

bool CShadow::isStyleHidden() const {
    for (const CObject* o = parent(); o; o = o->parent())
        if (o->hasAttr("is-shadow-hidden")) return o->attrBool("is-shadow-hidden");
    return false;
}

void CShadow::paint(const CPainter& p) const {
    if (!isStyleHidden()) CView::paint(p);
}
