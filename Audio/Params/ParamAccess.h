#pragma once
// How the graph reads runtime parameters: a plain, lock-free read of the value
// at (group, element) by the lookup rule, with a fallback for an unbound
// parameter, and the parameter's change counter.

#include <cstdint>

class CAudioParam;

double kelParamValue(const CAudioParam* p, int group, int element, double fallback);
uint32_t kelParamChangeCount(const CAudioParam* p);
