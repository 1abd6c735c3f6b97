// View states, their combination, and view commands.
#include "UI/View/ViewState.h"

#include <algorithm>

#include "Core/Log.h"
#include "Core/SharedAttribute.h"
#include "UI/View/View.h"

// --- CViewStateSet -------------------------------------------------------------

void CViewStateSet::add(CStateDef def) {
    for (auto& d : m_defs)
        if (d.name == def.name) {
            d = std::move(def);
            return;
        }
    m_defs.push_back(std::move(def));
}

const CStateDef* CViewStateSet::find(const CString& name) const {
    for (const auto& d : m_defs)
        if (d.name == name) return &d;
    return nullptr;
}

bool CViewStateSet::isSet(const CString& name) const {
    return std::binary_search(m_active.begin(), m_active.end(), name);
}

bool CViewStateSet::set(const CString& name) {
    auto it = std::lower_bound(m_active.begin(), m_active.end(), name);
    if (it != m_active.end() && *it == name) return false;
    m_active.insert(it, name);
    return true;
}

bool CViewStateSet::unset(const CString& name) {
    auto it = std::lower_bound(m_active.begin(), m_active.end(), name);
    if (it == m_active.end() || !(*it == name)) return false;
    m_active.erase(it);
    return true;
}

bool CViewStateSet::toggle(const CString& name) { return isSet(name) ? unset(name) : set(name); }

CViewStateSet::Combined CViewStateSet::combine() const {
    Combined out;
    for (const CString& name : m_active) {
        const CStateDef* d = find(name);
        if (!d) continue;
        for (const auto& entry : d->attrs) {
            const CString& attr = entry.first;
            const CString& value = entry.second;
            auto it = std::find_if(out.attrs.begin(), out.attrs.end(), [&](auto& p) { return p.first == attr; });
            if (it == out.attrs.end()) {
                out.attrs.emplace_back(attr, attr == "color-state" && value.startsWith("/") ? value.substr(1) : value);
                continue;
            }
            if (attr == "color-state") {
                if (value.startsWith("/")) it->second = value.substr(1);
                else if (it->second.empty()) it->second = value;
                else if (!value.empty()) it->second = it->second + " " + value;
            } else {
                it->second = value;
            }
        }
        if (d->duration) out.duration = *d->duration;
        if (d->morphDuration) out.morphDuration = *d->morphDuration;
    }
    return out;
}

std::vector<CString> CViewStateSet::controlledAttrs() const {
    std::vector<CString> out;
    for (const auto& d : m_defs)
        for (const auto& a : d.attrs)
            if (std::find(out.begin(), out.end(), a.first) == out.end()) out.push_back(a.first);
    return out;
}

bool CViewStateSet::isReserved(const CString& attrName) {
    static const char* const kReserved[] = {"name",           "tag",      "full-name", "state-name", "state-attrs",
                                            "duration",       "morph-duration", "state-tag", "state-target", "if"};
    for (const char* r : kReserved)
        if (attrName == r) return true;
    return false;
}

// --- CViewState ----------------------------------------------------------------------

CError CViewState::readDef(const CObject& node, const CString& name, CStateDef* out) {
    const std::vector<CString> attrs = splitBlanks(node.attr("state-attrs"));
    if (attrs.empty()) return KEL_ERROR(kelstr_CViewBaseState_addViewState_NoStateAttrs, node.fullName());
    CStateDef def;
    def.name = name;
    for (const CString& a : attrs) {
        if (CViewStateSet::isReserved(a))
            return KEL_ERROR(kelstr_CViewBaseState_addViewState_ReservedStateName, node.fullName());
        def.attrs.emplace_back(a, node.attr(a));
    }
    double d;
    if (node.attr("duration").toDouble(&d)) def.duration = d;
    if (node.attr("morph-duration").toDouble(&d)) def.morphDuration = d;
    *out = std::move(def);
    return {};
}

CError CViewState::init() {
    auto* view = dynamic_cast<CView*>(parent());
    if (!view) return KEL_ERROR(kelstr_CViewState_initChilds_InvalidParent);
    const CString name = attr("state-name").trimmed();
    if (name.empty()) return KEL_ERROR(kelstr_CViewState_initChilds_NoStateName);
    CStateDef def;
    KEL_TRY(readDef(*this, name, &def));
    view->stateSet().add(std::move(def));
    return {};
}

// --- CViewCommand ------------------------------------------------------------------------

void CViewCommand::registerEvents(CClassRecord& record) { CObject::registerEvents(record); }

CError CViewCommand::init() {
    auto* view = dynamic_cast<CView*>(parent());
    if (!view) return KEL_ERROR(kelstr_CViewCommand_init_InvalidParent);
    view->addCommand(this);
    return {};
}

CError CViewCommand::run(CView& view, const CEventParams& params) {
    const CString condSet = attr("condition-state-set").trimmed();
    if (!condSet.empty() && (!view.stateSet().isSet(condSet) || view.inTransition())) return {};
    const CString condUnset = attr("condition-state-unset").trimmed();
    if (!condUnset.empty() && view.stateSet().isSet(condUnset)) return {};

    const CString runEvent = attr("run-event").trimmed();
    if (!runEvent.empty()) {
        CEventParams p;
        const CString paramsPath = attr("run-event-params").trimmed();
        if (!paramsPath.empty()) {
            if (CObject* holder = view.findObject(paramsPath)) {
                for (const auto& c : holder->children()) {
                    if (!(c->tag() == "ui:param-data") && !(c->tag() == "param"))
                        return KEL_ERROR(kelstr_CViewBaseState_runCommand_NoParamData, c->tag());
                    p.set(c->attr("attr"), c->attr("value"));
                }
                if (holder->hasAttr("popup-tag")) p.set("popup-tag", holder->attr("popup-tag"));
            }
        }
        for (const CString& name : splitBlanks(attr("run-event-forward-params")))
            if (params.has(name)) p.set(name, params.get(name));
        const CString targets = hasAttr("run-event-target") ? attr("run-event-target") : CString(".");
        for (const CString& path : splitBlanks(targets.trimmed().empty() ? CString(".") : targets)) {
            CObject* target = path == "." ? &view : view.findObject(path);
            if (!target) {
                kelLogf("Target not found: '%s' (command %s)", path.utf8().c_str(), view.fullName().utf8().c_str());
                continue;
            }
            if (attrBool("is-run-event-bridged")) {
                view.postBridgedEvent(target, runEvent, p);
                continue;
            }
            CEventParams each = p;
            KEL_TRY(target->runEvent(runEvent, each));
        }
    }

    const CString stateTargetPath = attr("state-target").trimmed();
    CView* stateTarget = &view;
    if (!stateTargetPath.empty() && !(stateTargetPath == "."))
        stateTarget = dynamic_cast<CView*>(view.findObject(stateTargetPath));
    if (stateTarget) {
        for (const CString& s : splitBlanks(attr("set-state"))) KEL_TRY(stateTarget->setState(s));
        for (const CString& s : splitBlanks(attr("unset-state"))) KEL_TRY(stateTarget->unsetState(s));
        for (const CString& s : splitBlanks(attr("toggle-state"))) KEL_TRY(stateTarget->toggleState(s));
    }

    const CString setAttrName = attr("set-attr").trimmed();
    if (!setAttrName.empty()) {
        const CString path = attr("set-attr-target").trimmed();
        CObject* target = path.empty() || path == "." ? &view : view.findObject(path);
        if (target) KEL_TRY(target->setAttr(setAttrName, attr("set-attr-value")));
    }

    const CString toggleName = attr("toggle-attr").trimmed();
    if (!toggleName.empty()) {
        const CString path = attr("toggle-attr-target").trimmed();
        CObject* target = path.empty() || path == "." ? &view : view.findObject(path);
        if (target) KEL_TRY(target->setAttr(toggleName, target->attrBool(toggleName) ? "false" : "true"));
    }

    const CString sharedPath = attr("reset-shared-attr").trimmed();
    if (!sharedPath.empty()) {
        if (auto* shared = dynamic_cast<CSharedAttribute*>(view.findObject(sharedPath)))
            KEL_TRY(shared->resetToDefault());
    }
    return {};
}
