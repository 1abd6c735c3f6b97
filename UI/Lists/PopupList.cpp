// The list of a pop-up list window.
#include "UI/Lists/PopupList.h"

#include <algorithm>

#include "UI/Render/Painter.h"
#include "UI/Render/WindowRenderer.h"
#include "UI/Resources/DynamicColor.h"
#include "UI/Resources/ResourceObjects.h"
#include "UI/View/BorderList.h"
#include "UI/Window/WindowOpener.h"
#include "UI/Window/WindowSharedData.h"

void CPopupList::registerEvents(CClassRecord& record) {
    CItemList::registerEvents(record);
    record.addEvent("choose", [](CObject* self, CEventParams& p) -> CError {
        auto* l = static_cast<CPopupList*>(self);
        int64_t i = l->selected();
        if (p.has("index")) p.get("index").toInt(&i);
        return l->choose(int(i));
    });
    record.addEvent("dismiss", [](CObject* self, CEventParams&) -> CError {
        return static_cast<CPopupList*>(self)->dismiss();
    });
}

CError CPopupList::init() {
    // Rows, size and the window's placement come before the view reads its attributes.
    CObject* r = nullptr;
    for (CObject* o = parent(); !r && o; o = o->parent()) r = dynamic_cast<CWindowRenderer*>(o);
    CString openerPath = r ? r->attr("opener").trimmed() : CString();
    if (openerPath.empty())
        if (const CObject* o = root()->findObject("ui.window-shared-data.window-opener")) openerPath = o->attr("opener");
    m_opener = openerPath.empty() ? nullptr : dynamic_cast<CTextView*>(root()->findObject(openerPath));
    if (!m_opener) return KEL_ERROR(kelstr_CPopupList_init_NoOpener);
    // The window names its opener (the opener's toggle looks for it).
    if (r) KEL_TRY(r->setAttr("opener", m_opener->fullName(), false));

    std::vector<CString> items = m_opener->popupItems(&m_current);
    const int count = int(items.size());
    KEL_TRY(setRows(std::move(items)));

    auto from = [&](const char* name, const char* def) {
        return m_opener->hasAttr(name) && !m_opener->attr(name).trimmed().empty() ? m_opener->attr(name).trimmed()
                                                                                    : CString(def);
    };
    if (r) {
        KEL_TRY(r->setAttr("window-alignment", from("window-alignment", "bottom"), false));
        KEL_TRY(r->setAttr("shift-x", from("shift-x", "0"), false));
        KEL_TRY(r->setAttr("shift-y", from("shift-y", "0"), false));
    }
    KEL_TRY(setAttr("inner-border", from("popup-inner-border", "LR6"), false));
    if (m_opener->attrBool("is-same-width")) {
        const double scale = m_opener->renderer() && m_opener->renderer()->totalScale() > 0
                                 ? m_opener->renderer()->totalScale()
                                 : 1.0;
        double w = m_opener->area().total.w / scale;
        if (w <= 0) w = m_opener->attrReal("width", 0.0);
        // The window's own borders around the list.
        if (const CObject* top = parent()) {
            CBorderList b;
            b.parse(top->attr("inner-border"));
            const CBorder e = b.evaluate(1.0);
            w -= e.l + e.r;
        }
        if (w > 0) KEL_TRY(setAttr("width", CString::number(w), false));
    }
    // As tall as the entries shown.
    if (!hasAttr("paragraph-spacing")) KEL_TRY(setAttr("paragraph-spacing", "2", false));
    const auto* font = dynamic_cast<const CFontObject*>(findObject(attr("font-name").trimmed()));
    if (font && font->font()) {
        const int maxShown = int(std::max<int64_t>(attrInt("max-item-count", 12), 1));
        const int shown = std::clamp(count, 1, maxShown);
        m_shown = shown;
        const double line = font->font()->lineHeight + attrReal("line-height-modifier", 0.0);
        const double spacing = attrReal("paragraph-spacing", 2.0);
        CBorderList b;
        b.parse(attr("inner-border"));
        const CBorder e = b.evaluate(1.0);
        KEL_TRY(setAttr("height", CString::number(shown * line + (shown - 1) * spacing + e.t + e.b), false));
    }
    return CItemList::init();
}

int CPopupList::visibleRows() const {
    return lines().empty() || area().inner.h <= 0 ? m_shown : CItemList::visibleRows();
}

void CPopupList::paint(const CPainter& p) const {
    CItemList::paint(p);
    const int n = int(rows().size()), shown = visibleRows();
    if (n <= shown || n == 0) return;
    const CDynamicColorData* c = paletteColor("Scroller");
    if (!c) return;
    const double scale = renderer() && renderer()->totalScale() > 0 ? renderer()->totalScale() : 1.0;
    const CRectD& in = area().inner;
    const double w = 2 * scale;
    const CRectD thumb{in.right() + 2 * scale, in.y + in.h * firstRow() / n, w, std::max(in.h * shown / n, w)};
    p.fillRect(thumb, c->tables.front()[128], effectiveOpacity() * c->tables.front().value);
}

CError CPopupList::initLinks() {
    KEL_TRY(CItemList::initLinks());
    return select(m_current);
}

CError CPopupList::initDone() {
    KEL_TRY(CItemList::initDone());
    // Keys go to the list while it is open.
    if (auto* shared = dynamic_cast<CWindowSharedData*>(root()->findObject("ui.window-shared-data")))
        KEL_TRY(shared->changeKeyFocus(this, false));
    // The current entry in view once the rows are laid out.
    if (selected() >= 0) KEL_TRY(scrollTo(selected() - visibleRows() / 2));
    return {};
}

bool CPopupList::isRule(int row) const {
    if (row < 0 || row >= int(rows().size())) return false;
    const CString& r = rows()[size_t(row)];
    return r.startsWith("[IMG=") && r.find(u'#') != CString::npos && r.substr(r.find(u'#')).startsWith("#HR");
}

CError CPopupList::step(int from, int direction) {
    const int n = int(rows().size());
    int to = std::clamp(from, 0, n - 1);
    while (isRule(to) && to + direction >= 0 && to + direction < n) to += direction;
    return isRule(to) ? CError() : select(to);
}

CError CPopupList::choose(int index) {
    if (m_closing || isRule(index)) return {};
    if (index < 0 || index >= int(rows().size())) return dismiss();
    const CString title = rows()[size_t(index)];
    CTextView* opener = m_opener;
    KEL_TRY(closeWindow());
    return opener ? opener->popupChosen(index, title) : CError();
}

CError CPopupList::dismiss() {
    if (m_closing) return {};
    return closeWindow();
}

CError CPopupList::closeWindow() {
    m_closing = true;
    auto* closer = root()->findObject("ui.window-shared-data.window-closer");
    CObject* holder = this;
    const CObject* ui = root()->findObject("ui");
    while (holder && holder->parent() != ui) holder = holder->parent();
    if (!closer || !holder) return {};
    // The window goes after the event that closes it: through the opener's
    // window, which outlives it.
    CEventParams p{{"window", holder->fullName()}};
    if (m_opener && m_opener->renderer()) {
        m_opener->renderer()->postEvent(closer, "close-window", p);
        return {};
    }
    if (renderer()) renderer()->postEvent(closer, "close-window", p);
    return {};
}

CError CPopupList::onViewEvent(const CString& name, CEventParams& p) {
    if (m_closing) return {};
    if (name == "mouse-move" || name == "mouse-press") {
        double y = 0;
        if (!p.get("y").toDouble(&y)) return {};
        const int row = rowAt(y);
        if (row >= 0 && !isRule(row)) KEL_TRY(select(row));
        if (name == "mouse-press" && row >= 0) return choose(row);
        return {};
    }
    if (name == "key-press") {
        const CString key = p.get("key");
        const int n = int(rows().size());
        if (key == "Escape") return dismiss();
        if (key == "Return" || key == "KP_Enter") return choose(selected());
        if (n == 0) return {};
        const int page = std::max(visibleRows() - 1, 1);
        const int at = selected();
        // Rules are passed over in the direction of the move.
        if (key == "Up") return step(at < 0 ? n - 1 : at - 1, -1);
        if (key == "Down") return step(at < 0 ? 0 : at + 1, 1);
        if (key == "Prior") return step(at - page, -1);
        if (key == "Next") return step(std::max(at, 0) + page, 1);
        if (key == "Home") return step(0, 1);
        if (key == "End") return step(n - 1, -1);
        return {};
    }
    return CItemList::onViewEvent(name, p);
}
