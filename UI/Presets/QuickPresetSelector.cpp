// Drop-down selectors of presets.
#include "UI/Presets/QuickPresetSelector.h"

#include <algorithm>

#include "Audio/Interface/ParamInterfaceClient.h"
#include "Core/AppData.h"
#include "Core/Log.h"
#include "Core/MemoryReader.h"
#include "Platform/Window/Window.h"
#include "UI/Controls/ParamBridge.h"
#include "UI/Presets/FileDialog.h"

namespace {

// "*" matches any run of characters.
bool matches(const CString& text, const CString& pattern, size_t t = 0, size_t p = 0) {
    while (p < pattern.length()) {
        if (pattern[p] == u'*') {
            for (size_t k = t; k <= text.length(); ++k)
                if (matches(text, pattern, k, p + 1)) return true;
            return false;
        }
        if (t >= text.length() || text[t] != pattern[p]) return false;
        ++t, ++p;
    }
    return t == text.length();
}

CString joined(const CEventParams& p) {
    const CString folder = p.get("path"), name = p.get("filename");
    if (folder.empty()) return name;
    return folder[folder.length() - 1] == u'/' ? folder + name : folder + CString("/") + name;
}

}  // namespace

CQuickPresetSelector::~CQuickPresetSelector() {
    if (m_storeListening) store().removeListener(this);
    if (m_client) {
        CObject::unlistenObject(m_client, "update-registry", this);
        CObject::unlistenObject(m_client, "registry-data", this);
    }
}

void CQuickPresetSelector::registerEvents(CClassRecord& record) {
    CTextView::registerEvents(record);
    using S = CQuickPresetSelector;
    record.addEvent("popup-result", [](CObject* self, CEventParams& p) -> CError {
        return static_cast<S*>(self)->onPopupResult(p);
    });
    record.addEvent("load-preset", [](CObject* self, CEventParams&) -> CError {
        return static_cast<S*>(self)->openDialog(false);
    });
    record.addEvent("save-preset", [](CObject* self, CEventParams&) -> CError {
        return static_cast<S*>(self)->openDialog(true);
    });
    record.addEvent("perform-load-preset", [](CObject* self, CEventParams& p) -> CError {
        return static_cast<S*>(self)->loadFile(joined(p));
    });
    record.addEvent("perform-save-preset", [](CObject* self, CEventParams& p) -> CError {
        return static_cast<S*>(self)->saveFile(joined(p));
    });
    record.addEvent("dynamic-list-updated", [](CObject* self, CEventParams&) -> CError {
        return static_cast<S*>(self)->reload();
    });
    record.addEvent("on-title-change", [](CObject* self, CEventParams&) -> CError {
        return static_cast<S*>(self)->showTitle();
    });
    record.addEvent("on-registry-data", [](CObject* self, CEventParams& p) -> CError {
        return static_cast<S*>(self)->onRegistryData(p);
    });
}

CError CQuickPresetSelector::initLinks() {
    KEL_TRY(CTextView::initLinks());
    const CString clientPath = hasAttr("interface-client") ? attr("interface-client") : CString("ui.interface-client");
    KEL_TRY(findObjectChecked(clientPath, &m_client));
    m_title = dynamic_cast<CUIParam*>(findObject(".ui-param-title"));
    if (m_title) {
        listenObject(m_title, "value-changed", this, "on-title-change");
        listenObject(m_title, "ui-param-ready", this, "on-title-change");
    }
    listenObject(m_client, "update-registry", this, "dynamic-list-updated");
    listenObject(m_client, "registry-data", this, "on-registry-data");
    m_registry.listen(m_client, *this);
    KEL_TRY(CFileDialog::ofOwner(this, &m_dialog));
    return {};
}

CError CQuickPresetSelector::initDone() {
    KEL_TRY(CTextView::initDone());
    store().addListener(this);
    m_storeListening = true;
    return reload();
}

CAppData& CQuickPresetSelector::store() const {
    return attrBool("is-global-data") ? CAppData::global() : CAppData::local();
}

void CQuickPresetSelector::appDataChanged(CAppData&, const CString& itemName) {
    if (m_writing) return;
    for (const char* name : {"store-name", "store-name-user", "user-banks"})
        if (itemName == attr(name).trimmed()) {
            if (CError e = reload()) kelLogError(e);
            return;
        }
}

std::vector<CString> CQuickPresetSelector::popupItems(int* current) const {
    std::vector<CString> out;
    for (const Item& i : m_items) out.push_back(i.title);
    if (current) *current = indexOf(title());
    if (attrBool("popup-file-items")) {
        if (!out.empty()) out.push_back(kRuleItem);
        out.push_back(kLoadItem);
        out.push_back(kSaveItem);
    }
    return out;
}

CError CQuickPresetSelector::onPopupResult(const CEventParams& p) {
    if (!p.has("title")) return KEL_ERROR(kelstr_CQuickPresetSelector_onPopupResult_NoParam);
    int64_t index = -1;
    const bool byIndex = p.get("index").toInt(&index);
    const CString t = p.get("title");
    // The file entries follow the presets.
    if (attrBool("popup-file-items") && (!byIndex || index >= int64_t(m_items.size()))) {
        if (t == kLoadItem) return openDialog(false);
        if (t == kSaveItem) return openDialog(true);
        if (t == kRuleItem) return {};
    }
    // By place when the list said which (titles need not be unique).
    if (byIndex && index >= 0 && size_t(index) < m_items.size() && m_items[size_t(index)].title == t)
        return selectIndex(int(index));
    return select(t);
}

CError CQuickPresetSelector::reload() {
    std::vector<Item> items;
    CAppData& store = attrBool("is-global-data") ? CAppData::global() : CAppData::local();
    for (const char* attrName : {"store-name", "store-name-user"}) {
        const CString item = attr(attrName).trimmed();
        if (item.empty()) continue;
        // A list name, or the item and its embedded default as an "appdata" file names them.
        const CAppData::ItemRef ref = CAppData::parseItemRef(item);
        std::vector<uint8_t> data;
        bool found = false;
        CAudioPresetBank bank;
        if (CError e = store.readData(ref.name, kIdAlst, &data, &found, ref.resource); e || !found) {
            if (e) kelLogError(e);
            continue;
        }
        if (CError e = bank.loadBytes(data)) {
            kelLogError(e);
            continue;
        }
        for (const CAudioPreset& p : bank.presets()) items.push_back({p.displayName(), -1, p});
    }
    const auto* r = m_client && m_registry.handle() ? m_client->registry(m_registry.handle()) : nullptr;
    if (items.empty() && r && r->known && (r->flags & ParamRegistry::kMaster))
        for (size_t i = 0; i < r->programs.size(); ++i) items.push_back({r->programs[i], int(i), CAudioPreset()});
    if (const CString banksItem = attr("user-banks").trimmed(); !banksItem.empty()) {
        std::vector<CAudioPresetBank> banks;
        if (CError e = PresetFiles::readBankList(store, banksItem, &banks)) kelLogError(e);
        for (const CAudioPresetBank& b : banks)
            for (const CAudioPreset& p : b.presets()) items.push_back({p.displayName(), -1, p, true});
    }
    m_items = std::move(items);
    return showTitle();
}

CString CQuickPresetSelector::title() const {
    if (m_title && m_title->binding().isReady() && m_title->binding().bridge()) return m_title->binding().text();
    const auto* r = m_client && m_registry.handle() ? m_client->registry(m_registry.handle()) : nullptr;
    return r && r->known ? r->currentProgramName : CString();
}

CError CQuickPresetSelector::showTitle() {
    // Before the view is done its text would not be laid out (initDone shows it).
    if (initState() < 3) return {};
    CString t = title();
    const CString filter = attr("forced-title-filter");
    if (!filter.empty() && matches(t, filter)) t = attr("forced-title");
    if (!(t == attr("text"))) {
        KEL_TRY(setAttr("text", t, false));
        requestLayout();
        requestRepaint();
    }
    return {};
}

int CQuickPresetSelector::indexOf(const CString& title) const {
    for (size_t i = 0; i < m_items.size(); ++i)
        if (m_items[i].title == title) return int(i);
    return -1;
}

CError CQuickPresetSelector::select(const CString& title) {
    const int i = indexOf(title);
    if (i < 0) return KEL_ERROR(kelstr_CQuickPresetSelector_select_Unknown, title);
    return selectIndex(i);
}

CError CQuickPresetSelector::selectIndex(int i) {
    if (!m_registry.handle() || i < 0 || size_t(i) >= m_items.size()) return {};
    const Item& item = m_items[size_t(i)];
    if (item.program >= 0) return m_client->setCurrentProgram(m_registry.handle(), uint32_t(item.program));
    return m_client->activatePreset(m_registry.handle(), item.preset, item.user ? -1 : i);
}

CError CQuickPresetSelector::onViewEvent(const CString& name, CEventParams& p) {
    int64_t code = 0;
    if (name != "key-press" || isEditing() || !p.get("keycode").toInt(&code)) return CTextView::onViewEvent(name, p);
    int step = 0;
    if (code == plat::kKeyDown || code == plat::kKeyRight) step = 1;
    if (code == plat::kKeyUp || code == plat::kKeyLeft) step = -1;
    if (step == 0) return CTextView::onViewEvent(name, p);
    p.set("is-handled", "true");
    if (isBlocked() || m_items.empty()) return {};
    const int at = indexOf(title());
    const int next = at < 0 ? 0 : std::clamp(at + step, 0, int(m_items.size()) - 1);
    return next == at ? CError() : selectIndex(next);
}

CError CQuickPresetSelector::openDialog(bool save) {
    if (!m_dialog) return {};
    CFileDialog::Request r;
    r.mode = save ? "save" : "open";
    r.extension = attr("preset-file-ext").trimmed().empty() ? CString(PresetFiles::kPresetExt) : attr("preset-file-ext").trimmed();
    r.description = attr("preset-file-descr").trimmed().empty() ? CString(PresetFiles::kPresetDescr) : attr("preset-file-descr");
    r.folder = attr("preset-file-defpath").trimmed();
    r.title = save ? "Save preset" : "Load preset";
    r.fileName = title() + CString(".") + r.extension;
    r.target = this;
    r.resultEvent = save ? "perform-save-preset" : "perform-load-preset";
    return m_dialog->show(r);
}

CError CQuickPresetSelector::loadFile(const CString& path) {
    CAudioPreset preset;
    CError e = PresetFiles::readPreset(path, &preset);
    if (!e && m_registry.handle()) e = m_client->activatePreset(m_registry.handle(), preset);
    if (e) {
        kelLogf("Error loading preset");
        kelLogError(e);
    }
    return {};
}

CError CQuickPresetSelector::saveFile(const CString& path) {
    if (!m_registry.handle()) return {};
    uint32_t id = 0;
    KEL_TRY(m_client->requestPreset(m_registry.handle(), false, -1, -1, &id));
    m_saves[id] = path;
    return {};
}

CError CQuickPresetSelector::onRegistryData(CEventParams& p) {
    int64_t id = 0;
    if (!p.get("request-id").toInt(&id)) return {};
    auto it = m_saves.find(uint32_t(id));
    if (it == m_saves.end()) return {};
    const CString path = it->second;
    m_saves.erase(it);
    CParamInterfaceClient::RegistryData data;
    if (!m_client->takeRegistryData(uint32_t(id), &data)) return {};
    CAudioPreset preset;
    KEL_TRY(preset.loadBytes(data.bytes));
    KEL_TRY(PresetFiles::writePreset(path, preset));
    // Named after the file.
    size_t slash = path.length();
    while (slash > 0 && path[slash - 1] != u'/' && path[slash - 1] != u'\\') --slash;
    CString stem = path.substr(slash);
    const CString ext = CString(".") + (attr("preset-file-ext").trimmed().empty() ? CString(PresetFiles::kPresetExt)
                                                                                  : attr("preset-file-ext").trimmed());
    if (stem.length() > ext.length() && stem.substr(stem.length() - ext.length()) == ext)
        stem = stem.substr(0, stem.length() - ext.length());
    preset.setName(preset.registryId() + CString(":") + stem);
    return addUserPreset(std::move(preset));
}

CError CQuickPresetSelector::addUserPreset(CAudioPreset preset) {
    CAppData& data = store();
    if (const CString banksItem = attr("user-banks").trimmed(); !banksItem.empty()) {
        std::vector<CAudioPresetBank> banks;
        KEL_TRY(PresetFiles::readBankList(data, banksItem, &banks));
        const CString bankName = attr("user-bank-name").trimmed().empty() ? CString("User") : attr("user-bank-name").trimmed();
        auto it = std::find_if(banks.begin(), banks.end(), [&](const CAudioPresetBank& b) { return b.name() == bankName; });
        if (it == banks.end()) it = banks.insert(banks.end(), CAudioPresetBank(bankName));
        it->add(std::move(preset));
        m_writing = true;
        CError e = PresetFiles::writeBankList(data, banksItem, banks, this);
        m_writing = false;
        if (e) return e;
        return reload();
    }
    const CString listItem = attr("store-name-user").trimmed();
    if (listItem.empty()) return {};
    std::vector<uint8_t> bytes;
    bool found = false;
    CAudioPresetBank list;
    KEL_TRY(data.readData(listItem, kIdAlst, &bytes, &found));
    if (found) KEL_TRY(list.loadBytes(bytes));
    list.add(std::move(preset));
    m_writing = true;
    CError e = data.writeData(listItem, kIdAlst, list.bytes(), this);
    m_writing = false;
    if (e) return e;
    return reload();
}

void CInstancePresetSelector::registerEvents(CClassRecord& record) {
    CQuickPresetSelector::registerEvents(record);
    record.addEvent("next-preset", [](CObject* self, CEventParams& p) -> CError {
        if (!p.has("title")) return KEL_ERROR(kelstr_CQuickPresetSelector_selectNextItem_NoParam);
        return static_cast<CInstancePresetSelector*>(self)->selectNext(p.get("title"), 1);
    });
    // The arrows beside the selector step from the title it shows.
    record.addEvent("step-next", [](CObject* self, CEventParams&) -> CError {
        auto* s = static_cast<CInstancePresetSelector*>(self);
        return s->selectNext(s->title(), 1);
    });
    record.addEvent("step-prev", [](CObject* self, CEventParams&) -> CError {
        auto* s = static_cast<CInstancePresetSelector*>(self);
        return s->selectNext(s->title(), -1);
    });
    record.addEvent("prev-preset", [](CObject* self, CEventParams& p) -> CError {
        if (!p.has("title")) return KEL_ERROR(kelstr_CQuickPresetSelector_selectNextItem_NoParam);
        return static_cast<CInstancePresetSelector*>(self)->selectNext(p.get("title"), -1);
    });
}

CError CInstancePresetSelector::selectNext(const CString& title, int step) {
    if (m_items.empty()) return {};
    const int n = int(m_items.size());
    const int at = indexOf(title);
    const int next = at < 0 ? (step > 0 ? 0 : n - 1) : ((at + step) % n + n) % n;
    // By place: titles need not be unique.
    return selectIndex(next);
}
