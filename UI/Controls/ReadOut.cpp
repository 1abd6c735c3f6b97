// Read-outs and their edit boxes.
#include "UI/Controls/ReadOut.h"

#include "Core/Log.h"
#include "UI/Controls/ParamBridge.h"
#include "UI/Resources/ResourceObjects.h"

void CReadOut::registerEvents(CClassRecord& record) {
    CTextView::registerEvents(record);
    record.addEvent("binding-change", [](CObject* self, CEventParams&) -> CError {
        return static_cast<CReadOut*>(self)->showValue();
    });
}

CError CReadOut::initLinks() {
    if (!hasAttr("is-editbox-on-dblclick")) KEL_TRY(setAttr("is-editbox-on-dblclick", "true", false));
    KEL_TRY(m_binding.bind(*this, "binding-change"));
    // A value already known (a pop-up opened on a running editor) is laid
    // out with the rest of the text.
    KEL_TRY(showValue());
    return CTextView::initLinks();
}

CError CReadOut::showValue() {
    if (isEditing() || !m_binding.bridge() || !m_binding.isReady()) return {};
    const CString t = m_binding.text();
    if (t == attr("text")) return {};
    KEL_TRY(setAttr("text", t, false));
    requestRepaint();
    return {};
}

void CReadOut::editRules(CString* acceptChars, int64_t* maxLength, bool* acceptEnter) const {
    *acceptEnter = true;
    *maxLength = attrInt("max-paragraph-length", 7);
    if (hasAttr("accept-chars")) {
        *acceptChars = attr("accept-chars");
        return;
    }
    const CParamBridge* b = m_binding.bridge();
    const bool anyText = b && b->info() &&
                         (!b->info()->stateNames().empty() || b->info()->dataType() == EAudioParamDataType::Text);
    *acceptChars = anyText ? CString() : CString("0123456789.,-");
}

CString CReadOut::editStartText() const { return m_binding.isReady() ? m_binding.text() : CString(); }

CError CReadOut::applyEdit(const CString& edited, bool* accepted) {
    *accepted = false;
    CParamBridge* b = m_binding.bridge();
    // A text parameter takes the text as it is; an empty one means nothing.
    if (b && b->info() && b->info()->dataType() == EAudioParamDataType::Text) {
        if (edited.trimmed().empty()) return setState("edit-error");
        KEL_TRY(b->setText(m_binding.group(), m_binding.element(), edited.trimmed()));
        *accepted = true;
        return {};
    }
    CString text;
    for (size_t i = 0; i < edited.length(); ++i) text += edited[i] == u',' ? u'.' : edited[i];
    double v = 0;
    if (!b || !b->parseText(text, &v)) return setState("edit-error");
    KEL_TRY(b->setValue(m_binding.group(), m_binding.element(), v));
    *accepted = true;
    return {};
}

CError CReadOut::editBoxChanged(bool open) {
    KEL_TRY(unsetState("edit-error"));
    if (open) {
        KEL_TRY(setState("editing"));
        return notify("readout-editbox-shown");
    }
    KEL_TRY(unsetState("editing"));
    KEL_TRY(showValue());
    return notify("readout-editbox-hidden");
}

CError CReadOut::onViewEvent(const CString& name, CEventParams& p) {
    if (name == "key-press" && isEditing()) KEL_TRY(unsetState("edit-error"));
    return CTextView::onViewEvent(name, p);
}

void CReadOut::paint(const CPainter& p) const {
    if (isEditing()) {
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
