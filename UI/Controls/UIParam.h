#pragma once
// What binds a control to a value.
//
// CParamBinding: one element of a parameter bridge in the group a group
// selector names (group 0 without one), or a plain local value between
// "simple-min-value" and "simple-max-value". Its owner (a view or a
// CUIParam) hears "param-change" of the bridge and "group-change" of the
// selector through the handler it names.
//
// CUIParam (tag "ui:ui-param"): a binding as an object of the definitions:
// "bridge" (path of a ui:param-bridge), "element" ("0"), "group-selector",
// "is-update-on-any-group" ("false": changes of other groups are not
// reported), "is-simple-attr" ("true": a plain local value),
// "simple-def-value", "simple-min-value", "simple-max-value". It notifies
// "value-changed" and, once bound, "ui-param-ready".

#include "Core/Object.h"

KELSTR(CUIParam_init_InvalidParent, "Parent object does not support ui-param.");
KELSTR(CUIParam_init_NoSharedAttribute, "Invalid parameter shared attribute '%1'.");
KELSTR(CUIParam_init_InvalidElement, "Invalid element '%1'.");

class CParamBridge;
class CParamGroupSelector;

class CParamBinding {
public:
    // Reads "bridge", "element", "group-selector" and the simple-value
    // attributes of `owner` and subscribes `owner`'s event `handler` to the
    // bridge's and the selector's changes.
    CError bind(CObject& owner, const CString& handler);

    CParamBridge* bridge() const { return m_bridge; }
    CParamGroupSelector* selector() const { return m_selector; }
    uint32_t element() const { return m_element; }
    // The group edited now.
    uint32_t group() const;
    bool isReady() const;
    bool isDiscrete() const;

    double normalized(uint32_t elementOffset = 0) const;
    double normalizedIn(uint32_t group, uint32_t elementOffset) const;
    double defaultNormalized(uint32_t elementOffset = 0) const;
    CString text() const;
    // The plain local value at a normalised position.
    double plainValueAt(double position) const { return m_min + (m_max - m_min) * position; }
    // Sets the value at a normalised position (plain values keep it locally).
    CError setNormalized(double position, uint32_t elementOffset = 0);

private:
    CParamBridge* m_bridge = nullptr;
    CParamGroupSelector* m_selector = nullptr;
    uint32_t m_element = 0;
    // A plain local value.
    double m_min = 0, m_max = 1, m_default = 0, m_value = 0;
};

class CUIParam : public CObject {
public:
    static void registerEvents(CClassRecord& record);
    CError initLinks() override;
    CError initDone() override;
    CParamBinding& binding() { return m_binding; }
    const CParamBinding& binding() const { return m_binding; }

private:
    CParamBinding m_binding;
};
