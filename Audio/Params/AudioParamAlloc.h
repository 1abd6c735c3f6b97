#pragma once
// CAudioParamAllocDef (tag audio:param-alloc): assigns a module's parameter
// slot "index" to the parameter "param-name". "use-all-groups" and
// "use-all-elements" ask the module to read the whole matrix rather than its
// own group or element; "is-smooth-update" asks for smoothed updates.

#include "Core/Object.h"

KELSTR(CAudioParamAllocDef_init_InvalidParamName, "Invalid parameter name specified.");
KELSTR(CAudioParamAllocDef_init_InvalidIndex, "Invalid parameter slot index '%1' specified.");

class CAudioParamAllocDef : public CObject {
public:
    CError init() override;

    int index() const { return m_index; }
    const CString& paramName() const { return m_paramName; }
    bool useAllGroups() const { return m_allGroups; }
    bool useAllElements() const { return m_allElements; }
    bool isSmoothUpdate() const { return m_smooth; }

    static void registerEvents(CClassRecord& record) { CObject::registerEvents(record); }

private:
    int m_index = 0;
    CString m_paramName;
    bool m_allGroups = false;
    bool m_allElements = false;
    bool m_smooth = false;
};
