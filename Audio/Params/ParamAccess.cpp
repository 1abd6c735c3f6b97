#include "Audio/Params/ParamAccess.h"

#include "Audio/Params/AudioParam.h"

double kelParamValue(const CAudioParam* p, int group, int element, double fallback) {
    return p ? p->value(uint32_t(group), uint32_t(element)) : fallback;
}

uint32_t kelParamChangeCount(const CAudioParam* p) { return p ? p->changeCount() : 0; }
