#pragma once
// CTextEdit: the text, caret and selection of a single-line edit box, and
// what its keys do. It knows nothing of views or windows: the text view
// that owns it draws it and carries out the requests a key returns
// (commit, cancel, clipboard, focus moves).
//
// Positions are UTF-16 indices 0..length. The selection runs between the
// anchor and the caret (empty when they meet). Typed and pasted text is
// filtered: characters below a blank, characters outside the accepted set
// (empty set: all) and whatever goes beyond the maximum length (0:
// unlimited) are dropped; a paste that is cut keeps its leading part.
//
// Keys (the editor's key codes, Platform/Window/Window.h; a character key
// carries its code point): Left/Right move by a character (with Ctrl by a
// word), Home/End to the ends, Shift with any of them extends the
// selection; Backspace/Delete remove the selection or the character before
// / after the caret (with Ctrl the word); Ctrl+A selects all; Ctrl+C, X, V
// ask for the clipboard; Enter commits when the box accepts it (otherwise it
// is not the box's key); Escape cancels; Tab and Shift+Tab ask to move the
// focus.

#include <cstdint>
#include <string>
#include <string_view>

class CTextEdit {
public:
    enum class Action {
        None,      // the key was not one of the box's
        Handled,   // caret, selection or text changed (or nothing to do)
        Commit,    // Enter
        Cancel,    // Escape
        Copy,      // copy the selection to the clipboard
        Cut,       // copy the selection to the clipboard, then erase it
        Paste,     // insert the clipboard's text
        FocusNext, // Tab
        FocusPrev, // Shift+Tab
    };

    // --- Rules -------------------------------------------------------------------------
    // Accepted characters (empty: all printable ones).
    void setAcceptChars(std::u16string chars) { m_accept = std::move(chars); }
    // Largest length (0: unlimited).
    void setMaxLength(size_t n) { m_maxLength = n; }
    // Whether Enter commits (false: Enter is ignored and the box stays).
    void setAcceptEnter(bool on) { m_acceptEnter = on; }
    bool accepts(char16_t c) const;

    // --- Text, caret, selection -----------------------------------------------------------
    // Replaces the text unfiltered (the value shown when the box opens);
    // the caret goes to the end, everything selected when selectAll.
    void reset(std::u16string text, bool selectAll);
    const std::u16string& text() const { return m_text; }
    size_t caret() const { return m_caret; }
    size_t anchor() const { return m_anchor; }
    bool hasSelection() const { return m_caret != m_anchor; }
    size_t selectionStart() const { return m_caret < m_anchor ? m_caret : m_anchor; }
    size_t selectionEnd() const { return m_caret < m_anchor ? m_anchor : m_caret; }
    std::u16string selectedText() const;

    // Moves the caret (clamped); extend keeps the anchor (a selection).
    void moveTo(size_t pos, bool extend);
    void selectAll();
    // Replaces the selection with the filtered text; false when nothing of
    // it was taken and nothing was selected.
    bool insert(std::u16string_view text);
    // Removes the selection; false when there is none.
    bool eraseSelection();

    // One key press.
    Action key(uint32_t keycode, bool ctrl, bool shift);

    // The word boundary before / after a position (blanks and punctuation
    // separate words).
    size_t wordLeft(size_t pos) const;
    size_t wordRight(size_t pos) const;

private:
    std::u16string m_text;
    size_t m_caret = 0, m_anchor = 0;
    std::u16string m_accept;
    size_t m_maxLength = 0;
    bool m_acceptEnter = true;
};
