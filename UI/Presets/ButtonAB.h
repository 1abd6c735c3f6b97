#pragma once
// A/B comparison and plug-in wide commands.
//
// CButtonAB (tag "ui:button-ab"): swaps between the plug-in's two states A
// and B. Its UI parameter ".ui-param-ab-state" (a ui:ui-param bound to the
// bridge of "plugin.modMain.ab-state") says which one is current; a click
// ("on-ab") asks the registry ("param-registry", "plugin.param-registry")
// through the interface client ("interface-client") to exchange the
// current state with the stored one and flips the parameter. The first
// swap starts B as a copy of A. The button is in the state "b" while B is
// current, its labels ".labels.a" and ".labels.b" in the state "active"
// while theirs is; the copy button ("copy-button-path", "^ab-copy") shows
// which way a copy goes ("A > B" or "B > A") and is set up by
// "copy-button-ready". The button hides itself when the settings'
// "ui-min-infrastructure" is on.
//
// CPluginControl (tag "ui:plugin-control", "ui.plugin-control"): commands
// for the whole plug-in through the same registry: "on-copy" copies the
// current state over the other A/B state, "on-reset" resets the plug-in to
// its default preset, "default-preset-update" makes the current state the
// default preset.

#include <set>

#include "UI/Controls/UIParam.h"
#include "UI/Presets/RegistryLink.h"
#include "UI/Text/TextView.h"

class CParamInterfaceClient;

KELSTR(CButtonAB_initLinks_NoUIParam, "No A/B state parameter '.ui-param-ab-state' found.");

class CButtonAB : public CTextView {
public:
    static void registerEvents(CClassRecord& record);
    CError initLinks() override;
    CError initDone() override;

    bool isB() const;
    CError swap();
    CError showState();

protected:
    CError onViewEvent(const CString& eventName, CEventParams& params) override;

private:
    CUIParam* m_param = nullptr;
    CRegistryLink m_link;
};

class CPluginControl : public CObject {
public:
    ~CPluginControl() override;
    static void registerEvents(CClassRecord& record);
    CError initLinks() override;

    CError copyToOther();
    CError reset();
    CError updateDefault();

private:
    CError onRegistryData(CEventParams& p);
    CRegistryLink m_link;
    std::set<uint32_t> m_requests;
};
