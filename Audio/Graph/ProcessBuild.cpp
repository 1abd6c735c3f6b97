#include "Audio/Graph/ProcessBuild.h"

#include "Audio/Params/AudioParam.h"
#include "Audio/Params/AudioParamCollector.h"
#include "Audio/Params/AudioParamRemap.h"
#include "Audio/Graph/ProcessBase.h"
#include "Audio/Graph/ProcessDef.h"
#include "Audio/Graph/ProcessStack.h"

CAudioProcessBuild::CAudioProcessBuild(CAudioParamCollector* collector, CAudioEnv* env)
    : m_collector(collector), m_env(env) {}

std::unique_ptr<CAudioProcessBase> CAudioProcessBuild::createProcess(const CAudioProcessDefBase& def) {
    if (def.isStacked()) return std::make_unique<CAudioProcessStack>();
    return def.createProcess();
}

CAudioProcessBase* kelParentProcess(const CAudioProcessBase& p) {
    for (CObject* o = p.parent(); o; o = o->parent())
        if (auto* proc = dynamic_cast<CAudioProcessBase*>(o)) return proc;
    return nullptr;
}

CAudioProcessBase* kelParentLevel(const CAudioProcessBase& p) {
    CAudioProcessBase* up = kelParentProcess(p);
    while (up && up->name().empty()) up = kelParentProcess(*up);
    return up;
}

CError CAudioProcessBuild::createParams(const CObject& defNode, const CString& prefix,
                                        std::vector<std::unique_ptr<CAudioParam>>* owned) {
    for (const auto& child : defNode.children()) {
        const CObject& c = *child;
        if (auto* pdef = dynamic_cast<const CAudioParamDef*>(&c)) {
            const CString full = prefix + CString(".") + c.name();
            if (m_collector && m_collector->findParam(full)) continue;
            std::unique_ptr<CAudioParam> param = CAudioParam::create(*pdef, full, uint32_t(m_groupCount));
            if (m_collector) KEL_TRY(m_collector->registerParam(param.get()));
            owned->push_back(std::move(param));
            continue;
        }
        // Plain groups ("io-params", "mode-params") hold parameters below their
        // own name; process definitions declare their own.
        if (c.tag() == "core:object" && !c.name().empty())
            KEL_TRY(createParams(c, prefix + CString(".") + c.name(), owned));
    }
    return {};
}

namespace {

// Whether name is scope + "." + orig, compared in place.
bool isScopedName(const CString& name, const CString& scope, const CString& orig) {
    const size_t s = scope.length();
    if (name.length() != s + 1 + orig.length() || name.at(s) != u'.') return false;
    for (size_t i = 0; i < orig.length(); ++i)
        if (name.at(s + 1 + i) != orig.at(i)) return false;
    return name.startsWith(scope);
}

}  // namespace

const std::vector<const CAudioParamRemapDef*>& CAudioProcessBuild::remapDefs(const CAudioProcessDefBase& def) const {
    auto [it, added] = m_remapDefs.try_emplace(&def);
    if (added)
        for (const auto& child : def.children())
            if (auto* remap = dynamic_cast<const CAudioParamRemapDef*>(child.get())) it->second.push_back(remap);
    return it->second;
}

CString CAudioProcessBuild::applyRemaps(const CAudioProcessBase& at, CString name) const {
    // Innermost container first; a rebound name may be rebound again further out.
    for (const CAudioProcessBase* level = &at; level; level = kelParentLevel(*level)) {
        const CAudioProcessDefBase* def = level->def();
        if (!def) continue;
        const auto& remaps = remapDefs(*def);
        if (remaps.empty()) continue;
        const CString scope = level->paramPrefix();
        for (const CAudioParamRemapDef* remap : remaps)
            for (const CAudioParamRemap& r : remap->remaps())
                if (isScopedName(name, scope, r.orig)) {
                    name = CAudioParamRemapDef::resolveName(scope, r.target);
                    break;
                }
    }
    return name;
}

CString CAudioProcessBuild::resolveParamName(const CAudioProcessBase& at, const CString& name) const {
    if (!name.empty() && name.at(0) == u'/') return applyRemaps(at, name.substr(1));
    const CAudioProcessBase* base = &at;
    size_t i = 0;
    while (i < name.length() && name.at(i) == u'^') {
        if (const CAudioProcessBase* up = kelParentLevel(*base)) base = up;
        ++i;
    }
    const CString rest = name.substr(i);
    // Children of a process switch answer to the switch's alias first.
    const CString own = base->paramPrefix() + CString(".") + rest;
    const CString alias = base->paramAliasPrefix() + CString(".") + rest;
    if (!(alias == own)) {
        const CString mapped = applyRemaps(*base, alias);
        if (!(mapped == alias) || (m_collector && m_collector->findParam(alias))) return mapped;
    }
    return applyRemaps(*base, own);
}

CAudioParam* CAudioProcessBuild::resolveParam(const CAudioProcessBase& at, const CString& name) const {
    if (!m_collector) return nullptr;
    return m_collector->findParam(resolveParamName(at, name));
}
