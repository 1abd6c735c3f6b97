// Lists of selectable rows.
#include "UI/Presets/ItemList.h"

#include <algorithm>

#include "Core/Log.h"
#include "Core/Application.h"
#include "Other/Color.h"
#include "UI/Render/WindowRenderer.h"

void CItemList::registerEvents(CClassRecord& record) {
    CTextView::registerEvents(record);
    record.addEvent("select-row", [](CObject* self, CEventParams& p) -> CError {
        int64_t i = -1;
        p.get("index").toInt(&i);
        return static_cast<CItemList*>(self)->select(int(i));
    });
    record.addEvent("rename-row", [](CObject* self, CEventParams&) -> CError {
        return static_cast<CItemList*>(self)->renameSelected();
    });
    record.addEvent("rename-tick", [](CObject* self, CEventParams&) -> CError {
        return static_cast<CItemList*>(self)->renameTick(kelSecondsSinceStart());
    });
}

CError CItemList::init() {
    // Rows sit close together unless the definitions say otherwise.
    if (!hasAttr("paragraph-spacing")) KEL_TRY(setAttr("paragraph-spacing", "2", false));
    return CTextView::init();
}

CError CItemList::initLinks() {
    // The text view reads the rows' text while it links.
    KEL_TRY(showRows());
    return CTextView::initLinks();
}

CString CItemList::selectedText() const {
    return m_selected >= 0 && size_t(m_selected) < m_rows.size() ? m_rows[size_t(m_selected)] : CString();
}

CError CItemList::showRows() {
    CString text;
    for (size_t i = size_t(std::max(m_first, 0)); i < m_rows.size(); ++i) {
        if (i > size_t(m_first)) text += CString("\n");
        text += rowDisplay(m_rows[i]);
    }
    if (!(text == attr("text"))) KEL_TRY(setAttr("text", text, false));
    if (initState() >= 3) {
        requestLayout();
        requestRepaint();
    }
    return {};
}

CError CItemList::setRows(std::vector<CString> rows) {
    const CString was = selectedText();
    int sel = -1;
    for (size_t i = 0; i < rows.size() && m_selected >= 0; ++i)
        if (rows[i] == was) {
            sel = int(i);
            break;
        }
    if (sel < 0 && m_selected >= 0 && !rows.empty()) sel = std::min(m_selected, int(rows.size()) - 1);
    const bool same = rows == m_rows;
    m_rows = std::move(rows);
    if (!same) {
        m_first = std::clamp(m_first, 0, std::max(int(m_rows.size()) - visibleRows(), 0));
        KEL_TRY(showRows());
    }
    if (sel != m_selected || !same) {
        m_selected = sel;
        KEL_TRY(ensureVisible(sel));
        if (initState() >= 3) requestRepaint();
        return announce("selected-paragraph-changed", m_selected);
    }
    return {};
}

CError CItemList::select(int index) {
    if (index < -1 || index >= int(m_rows.size())) index = -1;
    if (index == m_selected) return {};
    m_selected = index;
    KEL_TRY(ensureVisible(index));
    if (initState() >= 3) requestRepaint();
    return announce("selected-paragraph-changed", index);
}

CError CItemList::setRowText(int index, const CString& text) {
    if (index < 0 || index >= int(m_rows.size())) return {};
    m_rows[size_t(index)] = text;
    KEL_TRY(showRows());
    return announce("paragraph-text-changed", index);
}

int CItemList::rowAt(double y) const {
    const std::vector<double>& tops = lineTops();
    const double rel = y - (area().inner.y - area().total.y);
    for (size_t i = 0; i < lines().size() && m_first + i < m_rows.size(); ++i)
        if (rel >= tops[i] && rel < tops[i] + lines()[i].height) return m_first + int(i);
    return -1;
}

int CItemList::visibleRows() const {
    const std::vector<double>& tops = lineTops();
    if (tops.empty() || area().inner.h <= 0) return int(m_rows.size());
    int n = 0;
    for (size_t i = 0; i < tops.size(); ++i)
        if (tops[i] + lines()[i].height <= area().inner.h + 0.5) ++n;
    // Rows below the last one shown are as tall as the shown ones.
    if (n == int(tops.size()) && !tops.empty()) {
        const double step = tops.size() > 1 ? tops[1] - tops[0] : lines()[0].height;
        if (step > 0) n = std::max(n, int((area().inner.h - tops[0] + (step - lines()[0].height)) / step));
    }
    return std::max(n, 1);
}

CError CItemList::scrollTo(int first) {
    const int last = std::max(int(m_rows.size()) - visibleRows(), 0);
    first = std::clamp(first, 0, last);
    if (first == m_first) return {};
    m_first = first;
    return showRows();
}

CError CItemList::ensureVisible(int index) {
    if (index < 0) return {};
    if (index < m_first) return scrollTo(index);
    const int visible = visibleRows();
    if (index >= m_first + visible) return scrollTo(index - visible + 1);
    return {};
}

CError CItemList::announce(const char* event, int index) {
    CEventParams p{{"index", CString::number(int64_t(index))},
                   {"text", index >= 0 && size_t(index) < m_rows.size() ? m_rows[size_t(index)] : CString()}};
    KEL_TRY(runCommands(event, p));
    return notify(event, p);
}

CError CItemList::onViewEvent(const CString& name, CEventParams& p) {
    // While a row is renamed its box takes the keys and the pointer.
    if (isEditing()) return CTextView::onViewEvent(name, p);
    if (name == "mouse-press") {
        double y = 0;
        if (!p.get("y").toDouble(&y)) return {};
        const int row = rowAt(y);
        if (row < 0) return {};
        const bool again = row == m_selected;
        KEL_TRY(select(row));
        if (p.get("is-double-click") == "true") {
            stopRenameTimer();
            return announce("paragraph-dbl-clicked", row);
        }
        // A second click on the selected row renames it, unless a double click follows.
        if (again && !isEditing() && canRenameSelected()) {
            stopRenameTimer();
            m_renameAt = kelSecondsSinceStart() + std::max(attrReal("paragraph-click-edit-delay", 0.5), 0.0);
            CWindowRenderer* r = renderer();
            if (CObject* timer = r ? r->findChild("cursor-timer") : nullptr) {
                listenObject(timer, "tick", this, "rename-tick");
                m_renameTimer = timer;
            }
        }
        return {};
    }
    if (name == "mouse-wheel") {
        double d = 0;
        if (!p.get("delta").toDouble(&d) || d == 0) return {};
        return scrollTo(m_first + (d > 0 ? -3 : 3));
    }
    if (name == "key-press") {
        const CString key = p.get("key");
        if (key == "Up" && m_selected > 0) return select(m_selected - 1);
        if (key == "Down" && m_selected + 1 < int(m_rows.size())) return select(m_selected + 1);
        if ((key == "Return" || key == "KP_Enter") && m_selected >= 0)
            return announce("paragraph-dbl-clicked", m_selected);
    }
    return {};
}

void CItemList::paint(const CPainter& p) const {
    CView::paint(p);
    const int line = m_selected - m_first;
    if (m_selected >= 0 && line >= 0 && size_t(line) < lines().size()) {
        const CString name = attr("selection-color").trimmed().empty() ? CString("Selection")
                                                                       : attr("selection-color").trimmed();
        if (const CDynamicColorData* c = paletteColor(name)) {
            const CTextLine& l = lines()[size_t(line)];
            const CRectD& in = area().inner;
            const CRectD r{in.x, in.y + lineTops()[size_t(line)], in.w, l.height};
            p.fillRect(r, c->tables.front()[128], effectiveOpacity() * c->tables.front().value);
        }
    }
    // The text over the selection (CTextView::paint would fill the
    // background once more).
    CTextView::paintText(p);
}

// --- Renaming in place ---------------------------------------------------------------------------

bool CItemList::canRenameSelected() {
    if (m_selected < 0 || isBlocked()) return false;
    const CString event = attr("editbox-can-rename-event").trimmed();
    if (event.empty()) return false;
    const CString path = attr("editbox-can-rename-target").trimmed();
    CObject* target = path.empty() || path == "." ? this : findObject(path);
    if (!target || !target->hasEvent(event)) return false;
    CEventParams p{{"index", CString::number(int64_t(m_selected))}};
    if (CError e = target->runEvent(event, p)) {
        kelLogError(e);
        return false;
    }
    return p.get("result") == "true";
}

CError CItemList::renameSelected() {
    stopRenameTimer();
    if (isEditing() || !canRenameSelected()) return {};
    KEL_TRY(ensureVisible(m_selected));
    KEL_TRY(setAttr("selected-paragraph", CString::number(int64_t(m_selected)), false));
    return openEditBox();
}

CError CItemList::renameTick(double now) {
    if (m_renameAt < 0 || now < m_renameAt) return {};
    return renameSelected();
}

void CItemList::stopRenameTimer() {
    m_renameAt = -1;
    if (m_renameTimer) unlistenObject(m_renameTimer, "tick", this);
    m_renameTimer = nullptr;
}

CString CItemList::editStartText() const { return selectedText(); }

CError CItemList::applyEdit(const CString&, bool* accepted) {
    // The owner renames the entry and gives the rows again.
    *accepted = true;
    return {};
}

CError CItemList::editBoxChanged(bool open) {
    CTextView* box = editBox();
    const int line = m_selected - m_first;
    if (!open || !box || line < 0 || size_t(line) >= lines().size()) return CTextView::editBoxChanged(open);
    // Over the selected row, across the list.
    const double scale = renderer() && renderer()->totalScale() > 0 ? renderer()->totalScale() : 1.0;
    const double top = lineTops()[size_t(line)] / scale, height = lines()[size_t(line)].height / scale;
    KEL_TRY(box->setAttr("placement", "overlay", false));
    KEL_TRY(box->setAttr("width", "full", false));
    KEL_TRY(box->setAttr("height", CString::number(height + 2), false));
    KEL_TRY(box->setAttr("alignment-v", "top", false));
    KEL_TRY(box->setAttr("outer-border", CString("T") + CString::number(std::max(top - 1, 0.0)), false));
    KEL_TRY(box->setAttr("text-alignment-v", "center", false));
    requestLayout();
    return CTextView::editBoxChanged(open);
}
