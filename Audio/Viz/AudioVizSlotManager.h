#pragma once
// CAudioVizSlotManager: the export slots through which an instance offers the
// data of its channel groups to displays outside its own editor. There are
// kSlotCount slots; each is free or assigned to one channel group with a
// colour number.
//
// Assignment rules: a slot is assigned explicitly (assign) or from the two
// export parameters (assignFromParams): the slot parameter holds, per channel
// group, the slot number counted from 1 (0 or out of range: none), the colour
// parameter the group's colour number. When two groups name the same slot the
// lower group keeps it.
//
// Export slot name block (the body of "export-slot-names"): u32 slot count,
// then one stream string per slot, empty for a free slot; an assigned slot's
// text is the instance name, ": ", the slot number counted from 1, " (", the
// group name, ")|color=" and the colour number in decimal.
//
// Threads: used under the collector's lock.

#include <array>
#include <cstdint>
#include <functional>

#include "Core/Error.h"
#include "Core/Stream.h"
#include "Core/String.h"

class CAudioParam;

class CAudioVizSlotManager {
public:
    static constexpr int kSlotCount = 8;

    struct Slot {
        bool assigned = false;
        int group = 0;
        uint32_t color = 0;
    };

    const Slot& slot(int index) const { return m_slots[size_t(index)]; }
    // False when the index is out of range.
    bool assign(int index, int group, uint32_t color);
    void release(int index);
    void clear();
    // Rebuilds the assignment from the export parameters of groupCount groups.
    void assignFromParams(const CAudioParam& slotParam, const CAudioParam* colorParam, int groupCount);

    // The text of an assigned slot (empty for a free one). groupName gives
    // the display name of a channel group.
    CString slotText(int index, const CString& instanceName, const std::function<CString(int)>& groupName) const;
    CError writeNames(COutputStream& out, const CString& instanceName,
                      const std::function<CString(int)>& groupName) const;

private:
    std::array<Slot, kSlotCount> m_slots{};
};
