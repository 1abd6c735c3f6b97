#include "Audio/Processes/Limiters/ModLimTBModule.h"

#include <iterator>

namespace {
// Index order; values as the processor receives them (seconds, fractions,
// factors), with the value used while a slot is unbound.
constexpr CModSlot kSlots[] = {
    {"attack", 0.0015},     {"type", 0.0},     {"knee", 0.0},   {"release", 0.25},        {"release-enable", 0.0},
    {"aigc-type", 0.0},     {"drc-type", 0.0}, {"timing", 1.0}, {"release-ratio", 0.5},   {"release-shape", 0.5},
};
static_assert(std::size(kSlots) == CModLimTB::Params::kCount);
}  // namespace

CError CModLimTBModule::moduleSetup(CAudioProcessBuild& b) {
    registerSlots(b, kSlots);
    return {};
}
