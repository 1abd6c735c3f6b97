#include "Audio/ProcessBuild.h"

#include "Audio/ProcessBase.h"
#include "Audio/ProcessDef.h"
#include "Audio/ProcessStack.h"

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

CError CAudioProcessBuild::createParams(const CObject&, const CString&) { return {}; }

CString CAudioProcessBuild::resolveParamName(const CAudioProcessBase& at, const CString& name) const {
    return at.paramPrefix() + CString(".") + name;
}

CAudioParam* CAudioProcessBuild::resolveParam(const CAudioProcessBase&, const CString&) const { return nullptr; }
