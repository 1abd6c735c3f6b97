// CParamInterfaceBase: connections, parameters, undo brackets and flushing.
// The registry messages are in ParamInterfaceBaseRegistry.cpp.
#include "Audio/Interface/ParamInterfaceBase.h"

#include <algorithm>

#include "Audio/Params/AudioParamChangeSet.h"
#include "Audio/Registry/AudioParamRegistry.h"
#include "Audio/Interface/ParamInterfaceConnector.h"
#include "Core/Log.h"

KELSTR(CParamInterfaceBase_readGroup_InvalidGroup, "Invalid group %1 in message '%2'.");

namespace {
CString num(int64_t v) { return CString::number(v); }

// The values of a parameter as the main thread sees them, in the
// stored-parameter format (all groups, or one).
CError storedBytes(const CAudioParam& p, int group, std::vector<uint8_t>* out) {
    const CAudioParamStorage values = kelMainParamSnapshot(p);
    CMemoryWriter w;
    KEL_TRY(values.save(w, p.fullName(), group));
    *out = w.take();
    return {};
}

// A group field: kParamAll or a group the storage can hold.
CError readGroup(CParamMessageReader& in, int* group) {
    uint32_t g = 0;
    KEL_TRY(in.u32(&g));
    if (g != kParamAll && g >= CAudioParamStorage::kMaxGroups)
        return KEL_ERROR(kelstr_CParamInterfaceBase_readGroup_InvalidGroup, num(g), in.name());
    *group = paramIndexOf(g);
    return {};
}

// The undo entry of a bracket: the stored values of its parameters before
// and after. Parameters are found by name when the entry runs, so an entry
// outliving a rebuilt graph does no harm.
class CParamUndoEntry final : public CAudioParamUndoEntry {
public:
    struct Item {
        CString name;
        int group;
        std::vector<uint8_t> before, after;
    };

    CParamUndoEntry(const CString& text, CParamInterfaceBase* base, std::vector<Item> items)
        : CAudioParamUndoEntry(text), m_base(base), m_items(std::move(items)) {}

    CError undo() override { return apply(false); }
    CError redo() override { return apply(true); }

private:
    CError apply(bool after) {
        CAudioParamCollector* collector = m_base->paramCollector();
        if (!collector) return {};
        CAudioParamWrites writes;
        for (const Item& item : m_items) {
            CAudioParam* p = collector->findParam(item.name);
            if (!p) continue;
            CAudioParamStorage values = kelMainParamSnapshot(*p);
            const std::vector<uint8_t>& bytes = after ? item.after : item.before;
            CMemoryReader in(bytes.data(), bytes.size());
            KEL_TRY(values.load(in, nullptr, item.group));
            writes.assign(*p, values);
        }
        for (CAudioParam* p : writes.commit()) collector->notifyChanged(*p);
        return {};
    }

    CParamInterfaceBase* m_base;
    std::vector<Item> m_items;
};
}  // namespace

CParamInterfaceBase::CParamInterfaceBase() {
    m_undo.setListener([this] {
        if (CError e = sendUndoHistory(0, 0)) kelLogError(e);
    });
}

CParamInterfaceBase::~CParamInterfaceBase() {
    m_undo.setListener(nullptr);
    setConnector(nullptr);
    setParamCollector(nullptr);
}

void CParamInterfaceBase::registerEvents(CClassRecord& record) {
    CObject::registerEvents(record);
    record.addEvent("on-registry-program-changed", [](CObject* self, CEventParams& p) -> CError {
        KEL_TRY(static_cast<CParamInterfaceBase*>(self)->registryEvent(p.get("sender"), ParamRegistry::kReasonProgram));
        return {};
    });
    record.addEvent("on-registry-changed", [](CObject* self, CEventParams& p) -> CError {
        KEL_TRY(static_cast<CParamInterfaceBase*>(self)->registryEvent(p.get("sender"), ParamRegistry::kReasonRegistry));
        return {};
    });
}

CError CParamInterfaceBase::init() {
    KEL_TRY(CObject::init());
    m_undo.setMaxCount(int(std::clamp<int64_t>(attrInt("undo-count-max", 32), 0, 1 << 16)));
    return {};
}

CError CParamInterfaceBase::initLinks() {
    KEL_TRY(CObject::initLinks());
    if (!attr("param-collector").trimmed().empty()) {
        CAudioParamCollector* collector = nullptr;
        KEL_TRY(findObjectByAttr<CAudioParamCollector>("param-collector", &collector));
        setParamCollector(collector);
    }
    if (!attr("base-connector").trimmed().empty()) {
        CParamInterfaceBaseConnector* connector = nullptr;
        KEL_TRY(findObjectByAttr<CParamInterfaceBaseConnector>("base-connector", &connector));
        setConnector(connector);
    }
    return {};
}

void CParamInterfaceBase::setParamCollector(CAudioParamCollector* collector) {
    if (collector == m_collector) return;
    if (m_collector) m_collector->removeListener(this);
    m_collector = collector;
    if (m_collector) m_collector->addListener(nullptr, this);
}

void CParamInterfaceBase::setConnector(CParamInterfaceBaseConnector* connector) {
    if (connector == m_connector) return;
    CParamInterfaceBaseConnector* old = m_connector;
    m_connector = connector;
    if (old && old->base() == this) old->setBase(nullptr);
    if (m_connector) m_connector->setBase(this);
}

// --- Connections ---------------------------------------------------------------------------------

CParamInterfaceBase::ClientState& CParamInterfaceBase::stateLocked(uint32_t client) { return m_clients[client]; }

void CParamInterfaceBase::clientConnected(uint32_t client) {
    {
        plat::CLock lock(m_lock);
        stateLocked(client);
    }
    welcomeClient(client);
}

void CParamInterfaceBase::clientDisconnected(uint32_t client) {
    ClientState state;
    {
        plat::CLock lock(m_lock);
        auto it = m_clients.find(client);
        if (it == m_clients.end()) return;
        state = std::move(it->second);
        m_clients.erase(it);
        for (const auto& [id, p] : state.params) dropListenerLocked(id, p);
    }
    releaseClient(client, state);
}

void CParamInterfaceBase::releaseClient(uint32_t, ClientState&) {}

size_t CParamInterfaceBase::clientCount() const {
    plat::CLock lock(m_lock);
    return m_clients.size();
}

size_t CParamInterfaceBase::paramListenerCount() const {
    plat::CLock lock(m_lock);
    size_t n = 0;
    for (const auto& [p, l] : m_listened) n += l.listeners.size();
    return n;
}

size_t CParamInterfaceBase::openUndoBrackets() const {
    plat::CLock lock(m_lock);
    size_t n = 0;
    for (const auto& [c, s] : m_clients) n += s.brackets.size();
    return n;
}

CError CParamInterfaceBase::checkId(uint32_t client, uint32_t id) {
    if (paramClientOf(id) != client)
        return KEL_ERROR(kelstr_CParamInterfaceBase_checkId_ForeignId, num(id), num(client));
    return {};
}

CError CParamInterfaceBase::sendToClient(uint32_t client, CParamMessage& msg) {
    std::vector<uint8_t> bytes;
    KEL_TRY(msg.finish(&bytes));
    if (!m_connector) return {};
    KEL_TRY(m_connector->sendToClient(client, bytes));
    return {};
}

CError CParamInterfaceBase::sendToAll(CParamMessage& msg) {
    std::vector<uint8_t> bytes;
    KEL_TRY(msg.finish(&bytes));
    if (!m_connector) return {};
    KEL_TRY(m_connector->sendToAll(bytes));
    return {};
}

// --- Dispatch --------------------------------------------------------------------------------------

CError CParamInterfaceBase::processClientMessage(uint32_t client, std::span<const uint8_t> message) {
    CParamMessageReader in(message);
    KEL_TRY(in.readName());
    CError err;
    if (!handleMessage(client, in, &err))
        return KEL_ERROR(kelstr_CParamInterfaceBase_processClientMessage_UnknownMessage, in.name());
    if (err) {
        kelLogf("Parameter interface message '%s' of client %u failed. // %s", in.name().utf8().c_str(), client,
                fullName().utf8().c_str());
        kelLogError(err);
        return KEL_PASS(err);
    }
    return {};
}

bool CParamInterfaceBase::handleMessage(uint32_t client, CParamMessageReader& in, CError* err) {
    using Handler = CError (CParamInterfaceBase::*)(uint32_t, CParamMessageReader&);
    static const std::pair<std::string_view, Handler> kHandlers[] = {
        {ParamMsg::kListenParam, &CParamInterfaceBase::onListenParam},
        {ParamMsg::kUnlistenParam, &CParamInterfaceBase::onUnlistenParam},
        {ParamMsg::kChangeParam, &CParamInterfaceBase::onChangeParam},
        {ParamMsg::kResetParam, &CParamInterfaceBase::onResetParam},
        {ParamMsg::kCreateUndoData, &CParamInterfaceBase::onCreateUndoData},
        {ParamMsg::kRemoveUndoData, &CParamInterfaceBase::onRemoveUndoData},
        {ParamMsg::kSubmitUndoData, &CParamInterfaceBase::onSubmitUndoData},
        {ParamMsg::kRequestUndoHistory, &CParamInterfaceBase::onRequestUndoHistory},
        {ParamMsg::kSetUndoHistoryPos, &CParamInterfaceBase::onSetUndoHistoryPos},
        {ParamMsg::kListenRegistry, &CParamInterfaceBase::onListenRegistry},
        {ParamMsg::kUnlistenRegistry, &CParamInterfaceBase::onUnlistenRegistry},
        {ParamMsg::kSetCurrentProgram, &CParamInterfaceBase::onRegistryMessage},
        {ParamMsg::kRenamePreset, &CParamInterfaceBase::onRegistryMessage},
        {ParamMsg::kActivateFactoryPreset, &CParamInterfaceBase::onRegistryMessage},
        {ParamMsg::kActivatePreset, &CParamInterfaceBase::onRegistryMessage},
        {ParamMsg::kRequestPreset, &CParamInterfaceBase::onRegistryMessage},
        {ParamMsg::kRequestBank, &CParamInterfaceBase::onRegistryMessage},
        {ParamMsg::kSetDefaultPreset, &CParamInterfaceBase::onRegistryMessage},
        {ParamMsg::kActivateDefaultPreset, &CParamInterfaceBase::onRegistryMessage},
        {ParamMsg::kExchangeShadowPreset, &CParamInterfaceBase::onRegistryMessage},
        {ParamMsg::kUpdateShadowPreset, &CParamInterfaceBase::onRegistryMessage},
    };
    for (const auto& [name, handler] : kHandlers)
        if (in.is(name)) {
            *err = (this->*handler)(client, in);
            return true;
        }
    return false;
}

// --- Parameters --------------------------------------------------------------------------------------

void CParamInterfaceBase::dropListenerLocked(uint32_t id, CAudioParam* param) {
    if (!param) return;
    auto it = m_listened.find(param);
    if (it == m_listened.end()) return;
    std::erase(it->second.listeners, id);
    if (it->second.listeners.empty()) m_listened.erase(it);
}

CError CParamInterfaceBase::listenedParam(uint32_t client, uint32_t id, CAudioParam** out) {
    KEL_TRY(checkId(client, id));
    plat::CLock lock(m_lock);
    auto c = m_clients.find(client);
    if (c == m_clients.end()) return KEL_ERROR(kelstr_CParamInterfaceBase_onParam_UnknownListener, num(id));
    auto it = c->second.params.find(id);
    if (it == c->second.params.end()) return KEL_ERROR(kelstr_CParamInterfaceBase_onParam_UnknownListener, num(id));
    if (!it->second) return KEL_ERROR(kelstr_CParamInterfaceBase_onParam_NoParam, num(id));
    *out = it->second;
    return {};
}

CError CParamInterfaceBase::onListenParam(uint32_t client, CParamMessageReader& in) {
    CString name;
    uint32_t id = 0;
    KEL_TRY(in.str(&name));
    KEL_TRY(in.u32(&id));
    KEL_TRY(in.end());
    KEL_TRY(checkId(client, id));
    if (!m_collector) return KEL_ERROR(kelstr_CParamInterfaceBase_noCollector);
    CAudioParam* p = m_collector->findParam(name);
    std::vector<uint8_t> current;
    if (p) KEL_TRY(storedBytes(*p, -1, &current));
    {
        plat::CLock lock(m_lock);
        ClientState& state = stateLocked(client);
        if (auto old = state.params.find(id); old != state.params.end()) dropListenerLocked(id, old->second);
        state.params[id] = p;
        if (p) {
            Listened& l = m_listened[p];
            if (l.listeners.empty()) {
                l.lastSent = std::move(current);
                l.lastCount = p->changeCount();
            }
            l.listeners.push_back(id);
        }
    }
    return sendParamInfo(client, id, p);
}

CError CParamInterfaceBase::sendParamInfo(uint32_t client, uint32_t id, CAudioParam* p) {
    CParamMessage m(ParamMsg::kUpdateParamInfo);
    m.u32(id);
    if (p) {
        m.u32(1).block([&](COutputStream& out) { return p->info().save(out); });
        m.u32(1).block([&](COutputStream& out) { return kelMainParamSnapshot(*p).save(out, p->fullName()); });
    } else {
        m.u32(0).u32(0);
    }
    return sendToClient(client, m);
}

CError CParamInterfaceBase::onUnlistenParam(uint32_t client, CParamMessageReader& in) {
    uint32_t id = 0;
    KEL_TRY(in.u32(&id));
    KEL_TRY(in.end());
    KEL_TRY(checkId(client, id));
    plat::CLock lock(m_lock);
    ClientState& state = stateLocked(client);
    auto it = state.params.find(id);
    if (it == state.params.end()) return KEL_ERROR(kelstr_CParamInterfaceBase_onParam_UnknownListener, num(id));
    dropListenerLocked(id, it->second);
    state.params.erase(it);
    return {};
}

CError CParamInterfaceBase::writeParam(CAudioParam& p, const CAudioParamStorage& values) {
    CAudioParamWrites writes;
    writes.assign(p, values);
    for (CAudioParam* changed : writes.commit())
        if (m_collector) m_collector->notifyChanged(*changed);
    return {};
}

CError CParamInterfaceBase::onChangeParam(uint32_t client, CParamMessageReader& in) {
    uint32_t id = 0;
    int group = -1;
    KEL_TRY(in.u32(&id));
    KEL_TRY(readGroup(in, &group));
    CAudioParam* p = nullptr;
    KEL_TRY(listenedParam(client, id, &p));
    CAudioParamStorage values = kelMainParamSnapshot(*p);
    KEL_TRY(values.load(in.stream(), nullptr, group));
    KEL_TRY(in.end());
    return writeParam(*p, values);
}

CError CParamInterfaceBase::onResetParam(uint32_t client, CParamMessageReader& in) {
    uint32_t id = 0, first = 0, count = 0, component = 0;
    int group = -1;
    KEL_TRY(in.u32(&id));
    KEL_TRY(readGroup(in, &group));
    KEL_TRY(in.u32(&first));
    KEL_TRY(in.u32(&count));
    KEL_TRY(in.u32(&component));
    KEL_TRY(in.end());
    CAudioParam* p = nullptr;
    KEL_TRY(listenedParam(client, id, &p));
    CAudioParamStorage values = kelMainParamSnapshot(*p);
    const CAudioParamInfo& info = p->info();
    const uint32_t g0 = group < 0 ? 0 : uint32_t(group);
    const uint32_t g1 = group < 0 ? values.groupCount() : std::min(uint32_t(group) + 1, values.groupCount());
    for (uint32_t g = g0; g < g1; ++g) {
        const uint32_t k = values.elementCount(g);
        const uint32_t end = count == kParamAll ? k : uint32_t(std::min<uint64_t>(uint64_t(first) + count, k));
        for (uint32_t e = first; e < end; ++e) {
            if (info.dataType() == EAudioParamDataType::Text) {
                values.setText(g, e, info.defaultText(e));
                continue;
            }
            if (!info.isNumeric()) continue;
            for (uint32_t c = 0; c < values.elementSize(); ++c)
                if (component == kParamAll || component == c) values.writeValue(g, e, c, info.defaultValue(e, c));
        }
    }
    return writeParam(*p, values);
}

// --- Undo ----------------------------------------------------------------------------------------------

CError CParamInterfaceBase::onCreateUndoData(uint32_t client, CParamMessageReader& in) {
    uint32_t undoId = 0, id = 0;
    int group = -1;
    CString text;
    KEL_TRY(in.u32(&undoId));
    KEL_TRY(in.str(&text));
    KEL_TRY(in.u32(&id));
    KEL_TRY(readGroup(in, &group));
    KEL_TRY(in.end());
    CAudioParam* p = nullptr;
    KEL_TRY(listenedParam(client, id, &p));
    UndoItem item{p->fullName(), group, {}};
    KEL_TRY(storedBytes(*p, group, &item.before));
    plat::CLock lock(m_lock);
    UndoBracket& bracket = stateLocked(client).brackets[undoId];
    if (bracket.items.empty()) bracket.text = text;
    // The first state of a parameter in the bracket is the one undo returns to.
    for (const UndoItem& existing : bracket.items)
        if (existing.name == item.name && existing.group == item.group) return {};
    bracket.items.push_back(std::move(item));
    return {};
}

CError CParamInterfaceBase::onRemoveUndoData(uint32_t client, CParamMessageReader& in) {
    uint32_t undoId = 0;
    KEL_TRY(in.u32(&undoId));
    KEL_TRY(in.end());
    plat::CLock lock(m_lock);
    if (!stateLocked(client).brackets.erase(undoId))
        return KEL_ERROR(kelstr_CParamInterfaceBase_onUndo_UnknownBracket, num(undoId));
    return {};
}

CError CParamInterfaceBase::onSubmitUndoData(uint32_t client, CParamMessageReader& in) {
    uint32_t undoId = 0;
    CString text;
    KEL_TRY(in.u32(&undoId));
    KEL_TRY(in.str(&text));
    KEL_TRY(in.end());
    UndoBracket bracket;
    {
        plat::CLock lock(m_lock);
        ClientState& state = stateLocked(client);
        auto it = state.brackets.find(undoId);
        if (it == state.brackets.end()) return KEL_ERROR(kelstr_CParamInterfaceBase_onUndo_UnknownBracket, num(undoId));
        bracket = std::move(it->second);
        state.brackets.erase(it);
    }
    std::vector<CParamUndoEntry::Item> items;
    for (UndoItem& item : bracket.items) {
        CAudioParam* p = m_collector ? m_collector->findParam(item.name) : nullptr;
        if (!p) continue;
        std::vector<uint8_t> after;
        KEL_TRY(storedBytes(*p, item.group, &after));
        if (after == item.before) continue;
        items.push_back({item.name, item.group, std::move(item.before), std::move(after)});
    }
    if (items.empty()) return {};
    m_undo.push(std::make_unique<CParamUndoEntry>(text.empty() ? bracket.text : text, this, std::move(items)));
    return {};
}

CError CParamInterfaceBase::onRequestUndoHistory(uint32_t client, CParamMessageReader& in) {
    uint32_t id = 0;
    KEL_TRY(in.u32(&id));
    KEL_TRY(in.end());
    KEL_TRY(checkId(client, id));
    return sendUndoHistory(client, id);
}

CError CParamInterfaceBase::onSetUndoHistoryPos(uint32_t, CParamMessageReader& in) {
    uint32_t pos = 0;
    KEL_TRY(in.u32(&pos));
    KEL_TRY(in.end());
    KEL_TRY(m_undo.setPosition(pos > 0x7FFFFFFFu ? -1 : int(pos)));
    return {};
}

CError CParamInterfaceBase::sendUndoHistory(uint32_t client, uint32_t request) {
    const std::vector<CString> texts = m_undo.texts();
    const int pos = m_undo.position();
    CParamMessage m(ParamMsg::kUpdateUndoHistory);
    m.u32(uint32_t(texts.size()));
    for (const CString& t : texts) m.str(t);
    m.u32(uint32_t(pos)).u32(request);
    m.str(pos >= 0 && size_t(pos) < texts.size() ? texts[size_t(pos)] : CString());
    return client ? sendToClient(client, m) : sendToAll(m);
}

// --- Changes -------------------------------------------------------------------------------------------

void CParamInterfaceBase::paramChanged(CAudioParam& param) {
    plat::CLock lock(m_lock);
    auto it = m_listened.find(&param);
    if (it != m_listened.end()) it->second.dirty = true;
}

void CParamInterfaceBase::flushChanges() {
    std::vector<CAudioParam*> todo;
    {
        plat::CLock lock(m_lock);
        for (const auto& [p, l] : m_listened)
            if (l.dirty || p->changeCount() != l.lastCount) todo.push_back(p);
    }
    for (CAudioParam* p : todo) {
        const uint32_t count = p->changeCount();
        std::vector<uint8_t> bytes;
        if (CError e = storedBytes(*p, -1, &bytes)) {
            kelLogError(e);
            continue;
        }
        std::vector<uint32_t> ids;
        {
            plat::CLock lock(m_lock);
            auto it = m_listened.find(p);
            if (it == m_listened.end()) continue;
            it->second.dirty = false;
            it->second.lastCount = count;
            if (it->second.lastSent == bytes) continue;
            it->second.lastSent = bytes;
            ids = it->second.listeners;
        }
        for (uint32_t id : ids) {
            CParamMessage m(ParamMsg::kUpdateParam);
            m.u32(id).bytes(bytes);
            if (CError e = sendToClient(paramClientOf(id), m)) kelLogError(e);
        }
    }
}
