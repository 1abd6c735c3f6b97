#pragma once
// View states and view commands.
//
// A view's appearance follows its set of named states. Each ui:view-state
// child (CViewState) declares the attributes ("state-attrs") that take the
// values it gives while its state is set; the view keeps its set states
// ordered by name and combines their attributes in that order (CViewStateSet):
// a later state's value replaces an earlier one, except "color-state", whose
// values are joined with a blank unless a value starts with "/" (then it
// replaces the whole list with the rest of the value).
//
// A ui:view-command child (CViewCommand) reacts to one event of its view: it
// runs events on other objects, sets, clears or toggles states, sets or
// toggles attributes and resets shared attributes.

#include <optional>
#include <utility>
#include <vector>

#include "Core/Object.h"

KELSTR(CViewBaseState_addViewState_ReservedStateName, "Reserved attribute name specified in state-attrs in %1");
KELSTR(CViewBaseState_addViewState_NoStateAttrs, "The state-attrs attribute is empty in %1");
KELSTR(CViewState_initChilds_NoStateName, "State name is empty.");
KELSTR(CViewState_initChilds_InvalidParent, "Parent object is not a view.");
KELSTR(CViewCommand_init_InvalidParent, "Parent object is not a view.");
KELSTR(CViewBaseState_runCommand_NoParamData, "Unexpected tag '%1', expected <param>.");

class CView;

// One declared state: its name and the attribute values it sets.
struct CStateDef {
    CString name;
    std::vector<std::pair<CString, CString>> attrs;
    std::optional<double> duration, morphDuration;
};

class CViewStateSet {
public:
    // Registers a state (a later one of the same name replaces it).
    void add(CStateDef def);
    const CStateDef* find(const CString& name) const;

    bool isSet(const CString& name) const;
    // Each returns true when the set changed.
    bool set(const CString& name);
    bool unset(const CString& name);
    bool toggle(const CString& name);
    // The set states, ordered by name.
    const std::vector<CString>& active() const { return m_active; }

    struct Combined {
        std::vector<std::pair<CString, CString>> attrs;
        double duration = 0, morphDuration = 0;
    };
    Combined combine() const;
    // Every attribute some registered state sets.
    std::vector<CString> controlledAttrs() const;

    // Whether an attribute name may not be set by a state.
    static bool isReserved(const CString& attrName);

private:
    std::vector<CStateDef> m_defs;
    std::vector<CString> m_active;
};

// ui:view-state
class CViewState : public CObject {
public:
    CError init() override;
    // Reads a state's declaration from a node's "state-attrs" and values.
    static CError readDef(const CObject& node, const CString& name, CStateDef* out);
};

// ui:view-command
class CViewCommand : public CObject {
public:
    CError init() override;
    static void registerEvents(CClassRecord& record);
    // Runs the command for its view (the event's attributes in params).
    CError run(CView& view, const CEventParams& params);
};
