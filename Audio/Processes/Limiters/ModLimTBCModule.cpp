#include "Audio/Processes/Limiters/ModLimTBCModule.h"

#include <iterator>

namespace {
constexpr CModSlot kSlots[] = {{"attack", 0.0015}};
static_assert(std::size(kSlots) == CModLimTBC::Params::kCount);
}  // namespace

CError CModLimTBCModule::moduleSetup(CAudioProcessBuild& b) {
    registerSlots(b, kSlots);
    return {};
}
