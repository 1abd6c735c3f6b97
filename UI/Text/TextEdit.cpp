// The text, caret and selection of an edit box, and its keys.
#include "UI/Text/TextEdit.h"

#include <algorithm>

#include "Platform/Window/Window.h"

namespace {
bool isWordChar(char16_t c) {
    if (c >= u'0' && c <= u'9') return true;
    if ((c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || c == u'_') return true;
    return c >= 0x80;  // letters of other scripts
}
}  // namespace

bool CTextEdit::accepts(char16_t c) const {
    if (c < 0x20 || c == 0x7F) return false;
    if (c >= 0x7F01 && c <= 0x7F13) return false;  // the editor's own key codes are no characters
    return m_accept.empty() || m_accept.find(c) != std::u16string::npos;
}

void CTextEdit::reset(std::u16string text, bool selectAll) {
    m_text = std::move(text);
    m_caret = m_text.size();
    m_anchor = selectAll ? 0 : m_caret;
}

std::u16string CTextEdit::selectedText() const {
    return m_text.substr(selectionStart(), selectionEnd() - selectionStart());
}

void CTextEdit::moveTo(size_t pos, bool extend) {
    m_caret = std::min(pos, m_text.size());
    if (!extend) m_anchor = m_caret;
}

void CTextEdit::selectAll() {
    m_anchor = 0;
    m_caret = m_text.size();
}

bool CTextEdit::eraseSelection() {
    if (!hasSelection()) return false;
    const size_t a = selectionStart();
    m_text.erase(a, selectionEnd() - a);
    m_caret = m_anchor = a;
    return true;
}

bool CTextEdit::insert(std::u16string_view text) {
    const bool erased = eraseSelection();
    std::u16string taken;
    const size_t room = m_maxLength ? (m_text.size() < m_maxLength ? m_maxLength - m_text.size() : 0) : SIZE_MAX;
    for (char16_t c : text) {
        if (taken.size() >= room) break;
        if (accepts(c)) taken += c;
    }
    if (taken.empty()) return erased;
    m_text.insert(m_caret, taken);
    m_caret += taken.size();
    m_anchor = m_caret;
    return true;
}

size_t CTextEdit::wordLeft(size_t pos) const {
    pos = std::min(pos, m_text.size());
    while (pos > 0 && !isWordChar(m_text[pos - 1])) --pos;
    while (pos > 0 && isWordChar(m_text[pos - 1])) --pos;
    return pos;
}

size_t CTextEdit::wordRight(size_t pos) const {
    const size_t n = m_text.size();
    pos = std::min(pos, n);
    while (pos < n && isWordChar(m_text[pos])) ++pos;
    while (pos < n && !isWordChar(m_text[pos])) ++pos;
    return pos;
}

CTextEdit::Action CTextEdit::key(uint32_t keycode, bool ctrl, bool shift) {
    switch (keycode) {
        case plat::kKeyLeft:
            if (hasSelection() && !shift) moveTo(selectionStart(), false);
            else moveTo(ctrl ? wordLeft(m_caret) : (m_caret ? m_caret - 1 : 0), shift);
            return Action::Handled;
        case plat::kKeyRight:
            if (hasSelection() && !shift) moveTo(selectionEnd(), false);
            else moveTo(ctrl ? wordRight(m_caret) : m_caret + 1, shift);
            return Action::Handled;
        case plat::kKeyHome:
        case plat::kKeyUp:
            moveTo(0, shift);
            return Action::Handled;
        case plat::kKeyEnd:
        case plat::kKeyDown:
            moveTo(m_text.size(), shift);
            return Action::Handled;
        case plat::kKeyBackspace:
            if (!eraseSelection() && m_caret > 0) {
                const size_t from = ctrl ? wordLeft(m_caret) : m_caret - 1;
                m_text.erase(from, m_caret - from);
                m_caret = m_anchor = from;
            }
            return Action::Handled;
        case plat::kKeyDelete:
            if (shift && !ctrl) return hasSelection() ? Action::Cut : Action::Handled;
            if (!eraseSelection() && m_caret < m_text.size()) {
                const size_t to = ctrl ? wordRight(m_caret) : m_caret + 1;
                m_text.erase(m_caret, to - m_caret);
                m_anchor = m_caret;
            }
            return Action::Handled;
        case plat::kKeyInsert:
            if (ctrl) return Action::Copy;
            return shift ? Action::Paste : Action::Handled;
        case plat::kKeyEnter: return m_acceptEnter ? Action::Commit : Action::None;
        case plat::kKeyEscape: return Action::Cancel;
        case plat::kKeyTab: return shift ? Action::FocusPrev : Action::FocusNext;
        default: break;
    }
    if (ctrl) {
        switch (keycode) {
            case 'A': case 'a': selectAll(); return Action::Handled;
            case 'C': case 'c': return Action::Copy;
            case 'X': case 'x': return Action::Cut;
            case 'V': case 'v': return Action::Paste;
            default: return Action::None;
        }
    }
    if (keycode > 0xFFFF || keycode < 0x20 || (keycode >= 0x7F01 && keycode <= 0x7F13)) return Action::None;
    insert(std::u16string(1, char16_t(keycode)));
    return Action::Handled;  // a refused character is still the box's key
}
