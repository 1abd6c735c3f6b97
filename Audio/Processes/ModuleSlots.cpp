#include "Audio/Processes/ModuleSlots.h"

#include "Audio/Params/AudioParamAlloc.h"
#include "Audio/Params/AudioParamDef.h"

CString kelModuleSlotName(const CAudioProcessDefBase& def, int index, const char* name) {
    for (const auto& c : def.children())
        if (auto* alloc = dynamic_cast<const CAudioParamAllocDef*>(c.get()); alloc && alloc->index() == index)
            return alloc->paramName();
    return CString(name);
}

double kelModuleSlotDefault(const CAudioProcessDefBase& def, int index, const char* name, double fallback) {
    const CString paramName = kelModuleSlotName(def, index, name);
    for (const auto& c : def.children())
        if (auto* p = dynamic_cast<const CAudioParamDef*>(c.get()); p && p->isParsed() && c->name() == paramName)
            return p->info().defaultValue(0);
    return fallback;
}
