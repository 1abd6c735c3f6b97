// Bindings of controls to parameter elements.
#include "UI/Controls/UIParam.h"

#include <algorithm>

#include "Core/Log.h"
#include "UI/Controls/ParamBridge.h"
#include "UI/Controls/ParamGroup.h"

CError CParamBinding::bind(CObject& owner, const CString& handler) {
    m_bridge = nullptr;
    m_selector = nullptr;
    m_element = 0;
    if (owner.hasAttr("element")) {
        int64_t e = 0;
        if (!owner.attr("element").trimmed().toInt(&e) || e < 0)
            return KEL_ERROR(kelstr_CUIParam_init_InvalidElement, owner.attr("element"));
        m_element = uint32_t(e);
    }
    if (owner.attrBool("is-simple-attr") || !owner.hasAttr("bridge")) {
        m_min = owner.attrReal("simple-min-value", 0.0);
        m_max = owner.attrReal("simple-max-value", 1.0);
        m_default = owner.attrReal("simple-def-value", 0.0);
        m_value = m_default;
        if (!owner.attrBool("is-simple-attr")) return {};
    } else {
        KEL_TRY(owner.findObjectByAttr("bridge", &m_bridge));
        CObject::listenObject(m_bridge, "param-change", &owner, handler);
    }
    if (!owner.attr("group-selector").trimmed().empty()) {
        KEL_TRY(owner.findObjectByAttr("group-selector", &m_selector));
        CObject::listenObject(m_selector, "group-change", &owner, handler);
    }
    return {};
}

uint32_t CParamBinding::group() const { return m_selector ? uint32_t(m_selector->index()) : 0u; }

bool CParamBinding::isReady() const { return !m_bridge || m_bridge->isReady(); }

bool CParamBinding::isDiscrete() const { return m_bridge && m_bridge->isDiscrete(); }

double CParamBinding::normalizedIn(uint32_t g, uint32_t offset) const {
    if (!m_bridge) return m_max == m_min ? 0.0 : std::clamp((m_value - m_min) / (m_max - m_min), 0.0, 1.0);
    return m_bridge->normalized(g, m_element + offset);
}

double CParamBinding::normalized(uint32_t offset) const { return normalizedIn(group(), offset); }

double CParamBinding::defaultNormalized(uint32_t offset) const {
    if (!m_bridge) return m_max == m_min ? 0.0 : std::clamp((m_default - m_min) / (m_max - m_min), 0.0, 1.0);
    return m_bridge->defaultNormalized(m_element + offset);
}

CString CParamBinding::text() const {
    if (!m_bridge) return CString::number(m_value);
    return m_bridge->text(group(), m_element);
}

CError CParamBinding::setNormalized(double position, uint32_t offset) {
    position = std::clamp(position, 0.0, 1.0);
    if (!m_bridge) {
        m_value = m_min + (m_max - m_min) * position;
        return {};
    }
    return m_bridge->setNormalized(group(), m_element + offset, position);
}

// --- ui:ui-param -------------------------------------------------------------------------------

void CUIParam::registerEvents(CClassRecord& record) {
    CObject::registerEvents(record);
    record.addEvent("binding-change", [](CObject* self, CEventParams& p) -> CError {
        auto* u = static_cast<CUIParam*>(self);
        // Changes of another group than the edited one are not news unless asked for.
        int64_t g = -1;
        if (p.get("event-name") == "param-change" && p.get("group").toInt(&g) && g >= 0 &&
            uint32_t(g) != u->m_binding.group() && !u->attrBool("is-update-on-any-group"))
            return {};
        CEventParams out{{"group", CString::number(int64_t(u->m_binding.group()))}};
        return u->notify("value-changed", out);
    });
}

CError CUIParam::initLinks() {
    KEL_TRY(CObject::initLinks());
    if (!parent()) return KEL_ERROR(kelstr_CUIParam_init_InvalidParent);
    return m_binding.bind(*this, "binding-change");
}

CError CUIParam::initDone() {
    KEL_TRY(CObject::initDone());
    return notify("ui-param-ready");
}
