#pragma once
// What a module definition says about its parameter slots, for modules that
// need more than the slot's value: the parameter name a slot binds to (the
// "param-name" of the definition's audio:param-alloc of that index, else the
// slot's own name) and the default the definition declares for it (the
// audio:param child of that name), which serves as the slot's fallback.

#include "Audio/Graph/ProcessDef.h"

CString kelModuleSlotName(const CAudioProcessDefBase& def, int index, const char* name);
double kelModuleSlotDefault(const CAudioProcessDefBase& def, int index, const char* name, double fallback);
