// Read-outs and their edit boxes.
#include "UI/Controls/ReadOut.h"

#include "Core/Log.h"
#include "UI/Controls/ParamBridge.h"
#include "UI/Resources/ResourceObjects.h"

namespace {
bool flag(const CObject& o, const char* name, bool def) {
    return o.hasAttr(name) ? o.attrBool(name) : def;
}
}  // namespace

void CReadOut::registerEvents(CClassRecord& record) {
    CTextView::registerEvents(record);
    record.addEvent("binding-change", [](CObject* self, CEventParams&) -> CError {
        return static_cast<CReadOut*>(self)->showValue();
    });
    record.addEvent("open-editbox", [](CObject* self, CEventParams&) -> CError {
        return static_cast<CReadOut*>(self)->openEditBox();
    });
}

CError CReadOut::initLinks() {
    KEL_TRY(CTextView::initLinks());
    KEL_TRY(m_binding.bind(*this, "binding-change"));
    return showValue();
}

CError CReadOut::showValue() {
    if (m_editing || !m_binding.bridge() || !m_binding.isReady()) return {};
    const CString t = m_binding.text();
    if (t == attr("text")) return {};
    KEL_TRY(setAttr("text", t, false));
    requestRepaint();
    return {};
}

bool CReadOut::accepts(char16_t c) const {
    if (c < 0x20) return false;
    CString chars = attr("accept-chars");
    if (!hasAttr("accept-chars")) {
        const CParamBridge* b = m_binding.bridge();
        if (b && b->info() && !b->info()->stateNames().empty()) return true;
        chars = "0123456789.,-";
    }
    if (chars.empty()) return true;
    return chars.find(c) != CString::npos;
}

CError CReadOut::openEditBox() {
    if (m_editing || attrBool("is-read-only") || isBlocked()) return {};
    m_editing = true;
    m_editText = CString();
    KEL_TRY(setEditText(m_binding.isReady() ? m_binding.text() : CString()));
    KEL_TRY(setState("editing"));
    return notify("readout-editbox-shown");
}

CError CReadOut::setEditText(const CString& text) {
    if (!m_editing) return {};
    const int64_t maxLen = attrInt("max-paragraph-length", 7);
    CString filtered;
    for (size_t i = 0; i < text.length(); ++i)
        if (accepts(text[i]) && (maxLen <= 0 || int64_t(filtered.length()) < maxLen)) filtered += text[i];
    m_editText = filtered;
    KEL_TRY(unsetState("edit-error"));
    KEL_TRY(setAttr("text", m_editText, false));
    requestRepaint();
    return {};
}

bool CReadOut::commitEditBox(CError* err) {
    if (!m_editing) return false;
    CParamBridge* b = m_binding.bridge();
    CString text;
    for (size_t i = 0; i < m_editText.length(); ++i) text += m_editText[i] == u',' ? u'.' : m_editText[i];
    double v = 0;
    if (!b || !b->parseText(text, &v)) {
        if (CError e = setState("edit-error"); e && err) *err = std::move(e);
        return false;
    }
    CError e = b->setValue(m_binding.group(), m_binding.element(), v);
    if (!e) e = closeEditBox();
    if (e && err) *err = std::move(e);
    return !e;
}

CError CReadOut::closeEditBox() {
    if (!m_editing) return {};
    m_editing = false;
    KEL_TRY(unsetState("editing"));
    KEL_TRY(unsetState("edit-error"));
    KEL_TRY(setAttr("text", CString(), false));
    KEL_TRY(showValue());
    return notify("readout-editbox-hidden");
}

CError CReadOut::onKey(CEventParams& p) {
    const CString key = p.get("key");
    if (key == "Return" || key == "KP_Enter") {
        CError err;
        commitEditBox(&err);
        return err;
    }
    if (key == "Escape") return closeEditBox();
    if (key == "BackSpace") {
        if (m_editText.empty()) return {};
        return setEditText(m_editText.substr(0, m_editText.length() - 1));
    }
    const CString typed = p.get("char");
    return typed.empty() ? CError() : setEditText(m_editText + typed);
}

CError CReadOut::onViewEvent(const CString& name, CEventParams& p) {
    if (name == "mouse-press") {
        const bool dbl = p.get("is-double-click") == "true";
        if ((dbl && flag(*this, "is-editbox-on-dblclick", true)) ||
            (!dbl && (attrBool("is-editbox-on-singleclick") || attrBool("is-editbox-on-click"))))
            return openEditBox();
        return {};
    }
    if (name == "key-press" && m_editing) return onKey(p);
    if ((name == "blur" || name == "focus-lost") && m_editing) return closeEditBox();
    return {};
}

void CReadOut::paint(const CPainter& p) const {
    if (m_editing) {
        const CString path = hasAttr("editbox-image-set") ? attr("editbox-image-set").trimmed() : CString("is.editbox");
        if (auto* o = dynamic_cast<const CImageSetObject*>(findObject(path)); o && o->imageSet()) {
            const CImageSet& set = *o->imageSet();
            const CImageSet::Group* g = set.findGroup("Focused");
            if (!g) g = set.findGroup("");
            if (g && g->last - g->first + 1 == 8) p.drawBox(set, g->first, area().draw, drawColors());
        }
    }
    CTextView::paint(p);
}
