#pragma once
// CTextView (tags "ui:textview", "ui:caption"; "ui:readout" builds on it): draws text
// with the editor's bitmap fonts. The text ("text", or the text content of
// the node) is a list of paragraphs, split at "separator-char" (empty: at
// line ends); each paragraph may carry the inline markup of TextMarkup.h
// and is laid out into lines by CTextWrapper ("is-text-wrapped": break at
// blanks to fit the inner width). Lines are "line-height-modifier" taller
// than the font's line height, paragraphs "paragraph-spacing" apart; the
// block is aligned by "text-alignment-v" in the inner area (and cut at
// "max-text-height"), each line by "text-alignment" ("justify" spreads the
// blanks of every line but a paragraph's last).
//
// Fonts: "font-name" is the path of a font object; bold text uses its
// companion of the same name with "_b" added ("font.base" -> "font.base_b"),
// or, without one, the regular font drawn twice one pixel apart. No font
// has an italic face: italic text is the same face leaning right by one
// pixel in five. Superscript is drawn at 0.7 of the size, raised by 0.4 of
// the ascent. Colours are palette colours: "text-color", "text-color1" and
// "text-color2" (all "Text" by default); an inline image is tinted by its
// reference's colour or the text colour.
//
// Editing (TextViewEdit.cpp): a view with "is-read-only" "false" is a
// single-line field that edits its text while it has the key focus; a
// read-only view opens an edit box on a click, single click or double click
// ("is-editbox-on-click", "-singleclick", "-dblclick"). The box is a text
// view of its own, the child "temp-editbox" of the edited view, made from
// the template "editbox-popup-tag" (default "ui:editbox-popup") when the
// definitions have one, else a plain text view; it is placed by
// "editbox-placement" ("editbox-readout-placement" for read-outs; default
// "match": over the edited view), aligned by "editbox-text-alignment" and
// "editbox-text-alignment-v" ("inherit": the edited view's), and released
// when it commits or cancels. The edited view keeps the key focus and hands
// its keys to the box; its own accessors (isEditing, editText, edit, editKey
// ...) speak for the box. The box starts with the text, all of it selected
// ("is-select-all-on-focus" for fields). It has a caret that blinks on the window's "cursor-timer" (a child of the window
// renderer; without one it stays lit), a selection by mouse drag, Shift+keys
// and Ctrl+A, and the keys of CTextEdit (TextEdit.h); Ctrl+C/X/V go through
// the editor's clipboard (the display's, else one of the process). Typed
// text is held to "accept-chars" and "max-paragraph-length"; Enter commits
// when "is-accept-enter" (a focus loss or a press outside the box commits
// too, or cancels when the text is refused), Escape cancels; Tab and
// Shift+Tab move the focus through the views of the same "tab-group" (the
// group's members are listed, in the order of the view tree, in the helper
// list ".tab-group-value-list-" + name under the window renderer). A commit sets the text (an empty one becomes
// "editbox-empty-value") and notifies "paragraph-text-changed"
// ("paragraph-index", "text", "is-cancelled") and "editbox-text-changed"
// ("text", "is-cancelled"); a cancel notifies both with "is-cancelled"
// "true" and keeps the text. "editbox-shown" / "editbox-hidden" (sent by
// the edited view) bracket a box. With "is-virtual-keyboard-allowed", and
// the editor's global setting "show-virtual-keyboard" on, an open box also opens the on-screen keyboard
// window ("virtual-keyboard-tag", default "ui:virtual-keyboard"), whose keys
// type into it; it closes with the box.
//
// Pop-up lists (TextViewPopup.cpp): "popup-toggle" opens a pop-up list
// window from the run-time template "popup-tag" (the event's "popup-tag",
// default "ui:window-app-popup-list") with this view as its opener, or
// closes it when this view's list is open (a list open for another view
// closes and this one opens). The list offers popupItems(): by default the
// "popup-items" of the view (separated by "|"), the current one the entry
// equal to the view's text; selectors offer their own. The list's window is
// placed by this view's "window-alignment" (default "bottom"), as wide as
// the view with "is-same-width", moved by "shift-x" and "shift-y" logical
// pixels, with the list's inner border "popup-inner-border" (default
// "LR6"). A choice runs "popup-result" ("title", "index") on the view and
// notifies it to the view's listeners.

#include <vector>

#include "UI/Resources/ResourceObjects.h"
#include "UI/Text/TextEdit.h"
#include "UI/Text/TextWrapper.h"
#include "UI/View/View.h"

KELSTR(CTextView_attrFontName_FontNameEmpty, "Attribute 'font-name' is empty");
KELSTR(CTextView_attrFontName_NoFont, "Font '%1' not found.");
KELSTR(CTextView_attrTextAlignment_Invalid, "Invalid text alignment '%1'.");
KELSTR(CTextView_init_FailTabGroupValueList, "Unable to create tab group value list");

class CTextView : public CView {
public:
    static void registerEvents(CClassRecord& record);
    CError initLinks() override;

    void contentSize(double scale, double* w, double* h) const override;
    bool layoutContent(double scale) override;
    void paint(const CPainter& p) const override;

    // The laid out lines (for tests and diagnosis): y of each line's top
    // relative to the inner area, after alignment.
    const std::vector<CTextLine>& lines() const { return m_lines; }
    const std::vector<double>& lineTops() const { return m_lineTops; }
    double textHeight() const { return m_textHeight; }
    // The text as paragraphs.
    std::vector<CString> paragraphs() const;

    // --- Editing ---------------------------------------------------------------------
    bool isEditing() const { return m_box ? m_box->m_editing : m_editing; }
    CString editText() const { return CString::fromUtf16(edit().text()); }
    const CTextEdit& edit() const { return m_box ? m_box->m_edit : m_edit; }
    bool isCaretShown() const { return m_box ? m_box->isCaretShown() : m_editing && m_caretOn; }
    // The open edit box of a read-only view (nullptr: none, or a field
    // that edits itself), and the view a box edits.
    CTextView* editBox() const { return m_box; }
    CTextView* editBoxOwner() const { return m_boxOwner; }
    bool takesFocus() const override;
    CError onPressOutside() override;
    // Opens the edit box (the field's editing) with the text given by
    // editStartText(); nothing while blocked.
    CError openEditBox();
    // Replaces the box's text (as a paste of everything would); characters
    // are filtered like typed ones.
    CError setEditText(const CString& text);
    // Commits the box; false when the owner refuses the text (the box stays).
    bool commitEditBox(CError* err = nullptr);
    // Closes the box without change.
    CError cancelEditBox();
    // One key of the editor's codes, as the window sends it.
    CError editKey(uint32_t keycode, bool ctrl, bool shift);
    // The x of a caret position relative to the inner area's left (for tests).
    double caretX(size_t pos) const;
    // The caret position nearest a window x.
    size_t positionAt(double x) const;
    // The next (or previous) focusable view of this view's tab group
    // (kelTabNeighbour, UI/Window/TabGroup.h).
    CView* tabNeighbour(bool forward);

    // --- Pop-up lists --------------------------------------------------------------
    // What a pop-up list opened from this view offers; *current the entry
    // to highlight (-1: none).
    virtual std::vector<CString> popupItems(int* current) const;
    // Opens this view's pop-up list, or closes it when it is open.
    CError togglePopup(const CString& templateName = CString());
    // The open pop-up list window's holder opened from this view (nullptr: none).
    CObject* openPopup() const;
    // A choice of the list: "popup-result" on the view, then to its listeners.
    CError popupChosen(int index, const CString& title);

    // The editor's clipboard: the display's when there is one, else one kept
    // in the process (windowless editors, tests).
    static bool setClipboard(const CObject& context, const CString& text);
    static bool clipboard(const CObject& context, CString* text);

protected:
    CError applyViewAttr(const CString& name, bool* handled) override;
    // The text alone (paint draws the view's background first).
    void paintText(const CPainter& p) const;
    CError onViewEvent(const CString& eventName, CEventParams& params) override;

    // Hooks of controls that edit a value instead of the text.
    // The text the box starts with.
    virtual CString editStartText() const;
    // Applies a committed text; *accepted false keeps the box open.
    virtual CError applyEdit(const CString& text, bool* accepted);
    // Called when the box opened or closed.
    virtual CError editBoxChanged(bool open);
    // The box's rules: accepted characters (empty: all), largest length (0:
    // unlimited), whether Enter commits. From the view's attributes.
    virtual void editRules(CString* acceptChars, int64_t* maxLength, bool* acceptEnter) const;
    // Whether a read-only view may open its box at all.
    virtual bool canOpenEditBox() const { return true; }
    // The attribute that places the box ("editbox-placement").
    virtual const char* editBoxPlacementAttr() const { return "editbox-placement"; }
    // Whether a view event opens the box (read-only views with the
    // edit box flags).
    bool opensEditBox(const CString& eventName, const CEventParams& p) const;
    virtual bool isEditable() const;
    // Draws the box's text, selection and caret in the inner area.
    void paintEdit(const CPainter& p) const;

private:
    struct Paragraph {
        std::vector<CTextRun> runs;
        std::vector<CTextImage> imageSizes;
        std::vector<CResolvedImage> images;
        std::vector<CColor> imageColors;
    };
    // Fonts, alignment, colours and paragraphs from the attributes.
    CError resolveText();
    void parse();
    std::vector<CTextLine> wrapAll(double scale, double width, std::vector<size_t>* paragraphOf) const;

    const CFont* m_font = nullptr;
    const CFont* m_bold = nullptr;
    CColor m_colors[3];
    int m_align = 0;   // 0 left, 1 right, 2 center, 3 justify
    int m_alignV = 0;  // 0 top, 1 center, 2 bottom
    std::vector<Paragraph> m_paragraphs;

    std::vector<CTextLine> m_lines;
    std::vector<size_t> m_lineParagraph;
    std::vector<double> m_lineTops;
    double m_textHeight = 0;
    double m_scale = 1.0;
    bool m_laidOut = false;  // layoutContent ran: the lines fit the area
    double m_wrapWidth = 0;  // the inner width wrapped text was last laid out in

    // Editing.
    void configureEdit();
    CError finishEdit(bool cancelled);
    CError openBoxView();
    // The owner's side of a box that closed: notifications and release.
    CError boxClosed(bool cancelled, const CString& text);
    CError moveFocus(bool forward);
    CError startCaret(bool on);
    CError caretTick();
    CError onEditEvent(const CString& eventName, CEventParams& p, bool* handled);
    void keepCaretVisible();
    CObject* m_cursorTimer = nullptr;
    CTextEdit m_edit;
    CString m_editOriginal;
    bool m_editing = false;
    bool m_caretOn = false;
    bool m_dragging = false;
    double m_scrollX = 0;
    CObject* m_virtualKeyboard = nullptr;
    CTextView* m_box = nullptr;       // the open box (owner side)
    CTextView* m_boxOwner = nullptr;  // the edited view (box side)
};
