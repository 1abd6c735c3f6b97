// Selectors of the channel routing.
#include "UI/Routing/RoutingSelector.h"

#include <algorithm>
#include <cmath>

#include "Platform/Window/Window.h"
#include "UI/Controls/ParamBridge.h"

void CRoutingSelector::registerEvents(CClassRecord& record) {
    CParamSwitch::registerEvents(record);
    record.addEvent("binding-change", [](CObject* self, CEventParams&) -> CError {
        return static_cast<CRoutingSelector*>(self)->showValue();
    });
    record.addEvent("next", [](CObject* self, CEventParams&) -> CError {
        return static_cast<CRoutingSelector*>(self)->stepBy(1);
    });
    record.addEvent("previous", [](CObject* self, CEventParams&) -> CError {
        return static_cast<CRoutingSelector*>(self)->stepBy(-1);
    });
}

CError CRoutingSelector::initLinks() {
    if (!attr("names-bridge").trimmed().empty()) {
        KEL_TRY(findObjectByAttr("names-bridge", &m_names));
        listenObject(m_names, "param-change", this, "binding-change");
    }
    return CParamSwitch::initLinks();
}

CError CRoutingSelector::initDone() {
    KEL_TRY(CParamSwitch::initDone());
    return showValue();
}

int CRoutingSelector::value() const {
    const CParamBridge* b = binding().bridge();
    if (!b || !b->isReady()) return 0;
    return int(std::lround(b->value(binding().group(), binding().element())));
}

int CRoutingSelector::maxValue() const {
    const CParamBridge* b = binding().bridge();
    int hi = b && b->isReady() ? int(std::lround(std::max(b->info()->minValue(0), b->info()->maxValue(0)))) : 0;
    if (hasAttr("max-value")) hi = std::min(hi, int(attrInt("max-value", hi)));
    return std::max(hi, 0);
}

CString CRoutingSelector::valueText(int v) const {
    const bool oneBased = attrBool("is-one-based");
    if (oneBased && v <= 0) return hasAttr("off-text") ? attr("off-text") : CString("Off");
    const int element = oneBased ? v - 1 : v;
    if (m_names && m_names->isReady() && element >= 0 && uint32_t(element) < m_names->elementCount(0)) {
        const CString name = m_names->text(0, uint32_t(element)).trimmed();
        if (!name.empty()) return name;
    }
    const CString number = CString::number(int64_t(element + 1));
    const CString format = attr("number-format");
    if (format.empty()) return number;
    CString out;
    for (size_t i = 0; i < format.length(); ++i) {
        if (format[i] == u'%' && i + 1 < format.length() && format[i + 1] == u'1') {
            out += number;
            ++i;
        } else {
            out += format[i];
        }
    }
    return out;
}

CError CRoutingSelector::showValue() {
    // Before the view is done its text would not be laid out (initDone shows it).
    if (initState() < 3 || !binding().isReady()) return {};
    const int v = value();
    KEL_TRY(attrBool("is-one-based") && v > 0 ? setState("on") : unsetState("on"));
    const CString t = valueText(v);
    if (!(t == attr("text"))) {
        KEL_TRY(setAttr("text", t, false));
        requestLayout();
    }
    requestRepaint();
    return {};
}

CError CRoutingSelector::stepBy(int steps) {
    if (isBlocked() || !binding().isReady() || !binding().bridge() || steps == 0) return {};
    const int n = maxValue() + 1;
    const int v = ((value() + steps) % n + n) % n;
    return select(double(v));
}

CError CRoutingSelector::onViewEvent(const CString& name, CEventParams& p) {
    const bool shift = p.get("is-shift") == "true";
    if (name == "mouse-release" || name == "mouse-release-r")
        return stepBy(name == "mouse-release-r" || shift ? -1 : 1);
    if (name == "key-press") {
        int64_t code = 0;
        if (!p.get("keycode").toInt(&code)) return {};
        if (code == plat::kKeyUp || code == plat::kKeyRight) return stepBy(1);
        if (code == plat::kKeyDown || code == plat::kKeyLeft) return stepBy(-1);
        return {};
    }
    if (name == "mouse-wheel") {
        double d = 0;
        if (!p.get("delta").toDouble(&d) || d == 0) return {};
        return stepBy(d > 0 ? 1 : -1);
    }
    return CParamSwitch::onViewEvent(name, p);
}
