#include "Audio/Params/AudioParamRemap.h"

namespace {
// A remap name: not empty, no blanks, no "=" or ";".
bool validName(const CString& n) {
    if (n.empty()) return false;
    for (size_t i = 0; i < n.length(); ++i) {
        char16_t c = n.at(i);
        if (c == u' ' || c == u'\t' || c == u'\r' || c == u'\n' || c == u'=' || c == u';') return false;
    }
    return true;
}

bool parseStatement(const CString& statement, CAudioParamRemap* out) {
    size_t eq = statement.find(u'=');
    if (eq == CString::npos) return false;
    CAudioParamRemap r{statement.substr(0, eq).trimmed(), statement.substr(eq + 1).trimmed()};
    if (!validName(r.orig) || !validName(r.target)) return false;
    *out = std::move(r);
    return true;
}
}  // namespace

CError CAudioParamRemapDef::parseStatements(const CString& text, std::vector<CAudioParamRemap>* out) {
    std::vector<CString> pieces = splitString(text, u';');
    // The text after the last ";" must be blank: every statement ends with one.
    for (size_t i = 0; i < pieces.size(); ++i) {
        CString s = pieces[i].trimmed();
        if (s.empty()) continue;
        CAudioParamRemap r;
        if (i + 1 == pieces.size() || !parseStatement(s, &r))
            return KEL_ERROR(kelstr_CAudioParamRemapDef_init_InvalidRemap, s);
        out->push_back(std::move(r));
    }
    return {};
}

CError CAudioParamRemapDef::init() {
    KEL_TRY(CObject::init());
    m_remaps.clear();
    const CString orig = attr("orig").trimmed(), target = attr("new").trimmed();
    if (!orig.empty() || !target.empty()) {
        if (!validName(orig) || !validName(target))
            return KEL_ERROR(kelstr_CAudioParamRemapDef_init_InvalidRemap, orig + CString(" = ") + target);
        m_remaps.push_back({orig, target});
    }
    for (const auto& child : children())
        if (child->name() == "content" || child->tag() == "content")
            KEL_TRY(parseStatements(child->attr("value"), &m_remaps));
    if (m_remaps.empty()) return KEL_ERROR(kelstr_CAudioParamRemapDef_init_NoRemapsDefined);
    return {};
}

const CString* CAudioParamRemapDef::find(const CString& orig) const {
    for (const CAudioParamRemap& r : m_remaps)
        if (r.orig == orig) return &r.target;
    return nullptr;
}

CString CAudioParamRemapDef::resolveName(const CString& scopeFullName, const CString& name) {
    if (!name.empty() && name.at(0) == u'/') return name.substr(1);
    CString scope = scopeFullName;
    size_t i = 0;
    while (i < name.length() && name.at(i) == u'^') {
        size_t dot = scope.rfind(u'.');
        scope = dot == CString::npos ? CString() : scope.substr(0, dot);
        ++i;
    }
    CString rest = name.substr(i);
    if (scope.empty()) return rest;
    return scope + CString(".") + rest;
}
