#pragma once
// CStateSwitch (tag "ui:state-switch"): sets attributes of target views from
// conditions on parameter values. Each ui:state-data child has an "if"
// condition, "state-attrs" (the attributes it sets, with their values as
// its own attributes), optionally "state-tag" (a view state it sets while
// it holds) and "state-target" (blank-separated view paths; default the
// switch's "target"). On "update" (a watched value changed) every entry
// whose condition holds is applied in order; when none holds, the entry
// with an empty "if".
//
// Conditions: groups separated by "|" (any may hold) of conditions
// separated by "&" (all must hold); doubled signs read as one. A condition
// is "BRIDGE = VALUES", "BRIDGE == VALUES", "BRIDGE != VALUES" or just
// "VALUES" (for the switch's "bridge"); VALUES is a blank-separated list of
// integers, optionally led by "!". A bridge's value (its attribute
// "value", the parameter value it carries) is rounded half away from zero
// and looked up in the list. The switch runs "update" by itself whenever
// a bridge it names notifies "param-change".

#include <functional>
#include <vector>

#include "Core/Object.h"

KELSTR(CStateSwitch_buildExpression_NoDefBridge, "Default bridge name is not set.");
KELSTR(CStateSwitch_buildExpression_InvalidValue, "Invalid integer value '%1'");
KELSTR(CStateSwitch_buildExpression_NotNotAllowed,
       "The '!' sign is only allowed before the list of values: '%1'");
KELSTR(CStateSwitch_buildExpression_CondGroupsEmpty, "Condition group list cannot be empty: '%1'");
KELSTR(CStateSwitch_buildExpression_CondsEmpty, "Condition list cannot be empty: '%1'");
KELSTR(CStateSwitch_buildExpression_ValuesEmpty, "Value list cannot be empty: '%1'");
KELSTR(CStateSwitch_buildExpression_BadSyntax, "Invalid 'if' attribute syntax.");
KELSTR(CStateSwitch_registerState_ReservedStateName, "Reserved attribute name specified in state-attrs in %1");
KELSTR(CStateSwitch_registerState_NoStateAttrs, "Both state-attrs and state-tag are empty in %1");

struct CStateCondition {
    CString bridge;
    bool negate = false;  // "!=" or "!": holds when the value is not listed
    std::vector<int64_t> values;
};
// Groups of conditions: any group holds when all its conditions hold.
using CStateExpression = std::vector<std::vector<CStateCondition>>;

CError kelParseStateExpression(const CString& text, const CString& defaultBridge, CStateExpression* out);
// valueOf answers a bridge's current value (false: no such bridge, which
// makes the condition fail).
bool kelEvaluateStateExpression(const CStateExpression& e,
                                const std::function<bool(const CString& bridge, double* value)>& valueOf);

class CStateSwitch : public CObject {
public:
    static void registerEvents(CClassRecord& record);
    CError init() override;
    CError initLinks() override;
    // Applies the entries whose conditions hold now.
    CError update();

private:
    struct Entry {
        CObject* node = nullptr;
        bool always = false;  // empty "if"
        CStateExpression expression;
    };
    std::vector<Entry> m_entries;
};
