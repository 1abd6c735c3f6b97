#pragma once
// CPresetManager (tag "ui:preset-manager"): the view of the preset-manager
// window. A bank list and a preset list with their buttons; presets and
// banks live on the audio side and are reached through the interface
// client's registry messages, files through CFileDialog.
//
// Banks: the factory bank "Factory ROM" and the session bank "Session
// Bank" of the registry (read-only as banks: the session bank is the host's
// program list, whose entries may be renamed), then the user banks, which
// the manager keeps itself: in the application data store ("store-name";
// the global store with "is-global-data", else the local one) when a store
// is named, else for the life of the window. A user bank holds presets of
// any registry id the manager accepts; its presets may be added, replaced,
// renamed and deleted.
//
// Attributes: "param-registry" (the registry, "plugin.param-registry"),
// "store-name", "interface-client" ("ui.interface-client"),
// "bank-list-path", "preset-list-path" (lists, CItemList, relative to the
// manager: "c.banks.frame.list", "c.presets.frame.list"),
// "bank-buttons-path", "preset-buttons-path" (their button rows: buttons
// "add", "delete", "load", "save" and "add", "delete", "load", "save",
// "replace", "activate", "set-default"; a button that does not apply to
// the selection is disabled), "defbankname" ("Bank"), "defpresetname"
// ("Preset"), "filename-prefix" (proposed file names start with it),
// "defpath-preset", "defpath-bank" (folders the dialogs start in),
// "preset-id-compat" (blank-separated registry ids whose preset files load
// as this registry's), "is-global-data", "system-list" (a preset list of the
// store, written as the instance's "appdata" files are:
// "../routing-presets|AppDataGlobal_routing-presets-sys"; for a registry
// without a factory bank of its own, such as the routing registry, the list
// is the factory bank, and the manager opens on it). "is-mid-side", "is-sidechain" and
// "is-check-routing-compatibility" name filters for products whose presets
// depend on their routing; this product's presets do not (they are "false").
//
// Events: "preset-activate", "preset-add", "preset-replace",
// "preset-delete", "preset-rename" ("text"), "preset-can-rename",
// "preset-set-default", "preset-update", "preset-load", "preset-save"
// (open the file dialog; its result arrives as "on-preset-load" /
// "on-preset-save", which run "perform-preset-load" /
// "perform-preset-save" with "path" and "filename"), "bank-add",
// "bank-delete", "bank-rename" ("text"), "bank-can-rename", "bank-load",
// "bank-save" (the same for "cbf" files, then "perform-bank-load" /
// "perform-bank-save"), "shared-banks-update" (the stored banks changed).
// The can-rename events answer in the event's "result" ("true"/"false").
// A double click on a preset activates it; a row renamed in a list renames
// its preset or bank. Selection changes notify "preset-manager-selection"
// ("bank", "preset": indices).
//
// Saving a preset writes the selected preset (the current state when the
// session bank's current program or nothing is selected); saving a bank
// writes the selected bank. Loading a preset file activates it; loading a
// bank file adds it as a user bank.
//
// Failures are not returned: the manager runs its own commands for
// "error-preset-load" (unreadable file, or a preset of a registry id it
// does not accept), "error-preset-type" (the registry refused the preset),
// "error-preset-save", "error-bank-load" and "error-bank-save", with
// "filename" and "message", and keeps them in the attributes
// "last-error-event" and "last-error"; with "error-window-tag" the message
// also shows in that window (its view "error-message-path", default
// ".window-renderer.root.body.message"). A rename to an empty name, or to
// the name of another row of the same list, is refused with
// "error-preset-rename" / "error-bank-rename" and changes nothing.
//
// UI thread only.

#include <map>
#include <vector>

#include "Audio/Interface/PresetFiles.h"
#include "UI/Presets/RegistryLink.h"
#include "Core/AppData.h"
#include "UI/View/View.h"

KELSTR(CPresetManager_initChilds_NoPresetList, "No preset list view found.");
KELSTR(CPresetManager_initLinks_NoClient, "No interface client found.");
KELSTR(CPresetManager_loadPreset_Incompatible, "The preset '%1' does not belong to this plug-in.");
KELSTR(CPresetManager_rename_EmptyPreset, "A preset needs a name.");
KELSTR(CPresetManager_rename_EmptyBank, "A bank needs a name.");
KELSTR(CPresetManager_rename_DuplicatePreset, "There is already a preset named '%1' in this bank.");
KELSTR(CPresetManager_rename_DuplicateBank, "There is already a bank named '%1'.");

class CFileDialog;
class CItemList;
class CParamInterfaceClient;

class CPresetManager : public CView, public CAppDataListener {
public:
    static constexpr int kFactoryBank = 0;
    static constexpr int kSessionBank = 1;
    static constexpr int kFirstUserBank = 2;
    static constexpr const char* kFactoryBankName = "Factory ROM";
    static constexpr const char* kSessionBankName = "Session Bank";

    CPresetManager();
    ~CPresetManager() override;
    static void registerEvents(CClassRecord& record);
    CError initLinks() override;
    CError initDone() override;

    // --- What the lists show ---------------------------------------------------------
    CItemList* bankList() const { return m_bankList; }
    CItemList* presetList() const { return m_presetList; }
    const std::vector<CAudioPresetBank>& userBanks() const { return m_userBanks; }
    uint32_t registryHandle() const { return m_registry.handle(); }
    // The registry id (known once the registry described itself).
    CString registryId() const;
    CFileDialog* fileDialog() const { return m_dialog; }

    // --- Operations (the events run these) -------------------------------------------
    CError selectBank(int index);
    CError selectPreset(int index);
    CError activatePreset();
    CError addPreset();
    CError replacePreset();
    CError deletePreset();
    CError renamePreset(const CString& name);
    bool canRenamePreset() const;
    CError setDefaultPreset();
    CError addBank();
    CError deleteBank();
    CError renameBank(const CString& name);
    bool canRenameBank() const;
    // File operations on a full path (the dialog's result joined).
    CError loadPresetFile(const CString& path);
    CError savePresetFile(const CString& path);
    CError loadBankFile(const CString& path);
    CError saveBankFile(const CString& path);
    // Opens the file dialog for one of the four file operations.
    CError openDialog(bool bank, bool save);
    CError refresh();
    CError reloadUserBanks();
    const CAudioPresetBank& systemList() const { return m_systemList; }

    void appDataChanged(CAppData& store, const CString& itemName) override;

private:
    enum class Pending { AddPreset, ReplacePreset, SavePreset, SaveBank, SetDefault };
    struct PendingRequest {
        Pending kind;
        int bank = -1, preset = -1;
        CString path;
    };

    CError onRegistryData(CEventParams& p);
    CError request(Pending kind, bool factory, int index, bool bank, const CString& path);
    CError reportError(const char* event, const CString& file, const CError& e);
    // Refuses an empty name, or one another row of the list has.
    CError checkName(const CString& name, const std::vector<CString>& rows, int self, bool preset) const;
    // Opens the "error-window-tag" window with a message.
    CError showError(const CString& message);
    CError storeUserBanks();
    CError updateButtons();
    CString uniqueName(const std::vector<CString>& taken, const CString& base) const;
    std::vector<CString> presetRows(int bank) const;
    bool isUserBank(int bank) const { return bank >= kFirstUserBank && size_t(bank - kFirstUserBank) < m_userBanks.size(); }
    CAudioPresetBank* userBank(int bank);
    bool accepts(const CString& registryId) const;
    CAppData& store() const;
    static CError eventPath(const CEventParams& p, CString* path);

    CParamInterfaceClient* m_client = nullptr;
    CRegistryLink m_registry;  // the registry handle, released with the view
    CItemList* m_bankList = nullptr;
    CItemList* m_presetList = nullptr;
    CView* m_bankButtons = nullptr;
    CView* m_presetButtons = nullptr;
    CFileDialog* m_dialog = nullptr;
    std::vector<CAudioPresetBank> m_userBanks;
    CAudioPresetBank m_systemList;  // "system-list", when given
    std::map<uint32_t, PendingRequest> m_pending;
    bool m_storeListening = false;
    bool m_writing = false;
};
