// The editor's "ui" object.
#include "UI/Panels/UIEventBridge.h"

#include "UI/Render/WindowRenderer.h"
#include "UI/View/View.h"

void CUIEventBridge::registerEvents(CClassRecord& record) {
    CObject::registerEvents(record);
    record.addEvent("bridge-event", [](CObject* self, CEventParams& p) -> CError {
        return static_cast<CUIEventBridge*>(self)->bridgeEvent(p);
    });
}

CString CUIEventBridge::paramName(const CString& relative) const {
    if (relative.find(CString("plugin.")) == 0) return relative;
    const CString mod = modName();
    return mod.empty() ? relative : mod + CString(".") + relative;
}

CError CUIEventBridge::bridgeEvent(CEventParams& params) {
    const CString eventName = params.get("event").trimmed();
    if (eventName.empty()) return KEL_ERROR(kelstr_CUIEventBridge_bridgeEvent_NoEvent);
    const CString path = params.get("target").trimmed();
    CObject* target = findObject(path);
    if (!target) return KEL_ERROR(kelstr_CUIEventBridge_bridgeEvent_NoTarget, path);
    auto* view = dynamic_cast<CView*>(target);
    if (view && view->renderer()) {
        view->renderer()->postEvent(target, eventName, params);
        return {};
    }
    return target->runEvent(eventName, params);
}
