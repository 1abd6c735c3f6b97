#include "Audio/Processes/Limiters/ModLimClipModule.h"

#include <iterator>

namespace {
constexpr CModSlot kSlots[] = {{"drc-type", 0.0}};
static_assert(std::size(kSlots) == CModLimClip::Params::kCount);
}  // namespace

CError CModLimClipModule::moduleSetup(CAudioProcessBuild& b) {
    m_clipLevel = m_def->attrReal("clip-level", 0.0);
    registerSlots(b, kSlots);
    return {};
}
