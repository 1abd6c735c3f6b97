// The undo history view.
#include "UI/Presets/History.h"

#include "Audio/Interface/ParamInterfaceClient.h"
#include "Core/Log.h"
#include "UI/Presets/ItemList.h"

CHistory::~CHistory() {
    if (m_client) CObject::unlistenObject(m_client, "undo-history-changed", this);
}

void CHistory::registerEvents(CClassRecord& record) {
    CView::registerEvents(record);
    record.addEvent("undo-clicked", [](CObject* self, CEventParams&) -> CError {
        return static_cast<CHistory*>(self)->undo();
    });
    record.addEvent("redo-clicked", [](CObject* self, CEventParams&) -> CError {
        return static_cast<CHistory*>(self)->redo();
    });
    record.addEvent("history-change", [](CObject* self, CEventParams& p) -> CError {
        int64_t i = -1;
        if (!p.get("index").toInt(&i)) return {};
        return static_cast<CHistory*>(self)->moveTo(int(i));
    });
    record.addEvent("select-clicked", [](CObject* self, CEventParams&) -> CError {
        auto* h = static_cast<CHistory*>(self);
        if (!h->m_list) return {};
        return h->m_list->setAttr("is-hidden", h->m_list->attrBool("is-hidden") ? "false" : "true", false);
    });
    record.addEvent("on-undo-history", [](CObject* self, CEventParams&) -> CError {
        return static_cast<CHistory*>(self)->update();
    });
}

CError CHistory::initLinks() {
    KEL_TRY(CView::initLinks());
    const CString clientPath = hasAttr("interface-client") ? attr("interface-client") : CString("ui.interface-client");
    KEL_TRY(findObjectChecked(clientPath, &m_client));
    m_list = dynamic_cast<CItemList*>(findObject(".history-list"));
    if (m_list) listenObject(m_list, "selected-paragraph-changed", this, "history-change");
    listenObject(m_client, "undo-history-changed", this, "on-undo-history");
    if (CError e = m_client->requestUndoHistory()) kelLogError(e);
    return {};
}

CError CHistory::initDone() {
    KEL_TRY(CView::initDone());
    return update();
}

CError CHistory::update() {
    const auto& h = m_client->undoHistory();
    m_position = int(h.position);
    if (m_list) {
        m_updating = true;
        CError e = m_list->setRows(h.texts);
        if (!e) e = m_list->select(h.texts.empty() ? -1 : int(h.position));
        m_updating = false;
        KEL_TRY(std::move(e));
    }
    auto enable = [this](const char* name, bool on) -> CError {
        CObject* b = findObject(name);
        if (!b) return {};
        const CString v = on ? "false" : "true";
        return v == b->attr("is-disabled") ? CError() : b->setAttr("is-disabled", v, false);
    };
    KEL_TRY(enable(".button-undo", h.position > 0));
    KEL_TRY(enable(".button-redo", size_t(h.position) + 1 < h.texts.size()));
    requestRepaint();
    return {};
}

CError CHistory::moveTo(int index) {
    if (m_updating || !m_client) return {};
    const auto& h = m_client->undoHistory();
    if (index < 0 || size_t(index) >= h.texts.size() || index == m_position) return {};
    if (attrBool("is-log-enabled"))
        kelLogf("%s: %s", index < m_position ? "Undo" : "Redo",
                h.texts[size_t(index < m_position ? m_position : index)].utf8().c_str());
    KEL_TRY(m_client->setUndoHistoryPos(uint32_t(index)));
    // Further clicks count from here before the history comes back.
    m_position = index;
    return {};
}

CError CHistory::undo() { return m_position > 0 ? moveTo(m_position - 1) : CError(); }

CError CHistory::redo() {
    return size_t(m_position + 1) < m_client->undoHistory().texts.size() ? moveTo(m_position + 1) : CError();
}
