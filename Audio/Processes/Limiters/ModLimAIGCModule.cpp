#include "Audio/Processes/Limiters/ModLimAIGCModule.h"

#include <iterator>

namespace {
constexpr CModSlot kSlots[] = {
    {"attack", 0.0015}, {"type", 0.0}, {"release", 0.25}, {"release-enable", 0.0}, {"drc-type", 0.0},
};
static_assert(std::size(kSlots) == CModLimAIGC::Params::kCount);
}  // namespace

CError CModLimAIGCModule::moduleSetup(CAudioProcessBuild& b) {
    registerSlots(b, kSlots);
    return {};
}
