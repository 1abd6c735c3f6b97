#pragma once
// CAudioProcessBuild: what building a runtime process tree needs from the
// plug-in instance: where runtime parameters are registered, and how a
// module's parameter names resolve through the remaps of its ancestors.
//
// Parameter names: a name is relative to the process that uses it ("gain" in
// "plugin.modMain.modTamblor.modInGain" means
// "plugin.modMain.modTamblor.modInGain.gain"); each leading "^" climbs one
// process; a leading "/" names a full name from the instance root
// ("/plugin.modMain.meter-rmstime"). Remaps of every enclosing container
// (audio:param-remap, "orig" relative to that container) then rebind the
// name, innermost container first.
//
// Threads: main thread only.

#include <memory>
#include <unordered_map>
#include <vector>

#include "Core/Object.h"

class CAudioProcessBase;
class CAudioProcessDefBase;
class CAudioParam;
class CAudioParamCollector;
class CAudioParamRemapDef;
class CAudioEnv;

class CAudioProcessBuild {
public:
    CAudioProcessBuild(CAudioParamCollector* collector, CAudioEnv* env);

    CAudioParamCollector* collector() const { return m_collector; }
    CAudioEnv* env() const { return m_env; }

    // The runtime process for a definition (a stack for stacked definitions).
    std::unique_ptr<CAudioProcessBase> createProcess(const CAudioProcessDefBase& def);

    // Creates the runtime parameters declared directly under a definition
    // node (audio:param children, and those inside plain groups) with names
    // below prefix, registers them with the collector and hands them to
    // `owned`. A name that already exists is not created again (the
    // instances of a stack share their parameters).
    CError createParams(const CObject& defNode, const CString& prefix,
                        std::vector<std::unique_ptr<CAudioParam>>* owned);
    // Channel groups of the instance (parameters hold this many value sets).
    int groupCount() const { return m_groupCount; }
    void setGroupCount(int n) { m_groupCount = n; }

    // The full parameter name for a name used at a process, after remaps.
    CString resolveParamName(const CAudioProcessBase& at, const CString& name) const;
    // The runtime parameter for that name, or nullptr when none is declared.
    CAudioParam* resolveParam(const CAudioProcessBase& at, const CString& name) const;

private:
    CString applyRemaps(const CAudioProcessBase& at, CString name) const;
    // The remap definitions directly under a definition, looked up once per build.
    const std::vector<const CAudioParamRemapDef*>& remapDefs(const CAudioProcessDefBase& def) const;

    CAudioParamCollector* m_collector;
    CAudioEnv* m_env;
    int m_groupCount = 8;
    mutable std::unordered_map<const CAudioProcessDefBase*, std::vector<const CAudioParamRemapDef*>> m_remapDefs;
};

// The process that contains a process (nullptr at the top).
CAudioProcessBase* kelParentProcess(const CAudioProcessBase& p);
// The nearest enclosing named process (stack instances are unnamed and share
// their stack's level).
CAudioProcessBase* kelParentLevel(const CAudioProcessBase& p);
