// The mark of an edited preset in its name.
#include "UI/Controls/PresetEditMark.h"

#include "UI/Controls/ParamBridge.h"

void CPresetEditMark::registerEvents(CClassRecord& record) {
    CObject::registerEvents(record);
    record.addEvent("watched-change", [](CObject* self, CEventParams& p) -> CError {
        if (!(p.get("is-local") == "true")) return {};
        int64_t g = 0;
        if (!p.get("group").toInt(&g) || g < 0) g = 0;
        auto* source = dynamic_cast<CParamBridge*>(self->findObject(p.get("sender")));
        return static_cast<CPresetEditMark*>(self)->markGroup(uint32_t(g), source ? source->gestureId() : 0);
    });
}

CError CPresetEditMark::initLinks() {
    KEL_TRY(CObject::initLinks());
    m_name = nullptr;
    if (attr("name-bridge").trimmed().empty()) return KEL_ERROR(kelstr_CPresetEditMark_initLinks_NoBridge);
    KEL_TRY(findObjectByAttr("name-bridge", &m_name));
    for (const CString& path : splitBlanks(attr("bridges"))) {
        CObject* o = findObject(path);
        auto* b = dynamic_cast<CParamBridge*>(o);
        if (!b) return KEL_ERROR(kelstr_CObject_findObjectByAttr_FindError, CString("bridges"), path, fullName());
        CObject::listenObject(b, "param-change", this, "watched-change");
    }
    return {};
}

CString CPresetEditMark::mark() const { return hasAttr("mark") ? attr("mark") : CString(" *"); }

CError CPresetEditMark::markGroup(uint32_t group, uint32_t undoId) {
    if (!m_name || !m_name->isReady()) return {};
    const CString m = mark();
    const CString name = m_name->text(group, 0);
    if (m.empty() || (name.length() >= m.length() && name.substr(name.length() - m.length()) == m)) return {};
    KEL_TRY(m_name->joinGesture(undoId, int(group)));
    return m_name->setText(group, 0, name + m);
}
