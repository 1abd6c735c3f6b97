// Drags, wheel notches and resets as value changes.
#include "UI/Controls/UIParamController.h"

#include <algorithm>
#include <cmath>

#include "UI/Controls/ParamBridge.h"

void CShiftController::setActiveGroups(const CString& list) {
    m_allGroups = false;
    m_groups.clear();
    for (const CString& s : splitBlanks(list)) {
        if (s == "all") {
            m_allGroups = true;
            continue;
        }
        int64_t g = 0;
        if (s.toInt(&g) && g >= 0 && g < 256) m_groups.push_back(uint32_t(g));
    }
}

std::vector<uint32_t> CShiftController::activeGroups() const {
    std::vector<uint32_t> out;
    if (!m_binding) return out;
    out.push_back(m_binding->group());
    const CParamBridge* b = m_binding->bridge();
    if (!b || b->info()->isSingleGroup()) return out;
    std::vector<uint32_t> more = m_groups;
    if (m_allGroups)
        for (uint32_t g = 0; g < b->groupCount(); ++g) more.push_back(g);
    for (uint32_t g : more)
        if (std::find(out.begin(), out.end(), g) == out.end()) out.push_back(g);
    return out;
}

double CShiftController::changeOf(const Shift& s) const {
    if (m_binding && m_binding->isDiscrete()) {
        const CParamBridge* b = m_binding->bridge();
        return b->stepNormalized(m_binding->group(), m_binding->element(), s.amount > 0.01 ? 1 : -1);
    }
    const double step = (s.wheel ? m_precision.wheelStep : m_precision.dragStep) * m_sensitivity;
    return s.amount * step * (s.fine ? m_precision.fine : 1.0);
}

CError CShiftController::advance(const Shift& s) {
    if (m_blocked || !m_binding || !m_binding->isReady()) return {};
    const double change = changeOf(s);
    if (change == 0.0) return {};
    CParamBridge* b = m_binding->bridge();
    if (!b) return m_binding->setNormalized(m_binding->normalized() + change);
    if (m_inGesture && !b->inGesture()) KEL_TRY(b->beginGesture(b->info()->visualName(), -1));
    for (uint32_t g : activeGroups()) {
        std::vector<CParamBridge::Edit> edits;
        for (uint32_t i = 0; i < m_count; ++i) {
            const uint32_t e = m_binding->element() + i;
            edits.push_back({e, b->normalized(g, e) + change});
        }
        KEL_TRY(b->setNormalized(g, edits));
    }
    return {};
}

CError CShiftController::reset() {
    if (m_blocked || !m_binding || !m_binding->isReady()) return {};
    CParamBridge* b = m_binding->bridge();
    if (!b) return m_binding->setNormalized(m_binding->defaultNormalized());
    for (uint32_t g : activeGroups()) {
        std::vector<CParamBridge::Edit> edits;
        for (uint32_t i = 0; i < m_count; ++i) {
            const uint32_t e = m_binding->element() + i;
            edits.push_back({e, b->defaultNormalized(e)});
        }
        KEL_TRY(b->setNormalized(g, edits));
    }
    return {};
}

CError CShiftController::finishGesture() {
    m_inGesture = false;
    if (m_binding && m_binding->bridge()) return m_binding->bridge()->endGesture();
    return {};
}

// --- ui:ui-param-controller -----------------------------------------------------------------

void CUIParamController::registerEvents(CClassRecord& record) {
    CObject::registerEvents(record);
    record.addEvent("start-shift", [](CObject* self, CEventParams&) -> CError {
        auto* c = static_cast<CUIParamController*>(self);
        // The global settings may have changed since the last gesture.
        c->m_controller.setPrecision(CGlobalSettings::precisionFor(*c));
        c->m_controller.startGesture();
        return {};
    });
    record.addEvent("advance-shift", [](CObject* self, CEventParams& p) -> CError {
        CShiftController::Shift s;
        p.get("shift").toDouble(&s.amount);
        s.fine = p.get("is-fine") == "true";
        s.wheel = p.get("is-wheel") == "true";
        return static_cast<CUIParamController*>(self)->m_controller.advance(s);
    });
    record.addEvent("finish-shift", [](CObject* self, CEventParams&) -> CError {
        return static_cast<CUIParamController*>(self)->m_controller.finishGesture();
    });
    record.addEvent("reset", [](CObject* self, CEventParams&) -> CError {
        return static_cast<CUIParamController*>(self)->m_controller.reset();
    });
}

CError CUIParamController::initLinks() {
    KEL_TRY(CObject::initLinks());
    CUIParam* param = nullptr;
    KEL_TRY(findObjectByAttr("ui-param", &param));
    m_controller.setBinding(&param->binding());
    m_controller.setPrecision(CGlobalSettings::precisionFor(*this));
    m_controller.setSensitivity(attrReal("sensitivity", 1.0));
    m_controller.setActiveGroups(attr("active-audio-groups"));
    m_controller.setElementCount(uint32_t(std::max<int64_t>(1, attrInt("ui-param-count", 1))));
    return {};
}
