// The file dialog: the desktop's, or our own window.
#include "UI/Presets/FileDialog.h"

#include "Core/Log.h"
#include "Platform/FileDialog.h"
#include "UI/Presets/FileDialogPanel.h"
#include "UI/Window/WindowOpener.h"

namespace {

CString lowerAscii(const CString& s) {
    CString out;
    for (size_t i = 0; i < s.length(); ++i) {
        const char16_t c = s[i];
        out += (c >= u'A' && c <= u'Z') ? char16_t(c + 32) : c;
    }
    return out;
}

// Splits a full path into its folder and its file name.
void splitPath(const CString& full, CString* folder, CString* name) {
    const size_t slash = full.rfind(u'/');
    if (slash == CString::npos) {
        *folder = CString();
        *name = full;
        return;
    }
    *folder = full.substr(0, slash == 0 ? 1 : slash);
    *name = full.substr(slash + 1);
}

CString extensionOf(const CString& name) {
    const size_t dot = name.rfind(u'.');
    return dot == CString::npos || dot == 0 ? CString() : name.substr(dot + 1);
}

}  // namespace

CFileDialog::CFileDialog() = default;

CFileDialog::~CFileDialog() {
    if (m_system) m_system->cancel();
    if (m_panel) {
        // The window still open goes with the dialog.
        m_panel->setOwner(nullptr);
        CWindowCloser::destroyPopup(m_holder);
    }
}

CError CFileDialog::ofOwner(CObject* owner, CFileDialog** out) {
    *out = dynamic_cast<CFileDialog*>(owner->findChild("file-dialog"));
    if (*out) return {};
    std::unique_ptr<CObject> d = createObject("ui:file-dialog");
    d->setName("file-dialog");
    CObject* made = d.get();
    KEL_TRY(owner->addChild(std::move(d)));
    KEL_TRY(made->initTree());
    *out = dynamic_cast<CFileDialog*>(made);
    return {};
}

void CFileDialog::panelDestroyed(CFileDialogPanel* panel) {
    if (panel != m_panel) return;
    m_panel = nullptr;
    m_holder = nullptr;
    m_backend = CString();
}

void CFileDialog::registerEvents(CClassRecord& record) {
    CObject::registerEvents(record);
    record.addEvent("show-dialog", [](CObject* self, CEventParams& p) -> CError {
        auto* d = static_cast<CFileDialog*>(self);
        Request r;
        r.mode = p.get("mode");
        r.title = p.get("title");
        r.extension = p.get("file-ext");
        r.description = p.get("file-descr");
        r.folder = p.get("defpath");
        r.fileName = p.get("filename");
        r.resultEvent = p.get("result-event");
        if (!p.get("target").trimmed().empty()) KEL_TRY(d->findObjectChecked(p.get("target").trimmed(), &r.target));
        return d->show(r);
    });
    record.addEvent("poll-dialog", [](CObject* self, CEventParams&) -> CError {
        return static_cast<CFileDialog*>(self)->poll();
    });
}

bool CFileDialog::isOpen() const { return m_system != nullptr || m_panel != nullptr; }

CError CFileDialog::show(const Request& request) {
    const bool save = request.mode == "save";
    if (!save && !(request.mode == "open")) return KEL_ERROR(kelstr_CFileDialog_handleEvent_InvalidMode);
    if (!request.target) return KEL_ERROR(kelstr_CFileDialog_show_NoTarget);
    if (isOpen()) KEL_TRY(finish({}));
    dropPanel();
    m_request = request;
    // Without a folder of its own the dialog starts in the user's home.
    if (m_request.folder.trimmed().empty()) m_request.folder = CString(plat::homeFolder());

    if (!hasAttr("use-system-dialog") || attrBool("use-system-dialog")) {
        plat::FileDialogRequest r;
        r.save = save;
        r.title = request.title.utf8();
        r.folder = m_request.folder.utf8();
        r.fileName = request.fileName.utf8();
        if (!request.extension.empty()) r.filters.push_back({request.description.utf8(), request.extension.utf8()});
        CString parent = root() ? root()->attr("ParentWindow") : CString();
        int64_t handle = 0;
        if (parent.toInt(&handle)) r.parentWindow = reinterpret_cast<void*>(intptr_t(handle));
        std::string error;
        m_system = plat::CSystemFileDialog::start(r, &error);
        if (m_system) {
            m_backend = m_lastBackend = m_system->backend();
            KEL_TRY(ensureTimer());
            return poll();
        }
        if (!error.empty()) kelLogf("File dialog: %s; showing our own", error.c_str());
    }
    return openOwn();
}

CError CFileDialog::ensureTimer() {
    if (m_timer) return {};
    std::unique_ptr<CObject> t = createObject("ui:update-timer");
    t->setName("poll-timer");
    KEL_TRY(t->setAttr("interval", "0.1", false));
    KEL_TRY(t->setAttr("event", "poll-dialog", false));
    CObject* timer = t.get();
    KEL_TRY(addChild(std::move(t)));
    KEL_TRY(timer->initTree());
    m_timer = timer;
    return {};
}

CError CFileDialog::openOwn() {
    CObject* ui = root() ? root()->findChild("ui") : nullptr;
    if (!ui) ui = parent();
    const CString holderName = "popup-file-dialog";
    if (CObject* old = ui->findChild(holderName)) CWindowCloser::destroyPopup(old);
    std::unique_ptr<CObject> holder =
        CFileDialogPanel::build(holderName, m_request.title, m_request.mode == "save");
    CObject* made = holder.get();
    CError err = ui->addChild(std::move(holder));
    if (!err) err = made->initTree();
    CFileDialogPanel* panel = nullptr;
    if (!err) err = made->findObjectChecked(CString(".window-renderer.root"), &panel);
    if (err) {
        if (ui->findChild(holderName) == made) CWindowCloser::destroyPopup(made);
        return KEL_ERROR(kelstr_CFileDialog_createDialog_CreateWin, err.message());
    }
    m_holder = made;
    m_panel = panel;
    m_panel->setOwner(this);
    m_backend = m_lastBackend = "own";
    KEL_TRY(m_panel->showFolder(m_request.folder, m_request.extension));
    return m_panel->setFileName(m_request.mode == "save" ? m_request.fileName : CString());
}

void CFileDialog::dropPanel() {
    if (m_closingHolder.empty()) return;
    if (CObject* h = root() ? root()->findObject(m_closingHolder) : nullptr) CWindowCloser::destroyPopup(h);
    m_closingHolder = CString();
}

CError CFileDialog::poll() {
    dropPanel();
    if (!m_system) return {};
    const plat::FileDialogResult r = m_system->poll();
    switch (r.status) {
        case plat::FileDialogResult::Status::Pending: return {};
        case plat::FileDialogResult::Status::Chosen: {
            std::vector<CString> paths;
            for (const std::string& p : r.paths) paths.push_back(CString(p));
            return finish(paths);
        }
        case plat::FileDialogResult::Status::Cancelled: return finish({});
        case plat::FileDialogResult::Status::Failed:
            m_system.reset();
            m_backend = CString();
            return KEL_ERROR(kelstr_CFileDialog_show_Failed, CString(r.error));
    }
    return {};
}

CEventParams CFileDialog::resultParams(const std::vector<CString>& paths, const CString& extension) {
    CEventParams p;
    p.set("filecount", CString::number(int64_t(paths.size())));
    for (size_t i = 0; i < paths.size(); ++i) {
        CString folder, name;
        splitPath(paths[i], &folder, &name);
        CString ext = extensionOf(name);
        // A name typed without the type's extension gets it.
        if (!extension.empty() && !(lowerAscii(ext) == lowerAscii(extension))) {
            name += CString(".") + extension;
            ext = extension;
        }
        const CString n = CString::number(int64_t(i + 1));
        p.set(CString("filename") + n, name);
        p.set(CString("extension") + n, ext);
        if (i == 0) {
            p.set("filename", name);
            p.set("extension", ext);
            p.set("path", folder);
        }
    }
    return p;
}

CError CFileDialog::finish(const std::vector<CString>& paths) {
    if (m_system) {
        m_system->cancel();
        m_system.reset();
    }
    if (m_panel) {
        // Our own window is destroyed at the next poll: this may run inside
        // one of its events.
        m_panel->setOwner(nullptr);
        m_panel = nullptr;
        CObject* closer = findObject("ui.window-shared-data.window-closer");
        CEventParams c{{"window", m_holder->fullName()}};
        if (!closer || closer->runEvent("close-window", c)) m_closingHolder = m_holder->fullName();
        m_holder = nullptr;
    }
    m_backend = CString();
    if (paths.empty() || !m_request.target) return {};
    CEventParams p = resultParams(paths, m_request.extension);
    return m_request.target->runEvent(m_request.resultEvent, p);
}
