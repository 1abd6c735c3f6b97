#pragma once
// CGlobalSettings (tag "ui:global-settings", object "ui.global-settings"):
// the editor's global behaviour. Each setting is an attribute of the object
// with a default (below); definitions keep them in the store of global data
// with core:shared-attribute children, and the object mirrors them.
//
// Controls read their precision record from here when a gesture starts:
// how far a drag, a fine drag (Shift held) and a wheel notch move a value.
// Without a settings object in the tree the defaults apply.
//
// With "is-stored" ("true" by default) each setting follows the string item
// of its own name in the global application data store: the stored value
// replaces the attribute at init and whenever any editor (the "Global
// Settings" window's selectors, through their shared attributes) writes it.

#include "Core/AppData.h"
#include "Core/Object.h"

// How pointer movement and wheel steps become normalised value changes.
// A drag of `dragPixels` logical pixels moves a value by `dragStep` (so a
// straight drag over 250 pixels covers the range at the default precision);
// one wheel notch moves it by `wheelStep`; with Shift held both are
// multiplied by `fine`.
struct CControlPrecision {
    double dragStep = 0.4;   // per 100 logical pixels
    double wheelStep = 0.02; // per notch
    double fine = 0.1;
    bool radial = false;     // knobs follow the pointer's angle
    bool tablet = false;     // pen-friendly: no pointer warping, absolute moves

    // The record of the settings' precisions: "drag-precision" (0.8 gives the
    // dragStep above), "mouse-wheel-precision" (0.5 gives the wheelStep above)
    // and "shift-key-precision" (0.5 gives the fine factor above).
    static CControlPrecision fromSettings(double drag, double wheel, double shift, bool radial, bool tablet);
};

class CGlobalSettings : public CObject, public CAppDataListener {
public:
    ~CGlobalSettings() override;
    static void registerEvents(CClassRecord& record);
    CError init() override;
    void appDataChanged(CAppData& store, const CString& itemName) override;
    CError onAttrChanged(const CString& attrName) override;

    // The setting's value, or its default when the attribute is absent.
    CString setting(const CString& name) const;
    double settingReal(const CString& name) const;
    bool settingBool(const CString& name) const;
    const CControlPrecision& precision() const { return m_precision; }
    double framesPerSecond() const;

    // The settings object of an editor tree ("ui.global-settings" from the
    // tree's root); nullptr when the tree has none.
    static const CGlobalSettings* find(const CObject& from);
    // The precision of an editor tree (the defaults without settings).
    static CControlPrecision precisionFor(const CObject& from);
    // The default value of a setting (empty for unknown names).
    static CString defaultValue(const CString& name);

private:
    void update();
    // Takes a setting's stored value, if any.
    void readStored(const CString& name);
    CControlPrecision m_precision;
    bool m_listening = false;
};
