// Our own file dialog window.
#include "UI/Presets/FileDialogPanel.h"

#include <string>

#include "Platform/FileDialog.h"
#include "UI/Presets/FileDialog.h"
#include "UI/Presets/ItemList.h"
#include "UI/Presets/TextField.h"

namespace {

using Attrs = std::initializer_list<std::pair<const char*, const char*>>;

CObject* add(CObject* parent, const char* tag, const char* name, Attrs attrs) {
    std::unique_ptr<CObject> o = createObject(tag);
    o->setName(name);
    for (const auto& [n, v] : attrs) (void)o->setAttr(n, v, false);
    CObject* made = o.get();
    parent->attachChild(std::move(o));
    return made;
}

CObject* button(CObject* parent, const char* name, const char* text, const char* event) {
    CObject* b = add(parent, "ui:textview", name,
                     {{"width", "76"}, {"height", "24"}, {"color", "Button"}, {"image-set", "is.button"},
                      {"font-name", "font.base"}, {"text", text}, {"text-alignment", "center"},
                      {"text-alignment-v", "center"}, {"outer-border", "L6"}});
    add(b, "ui:view-state", "", {{"state-name", "hover"}, {"state-attrs", "color-state"}, {"color-state", "Hover"}});
    add(b, "ui:view-command", "", {{"on-event", "mouse-enter"}, {"set-state", "hover"}});
    add(b, "ui:view-command", "", {{"on-event", "mouse-exit"}, {"unset-state", "hover"}});
    // The panel is two levels up: the button row, then the panel.
    add(b, "ui:view-command", "", {{"on-event", "mouse-release"}, {"run-event", event}, {"run-event-target", "^^"}});
    return b;
}

CString joinPath(const CString& folder, const CString& name) {
    if (folder.empty()) return name;
    return folder[folder.length() - 1] == u'/' ? folder + name : folder + CString("/") + name;
}

CString parentFolder(const CString& folder) {
    const size_t slash = folder.rfind(u'/');
    if (slash == CString::npos) return folder;
    if (slash == 0) return CString("/");
    return folder.substr(0, slash);
}

bool hasExtension(const CString& name, const CString& ext) {
    if (ext.empty()) return true;
    const std::string n = name.utf8(), e = "." + ext.utf8();
    if (n.size() <= e.size()) return false;
    for (size_t i = 0; i < e.size(); ++i) {
        char a = n[n.size() - e.size() + i], b = e[i];
        if (a >= 'A' && a <= 'Z') a = char(a + 32);
        if (b >= 'A' && b <= 'Z') b = char(b + 32);
        if (a != b) return false;
    }
    return true;
}

}  // namespace

std::unique_ptr<CObject> CFileDialogPanel::build(const CString& holderName, const CString& title, bool save) {
    std::unique_ptr<CObject> holder = createObject("core:object");
    holder->setName(holderName);
    const std::string t = title.empty() ? std::string(save ? "Save" : "Open") : title.utf8();
    CObject* r = add(holder.get(), "ui:window-renderer", "window-renderer",
                     {{"is-popup-window", "true"}, {"title", t.c_str()}, {"window-alignment", "center-overlay"}});
    CObject* root = add(r, "ui:file-dialog-panel", "root",
                        {{"is-root-view", "true"}, {"width", "440"}, {"height", "300"}, {"color", "Background"},
                         {"palette", "palette"}, {"inner-border", "8"}, {"is-inline-vertical", "true"}});
    add(root, "ui:textview", "path", {{"width", "full"}, {"height", "18"}, {"font-name", "font.base"}});
    CObject* lists = add(root, "ui:view", "lists", {{"width", "full"}, {"height", "full"}});
    add(lists, "ui:item-list", "folders",
        {{"width", "150"}, {"height", "full"}, {"font-name", "font.base"}, {"color", "EditBox"},
         {"inner-border", "4"}, {"is-focusable", "true"}});
    add(lists, "ui:item-list", "files",
        {{"width", "full"}, {"height", "full"}, {"font-name", "font.base"}, {"color", "EditBox"},
         {"inner-border", "4"}, {"outer-border", "L6"}, {"is-focusable", "true"}});
    add(root, "ui:text-field", "name",
        {{"width", "full"}, {"height", "20"}, {"font-name", "font.base"}, {"color", "EditBox"}, {"inner-border", "3"},
         {"outer-border", "T6"}, {"text-alignment-v", "center"}, {"reject-chars", "/\\:*?\"<>|"},
         {"is-focusable", "true"}});
    CObject* buttons = add(root, "ui:view", "buttons", {{"width", "full"}, {"height", "24"}, {"outer-border", "T6"}});
    add(buttons, "ui:view", "space", {{"width", "full"}, {"height", "24"}});
    button(buttons, "ok", save ? "Save" : "Open", "dialog-ok");
    button(buttons, "cancel", "Cancel", "dialog-cancel");
    return holder;
}

CFileDialogPanel::~CFileDialogPanel() {
    if (m_owner) m_owner->panelDestroyed(this);
}

void CFileDialogPanel::registerEvents(CClassRecord& record) {
    CView::registerEvents(record);
    record.addEvent("dialog-ok", [](CObject* self, CEventParams&) -> CError {
        return static_cast<CFileDialogPanel*>(self)->ok();
    });
    record.addEvent("dialog-cancel", [](CObject* self, CEventParams&) -> CError {
        return static_cast<CFileDialogPanel*>(self)->cancel();
    });
    record.addEvent("on-folder-open", [](CObject* self, CEventParams& p) -> CError {
        int64_t i = -1;
        p.get("index").toInt(&i);
        return static_cast<CFileDialogPanel*>(self)->enterFolder(int(i));
    });
    record.addEvent("on-file-selected", [](CObject* self, CEventParams& p) -> CError {
        int64_t i = -1;
        p.get("index").toInt(&i);
        return static_cast<CFileDialogPanel*>(self)->fileSelected(int(i), false);
    });
    record.addEvent("on-file-chosen", [](CObject* self, CEventParams& p) -> CError {
        int64_t i = -1;
        p.get("index").toInt(&i);
        return static_cast<CFileDialogPanel*>(self)->fileSelected(int(i), true);
    });
    record.addEvent("on-name-commit", [](CObject* self, CEventParams&) -> CError {
        return static_cast<CFileDialogPanel*>(self)->ok();
    });
    record.addEvent("on-name-cancel", [](CObject* self, CEventParams&) -> CError {
        return static_cast<CFileDialogPanel*>(self)->cancel();
    });
}

CError CFileDialogPanel::initLinks() {
    KEL_TRY(CView::initLinks());
    KEL_TRY(findObjectChecked(CString(".path"), &m_path));
    KEL_TRY(findObjectChecked(CString(".lists.folders"), &m_folders));
    KEL_TRY(findObjectChecked(CString(".lists.files"), &m_files));
    KEL_TRY(findObjectChecked(CString(".name"), &m_name));
    listenObject(m_folders, "paragraph-dbl-clicked", this, "on-folder-open");
    listenObject(m_files, "selected-paragraph-changed", this, "on-file-selected");
    listenObject(m_files, "paragraph-dbl-clicked", this, "on-file-chosen");
    listenObject(m_name, "text-field-commit", this, "on-name-commit");
    listenObject(m_name, "text-field-cancel", this, "on-name-cancel");
    return {};
}

CError CFileDialogPanel::showFolder(const CString& folder, const CString& extension) {
    std::vector<std::string> folders, files;
    if (!plat::listFolder(folder.utf8(), &folders, &files)) folders.clear(), files.clear();
    m_folder = folder;
    m_extension = extension;
    std::vector<CString> folderRows, fileRows;
    if (!(folder == "/")) folderRows.push_back("..");
    for (const std::string& f : folders) folderRows.push_back(CString(f));
    for (const std::string& f : files)
        if (hasExtension(CString(f), extension)) fileRows.push_back(CString(f));
    KEL_TRY(m_path->setAttr("text", folder, false));
    KEL_TRY(m_folders->select(-1));
    KEL_TRY(m_folders->setRows(std::move(folderRows)));
    KEL_TRY(m_files->select(-1));
    return m_files->setRows(std::move(fileRows));
}

CError CFileDialogPanel::setFileName(const CString& name) { return m_name->setValue(name); }

CError CFileDialogPanel::enterFolder(int row) {
    if (row < 0 || size_t(row) >= m_folders->rows().size()) return {};
    const CString entry = m_folders->rows()[size_t(row)];
    return showFolder(entry == ".." ? parentFolder(m_folder) : joinPath(m_folder, entry), m_extension);
}

CError CFileDialogPanel::fileSelected(int row, bool chosen) {
    if (row < 0 || size_t(row) >= m_files->rows().size()) return {};
    KEL_TRY(m_name->setValue(m_files->rows()[size_t(row)]));
    return chosen ? ok() : CError();
}

CError CFileDialogPanel::ok() {
    const CString name = m_name->value().trimmed();
    if (name.empty() || !m_owner) return {};
    return m_owner->finish({joinPath(m_folder, name)});
}

CError CFileDialogPanel::cancel() {
    if (!m_owner) return {};
    return m_owner->finish({});
}
