// Text views: edit boxes, caret, selection, clipboard and tab groups.
#include <algorithm>
#include <cmath>

#include "Core/Application.h"
#include "Core/Log.h"
#include "Platform/Window/Window.h"
#include "UI/Render/WindowRenderer.h"
#include "UI/Resources/DynamicColor.h"
#include "UI/Text/TextView.h"
#include "UI/Window/TabGroup.h"
#include "UI/Window/WindowOpener.h"
#include "UI/Window/WindowSharedData.h"

namespace {
CString flagText(bool b) { return b ? CString("true") : CString("false"); }

bool flagParam(const CEventParams& p, const char* name) { return p.get(name) == "true"; }

// The clipboard of editors without a display (UI thread).
CString& processClipboard() {
    static CString text;
    return text;
}

CWindowSharedData* sharedDataOf(const CObject& o) {
    CObject* r = o.root();
    return r ? dynamic_cast<CWindowSharedData*>(r->findObject("ui.window-shared-data")) : nullptr;
}

// Key names of the text protocol some callers use instead of key codes.
uint32_t keyCodeOfName(const CString& name) {
    struct Name {
        const char* name;
        uint32_t code;
    };
    static const Name kNames[] = {
        {"Return", plat::kKeyEnter},   {"KP_Enter", plat::kKeyEnter},   {"Escape", plat::kKeyEscape},
        {"BackSpace", plat::kKeyBackspace}, {"Delete", plat::kKeyDelete}, {"Left", plat::kKeyLeft},
        {"Right", plat::kKeyRight},    {"Home", plat::kKeyHome},        {"End", plat::kKeyEnd},
        {"Tab", plat::kKeyTab},        {"Up", plat::kKeyUp},            {"Down", plat::kKeyDown},
    };
    for (const Name& n : kNames)
        if (name == n.name) return n.code;
    return 0;
}
}  // namespace

// --- Clipboard -------------------------------------------------------------------------------------

bool CTextView::setClipboard(const CObject& context, const CString& text) {
    if (CWindowSharedData* shared = sharedDataOf(context); shared && shared->display())
        return shared->display()->setClipboardText(text.utf8());
    processClipboard() = text;
    return true;
}

bool CTextView::clipboard(const CObject& context, CString* text) {
    if (CWindowSharedData* shared = sharedDataOf(context); shared && shared->display()) {
        std::string utf8;
        if (!shared->display()->clipboardText(&utf8)) return false;
        *text = CString(utf8);
        return true;
    }
    *text = processClipboard();
    return true;
}

// --- Opening and closing ------------------------------------------------------------------------------

bool CTextView::isEditable() const { return hasAttr("is-read-only") && !attrBool("is-read-only"); }

CString CTextView::editStartText() const {
    if (m_boxOwner) return m_boxOwner->editStartText();
    const std::vector<CString> paras = paragraphs();
    int64_t index = attrInt("selected-paragraph", -1);
    if (index < 0 || size_t(index) >= paras.size()) index = 0;
    return paras.empty() ? CString() : paras[size_t(index)];
}

CError CTextView::applyEdit(const CString& text, bool* accepted) {
    if (m_boxOwner) return m_boxOwner->applyEdit(text, accepted);
    *accepted = true;
    std::vector<CString> paras = paragraphs();
    int64_t index = attrInt("selected-paragraph", -1);
    if (index < 0 || size_t(index) >= paras.size()) index = 0;
    if (paras.empty()) paras.emplace_back();
    paras[size_t(index)] = text;
    const CString sep = attr("separator-char");
    CString joined;
    for (size_t i = 0; i < paras.size(); ++i) {
        if (i) joined += sep.empty() ? u'\n' : sep.at(0);
        joined += paras[i];
    }
    return setAttr("text", joined, false);
}

CError CTextView::editBoxChanged(bool) { return {}; }

void CTextView::editRules(CString* acceptChars, int64_t* maxLength, bool* acceptEnter) const {
    if (m_boxOwner) return m_boxOwner->editRules(acceptChars, maxLength, acceptEnter);
    *acceptChars = attr("accept-chars");
    *maxLength = attrInt("max-paragraph-length", 0);
    *acceptEnter = attrBool("is-accept-enter");
}

void CTextView::configureEdit() {
    CString chars;
    int64_t maxLen = 0;
    bool enter = false;
    editRules(&chars, &maxLen, &enter);
    m_edit.setAcceptChars(chars.utf16());
    m_edit.setMaxLength(maxLen > 0 ? size_t(maxLen) : 0);
    m_edit.setAcceptEnter(enter);
}

bool CTextView::takesFocus() const {
    // A box leaves the focus with the view it edits.
    if (m_boxOwner) return false;
    return CView::takesFocus() || isEditable() || m_box || attrBool("is-editbox-on-click") ||
           attrBool("is-editbox-on-singleclick") || attrBool("is-editbox-on-dblclick");
}

CError CTextView::onPressOutside() {
    if (!isEditing()) return {};
    if (!commitEditBox()) return cancelEditBox();
    return {};
}

// The box of a read-only view: a text view of its own over the view.
CError CTextView::openBoxView() {
    const CString tag = hasAttr("editbox-popup-tag") ? attr("editbox-popup-tag").trimmed() : CString("ui:editbox-popup");
    CSharedObject* shared = CApplication::sharedObject();
    CView* made = nullptr;
    if (!tag.empty() && shared && shared->findTemplate(tag)) {
        CObject* obj = nullptr;
        if (CError e = createChild(tag, "temp-editbox", &obj)) {
            if (auto* half = dynamic_cast<CView*>(findChild("temp-editbox"))) releaseChildView(half);
            return KEL_PASS(e);
        }
        made = dynamic_cast<CView*>(obj);
    } else {
        std::unique_ptr<CObject> obj = createObject("ui:textview");
        obj->setName("temp-editbox");
        // The box draws its text like the view it covers.
        for (const char* a : {"font-name", "text-color", "inner-border", "palette", "paragraph-select-color", "caret-color"})
            if (hasAttr(a)) KEL_TRY(obj->setAttr(a, attr(a), false));
        KEL_TRY(addChildView(std::move(obj), &made));
    }
    auto* box = dynamic_cast<CTextView*>(made);
    if (!box) {
        if (made) releaseChildView(made);
        return {};
    }
    const CString placement = hasAttr(editBoxPlacementAttr()) ? attr(editBoxPlacementAttr()).trimmed() : CString("match");
    auto inherit = [&](const char* boxAttr, const char* own) {
        const CString v = attr(boxAttr).trimmed();
        return v.empty() || v == "inherit" ? attr(own) : v;
    };
    CError err = box->setAttr("placement-match", "^", false);
    if (!err) err = box->setAttr("placement", placement.empty() ? CString("match") : placement, false);
    if (!err && hasAttr("text-alignment")) err = box->setAttr("text-alignment", inherit("editbox-text-alignment", "text-alignment"), false);
    if (!err && hasAttr("text-alignment-v"))
        err = box->setAttr("text-alignment-v", inherit("editbox-text-alignment-v", "text-alignment-v"), false);
    if (!err) err = box->setAttr("is-password", attrBool("is-password") ? "true" : "false", false);
    if (!err) err = box->setAttr("is-read-only", "false", false);
    if (!err) err = box->setAttr("is-select-all-on-focus", "true", false);
    if (err) {
        releaseChildView(box);
        return KEL_PASS(err);
    }
    box->m_boxOwner = this;
    m_box = box;
    if (CError e = box->openEditBox()) {
        m_box = nullptr;
        releaseChildView(box);
        return KEL_PASS(e);
    }
    requestLayout();
    return {};
}

CError CTextView::openEditBox() {
    if (isEditing() || isBlocked() || !canOpenEditBox()) return {};
    if (!isEditable() && !m_boxOwner) {
        KEL_TRY(openBoxView());
        if (!m_box) return {};
    } else {
        configureEdit();
        m_editOriginal = editStartText();
        m_editing = true;
        m_scrollX = 0;
        const bool selectAll = !isEditable() || attrBool("is-select-all-on-focus");
        m_edit.reset(m_editOriginal.utf16(), selectAll);
        KEL_TRY(startCaret(true));
        requestRepaint();
        if (m_boxOwner) return {};  // the edited view tells the rest
    }
    KEL_TRY(editBoxChanged(true));
    if (CWindowRenderer* r = renderer()) r->watchPressOutside(this, true);
    // The on-screen keyboard: allowed by the box, shown when the editor's
    // global "show-virtual-keyboard" is on (off by default).
    CObject* settings = root() ? root()->findObject("ui.global-settings") : nullptr;
    if (attrBool("is-virtual-keyboard-allowed") && settings && settings->attrBool("show-virtual-keyboard")) {
        const CString tag = hasAttr("virtual-keyboard-tag") ? attr("virtual-keyboard-tag").trimmed()
                                                            : CString("ui:virtual-keyboard");
        CObject* r = root();
        auto* opener = r ? dynamic_cast<CWindowOpener*>(r->findObject("ui.window-shared-data.window-opener")) : nullptr;
        if (opener && !opener->findPopup(tag)) {
            if (CError e = opener->openWindow(tag, fullName(), true)) kelLogError(e);
            if ((m_virtualKeyboard = opener->findPopup(tag)))
                if (CError e = m_virtualKeyboard->setAttr("virtual-keyboard-target", fullName(), false)) kelLogError(e);
        }
    }
    requestRepaint();
    CEventParams p{{"text", m_box ? m_box->m_editOriginal : m_editOriginal}};
    return notify("editbox-shown", p);
}

CError CTextView::setEditText(const CString& text) {
    if (m_box) return m_box->setEditText(text);
    if (!m_editing) return {};
    m_edit.reset(std::u16string(), false);
    m_edit.insert(text.utf16());
    keepCaretVisible();
    requestRepaint();
    return {};
}

bool CTextView::commitEditBox(CError* err) {
    if (m_box) return m_box->commitEditBox(err);
    if (!m_editing) return false;
    const CTextView& rules = m_boxOwner ? *m_boxOwner : *this;
    CString text = editText();
    if (text.empty() && rules.hasAttr("editbox-empty-value")) text = rules.attr("editbox-empty-value");
    bool accepted = true;
    if (CError e = applyEdit(text, &accepted)) {
        if (err) *err = std::move(e);
        return false;
    }
    if (!accepted) return false;
    CError e = finishEdit(false);
    if (e && err) *err = std::move(e);
    return !e;
}

CError CTextView::cancelEditBox() {
    if (m_box) return m_box->cancelEditBox();
    return m_editing ? finishEdit(true) : CError();
}

CError CTextView::finishEdit(bool cancelled) {
    const CString text = cancelled ? m_editOriginal : editText();
    m_editing = false;
    m_dragging = false;
    KEL_TRY(startCaret(false));
    if (m_boxOwner) return m_boxOwner->boxClosed(cancelled, text);
    return boxClosed(cancelled, text);
}

CError CTextView::boxClosed(bool cancelled, const CString& text) {
    if (CWindowRenderer* r = renderer()) r->watchPressOutside(this, false);
    if (m_box) {
        // The box goes after the event in progress (it may be its own key's).
        CTextView* box = m_box;
        m_box = nullptr;
        releaseChildView(box);
    }
    if (m_virtualKeyboard) {
        CObject* kb = m_virtualKeyboard;
        m_virtualKeyboard = nullptr;
        CObject* r = root();
        if (auto* closer = r ? r->findObject("ui.window-shared-data.window-closer") : nullptr) {
            CEventParams c{{"window", kb->fullName()}};
            if (CError e = closer->runEvent("close-window", c)) kelLogError(e);
        }
    }
    KEL_TRY(editBoxChanged(false));
    requestRepaint();
    int64_t index = attrInt("selected-paragraph", -1);
    if (index < 0) index = 0;
    CString result = text;
    if (!cancelled && result.empty() && hasAttr("editbox-empty-value")) result = attr("editbox-empty-value");
    CEventParams p{{"paragraph-index", CString::number(index)}, {"text", result}, {"is-cancelled", flagText(cancelled)}};
    KEL_TRY(notify("paragraph-text-changed", p));
    CEventParams q{{"text", result}, {"is-cancelled", flagText(cancelled)}};
    KEL_TRY(notify("editbox-text-changed", q));
    return notify("editbox-hidden");
}

// --- Caret ----------------------------------------------------------------------------------------------

CError CTextView::startCaret(bool on) {
    m_caretOn = on;
    CWindowRenderer* r = renderer();
    CObject* timer = r ? r->findChild("cursor-timer") : nullptr;
    if (on && timer && !m_cursorTimer) {
        listenObject(timer, "tick", this, "cursor-tick");
        m_cursorTimer = timer;
    } else if (!on && m_cursorTimer) {
        unlistenObject(m_cursorTimer, "tick", this);
        m_cursorTimer = nullptr;
    }
    return {};
}

CError CTextView::caretTick() {
    if (!m_editing) return startCaret(false);
    m_caretOn = !m_caretOn;
    requestRepaint();
    return {};
}

double CTextView::caretX(size_t pos) const {
    if (m_box) return m_box->caretX(pos) + (m_box->area().inner.x - area().inner.x);
    if (!m_font) return 0;
    const std::u16string& t = m_edit.text();
    const std::u16string shown = attrBool("is-password") ? std::u16string(t.size(), u'*') : t;
    const std::string prefix = CString::fromUtf16(std::u16string_view(shown).substr(0, std::min(pos, shown.size()))).utf8();
    const std::string all = CString::fromUtf16(shown).utf8();
    const double full = m_font->textWidth(all, m_scale);
    double offset = 0;
    const double room = area().inner.w;
    if (full < room) offset = m_align == 1 ? room - full : m_align == 2 ? (room - full) / 2 : 0;
    return std::round(offset) + m_font->textWidth(prefix, m_scale) - m_scrollX;
}

size_t CTextView::positionAt(double x) const {
    if (m_box) return m_box->positionAt(x);
    const double rel = x - area().inner.x;
    const size_t n = m_edit.text().size();
    size_t best = 0;
    double bestDist = 1e300;
    for (size_t i = 0; i <= n; ++i) {
        const double d = std::fabs(caretX(i) - rel);
        if (d < bestDist) bestDist = d, best = i;
    }
    return best;
}

void CTextView::keepCaretVisible() {
    const double room = area().inner.w;
    if (room <= 0) return;
    const double x = caretX(m_edit.caret());
    if (x > room - 1) m_scrollX += x - (room - 1);
    else if (x < 0) m_scrollX = std::max(0.0, m_scrollX + x);
}

void CTextView::paintEdit(const CPainter& p) const {
    if (!m_font) return;
    const CRectD& in = area().inner;
    const double scale = m_scale;
    const double opacity = effectiveOpacity();
    const double lineH = m_font->lineHeight * scale;
    const double top = std::round(in.y + (in.h - lineH) * (m_alignV == 1 ? 0.5 : m_alignV == 2 ? 1.0 : 0.0));
    const double baseline = std::round(top + m_font->ascent * scale);
    const CPainter c = p.clipped(in.pixels());
    auto colorOf = [&](const char* attrName, const char* fallback, CRgb def) {
        CString name = attr(attrName).trimmed();
        if (name.empty()) name = fallback;
        const CDynamicColorData* d = paletteColor(name);
        return d ? d->tables.front()[128] : def;
    };
    if (m_edit.hasSelection()) {
        const double x0 = caretX(m_edit.selectionStart()), x1 = caretX(m_edit.selectionEnd());
        c.fillRect({std::round(in.x + x0), top, std::round(x1 - x0), lineH},
                   colorOf("paragraph-select-color", "Selection", {70, 110, 160}), opacity);
    }
    const std::u16string& t = m_edit.text();
    const std::u16string shown = attrBool("is-password") ? std::u16string(t.size(), u'*') : t;
    CDrawColors colors;
    colors.slots[0] = &m_colors[0];
    colors.opacity = opacity;
    c.drawText(*m_font, std::round(in.x + caretX(0)), baseline, CString::fromUtf16(shown).utf8(), scale, colors);
    if (m_caretOn) {
        const double w = std::max(1.0, std::round(scale));
        c.fillRect({std::round(in.x + caretX(m_edit.caret())), top, w, lineH}, colorOf("caret-color", "Cursor", {230, 230, 230}),
                   opacity);
    }
}

// --- Keys and mouse ------------------------------------------------------------------------------------

CError CTextView::editKey(uint32_t keycode, bool ctrl, bool shift) {
    if (m_box) return m_box->editKey(keycode, ctrl, shift);
    if (!m_editing) return {};
    const CTextEdit::Action a = m_edit.key(keycode, ctrl, shift);
    switch (a) {
        case CTextEdit::Action::None: return {};
        case CTextEdit::Action::Handled: break;
        case CTextEdit::Action::Commit: {
            CError err;
            commitEditBox(&err);
            return err;
        }
        case CTextEdit::Action::Cancel: return cancelEditBox();
        case CTextEdit::Action::Copy:
        case CTextEdit::Action::Cut:
            if (m_edit.hasSelection() && !attrBool("is-password")) {
                if (!setClipboard(*this, CString::fromUtf16(m_edit.selectedText()))) kelLog("The clipboard refused the text.");
                else if (a == CTextEdit::Action::Cut) m_edit.eraseSelection();
            }
            break;
        case CTextEdit::Action::Paste: {
            CString text;
            if (clipboard(*this, &text)) {
                // One line: a paste stops at its first line end.
                const size_t end = std::min(text.find(u'\n'), text.find(u'\r'));
                m_edit.insert(text.substr(0, end).utf16());
            }
            break;
        }
        case CTextEdit::Action::FocusNext:
        case CTextEdit::Action::FocusPrev: {
            // A box moves the focus on from the view it edits.
            return (m_boxOwner ? m_boxOwner : this)->moveFocus(a == CTextEdit::Action::FocusNext);
        }
    }
    keepCaretVisible();
    m_caretOn = true;  // the caret shows at once after a key
    requestRepaint();
    return {};
}

bool CTextView::opensEditBox(const CString& name, const CEventParams& p) const {
    if (name != "mouse-press" || isBlocked()) return false;
    if (isEditable()) return true;
    const bool dbl = flagParam(p, "is-double-click");
    return attrBool("is-editbox-on-click") || (!dbl && attrBool("is-editbox-on-singleclick")) ||
           (dbl && attrBool("is-editbox-on-dblclick"));
}

CError CTextView::onEditEvent(const CString& name, CEventParams& p, bool* handled) {
    *handled = true;
    double x = 0;
    const bool hasX = p.get("x").toDouble(&x);
    if (name == "mouse-press" && m_editing) {
        if (flagParam(p, "is-double-click")) {
            const size_t at = hasX ? positionAt(x) : m_edit.caret();
            m_edit.moveTo(m_edit.wordLeft(std::min(at + 1, m_edit.text().size())), false);
            m_edit.moveTo(m_edit.wordRight(m_edit.caret()), true);
        } else if (hasX) {
            m_edit.moveTo(positionAt(x), flagParam(p, "is-shift"));
            m_dragging = true;
        }
        m_caretOn = true;
        requestRepaint();
        return {};
    }
    if (name == "mouse-move" && m_editing && m_dragging && hasX) {
        if (!flagParam(p, "is-button-l")) {
            m_dragging = false;
            return {};
        }
        m_edit.moveTo(positionAt(x), true);
        keepCaretVisible();
        requestRepaint();
        return {};
    }
    if ((name == "mouse-release" || name == "mouse-cancel") && m_editing) {
        m_dragging = false;
        return {};
    }
    if (opensEditBox(name, p)) {
        if (CWindowSharedData* shared = sharedDataOf(*this)) KEL_TRY(shared->changeKeyFocus(this, false));
        KEL_TRY(openEditBox());
        if (isEditable() && hasX && !attrBool("is-select-all-on-focus")) m_edit.moveTo(positionAt(x), false);
        return {};
    }
    if (name == "key-press") {
        const bool ctrl = flagParam(p, "is-ctrl"), shift = flagParam(p, "is-shift");
        // An open box's keys are its own (CView's tab-group keys stay out).
        if (isEditing()) p.set("is-handled", "true");
        int64_t code = 0;
        if (p.get("keycode").toInt(&code) && code > 0) {
            if (isEditing()) return editKey(uint32_t(code), ctrl, shift);
            // Tab and the other keys of a focused member of a tab group: CView.
            *handled = false;
            return {};
        }
        if (!isEditing()) {
            *handled = false;
            return {};
        }
        if (const uint32_t k = keyCodeOfName(p.get("key"))) return editKey(k, ctrl, shift);
        const std::u16string typed = p.get("char").utf16();
        for (char16_t ch : typed) KEL_TRY(editKey(ch, ctrl, shift));
        return {};
    }
    if (name == "focus") {
        if (isEditable() || (flagParam(p, "is-tab") && hasAttr("tab-group") &&
                             (attrBool("is-editbox-on-click") || attrBool("is-editbox-on-singleclick") ||
                              attrBool("is-editbox-on-dblclick"))))
            return openEditBox();
        *handled = false;
        return {};
    }
    if ((name == "blur" || name == "focus-lost") && isEditing()) {
        // Leaving the box keeps what was typed when it means something.
        if (!commitEditBox()) return cancelEditBox();
        return {};
    }
    *handled = false;
    return {};
}

CError CTextView::onViewEvent(const CString& name, CEventParams& p) {
    KEL_TRY(CView::onViewEvent(name, p));
    bool handled = false;
    return onEditEvent(name, p, &handled);
}

CView* CTextView::tabNeighbour(bool forward) { return kelTabNeighbour(*this, forward); }

CError CTextView::moveFocus(bool forward) {
    CView* next = tabNeighbour(forward);
    if (!next) return {};
    if (CWindowSharedData* shared = sharedDataOf(*this)) return shared->changeKeyFocus(next, true);
    CEventParams blur;
    KEL_TRY(runEvent("blur", blur));
    CEventParams focus{{"is-tab", "true"}};
    return next->runEvent("focus", focus);
}

