#include "Audio/Viz/AudioVizSlotManager.h"

#include <cmath>

#include "Audio/Params/AudioParam.h"

bool CAudioVizSlotManager::assign(int index, int group, uint32_t color) {
    if (index < 0 || index >= kSlotCount) return false;
    m_slots[size_t(index)] = {true, group, color};
    return true;
}

void CAudioVizSlotManager::release(int index) {
    if (index >= 0 && index < kSlotCount) m_slots[size_t(index)] = Slot{};
}

void CAudioVizSlotManager::clear() { m_slots.fill(Slot{}); }

void CAudioVizSlotManager::assignFromParams(const CAudioParam& slotParam, const CAudioParam* colorParam,
                                            int groupCount) {
    clear();
    for (int g = 0; g < groupCount; ++g) {
        const double v = slotParam.value(uint32_t(g), 0);
        if (!std::isfinite(v)) continue;
        const long number = std::lround(v);
        if (number < 1 || number > kSlotCount || m_slots[size_t(number - 1)].assigned) continue;
        const double c = colorParam ? colorParam->value(uint32_t(g), 0) : 0.0;
        assign(int(number - 1), g, std::isfinite(c) && c > 0.0 ? uint32_t(std::lround(c)) : 0u);
    }
}

CString CAudioVizSlotManager::slotText(int index, const CString& instanceName,
                                       const std::function<CString(int)>& groupName) const {
    if (index < 0 || index >= kSlotCount || !m_slots[size_t(index)].assigned) return CString();
    const Slot& s = m_slots[size_t(index)];
    return instanceName + CString(": ") + CString::number(int64_t(index + 1)) + CString(" (") + groupName(s.group) +
           CString(")|color=") + CString::number(int64_t(s.color));
}

CError CAudioVizSlotManager::writeNames(COutputStream& out, const CString& instanceName,
                                        const std::function<CString(int)>& groupName) const {
    KEL_TRY(out.writeU32(uint32_t(kSlotCount)));
    for (int i = 0; i < kSlotCount; ++i) KEL_TRY(out.writeString(slotText(i, instanceName, groupName)));
    return {};
}
