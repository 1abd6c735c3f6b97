#pragma once
// CMinMax (tag "ui:min-max"): the range that places meter values.
//
// "min" and "max" (doubles), "is-log" ("false") and "scale-power" ("1.0").
// Setting "min" or "max" to a value that differs from the stored one by
// more than the double epsilon stores it and notifies "min-max-update";
// an equal value notifies nothing. "ui-param-min" / "ui-param-max" name
// parameter bridges whose values (element 0, group 0) the range follows
// instead (such as the output meter's range settings). "min-max-ready" is
// notified once bound.
//
// Position of a value v (0 at min, 1 at max, clamped): t = (v − min) /
// (max − min); with "is-log" the values are amplitudes and t = log(v/min) /
// log(max/min) (min above 0); then pos = t^(1/scale-power), so a power
// above 1 spreads the low end (small gain reductions stay visible).

#include "Core/Object.h"

KELSTR(CMinMax_setRange_Invalid, "Invalid range value '%1'.");

class CParamBridge;

class CMinMax : public CObject {
public:
    static void registerEvents(CClassRecord& record);
    CError init() override;
    CError initLinks() override;
    CError initDone() override;
    CError onAttrChanged(const CString& attrName) override;

    double min() const { return m_min; }
    double max() const { return m_max; }
    double position(double v) const;
    // The value at a position (the inverse of position()).
    double valueAt(double pos) const;
    uint64_t updates() const { return m_updates; }

private:
    CError read(const CString& name, double* out);
    CError follow();
    double m_min = -60, m_max = 0, m_power = 1;
    bool m_log = false;
    uint64_t m_updates = 0;
    CParamBridge* m_minBridge = nullptr;
    CParamBridge* m_maxBridge = nullptr;
};
