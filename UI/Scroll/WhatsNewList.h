#pragma once
// CDynListWhatsNew (tag "ui:dynlist-whats-new"): the version history as a
// column of text views, newest first, built when the view initialises.
//
// "source" is the path of one history entry (default: "whatsnew" at the
// top of the editor's document when it holds the history, else
// "shared::whatsnew"); the list shows that entry's parent's children of
// the same name, in order. Each entry ("version" and "date" attributes, "p"
// paragraphs whose text is the "value" of their "content" child) gives a
// heading, "title-format" with %1 = version and %2 = date (default
// "[B]Version %1[/B]   %2"), in "title-font-name" (default: the list's
// "font-name"), and one wrapped text view per paragraph in "font-name",
// indented by "indent" logical pixels (default 10). The texts take the
// list's "text-color" (default "Text"). Entries without paragraphs show only their
// heading. Meant to sit in a scrollable view beside a ui:scroller-bar; the
// texts let the pointer through, and the wheel over the list scrolls it.

#include "UI/View/View.h"

KELSTR(CDynListWhatsNew_init_NoSource, "Version history '%1' not found.");

class CDynListWhatsNew : public CView {
public:
    static void registerEvents(CClassRecord& record) { CView::registerEvents(record); }
    CError init() override;

    size_t entryCount() const { return m_entries; }
    size_t paragraphCount() const { return m_paragraphs; }

    // The text of a history paragraph object ("p").
    static CString paragraphText(const CObject& p);

protected:
    CError onViewEvent(const CString& eventName, CEventParams& params) override;

private:
    CError addText(const CString& name, const CString& text, const CString& font, bool heading);

    size_t m_entries = 0;
    size_t m_paragraphs = 0;
};
