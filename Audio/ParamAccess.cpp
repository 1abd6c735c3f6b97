#include "Audio/ParamAccess.h"

// Placeholder until the runtime parameters land: every parameter is unbound.
double kelParamValue(const CAudioParam* p, int, int, double fallback) { return p ? fallback : fallback; }
uint32_t kelParamChangeCount(const CAudioParam*) { return 0; }
