#pragma once
// CAudioParamRemapDef (tag audio:param-remap): binds parameter names used by
// modules ("orig") to other parameters ("new"), so that one parameter drives
// several module parameters. Either the attributes orig and new, or a child
// "content" whose attribute "value" holds statements "orig = new;" (blanks
// around "=" allowed, every statement ended by ";").
//
// Names are relative to the object that holds the remap; a new name may
// start with "^" (one level up per caret) or "/" (a full name from the
// template root).

#include <span>
#include <vector>

#include "Core/Object.h"

KELSTR(CAudioParamRemapDef_init_NoRemapsDefined, "No remappings defined.");
KELSTR(CAudioParamRemapDef_init_InvalidRemap, "Invalid remapping string '%1' defined.");

struct CAudioParamRemap {
    CString orig;
    CString target;  // the "new" name
};

class CAudioParamRemapDef : public CObject {
public:
    CError init() override;

    std::span<const CAudioParamRemap> remaps() const { return {m_remaps.data(), m_remaps.size()}; }
    // The "new" name bound to orig; nullptr when orig is not remapped here.
    const CString* find(const CString& orig) const;

    // Parses "a = b; c = d;" into pairs (appended to out); on a malformed
    // statement fails with the InvalidRemap message quoting it.
    static CError parseStatements(const CString& text, std::vector<CAudioParamRemap>* out);
    // Full name of a remap name relative to scope (the full name of the
    // object holding the remap): "x" gives "scope.x", "^x" "parent(scope).x",
    // "/a.b" "a.b".
    static CString resolveName(const CString& scopeFullName, const CString& name);

    static void registerEvents(CClassRecord& record) { CObject::registerEvents(record); }

private:
    std::vector<CAudioParamRemap> m_remaps;
};
