// Push buttons: the base and the one that closes its window.
#include "UI/Buttons/Button.h"

#include "UI/Render/WindowRenderer.h"

void CButtonBase::registerEvents(CClassRecord& record) {
    CTextView::registerEvents(record);
    record.addEvent("click", [](CObject* self, CEventParams&) -> CError {
        return static_cast<CButtonBase*>(self)->click();
    });
}

CError CButtonBase::click() {
    if (isBlocked()) return {};
    CEventParams none;
    KEL_TRY(notify("click", none));
    if (hasAttr("run-event")) {
        CObject* target = this;
        if (hasAttr("run-event-target")) KEL_TRY(findObjectByAttr("run-event-target", &target));
        CEventParams p({{"opener", fullName()}});
        if (hasAttr("window-tag")) p.set("window-tag", attr("window-tag"));
        KEL_TRY(target->runEvent(attr("run-event"), p));
    }
    return clicked();
}

CError CButtonBase::onViewEvent(const CString& name, CEventParams& p) {
    if (name == "mouse-press") {
        if (isBlocked()) return {};
        m_pushed = true;
        return setState("pushed");
    }
    if (name == "mouse-cancel" || name == "mouse-exit") {
        if (!m_pushed) return {};
        m_pushed = false;
        return unsetState("pushed");
    }
    if (name == "mouse-release") {
        if (!m_pushed) return {};
        m_pushed = false;
        KEL_TRY(unsetState("pushed"));
        return click();
    }
    (void)p;
    return {};
}

CError CButtonOk::clicked() {
    CObject* closer = findObject("ui.window-shared-data.window-closer");
    if (!closer || !renderer()) return {};
    CEventParams p({{"window", renderer()->fullName()}});
    return closer->runEvent("close-window", p);
}
