#pragma once
// CPopupList (tag "ui:popup-list"): the list of a pop-up list window (the
// run-time template "ui:window-app-popup-list"), opened by a text view's
// "popup-toggle" (TextView.h). It shows the entries its opener offers
// (CTextView::popupItems), the current one highlighted and in view.
//
// The pointer highlights the entry under it and a click chooses it; Up and
// Down move the highlight, Page Up / Page Down by a page, Home and End to
// the ends (passing over rules, rows of an "HR" image), Enter chooses,
// Escape closes. Lists longer than
// "max-item-count" entries (default 12) scroll, with a thin bar along the
// right edge for the part shown: the wheel, the keys and the
// highlight keep the shown part where it is needed. A choice is handed to
// the opener (CTextView::popupChosen) and closes the window; so do Escape
// and a press outside the window (the renderer's
// "is-close-on-outside-click", CWindowCloser's "close-menus").
//
// At link time the list takes its size and its window's placement from the
// opener: its width from the opener's with "is-same-width" (else its own),
// its height from the entries shown, its inner border from the opener's
// "popup-inner-border" (default "LR6"), and the window's "window-alignment"
// (default "bottom"), "shift-x" and "shift-y" from the opener's. The list
// takes the key focus of its editor.

#include "UI/Presets/ItemList.h"

KELSTR(CPopupList_init_NoOpener, "The pop-up list has no opener view.");

class CPopupList : public CItemList {
public:
    static void registerEvents(CClassRecord& record);
    CError init() override;
    CError initLinks() override;
    CError initDone() override;
    bool takesFocus() const override { return true; }
    // Before its first layout, the rows the list is made tall enough for.
    int visibleRows() const override;
    // The rows, and along the right edge the part of the list they show
    // when it scrolls (palette colour "Scroller").
    void paint(const CPainter& p) const override;

    CTextView* opener() const { return m_opener; }
    // Hands entry `index` to the opener and closes the window.
    CError choose(int index);
    // Closes the window without a choice.
    CError dismiss();
    bool isClosing() const { return m_closing; }

protected:
    CError onViewEvent(const CString& eventName, CEventParams& params) override;

private:
    CError closeWindow();
    // A rule between entries ("[IMG=...#HR...]"): not highlighted, not chosen.
    bool isRule(int row) const;
    // Highlights the row nearest `from` (clamped) that is no rule, looking in `direction`.
    CError step(int from, int direction);
    CTextView* m_opener = nullptr;
    int m_current = -1;
    int m_shown = 1;
    bool m_closing = false;
};
