// Switches, selectors and arrays of switches.
#include "UI/Controls/ParamSwitch.h"

#include <algorithm>
#include <cmath>

#include "Platform/Window/Window.h"
#include "UI/Controls/ParamBridge.h"

void CParamSwitch::registerEvents(CClassRecord& record) {
    CTextView::registerEvents(record);
    record.addEvent("binding-change", [](CObject* self, CEventParams&) -> CError {
        return static_cast<CParamSwitch*>(self)->refresh();
    });
    record.addEvent("next", [](CObject* self, CEventParams&) -> CError {
        return static_cast<CParamSwitch*>(self)->step(1);
    });
    record.addEvent("previous", [](CObject* self, CEventParams&) -> CError {
        return static_cast<CParamSwitch*>(self)->step(-1);
    });
}

CError CParamSwitch::initLinks() {
    // The first state and text are set before the view resolves its look,
    // which takes them in (attributes set earlier in this phase are stored,
    // not applied).
    KEL_TRY(m_binding.bind(*this, "binding-change"));
    KEL_TRY(refresh());
    // A switch without a font shows no text (its look comes from its states).
    if (attr("font-name").trimmed().empty()) return CView::initLinks();
    return CTextView::initLinks();
}

CError CParamSwitch::select(double v) {
    if (isBlocked() || !m_binding.isReady()) return {};
    CParamBridge* b = m_binding.bridge();
    if (!b) return m_binding.setNormalized(v >= 0.5 ? 1.0 : 0.0);
    const double lo = std::min(b->info()->minValue(0), b->info()->maxValue(0));
    const double hi = std::max(b->info()->minValue(0), b->info()->maxValue(0));
    v = std::clamp(std::round(v), lo, hi);
    KEL_TRY(b->setValue(m_binding.group(), m_binding.element(), v));
    // A parameter tied to a registry (the output metering type) selects that
    // registry's program of the same index: its settings come along.
    const CString registry = hasAttr("program-registry") ? attr("program-registry").trimmed() : b->info()->paramRegistry();
    if (!registry.empty()) {
        if (!m_registry) KEL_TRY(b->client()->listenRegistry(registry, &m_registry));
        KEL_TRY(b->client()->setCurrentProgram(m_registry, uint32_t(v - lo)));
    }
    return refresh();
}

double CParamSwitch::currentValue() const {
    const CParamBridge* b = m_binding.bridge();
    if (!b) return m_binding.normalized() >= 0.5 ? 1.0 : 0.0;
    return b->value(m_binding.group(), m_binding.element());
}

bool CParamSwitch::isOn() const {
    if (!m_binding.isReady()) return false;
    const double v = currentValue();
    if (hasAttr("switch-value")) return std::lround(v) == std::lround(attrReal("switch-value"));
    const CParamBridge* b = m_binding.bridge();
    const double lo = b && b->info() ? std::min(b->info()->minValue(0), b->info()->maxValue(0)) : 0.0;
    return std::lround(v) != std::lround(lo);
}

CError CParamSwitch::refresh() {
    if (!m_binding.isReady()) return {};
    KEL_TRY(isOn() ? setState("on") : unsetState("on"));
    if (attrBool("is-show-state-name") && m_binding.bridge()) {
        const CParamBridge* b = m_binding.bridge();
        const CString t = b->text(m_binding.group(), m_binding.element(), attr("text-format") == "short" ? 1 : 0);
        if (!(t == attr("text"))) KEL_TRY(setAttr("text", t, false));
    }
    requestRepaint();
    return {};
}

CError CParamSwitch::step(int steps) {
    if (isBlocked() || !m_binding.isReady() || steps == 0) return {};
    CParamBridge* b = m_binding.bridge();
    if (!b) return m_binding.setNormalized(m_binding.normalized() >= 0.5 ? 0.0 : 1.0);
    const double lo = std::min(b->info()->minValue(0), b->info()->maxValue(0));
    const double hi = std::max(b->info()->minValue(0), b->info()->maxValue(0));
    double v = std::round(currentValue()) + steps;
    const bool cycling = !hasAttr("is-cycling") || attrBool("is-cycling");
    if (v > hi) v = cycling ? lo : hi;
    if (v < lo) v = cycling ? hi : lo;
    return select(v);
}

CError CParamSwitch::onViewEvent(const CString& name, CEventParams& p) {
    const bool shift = p.get("is-shift") == "true";
    if (name == "mouse-release" || name == "mouse-release-r") {
        if (isBlocked() || !m_binding.isReady()) return {};
        if (hasAttr("switch-value")) return select(attrReal("switch-value"));
        return step(name == "mouse-release-r" || shift ? -1 : 1);
    }
    if (name == "key-press") {
        // Arrow keys on the focused selector: one step each.
        int64_t code = 0;
        if (!p.get("keycode").toInt(&code)) return {};
        const int steps = code == plat::kKeyUp || code == plat::kKeyRight ? 1
                          : code == plat::kKeyDown || code == plat::kKeyLeft ? -1 : 0;
        if (steps == 0) return {};
        p.set("is-handled", "true");
        return step(steps);
    }
    if (name == "mouse-wheel") {
        double d = 0;
        if (!p.get("delta").toDouble(&d) || d == 0) return {};
        return step(d > 0 ? 1 : -1);
    }
    return {};
}
