// A/B comparison and plug-in wide commands.
#include "UI/Presets/ButtonAB.h"

#include "Audio/Interface/ParamInterfaceClient.h"
#include "Audio/Interface/PresetFiles.h"
#include "Core/Log.h"
#include "UI/Controls/GlobalSettings.h"

// --- A/B button -------------------------------------------------------------------------------------------

void CButtonAB::registerEvents(CClassRecord& record) {
    CTextView::registerEvents(record);
    record.addEvent("on-ab", [](CObject* self, CEventParams&) -> CError {
        return static_cast<CButtonAB*>(self)->swap();
    });
    record.addEvent("on-ab-state", [](CObject* self, CEventParams&) -> CError {
        return static_cast<CButtonAB*>(self)->showState();
    });
    record.addEvent("copy-button-ready", [](CObject* self, CEventParams&) -> CError {
        return static_cast<CButtonAB*>(self)->showState();
    });
}

CError CButtonAB::initLinks() {
    KEL_TRY(CTextView::initLinks());
    m_param = dynamic_cast<CUIParam*>(findObject(".ui-param-ab-state"));
    if (!m_param) return KEL_ERROR(kelstr_CButtonAB_initLinks_NoUIParam);
    listenObject(m_param, "value-changed", this, "on-ab-state");
    listenObject(m_param, "ui-param-ready", this, "on-ab-state");
    KEL_TRY(m_link.bind(*this));
    if (const CGlobalSettings* s = CGlobalSettings::find(*this); s && s->settingBool("ui-min-infrastructure"))
        KEL_TRY(setAttr("is-hidden", "true", false));
    if (!hasAttr("hint")) KEL_TRY(setAttr("hint", "Swap between plug-in's A and B states.", false));
    return {};
}

CError CButtonAB::initDone() {
    KEL_TRY(CTextView::initDone());
    return showState();
}

bool CButtonAB::isB() const { return m_param && m_param->binding().isReady() && m_param->binding().normalized() >= 0.5; }

CError CButtonAB::swap() {
    if (isBlocked() || !m_param || !m_param->binding().isReady() || !m_link.handle()) return {};
    const bool b = isB();
    KEL_TRY(m_link.client()->exchangeShadowPreset(m_link.handle()));
    KEL_TRY(m_param->binding().setNormalized(b ? 0.0 : 1.0));
    return showState();
}

CError CButtonAB::showState() {
    // Before the view is done its text would not be laid out (initDone shows it).
    if (initState() < 3) return {};
    const bool b = isB();
    KEL_TRY(b ? setState("b") : unsetState("b"));
    if (auto* a = dynamic_cast<CView*>(findObject(".labels.a"))) KEL_TRY(b ? a->unsetState("active") : a->setState("active"));
    if (auto* l = dynamic_cast<CView*>(findObject(".labels.b"))) KEL_TRY(b ? l->setState("active") : l->unsetState("active"));
    const CString copyPath = hasAttr("copy-button-path") ? attr("copy-button-path") : CString("^ab-copy");
    if (CObject* copy = findObject(copyPath)) {
        // "copy-text-a" / "copy-text-b": the copy button's text while A / B is current.
        const char* const attrName = b ? "copy-text-b" : "copy-text-a";
        const CString text = hasAttr(attrName) ? attr(attrName) : CString(b ? "B > A" : "A > B");
        if (!(copy->attr("text") == text)) KEL_TRY(copy->setAttr("text", text, false));
    }
    if (!hasAttr("font-name") || attr("font-name").trimmed().empty()) return {};
    const CString text = b ? "B" : "A";
    if (!(attr("text") == text)) {
        KEL_TRY(setAttr("text", text, false));
        requestLayout();
    }
    requestRepaint();
    return {};
}

CError CButtonAB::onViewEvent(const CString& name, CEventParams&) {
    if (name == "mouse-release") return swap();
    return {};
}

// --- Plug-in control ---------------------------------------------------------------------------------------

CPluginControl::~CPluginControl() {
    if (m_link.client()) CObject::unlistenObject(m_link.client(), "registry-data", this);
}

void CPluginControl::registerEvents(CClassRecord& record) {
    CObject::registerEvents(record);
    record.addEvent("on-copy", [](CObject* self, CEventParams&) -> CError {
        return static_cast<CPluginControl*>(self)->copyToOther();
    });
    record.addEvent("on-reset", [](CObject* self, CEventParams&) -> CError {
        return static_cast<CPluginControl*>(self)->reset();
    });
    record.addEvent("default-preset-update", [](CObject* self, CEventParams&) -> CError {
        return static_cast<CPluginControl*>(self)->updateDefault();
    });
    record.addEvent("on-registry-data", [](CObject* self, CEventParams& p) -> CError {
        return static_cast<CPluginControl*>(self)->onRegistryData(p);
    });
}

CError CPluginControl::initLinks() {
    KEL_TRY(CObject::initLinks());
    KEL_TRY(m_link.bind(*this));
    listenObject(m_link.client(), "registry-data", this, "on-registry-data");
    return {};
}

CError CPluginControl::copyToOther() {
    return m_link.handle() ? m_link.client()->updateShadowPreset(m_link.handle()) : CError();
}

CError CPluginControl::reset() {
    return m_link.handle() ? m_link.client()->activateDefaultPreset(m_link.handle()) : CError();
}

CError CPluginControl::updateDefault() {
    if (!m_link.handle()) return {};
    uint32_t id = 0;
    KEL_TRY(m_link.client()->requestPreset(m_link.handle(), false, -1, -1, &id));
    m_requests.insert(id);
    return {};
}

CError CPluginControl::onRegistryData(CEventParams& p) {
    int64_t id = 0;
    if (!p.get("request-id").toInt(&id) || !m_requests.erase(uint32_t(id))) return {};
    CParamInterfaceClient::RegistryData data;
    if (!m_link.client()->takeRegistryData(uint32_t(id), &data)) return {};
    CAudioPreset preset;
    KEL_TRY(preset.loadBytes(data.bytes));
    return m_link.client()->setDefaultPreset(m_link.handle(), preset);
}
