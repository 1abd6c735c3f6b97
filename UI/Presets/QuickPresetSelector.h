#pragma once
// Drop-down selectors of presets.
//
// CQuickPresetSelector (tag "ui:quick-preset-selector"): shows the current
// preset's title and offers the presets of one registry ("param-registry",
// through "interface-client"): the preset lists of the application data
// stores "store-name" and "store-name-user" (the global store with
// "is-global-data", else the local one; an absent list is its embedded
// default, or empty), or, for the master registry without lists, its
// programs. The title is the text of the UI parameter ".ui-param-title"
// (else the registry's current program name); a title matching
// "forced-title-filter" (a pattern with "*", e.g. "Off*") shows as
// "forced-title".
//
// Events: "popup-result" ("title": the chosen entry; without one the event
// fails with "No 'title' parameter.") activates that preset;
// "load-preset" / "save-preset" open the file dialog for preset files
// ("preset-file-ext", "preset-file-descr", starting in
// "preset-file-defpath"), whose results run "perform-load-preset" /
// "perform-save-preset"; a failed load logs "Error loading preset";
// "dynamic-list-updated" reads the lists again. On the focused selector
// Down and Right activate the next entry, Up and Left the previous one
// (stopping at the ends), as a closed drop-down does.
//
// CInstancePresetSelector (tag "ui:instance-preset-selector"): the same,
// with "next-preset" and "prev-preset" ("title": the entry to step from;
// without one: "No 'title' parameter."), wrapping at the ends, and
// "step-next" / "step-prev" from the title it shows.

#include <map>
#include <vector>

#include "Audio/Interface/PresetFiles.h"
#include "UI/Presets/RegistryLink.h"
#include "UI/Controls/UIParam.h"
#include "UI/Text/TextView.h"

KELSTR(CQuickPresetSelector_onPopupResult_NoParam, "No 'title' parameter.");
KELSTR(CQuickPresetSelector_selectNextItem_NoParam, "No 'title' parameter.");
KELSTR(CQuickPresetSelector_select_Unknown, "No preset '%1'.");

class CParamInterfaceClient;
class CFileDialog;

class CQuickPresetSelector : public CTextView {
public:
    struct Item {
        CString title;
        int program = -1;  // a program of the master registry, or
        CAudioPreset preset;
    };

    ~CQuickPresetSelector() override;
    static void registerEvents(CClassRecord& record);
    CError initLinks() override;
    CError initDone() override;

    const std::vector<Item>& items() const { return m_items; }
    int indexOf(const CString& title) const;
    // Activates the entry of a title.
    CError select(const CString& title);
    CError selectIndex(int index);
    CError reload();
    CError showTitle();
    CString title() const;
    CFileDialog* fileDialog() const { return m_dialog; }
    CError loadFile(const CString& path);
    CError saveFile(const CString& path);
    CError openDialog(bool save);

protected:
    CError onViewEvent(const CString& eventName, CEventParams& params) override;
    CError onRegistryData(CEventParams& p);
    CParamInterfaceClient* m_client = nullptr;
    CRegistryLink m_registry;  // the registry handle, released with the view
    CUIParam* m_title = nullptr;
    CFileDialog* m_dialog = nullptr;
    std::vector<Item> m_items;
    std::map<uint32_t, CString> m_saves;  // request id -> file
};

class CInstancePresetSelector : public CQuickPresetSelector {
public:
    static void registerEvents(CClassRecord& record);
    // Activates the entry `step` places from the title's (wrapping).
    CError selectNext(const CString& title, int step);
};
