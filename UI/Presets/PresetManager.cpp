// The preset manager: banks and presets through the interface client.
#include "UI/Presets/PresetManager.h"

#include "Audio/Interface/ParamInterfaceClient.h"
#include "Core/Log.h"
#include "UI/Presets/FileDialog.h"
#include "UI/Presets/ItemList.h"
#include "UI/Window/WindowOpener.h"

namespace {

CString num(int64_t v) { return CString::number(v); }

// A path relative to the manager unless it says otherwise.
CString relative(const CString& path) {
    const CString p = path.trimmed();
    if (p.empty() || p[0] == u'.' || p[0] == u'^' || p[0] == u'/' || p.startsWith("shared::")) return p;
    return CString(".") + p;
}

std::vector<CString> words(const CString& text) {
    std::vector<CString> out;
    CString cur;
    for (size_t i = 0; i <= text.length(); ++i) {
        const char16_t c = i < text.length() ? text[i] : u' ';
        if (c == u' ' || c == u'\t' || c == u',' || c == u';') {
            if (!cur.empty()) out.push_back(cur);
            cur = CString();
        } else {
            cur += c;
        }
    }
    return out;
}

int indexParam(const CEventParams& p, const char* name, int def) {
    int64_t v = def;
    return p.get(name).toInt(&v) ? int(v) : def;
}

}  // namespace

CPresetManager::CPresetManager() = default;

CPresetManager::~CPresetManager() {
    if (m_storeListening) store().removeListener(this);
    if (m_client) {
        CObject::unlistenObject(m_client, "update-registry", this);
        CObject::unlistenObject(m_client, "registry-data", this);
    }
}

void CPresetManager::registerEvents(CClassRecord& record) {
    CView::registerEvents(record);
    using M = CPresetManager;
#define KEL_PM_EVENT(NAME, BODY)                                                          \
    record.addEvent(NAME, [](CObject* self, CEventParams& p) -> CError {                \
        M& m = *static_cast<M*>(self);                                                    \
        (void)p;                                                                          \
        BODY;                                                                             \
    })
    KEL_PM_EVENT("preset-activate", return m.activatePreset());
    KEL_PM_EVENT("preset-add", return m.addPreset());
    KEL_PM_EVENT("preset-replace", return m.replacePreset());
    KEL_PM_EVENT("preset-delete", return m.deletePreset());
    KEL_PM_EVENT("preset-rename", return m.renamePreset(p.get("text")));
    KEL_PM_EVENT("preset-can-rename", p.set("result", m.canRenamePreset() ? "true" : "false"); return CError());
    KEL_PM_EVENT("preset-set-default", return m.setDefaultPreset());
    KEL_PM_EVENT("preset-update", return m.refresh());
    KEL_PM_EVENT("preset-load", return m.openDialog(false, false));
    KEL_PM_EVENT("preset-save", return m.openDialog(false, true));
    KEL_PM_EVENT("on-preset-load", return m.runEvent("perform-preset-load", p));
    KEL_PM_EVENT("on-preset-save", return m.runEvent("perform-preset-save", p));
    KEL_PM_EVENT("perform-preset-load", CString path; KEL_TRY(eventPath(p, &path)); return m.loadPresetFile(path));
    KEL_PM_EVENT("perform-preset-save", CString path; KEL_TRY(eventPath(p, &path)); return m.savePresetFile(path));
    KEL_PM_EVENT("bank-add", return m.addBank());
    KEL_PM_EVENT("bank-delete", return m.deleteBank());
    KEL_PM_EVENT("bank-rename", return m.renameBank(p.get("text")));
    KEL_PM_EVENT("bank-can-rename", p.set("result", m.canRenameBank() ? "true" : "false"); return CError());
    KEL_PM_EVENT("bank-load", return m.openDialog(true, false));
    KEL_PM_EVENT("bank-save", return m.openDialog(true, true));
    KEL_PM_EVENT("on-bank-load", return m.runEvent("perform-bank-load", p));
    KEL_PM_EVENT("on-bank-save", return m.runEvent("perform-bank-save", p));
    KEL_PM_EVENT("perform-bank-load", CString path; KEL_TRY(eventPath(p, &path)); return m.loadBankFile(path));
    KEL_PM_EVENT("perform-bank-save", CString path; KEL_TRY(eventPath(p, &path)); return m.saveBankFile(path));
    KEL_PM_EVENT("shared-banks-update", return m.reloadUserBanks());
    // From the lists and the client.
    KEL_PM_EVENT("on-bank-selected", return m.selectBank(indexParam(p, "index", -1)));
    KEL_PM_EVENT("on-preset-selected", return m.selectPreset(indexParam(p, "index", -1)));
    KEL_PM_EVENT("on-preset-dbl-clicked", return m.activatePreset());
    KEL_PM_EVENT("on-preset-text-changed", if (p.get("is-cancelled") == "true") return CError();
                 return m.renamePreset(p.get("text")));
    KEL_PM_EVENT("on-bank-text-changed", if (p.get("is-cancelled") == "true") return CError();
                 return m.renameBank(p.get("text")));
    KEL_PM_EVENT("on-registry-update", return m.refresh());
    KEL_PM_EVENT("on-registry-data", return m.onRegistryData(p));
#undef KEL_PM_EVENT
}

CError CPresetManager::eventPath(const CEventParams& p, CString* path) {
    const CString folder = p.get("path"), name = p.get("filename");
    if (folder.empty()) *path = name;
    else if (folder[folder.length() - 1] == u'/' || folder[folder.length() - 1] == u'\\') *path = folder + name;
    else *path = folder + CString("/") + name;
    return {};
}

CError CPresetManager::initLinks() {
    KEL_TRY(CView::initLinks());
    const CString presetPath = hasAttr("preset-list-path") ? attr("preset-list-path") : CString("c.presets.frame.list");
    m_presetList = dynamic_cast<CItemList*>(findObject(relative(presetPath)));
    if (!m_presetList) return KEL_ERROR(kelstr_CPresetManager_initChilds_NoPresetList);
    const CString bankPath = hasAttr("bank-list-path") ? attr("bank-list-path") : CString("c.banks.frame.list");
    m_bankList = dynamic_cast<CItemList*>(findObject(relative(bankPath)));
    m_bankButtons = dynamic_cast<CView*>(
        findObject(relative(hasAttr("bank-buttons-path") ? attr("bank-buttons-path") : CString("c.banks.buttons"))));
    m_presetButtons = dynamic_cast<CView*>(findObject(
        relative(hasAttr("preset-buttons-path") ? attr("preset-buttons-path") : CString("c.presets.buttons"))));

    const CString clientPath = hasAttr("interface-client") ? attr("interface-client") : CString("ui.interface-client");
    m_client = dynamic_cast<CParamInterfaceClient*>(findObject(clientPath));
    if (!m_client) return KEL_ERROR(kelstr_CPresetManager_initLinks_NoClient);

    if (m_bankList) {
        listenObject(m_bankList, "selected-paragraph-changed", this, "on-bank-selected");
        listenObject(m_bankList, "paragraph-text-changed", this, "on-bank-text-changed");
    }
    listenObject(m_presetList, "selected-paragraph-changed", this, "on-preset-selected");
    listenObject(m_presetList, "paragraph-dbl-clicked", this, "on-preset-dbl-clicked");
    listenObject(m_presetList, "paragraph-text-changed", this, "on-preset-text-changed");
    listenObject(m_client, "update-registry", this, "on-registry-update");
    listenObject(m_client, "registry-data", this, "on-registry-data");
    m_registry.listen(m_client, *this);
    return {};
}

CError CPresetManager::initDone() {
    KEL_TRY(CView::initDone());
    KEL_TRY(CFileDialog::ofOwner(this, &m_dialog));
    if (const CString list = attr("system-list").trimmed(); !list.empty()) {
        const CAppData::ItemRef ref = CAppData::parseItemRef(list);
        std::vector<uint8_t> data;
        bool found = false;
        KEL_TRY(store().readData(ref.name, kIdAlst, &data, &found, ref.resource));
        if (found) KEL_TRY(m_systemList.loadBytes(data));
        if (m_bankList && !m_systemList.empty()) KEL_TRY(m_bankList->select(kFactoryBank));
    }
    if (!attr("store-name").trimmed().empty()) {
        store().addListener(this);
        m_storeListening = true;
        if (CError e = reloadUserBanks()) kelLogError(e);
    }
    if (m_bankList && m_bankList->selected() < 0) KEL_TRY(refresh());
    if (m_bankList && m_bankList->selected() < 0) KEL_TRY(m_bankList->select(kSessionBank));
    return refresh();
}

CString CPresetManager::registryId() const {
    const auto* r = m_client && m_registry.handle() ? m_client->registry(m_registry.handle()) : nullptr;
    return r && r->known ? r->id : CString();
}

CAppData& CPresetManager::store() const { return attrBool("is-global-data") ? CAppData::global() : CAppData::local(); }

bool CPresetManager::accepts(const CString& id) const {
    if (id == registryId()) return true;
    for (const CString& w : words(attr("preset-id-compat")))
        if (w == id) return true;
    return false;
}

CAudioPresetBank* CPresetManager::userBank(int bank) {
    return isUserBank(bank) ? &m_userBanks[size_t(bank - kFirstUserBank)] : nullptr;
}

// --- Lists ------------------------------------------------------------------------------------------

std::vector<CString> CPresetManager::presetRows(int bank) const {
    std::vector<CString> rows;
    const auto* r = m_client && m_registry.handle() ? m_client->registry(m_registry.handle()) : nullptr;
    if (bank == kFactoryBank && r && r->factoryPresets.empty() && !m_systemList.empty()) {
        for (const CAudioPreset& p : m_systemList.presets()) rows.push_back(p.displayName());
    } else if (bank == kFactoryBank && r) {
        rows = r->factoryPresets;
    }
    else if (bank == kSessionBank && r) rows = r->programs;
    else if (isUserBank(bank))
        for (const CAudioPreset& p : m_userBanks[size_t(bank - kFirstUserBank)].presets()) rows.push_back(p.displayName());
    return rows;
}

CError CPresetManager::refresh() {
    // Until the registry described itself the lists keep what they show
    // (a document's preview rows).
    if (registryId().empty() && m_userBanks.empty()) return updateButtons();
    if (m_bankList) {
        std::vector<CString> banks{CString(kFactoryBankName), CString(kSessionBankName)};
        for (const CAudioPresetBank& b : m_userBanks) banks.push_back(b.name());
        KEL_TRY(m_bankList->setRows(std::move(banks)));
        // Once the registry is known a manager opens on its factory presets
        // (or its system list), or on the session's programs when it has none.
        if (m_bankList->selected() < 0) {
            const auto* r = m_client && m_registry.handle() ? m_client->registry(m_registry.handle()) : nullptr;
            const bool factory = !m_systemList.empty() || (r && !r->factoryPresets.empty());
            return m_bankList->select(factory ? kFactoryBank : kSessionBank);
        }
    }
    const int bank = m_bankList ? m_bankList->selected() : kSessionBank;
    KEL_TRY(m_presetList->setRows(presetRows(bank)));
    return updateButtons();
}

CError CPresetManager::selectBank(int index) {
    if (m_bankList && m_bankList->selected() != index) return m_bankList->select(index);
    KEL_TRY(m_presetList->select(-1));
    KEL_TRY(m_presetList->setRows(presetRows(index)));
    // The session bank shows its current program.
    const auto* r = m_client && m_registry.handle() ? m_client->registry(m_registry.handle()) : nullptr;
    if (index == kSessionBank && r && r->known) KEL_TRY(m_presetList->select(int(r->currentProgram)));
    return selectPreset(m_presetList->selected());
}

CError CPresetManager::selectPreset(int index) {
    if (m_presetList->selected() != index) return m_presetList->select(index);
    KEL_TRY(updateButtons());
    CEventParams p{{"bank", num(m_bankList ? m_bankList->selected() : kSessionBank)}, {"preset", num(index)}};
    return notify("preset-manager-selection", p);
}

CError CPresetManager::updateButtons() {
    const int bank = m_bankList ? m_bankList->selected() : kSessionBank;
    const int preset = m_presetList->selected();
    const bool user = isUserBank(bank), chosen = preset >= 0;
    auto enable = [](CView* row, const char* name, bool on) -> CError {
        if (!row) return {};
        CObject* b = row->findChild(name);
        if (!b) return {};
        const CString v = on ? "false" : "true";
        return v == b->attr("is-disabled") ? CError() : b->setAttr("is-disabled", v, false);
    };
    KEL_TRY(enable(m_bankButtons, "delete", user));
    KEL_TRY(enable(m_bankButtons, "save", bank >= 0));
    KEL_TRY(enable(m_presetButtons, "delete", user && chosen));
    KEL_TRY(enable(m_presetButtons, "replace", user && chosen));
    KEL_TRY(enable(m_presetButtons, "activate", chosen));
    KEL_TRY(enable(m_presetButtons, "set-default", chosen));
    requestRepaint();
    return {};
}

CString CPresetManager::uniqueName(const std::vector<CString>& taken, const CString& base) const {
    auto used = [&](const CString& n) {
        for (const CString& t : taken)
            if (t == n) return true;
        return false;
    };
    if (!used(base)) return base;
    for (int i = 2;; ++i) {
        const CString n = base + CString(" ") + num(i);
        if (!used(n)) return n;
    }
}

// --- Presets ------------------------------------------------------------------------------------------

CError CPresetManager::activatePreset() {
    const int bank = m_bankList ? m_bankList->selected() : kSessionBank;
    const int preset = m_presetList->selected();
    if (preset < 0 || !m_registry.handle()) return {};
    CError e;
    const auto* r = m_client->registry(m_registry.handle());
    const bool system = bank == kFactoryBank && r && r->factoryPresets.empty() && size_t(preset) < m_systemList.size();
    if (system) e = m_client->activatePreset(m_registry.handle(), m_systemList.preset(size_t(preset)), preset);
    else if (bank == kFactoryBank) e = m_client->activateFactoryPreset(m_registry.handle(), uint32_t(preset));
    else if (bank == kSessionBank) e = m_client->setCurrentProgram(m_registry.handle(), uint32_t(preset));
    else if (CAudioPresetBank* b = userBank(bank); b && size_t(preset) < b->size()) {
        CAudioPreset p = b->preset(size_t(preset));
        // Presets of compatible registries are taken as this one's.
        if (!(p.registryId() == registryId())) p.setName(registryId() + CString(":") + p.displayName());
        e = m_client->activatePreset(m_registry.handle(), p);
    }
    if (e) return reportError("error-preset-type", m_presetList->selectedText(), e);
    return {};
}

CError CPresetManager::request(Pending kind, bool factory, int index, bool bank, const CString& path) {
    uint32_t id = 0;
    PendingRequest r{kind, m_bankList ? m_bankList->selected() : kSessionBank, m_presetList->selected(), path};
    CError e = bank ? m_client->requestBank(m_registry.handle(), factory, &id)
                    : m_client->requestPreset(m_registry.handle(), factory, index, -1, &id);
    if (e) {
        const bool saving = kind == Pending::SavePreset || kind == Pending::SaveBank;
        return reportError(kind == Pending::SaveBank ? "error-bank-save" : saving ? "error-preset-save" : "error-preset-type",
                           path, e);
    }
    m_pending[id] = r;
    return {};
}

CError CPresetManager::addPreset() {
    if (!m_registry.handle()) return {};
    int bank = m_bankList ? m_bankList->selected() : -1;
    // Presets are added to user banks; from the other banks a new one is made.
    if (!isUserBank(bank)) {
        KEL_TRY(addBank());
        bank = kFirstUserBank + int(m_userBanks.size()) - 1;
    }
    KEL_TRY(request(Pending::AddPreset, false, -1, false, CString()));
    m_pending.rbegin()->second.bank = bank;
    return {};
}

CError CPresetManager::replacePreset() {
    const int bank = m_bankList ? m_bankList->selected() : -1;
    if (!isUserBank(bank) || m_presetList->selected() < 0 || !m_registry.handle()) return {};
    return request(Pending::ReplacePreset, false, -1, false, CString());
}

CError CPresetManager::deletePreset() {
    const int bank = m_bankList ? m_bankList->selected() : -1;
    CAudioPresetBank* b = userBank(bank);
    const int preset = m_presetList->selected();
    if (!b || preset < 0 || size_t(preset) >= b->size()) return {};
    b->remove(size_t(preset));
    KEL_TRY(storeUserBanks());
    return refresh();
}

bool CPresetManager::canRenamePreset() const {
    const int bank = m_bankList ? m_bankList->selected() : -1;
    return m_presetList->selected() >= 0 && (bank == kSessionBank || isUserBank(bank));
}

CError CPresetManager::renamePreset(const CString& name) {
    if (!canRenamePreset()) return {};
    const CString n = name.trimmed();
    const int bank = m_bankList ? m_bankList->selected() : -1;
    const int preset = m_presetList->selected();
    if (CError e = checkName(n, m_presetList->rows(), preset, true)) {
        KEL_TRY(refresh());
        return reportError("error-preset-rename", n, e);
    }
    if (n == m_presetList->rows()[size_t(preset)]) return {};
    if (bank == kSessionBank) {
        if (CError e = m_client->renamePreset(m_registry.handle(), uint32_t(preset), n)) kelLogError(e);
        return {};
    }
    CAudioPresetBank* b = userBank(bank);
    if (!b || size_t(preset) >= b->size()) return {};
    CAudioPreset& p = b->preset(size_t(preset));
    p.setName(p.registryId() + CString(":") + n);
    KEL_TRY(storeUserBanks());
    return refresh();
}

CError CPresetManager::setDefaultPreset() {
    const int bank = m_bankList ? m_bankList->selected() : -1;
    const int preset = m_presetList->selected();
    if (preset < 0 || !m_registry.handle()) return {};
    if (CAudioPresetBank* b = userBank(bank)) {
        if (size_t(preset) >= b->size()) return {};
        CAudioPreset p = b->preset(size_t(preset));
        if (!(p.registryId() == registryId())) p.setName(registryId() + CString(":") + p.displayName());
        if (CError e = m_client->setDefaultPreset(m_registry.handle(), p)) return reportError("error-preset-type", p.displayName(), e);
        return {};
    }
    return request(Pending::SetDefault, bank == kFactoryBank, preset, false, CString());
}

// --- Banks --------------------------------------------------------------------------------------------

CError CPresetManager::addBank() {
    std::vector<CString> taken;
    for (const CAudioPresetBank& b : m_userBanks) taken.push_back(b.name());
    const CString base = attr("defbankname").trimmed().empty() ? CString("Bank") : attr("defbankname").trimmed();
    m_userBanks.emplace_back(uniqueName(taken, base));
    KEL_TRY(storeUserBanks());
    KEL_TRY(refresh());
    return m_bankList ? m_bankList->select(kFirstUserBank + int(m_userBanks.size()) - 1) : CError();
}

CError CPresetManager::deleteBank() {
    const int bank = m_bankList ? m_bankList->selected() : -1;
    if (!isUserBank(bank)) return {};
    m_userBanks.erase(m_userBanks.begin() + (bank - kFirstUserBank));
    KEL_TRY(storeUserBanks());
    return refresh();
}

bool CPresetManager::canRenameBank() const {
    return m_bankList && isUserBank(m_bankList->selected());
}

CError CPresetManager::renameBank(const CString& name) {
    if (!canRenameBank()) return {};
    const CString n = name.trimmed();
    if (CError e = checkName(n, m_bankList->rows(), m_bankList->selected(), false)) {
        KEL_TRY(refresh());
        return reportError("error-bank-rename", n, e);
    }
    userBank(m_bankList->selected())->setName(n);
    KEL_TRY(storeUserBanks());
    return refresh();
}

// --- Files --------------------------------------------------------------------------------------------

CError CPresetManager::openDialog(bool bank, bool save) {
    CFileDialog::Request r;
    r.mode = save ? "save" : "open";
    r.extension = bank ? PresetFiles::kBankExt : PresetFiles::kPresetExt;
    r.description = bank ? PresetFiles::kBankDescr : PresetFiles::kPresetDescr;
    r.folder = attr(bank ? "defpath-bank" : "defpath-preset").trimmed();
    r.target = this;
    r.resultEvent = bank ? (save ? "on-bank-save" : "on-bank-load") : (save ? "on-preset-save" : "on-preset-load");
    r.title = CString(save ? "Save " : "Load ") + CString(bank ? "bank" : "preset");
    if (save) {
        CString name = bank ? (m_bankList ? m_bankList->selectedText() : CString()) : m_presetList->selectedText();
        if (name.empty()) name = attr(bank ? "defbankname" : "defpresetname");
        r.fileName = attr("filename-prefix") + name + CString(".") + r.extension;
    }
    return m_dialog ? m_dialog->show(r) : CError();
}

CError CPresetManager::loadPresetFile(const CString& path) {
    CAudioPreset preset;
    if (CError e = PresetFiles::readPreset(path, &preset)) return reportError("error-preset-load", path, e);
    if (!accepts(preset.registryId())) {
        CError e = KEL_ERROR(kelstr_CPresetManager_loadPreset_Incompatible, path);
        return reportError("error-preset-load", path, e);
    }
    if (!(preset.registryId() == registryId())) preset.setName(registryId() + CString(":") + preset.displayName());
    if (CError e = m_client->activatePreset(m_registry.handle(), preset)) return reportError("error-preset-type", path, e);
    return refresh();
}

CError CPresetManager::savePresetFile(const CString& path) {
    const int bank = m_bankList ? m_bankList->selected() : kSessionBank;
    const int preset = m_presetList->selected();
    if (CAudioPresetBank* b = userBank(bank); b && preset >= 0 && size_t(preset) < b->size()) {
        if (CError e = PresetFiles::writePreset(path, b->preset(size_t(preset))))
            return reportError("error-preset-save", path, e);
        return {};
    }
    if (!m_registry.handle()) return {};
    if (bank == kFactoryBank && preset >= 0) return request(Pending::SavePreset, true, preset, false, path);
    const auto* r = m_client->registry(m_registry.handle());
    // The session bank's current program (and nothing selected) is the live state.
    const bool current = preset < 0 || bank != kSessionBank || (r && int(r->currentProgram) == preset);
    return request(Pending::SavePreset, false, current ? -1 : preset, false, path);
}

CError CPresetManager::loadBankFile(const CString& path) {
    CAudioPresetBank bank;
    if (CError e = PresetFiles::readBank(path, &bank)) return reportError("error-bank-load", path, e);
    std::vector<CString> taken{CString(kFactoryBankName), CString(kSessionBankName)};
    for (const CAudioPresetBank& b : m_userBanks) taken.push_back(b.name());
    bank.setName(uniqueName(taken, bank.name().trimmed().empty() ? attr("defbankname") : bank.name()));
    m_userBanks.push_back(std::move(bank));
    KEL_TRY(storeUserBanks());
    KEL_TRY(refresh());
    return m_bankList ? m_bankList->select(kFirstUserBank + int(m_userBanks.size()) - 1) : CError();
}

CError CPresetManager::saveBankFile(const CString& path) {
    const int bank = m_bankList ? m_bankList->selected() : kSessionBank;
    if (CAudioPresetBank* b = userBank(bank)) {
        if (CError e = PresetFiles::writeBank(path, *b)) return reportError("error-bank-save", path, e);
        return {};
    }
    if (!m_registry.handle() || bank < 0) return {};
    return request(Pending::SaveBank, bank == kFactoryBank, -1, true, path);
}

CError CPresetManager::onRegistryData(CEventParams& p) {
    int64_t id = 0;
    if (!p.get("request-id").toInt(&id)) return {};
    auto it = m_pending.find(uint32_t(id));
    if (it == m_pending.end()) return {};
    const PendingRequest r = it->second;
    m_pending.erase(it);
    CParamInterfaceClient::RegistryData data;
    if (!m_client->takeRegistryData(uint32_t(id), &data)) return {};
    if (r.kind == Pending::SaveBank) {
        CAudioPresetBank bank;
        CError e = bank.loadBytes(data.bytes);
        if (!e) e = PresetFiles::writeBank(r.path, bank);
        return e ? reportError("error-bank-save", r.path, e) : CError();
    }
    CAudioPreset preset;
    if (CError e = preset.loadBytes(data.bytes))
        return reportError(r.kind == Pending::SavePreset ? "error-preset-save" : "error-preset-type", r.path, e);
    switch (r.kind) {
        case Pending::SavePreset:
            if (CError e = PresetFiles::writePreset(r.path, preset)) return reportError("error-preset-save", r.path, e);
            return {};
        case Pending::SetDefault:
            if (CError e = m_client->setDefaultPreset(m_registry.handle(), preset))
                return reportError("error-preset-type", preset.displayName(), e);
            return {};
        case Pending::AddPreset: {
            CAudioPresetBank* b = userBank(r.bank);
            if (!b) return {};
            std::vector<CString> taken;
            for (const CAudioPreset& q : b->presets()) taken.push_back(q.displayName());
            const CString base = attr("defpresetname").trimmed().empty() ? CString("Preset") : attr("defpresetname").trimmed();
            preset.setName(preset.registryId() + CString(":") + uniqueName(taken, base));
            b->add(std::move(preset));
            KEL_TRY(storeUserBanks());
            KEL_TRY(refresh());
            if (m_bankList && m_bankList->selected() == r.bank) KEL_TRY(m_presetList->select(int(b->size()) - 1));
            return {};
        }
        case Pending::ReplacePreset: {
            CAudioPresetBank* b = userBank(r.bank);
            if (!b || r.preset < 0 || size_t(r.preset) >= b->size()) return {};
            // The preset keeps its name.
            preset.setName(b->preset(size_t(r.preset)).name());
            b->preset(size_t(r.preset)) = std::move(preset);
            KEL_TRY(storeUserBanks());
            return refresh();
        }
        case Pending::SaveBank: break;
    }
    return {};
}

CError CPresetManager::checkName(const CString& name, const std::vector<CString>& rows, int self, bool preset) const {
    if (name.empty()) return preset ? KEL_ERROR(kelstr_CPresetManager_rename_EmptyPreset) : KEL_ERROR(kelstr_CPresetManager_rename_EmptyBank);
    for (size_t i = 0; i < rows.size(); ++i)
        if (int(i) != self && rows[i].trimmed() == name)
            return preset ? KEL_ERROR(kelstr_CPresetManager_rename_DuplicatePreset, name)
                          : KEL_ERROR(kelstr_CPresetManager_rename_DuplicateBank, name);
    return {};
}

CError CPresetManager::reportError(const char* event, const CString& file, const CError& e) {
    kelLogError(e);
    const CString message = e.message();
    (void)setAttr("last-error-event", event, false);
    (void)setAttr("last-error", message, false);
    CEventParams p{{"filename", file}, {"message", message}};
    KEL_TRY(runCommands(event, p));
    KEL_TRY(notify(event, p));
    return showError(message);
}

CError CPresetManager::showError(const CString& message) {
    const CString tag = attr("error-window-tag").trimmed();
    auto* opener = dynamic_cast<CWindowOpener*>(root()->findObject("ui.window-shared-data.window-opener"));
    if (tag.empty() || !opener) return {};
    CObject* window = opener->findPopup(tag);
    if (!window) {
        KEL_TRY(opener->openWindow(tag, fullName(), false));
        window = opener->findPopup(tag);
    }
    const CString path = attr("error-message-path").trimmed().empty() ? CString(".window-renderer.root.body.message")
                                                                       : attr("error-message-path").trimmed();
    auto* text = dynamic_cast<CView*>(window ? window->findObject(path) : nullptr);
    if (!text) return {};
    KEL_TRY(text->setAttr("text", message, false));
    text->requestLayout();
    text->requestRepaint();
    return {};
}

// --- The store ----------------------------------------------------------------------------------------

// Item format: an "abnk" compressed block holding the bank list.
CError CPresetManager::storeUserBanks() {
    const CString item = attr("store-name").trimmed();
    if (item.empty()) return {};
    m_writing = true;
    CError e = PresetFiles::writeBankList(store(), item, m_userBanks, this);
    m_writing = false;
    return e;
}

CError CPresetManager::reloadUserBanks() {
    const CString item = attr("store-name").trimmed();
    if (item.empty()) return {};
    std::vector<CAudioPresetBank> banks;
    KEL_TRY(PresetFiles::readBankList(store(), item, &banks));
    m_userBanks = std::move(banks);
    return refresh();
}

void CPresetManager::appDataChanged(CAppData&, const CString& itemName) {
    if (m_writing || !(itemName == attr("store-name").trimmed())) return;
    CEventParams p;
    if (CError e = runEvent("shared-banks-update", p)) kelLogError(e);
}
