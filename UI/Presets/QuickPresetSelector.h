#pragma once
// Drop-down selectors of presets.
//
// CQuickPresetSelector (tag "ui:quick-preset-selector"): shows the current
// preset's title and offers the presets of one registry ("param-registry",
// through "interface-client"): the preset lists of the application data
// stores "store-name" and "store-name-user" (the global store with
// "is-global-data", else the local one; an absent list is its embedded
// default, or empty; a name may carry its default as the instance's
// "appdata" files do: "../routing-presets|AppDataGlobal_routing-presets-sys"),
// or, for the master registry without lists, its
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
// User presets: with "user-banks" (the store item of the preset manager's
// user banks, e.g. "preset-manager-banks") the selector also offers the
// presets of those banks, after the registry's own; a preset saved through
// the selector ("perform-save-preset") joins the bank "user-bank-name"
// (default "User", made when missing) at once, named after its file, as
// the preset manager then shows it. Without "user-banks" a saved preset
// joins the list "store-name-user" when one is named. The selector follows
// changes of its stores made elsewhere.
//
// Its pop-up list (TextView.h, "popup-toggle") offers the entries, the
// current one highlighted; with "popup-file-items" it ends with "Load..."
// and "Save As..." (the file dialog), after a rule.
//
// CInstancePresetSelector (tag "ui:instance-preset-selector"): the same,
// with "next-preset" and "prev-preset" ("title": the entry to step from;
// without one: "No 'title' parameter."), wrapping at the ends, and
// "step-next" / "step-prev" from the title it shows.

#include <map>
#include <vector>

#include "Audio/Interface/PresetFiles.h"
#include "Core/AppData.h"
#include "UI/Presets/RegistryLink.h"
#include "UI/Controls/UIParam.h"
#include "UI/Text/TextView.h"

KELSTR(CQuickPresetSelector_onPopupResult_NoParam, "No 'title' parameter.");
KELSTR(CQuickPresetSelector_selectNextItem_NoParam, "No 'title' parameter.");
KELSTR(CQuickPresetSelector_select_Unknown, "No preset '%1'.");

class CParamInterfaceClient;
class CFileDialog;

class CQuickPresetSelector : public CTextView, public CAppDataListener {
public:
    struct Item {
        CString title;
        int program = -1;  // a program of the master registry, or
        CAudioPreset preset;
        bool user = false;  // from the user banks
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
    // Adds a preset to the user bank or list (see above) and reloads.
    CError addUserPreset(CAudioPreset preset);
    std::vector<CString> popupItems(int* current) const override;
    void appDataChanged(CAppData& store, const CString& itemName) override;
    static constexpr const char* kLoadItem = "Load...";
    static constexpr const char* kSaveItem = "Save As...";
    static constexpr const char* kRuleItem = "[IMG=is.button#HR]";

protected:
    CError onViewEvent(const CString& eventName, CEventParams& params) override;
    CError onRegistryData(CEventParams& p);
    CError onPopupResult(const CEventParams& p);
    CAppData& store() const;
    bool m_storeListening = false;
    bool m_writing = false;
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
