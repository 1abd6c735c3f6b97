#include "Audio/Processes/Limiters/ModLimTBIModule.h"

#include <iterator>

namespace {
constexpr CModSlot kSlots[] = {{"attack", 0.0015}};
static_assert(std::size(kSlots) == CModLimTBI::Params::kCount);
}  // namespace

CError CModLimTBIModule::moduleSetup(CAudioProcessBuild& b) {
    registerSlots(b, kSlots);
    return {};
}
