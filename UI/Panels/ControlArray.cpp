// Rows and columns of items made from a template.
#include "UI/Panels/ControlArray.h"

void CControlArray::registerEvents(CClassRecord& record) { CView::registerEvents(record); }

CError CControlArray::initDone() {
    KEL_TRY(CView::initDone());
    if (!m_items.empty()) return {};
    KEL_TRY(makeItems());
    collectChildViews();
    return {};
}

CError CControlArray::makeItems() {
    const CString tmpl = attr("item-template").trimmed();
    if (tmpl.empty()) return KEL_ERROR(kelstr_CControlArray_init_NoTemplate);
    std::vector<CString> labels;
    if (!attr("values").trimmed().empty()) labels = splitString(attr("values"), u'|');
    const int64_t count = labels.empty() ? attrInt("count", 0) : int64_t(labels.size());
    if (count <= 0) return KEL_ERROR(kelstr_CControlArray_init_NoEntries, fullName());
    std::vector<CString> values;
    if (!attr("switch-values").trimmed().empty()) values = splitString(attr("switch-values"), u'|');

    for (int64_t i = 0; i < count; ++i) {
        const size_t at = size_t(i);
        KEL_TRY(setAttr("item-index", CString::number(i), false));
        KEL_TRY(setAttr("item-text", at < labels.size() ? labels[at].trimmed() : CString(), false));
        KEL_TRY(setAttr("item-value",
                        at < values.size() ? values[at].trimmed() : CString::number(attrInt("first-value", 0) + i),
                        false));
        KEL_TRY(setAttr("item-element", CString::number(attrInt("first-element", 0) + i), false));
        CObject* made = nullptr;
        KEL_TRY(createChild(tmpl, CString("item") + CString::number(i), &made));
        auto* v = dynamic_cast<CView*>(made);
        if (!v) return KEL_ERROR(kelstr_CControlArray_init_NotAView, tmpl);
        if (hasAttr("item-width")) KEL_TRY(v->setAttr("width", attr("item-width")));
        if (hasAttr("item-height")) KEL_TRY(v->setAttr("height", attr("item-height")));
        m_items.push_back(v);
    }
    return {};
}
