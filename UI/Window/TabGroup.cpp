// Tab groups: walking them, and the keys of their members.
#include "UI/Window/TabGroup.h"

#include <cstdint>
#include <memory>
#include <vector>

#include "Core/Log.h"
#include "Platform/Window/Window.h"
#include "UI/Render/WindowRenderer.h"
#include "UI/Text/TextView.h"  // the helper list's failure message
#include "UI/View/View.h"
#include "UI/Window/WindowSharedData.h"

namespace {
// The group's helper list under the window renderer, filled with the paths
// of the group's views in the order of the view tree.
CError tabGroupList(CView& from, CObject** out) {
    *out = nullptr;
    const CString group = from.attr("tab-group").trimmed();
    CView* top = from.rootView();
    if (group.empty() || !top) return {};
    CObject* holder = from.renderer() ? static_cast<CObject*>(from.renderer()) : static_cast<CObject*>(top);
    const CString listName = CString("tab-group-value-list-") + group;
    CObject* list = holder->findChild(listName);
    if (!list) {
        const CString tag = from.hasAttr("value-list-manual-tag") ? from.attr("value-list-manual-tag").trimmed()
                                                             : CString("ui:value-list-manual");
        std::unique_ptr<CObject> made = createObject(tag);
        if (!made) return KEL_ERROR(kelstr_CTextView_init_FailTabGroupValueList);
        made->setName(listName);
        list = made.get();
        if (CError e = holder->addChild(std::move(made))) {
            kelLogError(e);
            return KEL_ERROR(kelstr_CTextView_init_FailTabGroupValueList);
        }
    }
    while (!list->children().empty()) list->releaseChild(list->children().back().get()).reset();
    std::vector<CView*> stack{top};
    while (!stack.empty()) {
        CView* v = stack.back();
        stack.pop_back();
        if (v->hasAttr("tab-group") && v->attr("tab-group").trimmed() == group) {
            std::unique_ptr<CObject> entry = createObject("core:object");
            KEL_TRY(entry->setAttr("value", v->fullName(), false));
            KEL_TRY(list->addChild(std::move(entry)));
        }
        const auto kids = v->childViews();
        for (size_t i = kids.size(); i-- > 0;) stack.push_back(kids[i]);
    }
    *out = list;
    return {};
}
}  // namespace

CView* kelTabNeighbour(CView& from, bool forward) {
    CObject* list = nullptr;
    if (CError e = tabGroupList(from, &list)) kelLogError(e);
    if (!list) return nullptr;
    std::vector<CView*> members;
    size_t self = SIZE_MAX;
    CObject* top = from.root();
    for (const std::unique_ptr<CObject>& entry : list->children()) {
        auto* v = dynamic_cast<CView*>(top->findObject(entry->attr("value")));
        if (!v) continue;
        if (v == &from) self = members.size();
        members.push_back(v);
    }
    if (self == SIZE_MAX || members.size() < 2) return nullptr;
    const size_t n = members.size();
    for (size_t step = 1; step < n; ++step) {
        CView* v = members[(self + (forward ? step : n - step)) % n];
        if (v->isShown() && !v->isBlocked()) return v;
    }
    return nullptr;
}

CError kelTabGroupKey(CView& view, CEventParams& p) {
    CObject* top = view.root();
    auto* shared = top ? dynamic_cast<CWindowSharedData*>(top->findObject("ui.window-shared-data")) : nullptr;
    int64_t code = 0;
    if (!shared || shared->keyFocus() != &view || p.has("is-handled") || !p.get("keycode").toInt(&code)) return {};
    switch (uint32_t(code)) {
        case plat::kKeyTab: {
            CView* next = kelTabNeighbour(view, p.get("is-shift") != "true");
            if (!next) return {};
            p.set("is-handled", "true");
            return shared->changeKeyFocus(next, true);
        }
        case plat::kKeyEnter:
        case ' ': {
            if (view.isBlocked()) return {};
            p.set("is-handled", "true");
            const CRectD& r = view.area().total;
            CEventParams m{{"x", CString::number(r.w / 2)}, {"y", CString::number(r.h / 2)},
                           {"button", CString::number(int64_t('L'))}, {"is-button-l", "true"}};
            KEL_TRY(view.runEvent("mouse-press", m));
            m.set("is-button-l", "false");
            KEL_TRY(view.runEvent("mouse-release", m));
            return view.renderer() ? view.renderer()->runPostedEvents() : CError();
        }
        case plat::kKeyEscape:
            p.set("is-handled", "true");
            return shared->changeKeyFocus(nullptr, false);
        default:
            return {};
    }
}
