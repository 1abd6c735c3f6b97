#pragma once
// CItemList (tag "ui:item-list"): a text view showing a list of rows, one
// paragraph each, of which one may be selected. A click selects the row
// under the pointer, a double click also notifies "paragraph-dbl-clicked";
// the Up and Down keys move the selection. The selected row is drawn on
// the palette colour "selection-color" ("Selection"). Rows that do not fit
// scroll: the wheel moves three rows a notch, and a selected row is
// scrolled into view.
//
// Events notified to listeners:
//   "selected-paragraph-changed"  "index" (-1: none), "text"
//   "paragraph-dbl-clicked"       "index", "text"
//   "paragraph-text-changed"      "index", "text" (setRowText)
// The view's own commands for these names run too.
//
// Renaming in place: a list with "editbox-can-rename-event" asks that event
// on "editbox-can-rename-target" (default the list; the answer "true" or
// "false" in the event's "result") whether its selected row may be renamed.
// If so, a second click on the selected row that no further click follows
// within "paragraph-click-edit-delay" seconds (default 0.5), or
// renameSelected(), opens the edit box of the text view over the row, with
// the row's text selected. Enter or a click elsewhere commits, Escape
// cancels; a commit notifies "paragraph-text-changed" ("paragraph-index",
// "text", "is-cancelled") and leaves the rows as they are: the list's owner
// renames the entry and gives the rows again, or refuses the name and
// keeps them.

#include <vector>

#include "UI/Text/TextView.h"

class CItemList : public CTextView {
public:
    static void registerEvents(CClassRecord& record);
    CError init() override;
    CError initLinks() override;
    void paint(const CPainter& p) const override;

    const std::vector<CString>& rows() const { return m_rows; }
    // Replaces the rows; the selection stays on the row of the same text
    // when there is one, else on the same index within the new count.
    CError setRows(std::vector<CString> rows);
    int selected() const { return m_selected; }
    CString selectedText() const;
    // Selects a row (-1: none); notifies when the selection changed.
    CError select(int index);
    // Renames one row and notifies "paragraph-text-changed".
    CError setRowText(int index, const CString& text);
    // The row at a y position in view pixels relative to the view (-1: none).
    int rowAt(double y) const;
    // The first row shown, and how many fit (all of them before a layout).
    int firstRow() const { return m_first; }
    virtual int visibleRows() const;
    // Scrolls so that the first row shown is `first` (clamped).
    CError scrollTo(int first);
    // Renaming in place (see above).
    bool canRenameSelected();
    CError renameSelected();
    // A click's rename, when due at `now` (seconds of kelSecondsSinceStart).
    CError renameTick(double now);
    bool isRenamePending() const { return m_renameAt >= 0; }

protected:
    CError onViewEvent(const CString& eventName, CEventParams& params) override;
    // What a row shows (derived lists mark empty rows).
    virtual CString rowDisplay(const CString& row) const { return row; }
    CString editStartText() const override;
    CError applyEdit(const CString& text, bool* accepted) override;
    CError editBoxChanged(bool open) override;

private:
    CError showRows();
    CError announce(const char* event, int index);
    CError ensureVisible(int index);
    std::vector<CString> m_rows;
    int m_selected = -1;
    int m_first = 0;
    double m_renameAt = -1;  // when a click's rename opens (-1: none)
    CObject* m_renameTimer = nullptr;
    void stopRenameTimer();
};
