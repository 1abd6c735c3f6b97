// The value range of meters.
#include "UI/Controls/MinMax.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "UI/Controls/ParamBridge.h"

void CMinMax::registerEvents(CClassRecord& record) {
    CObject::registerEvents(record);
    record.addEvent("bridge-change", [](CObject* self, CEventParams&) -> CError {
        return static_cast<CMinMax*>(self)->follow();
    });
}

CError CMinMax::read(const CString& name, double* out) {
    if (!hasAttr(name)) return {};
    double v = 0;
    if (!attr(name).trimmed().toDouble(&v) || !std::isfinite(v)) return KEL_ERROR(kelstr_CMinMax_setRange_Invalid, attr(name));
    *out = v;
    return {};
}

CError CMinMax::init() {
    KEL_TRY(read("min", &m_min));
    KEL_TRY(read("max", &m_max));
    KEL_TRY(read("scale-power", &m_power));
    if (!(m_power > 0)) m_power = 1;
    m_log = attrBool("is-log");
    return CObject::init();
}

CError CMinMax::initLinks() {
    KEL_TRY(CObject::initLinks());
    if (!attr("ui-param-min").trimmed().empty()) {
        KEL_TRY(findObjectByAttr("ui-param-min", &m_minBridge));
        CObject::listenObject(m_minBridge, "param-change", this, "bridge-change");
    }
    if (!attr("ui-param-max").trimmed().empty()) {
        KEL_TRY(findObjectByAttr("ui-param-max", &m_maxBridge));
        CObject::listenObject(m_maxBridge, "param-change", this, "bridge-change");
    }
    return {};
}

CError CMinMax::initDone() {
    KEL_TRY(CObject::initDone());
    KEL_TRY(follow());
    return notify("min-max-ready");
}

CError CMinMax::follow() {
    if (m_minBridge && m_minBridge->isReady()) KEL_TRY(setAttr("min", CString::number(m_minBridge->value(0, 0))));
    if (m_maxBridge && m_maxBridge->isReady()) KEL_TRY(setAttr("max", CString::number(m_maxBridge->value(0, 0))));
    return {};
}

CError CMinMax::onAttrChanged(const CString& name) {
    if (initState() < 3 || !(name == "min" || name == "max" || name == "scale-power" || name == "is-log"))
        return CObject::onAttrChanged(name);
    double* slot = name == "min" ? &m_min : name == "max" ? &m_max : name == "scale-power" ? &m_power : nullptr;
    bool changed = false;
    if (slot) {
        double v = *slot;
        KEL_TRY(read(name, &v));
        changed = std::abs(v - *slot) > std::numeric_limits<double>::epsilon();
        if (changed) *slot = v;
    } else {
        changed = m_log != attrBool("is-log");
        m_log = attrBool("is-log");
    }
    if (!changed) return {};
    ++m_updates;
    return notify("min-max-update");
}

double CMinMax::position(double v) const {
    double t = 0;
    if (m_log) {
        if (!(m_min > 0) || !(m_max > 0) || m_min == m_max) return 0;
        if (!(v > 0)) return 0;
        t = std::log(v / m_min) / std::log(m_max / m_min);
    } else {
        if (m_max == m_min) return 0;
        if (std::isnan(v)) return 0;
        t = (v - m_min) / (m_max - m_min);
    }
    t = std::clamp(t, 0.0, 1.0);
    return m_power == 1.0 ? t : std::pow(t, 1.0 / m_power);
}

double CMinMax::valueAt(double pos) const {
    const double t = std::pow(std::clamp(pos, 0.0, 1.0), m_power);
    if (m_log) return m_min > 0 && m_max > 0 ? m_min * std::pow(m_max / m_min, t) : 0.0;
    return m_min + (m_max - m_min) * t;
}
