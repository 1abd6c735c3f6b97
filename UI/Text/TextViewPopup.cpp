// Text views: the pop-up lists they open.
#include "UI/Text/TextView.h"

#include "UI/Render/WindowRenderer.h"
#include "UI/Window/WindowOpener.h"

namespace {
constexpr const char* kDefaultPopupTag = "ui:window-app-popup-list";

CWindowOpener* windowOpener(const CObject& from) {
    return dynamic_cast<CWindowOpener*>(from.root()->findObject("ui.window-shared-data.window-opener"));
}
}  // namespace

std::vector<CString> CTextView::popupItems(int* current) const {
    std::vector<CString> items;
    const CString list = attr("popup-items");
    if (current) *current = -1;
    if (list.empty()) return items;
    size_t start = 0;
    while (start <= list.length()) {
        size_t bar = list.find(u'|', start);
        if (bar == CString::npos) bar = list.length();
        items.push_back(list.substr(start, bar - start));
        if (current && items.back() == attr("text")) *current = int(items.size()) - 1;
        start = bar + 1;
    }
    return items;
}

CObject* CTextView::openPopup() const {
    CWindowOpener* opener = windowOpener(*this);
    const CString tag = attr("popup-tag").trimmed().empty() ? CString(kDefaultPopupTag) : attr("popup-tag").trimmed();
    CObject* open = opener ? opener->findPopup(tag) : nullptr;
    if (!open) return nullptr;
    const CObject* r = kelFindRenderer(open);
    return r && r->attr("opener") == fullName() ? open : nullptr;
}

CError CTextView::togglePopup(const CString& templateName) {
    if (isBlocked()) return {};
    CWindowOpener* opener = windowOpener(*this);
    if (!opener) return {};
    const CString tag = !templateName.empty()                 ? templateName
                        : !attr("popup-tag").trimmed().empty() ? attr("popup-tag").trimmed()
                                                               : CString(kDefaultPopupTag);
    if (CObject* open = opener->findPopup(tag)) {
        const CObject* r = kelFindRenderer(open);
        const bool mine = r && r->attr("opener") == fullName();
        CWindowCloser::destroyPopup(open);
        if (mine) return notify("popup-closed");
    }
    return opener->openWindow(tag, fullName(), true);
}

CError CTextView::popupChosen(int index, const CString& title) {
    CEventParams p{{"title", title}, {"index", CString::number(int64_t(index))}};
    if (hasEvent("popup-result")) KEL_TRY(runEvent("popup-result", p));
    return notify("popup-result", p);
}
