// Channel group selection.
#include "UI/Controls/ParamGroup.h"

#include <algorithm>

#include "Core/Log.h"
#include "UI/Controls/ParamBridge.h"

void CParamGroupSelector::registerEvents(CClassRecord& record) {
    CObject::registerEvents(record);
    record.addEvent("client-update-group-count", [](CObject* self, CEventParams& p) -> CError {
        auto* s = static_cast<CParamGroupSelector*>(self);
        int64_t n = 0;
        if (!p.get("count").toInt(&n) || n < 1) return {};
        s->m_count = int(n);
        if (s->m_index >= s->m_count) KEL_TRY(s->setIndex(s->m_count - 1));
        return s->notify("group-selector-ready");
    });
    record.addEvent("select-group", [](CObject* self, CEventParams& p) -> CError {
        int64_t i = 0;
        if (!p.get("index").toInt(&i)) return KEL_ERROR(kelstr_CParamGroupSelector_setIndex_Invalid, p.get("index"));
        return static_cast<CParamGroupSelector*>(self)->setIndex(int(i));
    });
}

CError CParamGroupSelector::readIndex() {
    if (!hasAttr("group-index")) return {};
    int64_t i = 0;
    if (!attr("group-index").trimmed().toInt(&i) || i < 0)
        return KEL_ERROR(kelstr_CParamGroupSelector_setIndex_Invalid, attr("group-index"));
    m_index = int(i);
    return {};
}

CError CParamGroupSelector::init() {
    KEL_TRY(readIndex());
    return CObject::init();
}

CError CParamGroupSelector::initLinks() {
    KEL_TRY(CObject::initLinks());
    const CString path = hasAttr("interface-client") ? attr("interface-client").trimmed() : CString("ui.interface-client");
    m_client = dynamic_cast<CAudioInterfaceClient*>(findObject(path));
    if (m_client) {
        CObject::listenObject(m_client, "update-group-count", this, "client-update-group-count");
        if (m_client->groupCount() > 0) m_count = m_client->groupCount();
        KEL_TRY(m_client->requestGroupCount());
    }
    return {};
}

CError CParamGroupSelector::onAttrChanged(const CString& attrName) {
    if (attrName == "group-index" && initState() >= 3) {
        const int before = m_index;
        KEL_TRY(readIndex());
        if (before != m_index) {
            CEventParams p{{"index", CString::number(int64_t(m_index))}};
            return notify("group-change", p);
        }
        return {};
    }
    return CObject::onAttrChanged(attrName);
}

CError CParamGroupSelector::setIndex(int index) {
    if (index < 0) return KEL_ERROR(kelstr_CParamGroupSelector_setIndex_Invalid, CString::number(int64_t(index)));
    // onAttrChanged takes the index and notifies the change.
    KEL_TRY(setAttr("group-index", CString::number(int64_t(index)), false));
    if (initState() < 3) m_index = index;
    return {};
}

std::vector<int> CParamGroupSelector::offeredGroups() const {
    std::vector<int> out;
    for (const CString& s : splitBlanks(attr("active-groups-list"))) {
        int64_t g = 0;
        if (s.toInt(&g) && g >= 0 && g < m_count) out.push_back(int(g));
    }
    if (out.empty())
        for (int g = 0; g < m_count; ++g) out.push_back(g);
    return out;
}

// --- Group controller ---------------------------------------------------------------------------

void CParamGroupController::registerEvents(CClassRecord& record) {
    CObject::registerEvents(record);
    record.addEvent("copy-group", [](CObject* self, CEventParams& p) -> CError {
        auto* c = static_cast<CParamGroupController*>(self);
        int64_t from = 0, to = 0;
        if (!p.get("from").toInt(&from)) from = c->m_selector ? c->m_selector->index() : 0;
        if (!p.get("to").toInt(&to)) return KEL_ERROR(kelstr_CParamGroupSelector_setIndex_Invalid, p.get("to"));
        return c->copyGroup(int(from), int(to));
    });
    record.addEvent("reset-group", [](CObject* self, CEventParams& p) -> CError {
        auto* c = static_cast<CParamGroupController*>(self);
        int64_t g = 0;
        if (!p.get("group").toInt(&g)) g = c->m_selector ? c->m_selector->index() : 0;
        return c->resetGroup(int(g));
    });
}

CError CParamGroupController::initLinks() {
    KEL_TRY(CObject::initLinks());
    if (hasAttr("group-selector")) KEL_TRY(findObjectByAttr("group-selector", &m_selector));
    return {};
}

std::vector<CParamBridge*> CParamGroupController::bridges() const {
    std::vector<CParamBridge*> out;
    std::vector<const CObject*> stack{parent() ? parent() : this};
    while (!stack.empty()) {
        const CObject* o = stack.back();
        stack.pop_back();
        if (auto* b = dynamic_cast<CParamBridge*>(const_cast<CObject*>(o))) out.push_back(b);
        for (const auto& c : o->children()) stack.push_back(c.get());
    }
    return out;
}

CError CParamGroupController::copyGroup(int from, int to) {
    if (from < 0 || to < 0) return KEL_ERROR(kelstr_CParamGroupSelector_setIndex_Invalid, CString::number(int64_t(to)));
    for (CParamBridge* b : bridges()) {
        if (!b->isReady() || !b->info()->isNumeric() || b->info()->isSingleGroup()) continue;
        std::vector<CParamBridge::Edit> edits;
        for (uint32_t e = 0; e < b->elementCount(uint32_t(from)); ++e)
            edits.push_back({e, b->normalized(uint32_t(from), e)});
        KEL_TRY(b->setNormalized(uint32_t(to), edits));
    }
    return {};
}

CError CParamGroupController::resetGroup(int group) {
    if (group < 0) return KEL_ERROR(kelstr_CParamGroupSelector_setIndex_Invalid, CString::number(int64_t(group)));
    for (CParamBridge* b : bridges()) {
        if (!b->isReady() || !b->info()->isNumeric() || b->info()->isSingleGroup()) continue;
        std::vector<CParamBridge::Edit> edits;
        for (uint32_t e = 0; e < b->elementCount(uint32_t(group)); ++e) edits.push_back({e, b->defaultNormalized(e)});
        KEL_TRY(b->setNormalized(uint32_t(group), edits));
    }
    return {};
}
