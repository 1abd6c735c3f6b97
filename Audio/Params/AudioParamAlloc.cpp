#include "Audio/Params/AudioParamAlloc.h"

CError CAudioParamAllocDef::init() {
    KEL_TRY(CObject::init());
    m_paramName = attr("param-name").trimmed();
    if (m_paramName.empty()) return KEL_ERROR(kelstr_CAudioParamAllocDef_init_InvalidParamName);
    const CString indexText = attr("index").trimmed();
    int64_t index = 0;
    if (!indexText.empty() && (!indexText.toInt(&index) || index < 0 || index > 0xFFFF))
        return KEL_ERROR(kelstr_CAudioParamAllocDef_init_InvalidIndex, attr("index"));
    m_index = int(index);
    m_allGroups = attrBool("use-all-groups", false);
    m_allElements = attrBool("use-all-elements", false);
    m_smooth = attrBool("is-smooth-update", false);
    return {};
}
