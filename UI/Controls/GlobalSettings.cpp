// The editor's global settings and the precision record of the controls.
#include "UI/Controls/GlobalSettings.h"

#include <algorithm>

#include "Core/Log.h"

namespace {
struct Default {
    const char* name;
    const char* value;
};
const Default kDefaults[] = {
    {"drag-precision", "0.8"},
    {"shift-key-precision", "0.5"},
    {"mouse-wheel-precision", "0.5"},
    {"radial-knob-mode", "false"},
    {"tablet-mode", "false"},
    {"frames-per-second", "30"},
    {"high-precision-timer", "true"},
    {"show-knob-labels", "true"},
    {"show-preset-selector", "false"},
    {"show-virtual-keyboard", "false"},
    {"is-curve-drag-adds-points", "true"},
    {"is-mouse-wheel-on-lists", "false"},
    {"winpos-store", "true"},
    {"ui-flat-panels", "true"},
    {"ui-textures", "true"},
    {"ui-spotlight", "true"},
    {"ui-shadows", "true"},
    {"ui-flat-meters", "false"},
};
}  // namespace

CControlPrecision CControlPrecision::fromSettings(double drag, double wheel, double shift, bool radial, bool tablet) {
    CControlPrecision p;
    // Non-positive or absurd precisions fall back to the defaults' scale.
    auto sane = [](double v, double def) { return v > 0.0 && v <= 100.0 ? v : def; };
    p.dragStep = 0.5 * sane(drag, 0.8);
    p.wheelStep = 0.04 * sane(wheel, 0.5);
    p.fine = std::min(1.0, 0.2 * sane(shift, 0.5));
    p.radial = radial;
    p.tablet = tablet;
    return p;
}

void CGlobalSettings::registerEvents(CClassRecord& record) { CObject::registerEvents(record); }

CGlobalSettings::~CGlobalSettings() {
    if (m_listening) CAppData::global().removeListener(this);
}

CError CGlobalSettings::init() {
    if (!hasAttr("is-stored") || attrBool("is-stored")) {
        for (const Default& d : kDefaults) readStored(d.name);
        CAppData::global().addListener(this);
        m_listening = true;
    }
    update();
    return CObject::init();
}

void CGlobalSettings::readStored(const CString& name) {
    bool found = false;
    CString v;
    if (CError e = CAppData::global().readString(name, &v, &found)) {
        kelLogError(e);
        return;
    }
    if (found && !(v == attr(name)))
        if (CError e = setAttr(name, v, false)) kelLogError(e);
}

void CGlobalSettings::appDataChanged(CAppData&, const CString& itemName) {
    if (defaultValue(itemName).empty()) return;
    readStored(itemName);
    update();
}

CError CGlobalSettings::onAttrChanged(const CString& attrName) {
    update();
    return CObject::onAttrChanged(attrName);
}

CString CGlobalSettings::defaultValue(const CString& name) {
    for (const Default& d : kDefaults)
        if (name == d.name) return d.value;
    return {};
}

CString CGlobalSettings::setting(const CString& name) const {
    return hasAttr(name) ? attr(name) : defaultValue(name);
}

double CGlobalSettings::settingReal(const CString& name) const {
    double v = 0;
    if (hasAttr(name) && attr(name).trimmed().toDouble(&v)) return v;
    defaultValue(name).toDouble(&v);
    return v;
}

bool CGlobalSettings::settingBool(const CString& name) const {
    const CString v = setting(name).trimmed();
    return v == "true" || v == "1";
}

double CGlobalSettings::framesPerSecond() const { return std::clamp(settingReal("frames-per-second"), 1.0, 240.0); }

void CGlobalSettings::update() {
    m_precision = CControlPrecision::fromSettings(settingReal("drag-precision"), settingReal("mouse-wheel-precision"),
                                                  settingReal("shift-key-precision"), settingBool("radial-knob-mode"),
                                                  settingBool("tablet-mode"));
}

const CGlobalSettings* CGlobalSettings::find(const CObject& from) {
    return dynamic_cast<const CGlobalSettings*>(from.root()->findObject("ui.global-settings"));
}

CControlPrecision CGlobalSettings::precisionFor(const CObject& from) {
    if (const CGlobalSettings* s = find(from)) return s->precision();
    return CControlPrecision::fromSettings(0.8, 0.5, 0.5, false, false);
}
