#pragma once
// CAttrDoubler (tag core:attr-doubler): copies its "value" to attribute
// "attr" of every object named in "target" (paths separated by blanks, such
// as "^^" or "^knob-time ^trans-view").
//
// Targets are found at init. Whenever "value" changes on the initialised
// doubler (its "value" event), each target's attribute is set, stopping at
// the first error; the first copy happens when initialisation completes,
// unless "value" is empty. Targets are held as plain pointers: they must
// outlive the doubler (ancestors and siblings do).

#include <vector>

#include "Core/Object.h"

KELSTR(CAttrDoubler_init_NoTargets, "No target objects specified.");
KELSTR(CAttrDoubler_init_TargetNotFound, "Target object '%1' not found.");

class CAttrDoubler : public CObject {
public:
    static void registerEvents(CClassRecord& record);
    CError init() override;
    CError initDone() override;

    // Sets "attr" of every target to "value".
    CError copyValue();
    const std::vector<CObject*>& targets() const { return m_targets; }

private:
    std::vector<CObject*> m_targets;
    CString m_attr;
};
