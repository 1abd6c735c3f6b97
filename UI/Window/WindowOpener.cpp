// Pop-up windows: opening from templates, closing in order.
#include "UI/Window/WindowOpener.h"

#include "Core/Log.h"
#include "UI/Render/WindowRenderer.h"
#include "UI/Window/WindowSharedData.h"

namespace {
CString popupName(const CString& templateName) { return CString("popup-") + templateName; }

// The holder under "ui" that contains an object.
CObject* holderOf(CObject* o) {
    CObject* ui = o->root()->findObject("ui");
    while (o && o->parent() != ui) o = o->parent();
    return o;
}
}  // namespace

CWindowRenderer* kelFindRenderer(CObject* holder) {
    if (!holder) return nullptr;
    if (auto* r = dynamic_cast<CWindowRenderer*>(holder)) return r;
    for (const auto& c : holder->children())
        if (CWindowRenderer* r = kelFindRenderer(c.get())) return r;
    return nullptr;
}

void CWindowOpener::registerEvents(CClassRecord& record) {
    CObject::registerEvents(record);
    record.addEvent("open-window", [](CObject* o, CEventParams& p) -> CError {
        return static_cast<CWindowOpener*>(o)->openWindow(p.get("window-tag").trimmed(), p.get("opener").trimmed(),
                                                          p.get("is-local-popup") == "true");
    });
}

CObject* CWindowOpener::findPopup(const CString& templateName) const {
    CObject* ui = root()->findObject("ui");
    return ui ? ui->findChild(popupName(templateName)) : nullptr;
}

CError CWindowOpener::openWindow(const CString& templateName, const CString& openerPath, bool localPopup) {
    if (templateName.empty()) return KEL_ERROR(kelstr_CWindowOpener_open_NoTemplate);
    CObject* ui = root()->findObject("ui");
    if (!ui) return KEL_ERROR(kelstr_CWindowOpener_open_NoUi);
    if (CObject* open = findPopup(templateName)) {
        CWindowCloser::destroyPopup(open);
        return notify("popup-changed");
    }
    // The pop-up's renderer reads these while it opens (placement).
    KEL_TRY(setAttr("opener", openerPath, false));
    KEL_TRY(setAttr("is-local-popup", localPopup ? "true" : "false", false));
    CObject* made = nullptr;
    CError err = ui->createChild(templateName, popupName(templateName), &made);
    if (err) {
        if (CObject* half = ui->findChild(popupName(templateName))) CWindowCloser::destroyPopup(half);
        return err;
    }
    if (!kelFindRenderer(made)) {
        CWindowCloser::destroyPopup(made);
        return KEL_ERROR(kelstr_CWindowOpener_open_NoRenderer, templateName);
    }
    CEventParams p{{"window", made->fullName()}};
    KEL_TRY(notify("popup-created", p));
    return notify("popup-changed", p);
}

void CWindowCloser::registerEvents(CClassRecord& record) {
    CObject::registerEvents(record);
    record.addEvent("close-window", [](CObject* o, CEventParams& p) -> CError {
        return static_cast<CWindowCloser*>(o)->closeWindow(p.get("window").trimmed());
    });
    record.addEvent("close-menus", [](CObject* o, CEventParams& p) -> CError {
        return static_cast<CWindowCloser*>(o)->closeMenus(p.get("window").trimmed(), p.get("view").trimmed());
    });
}

void CWindowCloser::destroyPopup(CObject* holder) {
    if (!holder || !holder->parent()) return;
    if (CWindowRenderer* r = kelFindRenderer(holder)) r->closeOutput();
    std::unique_ptr<CObject> gone = holder->parent()->releaseChild(holder);
}

CError CWindowCloser::closeWindow(const CString& windowName) {
    CObject* target = root()->findObject(windowName);
    if (!target) return {};
    CObject* holder = holderOf(target);
    CWindowRenderer* r = kelFindRenderer(holder);
    if (!holder || !r || !r->attrBool("is-popup-window")) return {};
    if (r->hasEvent("pre-close-window")) KEL_TRY(r->runEvent("pre-close-window"));
    auto* shared = dynamic_cast<CWindowSharedData*>(root()->findObject("ui.window-shared-data"));
    const CString holderName = holder->fullName();
    CObject* top = root();
    auto close = [top, holderName]() -> CError {
        CObject* h = top->findObject(holderName);
        if (!h) return {};
        if (CWindowRenderer* rr = kelFindRenderer(h); rr && rr->hasEvent("perform-close-window"))
            KEL_TRY(rr->runEvent("perform-close-window"));
        destroyPopup(h);
        return {};
    };
    if (shared) shared->bridge(close);
    else return close();
    return {};
}

CError CWindowCloser::closeMenus(const CString& pressedWindow, const CString& pressedView) {
    CObject* ui = root()->findObject("ui");
    if (!ui) return {};
    std::vector<CString> menus;
    for (const auto& c : ui->children()) {
        if (!c->name().startsWith("popup-")) continue;
        const CWindowRenderer* r = kelFindRenderer(c.get());
        if (!r || !r->attrBool("is-close-on-outside-click") || r->fullName() == pressedWindow) continue;
        const CString opener = r->attr("opener").trimmed();
        if (!opener.empty() && (pressedView == opener || pressedView.startsWith(opener + CString(".")))) continue;
        menus.push_back(r->fullName());
    }
    for (const CString& m : menus) KEL_TRY(closeWindow(m));
    return {};
}
