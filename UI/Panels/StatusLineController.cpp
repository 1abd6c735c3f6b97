// The hint line.
#include "UI/Panels/StatusLineController.h"

#include "UI/Controls/ParamSwitch.h"
#include "UI/Render/WindowRenderer.h"
#include "UI/View/View.h"

void CStatusLineController::registerEvents(CClassRecord& record) {
    CObject::registerEvents(record);
    record.addEvent("tick", [](CObject* self, CEventParams&) -> CError {
        return static_cast<CStatusLineController*>(self)->update();
    });
    record.addEvent("update", [](CObject* self, CEventParams&) -> CError {
        return static_cast<CStatusLineController*>(self)->update();
    });
}

CError CStatusLineController::onAttrChanged(const CString& attrName) {
    if (attrName == "is-enabled" && initState() >= 3) return update();
    return {};
}

bool CStatusLineController::isEnabled() const {
    if (!attrBool("is-enabled", true)) return false;
    const CString path = attr("switch-view").trimmed();
    if (path.empty()) return true;
    CObject* found = findObject(path);
    if (auto* sw = dynamic_cast<CParamSwitch*>(found)) return sw->isOn();
    const auto* view = dynamic_cast<const CView*>(found);
    return view && view->stateSet().isSet("on");
}

CString CStatusLineController::hintFor(const CView* hovered) const {
    if (!isEnabled()) return attr("default-text");
    for (const CView* v = hovered; v; v = v->parentView()) {
        CString hint = v->attr("hint");
        if (hint.empty()) continue;
        const size_t at = hint.find(u'%');
        if (at != CString::npos && at + 1 < hint.size() && hint[at + 1] == u's')
            hint = hint.substr(0, at) + v->attr("hint-arg") + hint.substr(at + 2);
        return hint;
    }
    return attr("default-text");
}

CError CStatusLineController::update() {
    CObject* target = findObject(attr("target").trimmed());
    if (!target) return {};
    const auto* renderer = dynamic_cast<CWindowRenderer*>(findObject(attr("renderer").trimmed()));
    const CString text = hintFor(renderer ? renderer->hoveredView() : nullptr);
    if (m_haveShown && text == m_shown) return {};
    m_shown = text;
    m_haveShown = true;
    return target->setAttr("text", text, false);
}
