#include "Core/AttrDoubler.h"

void CAttrDoubler::registerEvents(CClassRecord& record) {
    CObject::registerEvents(record);
    record.addEvent("value", [](CObject* self, CEventParams&) -> CError {
        KEL_TRY(static_cast<CAttrDoubler*>(self)->copyValue());
        return {};
    });
}

CError CAttrDoubler::init() {
    KEL_TRY(CObject::init());
    m_targets.clear();
    const std::vector<CString> paths = splitBlanks(attr("target"));
    if (paths.empty()) return KEL_ERROR(kelstr_CAttrDoubler_init_NoTargets);
    for (const CString& p : paths) {
        CObject* o = findObject(p);
        if (!o) return KEL_ERROR(kelstr_CAttrDoubler_init_TargetNotFound, p);
        m_targets.push_back(o);
    }
    m_attr = attr("attr").trimmed();
    return {};
}

CError CAttrDoubler::initDone() {
    KEL_TRY(CObject::initDone());
    if (!attr("value").empty()) KEL_TRY(copyValue());
    return {};
}

CError CAttrDoubler::copyValue() {
    if (m_attr.empty()) return {};
    const CString v = attr("value");
    for (CObject* t : m_targets) KEL_TRY(t->setAttr(m_attr, v, false));
    return {};
}
