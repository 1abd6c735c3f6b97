#include "Audio/Interface/ParamInterfaceUni.h"

#include <charconv>

#include "Audio/Interface/ParamInterfaceBase.h"
#include "Audio/Interface/ParamInterfaceClient.h"
#include "Audio/Interface/ParamMessage.h"
#include "Core/Log.h"
#include "Core/Timer.h"

// --- Base connector ------------------------------------------------------------------------------------

CParamInterfaceUniBaseConnector::~CParamInterfaceUniBaseConnector() {
    std::map<uint32_t, Connection> clients;
    {
        plat::CLock lock(m_lock);
        clients.swap(m_clients);
    }
    for (auto& [id, c] : clients) {
        if (c.connector) c.connector->baseGone();
        if (base()) base()->clientDisconnected(id);
    }
}

uint32_t CParamInterfaceUniBaseConnector::attachClient(CParamInterfaceUniClientConnector* client) {
    uint32_t id = 0;
    {
        plat::CLock lock(m_lock);
        // Connection numbers fill the upper 16 bits of the ids.
        do {
            id = m_next;
            m_next = m_next % kParamLocalMask + 1;
        } while (m_clients.count(id));
        m_clients[id].connector = client;
    }
    if (base()) base()->clientConnected(id);
    return id;
}

void CParamInterfaceUniBaseConnector::detachClient(uint32_t client) {
    {
        plat::CLock lock(m_lock);
        if (!m_clients.erase(client)) return;
    }
    if (base()) base()->clientDisconnected(client);
}

bool CParamInterfaceUniBaseConnector::hasClient(uint32_t client) const {
    plat::CLock lock(m_lock);
    return m_clients.count(client) != 0;
}

size_t CParamInterfaceUniBaseConnector::clientCount() const {
    plat::CLock lock(m_lock);
    return m_clients.size();
}

void CParamInterfaceUniBaseConnector::pushLocked(uint32_t client, Connection& c, std::span<const uint8_t> message) {
    if (c.queue.size() >= kMaxQueued) {
        if (!c.overflowLogged) kelLogf("Parameter interface queue of client %u is full; messages are dropped.", client);
        c.overflowLogged = true;
        return;
    }
    std::vector<uint8_t> transport;
    if (CError e = ParamTransport::wrap(ParamMsg::kProcessBaseDataProxy, client, message, &transport)) {
        kelLogError(e);
        return;
    }
    c.queue.push_back(std::move(transport));
}

CError CParamInterfaceUniBaseConnector::sendToClient(uint32_t client, std::span<const uint8_t> message) {
    plat::CLock lock(m_lock);
    auto it = m_clients.find(client);
    // A client that left meanwhile misses nothing it could still use.
    if (it != m_clients.end()) pushLocked(client, it->second, message);
    return {};
}

CError CParamInterfaceUniBaseConnector::sendToAll(std::span<const uint8_t> message) {
    plat::CLock lock(m_lock);
    for (auto& [id, c] : m_clients) pushLocked(id, c, message);
    return {};
}

std::deque<std::vector<uint8_t>> CParamInterfaceUniBaseConnector::takeQueued(uint32_t client) {
    std::deque<std::vector<uint8_t>> out;
    plat::CLock lock(m_lock);
    auto it = m_clients.find(client);
    if (it != m_clients.end()) {
        out.swap(it->second.queue);
        it->second.overflowLogged = false;
    }
    return out;
}

size_t CParamInterfaceUniBaseConnector::queuedCount(uint32_t client) const {
    plat::CLock lock(m_lock);
    auto it = m_clients.find(client);
    return it == m_clients.end() ? 0 : it->second.queue.size();
}

// --- Client connector ------------------------------------------------------------------------------------

CParamInterfaceUniClientConnector::~CParamInterfaceUniClientConnector() { disconnect(); }

void CParamInterfaceUniClientConnector::registerEvents(CClassRecord& record) {
    CParamInterfaceClientConnector::registerEvents(record);
    record.addEvent("on-update-timer", [](CObject* self, CEventParams&) -> CError {
        static_cast<CParamInterfaceUniClientConnector*>(self)->deliver();
        return {};
    });
    record.addEvent("fps", [](CObject* self, CEventParams&) -> CError {
        auto* c = static_cast<CParamInterfaceUniClientConnector*>(self);
        if (c->m_timer) KEL_TRY(c->m_timer->setAttr("fps", c->attr("fps")));
        return {};
    });
}

CString CParamInterfaceUniClientConnector::rootPointerText(const CObject* root) {
    char buf[32];
    buf[0] = '0';
    buf[1] = 'x';
    auto r = std::to_chars(buf + 2, buf + sizeof buf, uint64_t(reinterpret_cast<uintptr_t>(root)), 16);
    return CString(std::string_view(buf, size_t(r.ptr - buf)));
}

CError CParamInterfaceUniClientConnector::initLinks() {
    KEL_TRY(CParamInterfaceClientConnector::initLinks());
    const CString path = attr("base-connector").trimmed();
    if (path.empty()) return {};
    const CObject* from = this;
    const CString rootPtr = root()->attr("BaseConnectorRootPtr").trimmed();
    if (!rootPtr.empty()) {
        std::string text = rootPtr.utf8();
        if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) text.erase(0, 2);
        uint64_t address = 0;
        auto r = std::from_chars(text.data(), text.data() + text.size(), address, 16);
        if (r.ec != std::errc() || r.ptr != text.data() + text.size() || !address)
            return KEL_ERROR(kelstr_CParamInterfaceUniClientConnector_initLinks_InvalidRootPtr, rootPtr);
        from = reinterpret_cast<const CObject*>(uintptr_t(address));
    }
    auto* base = dynamic_cast<CParamInterfaceUniBaseConnector*>(from->findObject(path));
    if (!base) return KEL_ERROR(kelstr_CObject_findObjectChecked_FindError, path, fullName());
    connect(base);
    return {};
}

CError CParamInterfaceUniClientConnector::initDone() {
    KEL_TRY(CParamInterfaceClientConnector::initDone());
    KEL_TRY(createTimer());
    return {};
}

CError CParamInterfaceUniClientConnector::createTimer() {
    const CString tag = attr("timer-tag").trimmed();
    // The tag's object ticks the deliveries: a core timer, or a timer of the
    // user interface's own (whatever notifies "tick"), whose ticks then come
    // with the editor's other frame work.
    std::unique_ptr<CObject> made = tag.empty() ? nullptr : createObject(tag);
    if (!made) made = createObject("core:timer");
    if (!made) {
        made = std::make_unique<CTimerQueued>();
        made->setTag("core:timer");
    }
    CObject* timer = made.get();
    timer->setName("update-timer");
    const CString fps = attr("fps").trimmed();
    KEL_TRY(timer->setAttr("fps", fps.empty() ? CString("30") : fps, false));
    if (hasAttr("is-high-precision")) KEL_TRY(timer->setAttr("is-high-precision", attr("is-high-precision"), false));
    attachChild(std::move(made));
    m_timer = timer;
    listenObject(timer, "tick", this, "on-update-timer");
    KEL_TRY(timer->initTree());
    return {};
}

void CParamInterfaceUniClientConnector::connect(CParamInterfaceUniBaseConnector* base) {
    disconnect();
    if (!base) return;
    m_base = base;
    m_clientId = base->attachClient(this);
    if (client()) client()->onConnected();
}

void CParamInterfaceUniClientConnector::disconnect() {
    if (m_base) m_base->detachClient(m_clientId);
    m_base = nullptr;
    m_clientId = 0;
}

void CParamInterfaceUniClientConnector::baseGone() {
    m_base = nullptr;
    m_clientId = 0;
}

CError CParamInterfaceUniClientConnector::sendToBase(std::span<const uint8_t> message) {
    if (!m_base) return KEL_ERROR(kelstr_CParamInterfaceUniClientConnector_sendToBase_NotConnected);
    std::vector<uint8_t> transport;
    KEL_TRY(ParamTransport::wrap(ParamMsg::kProcessBaseData, m_clientId, message, &transport));
    KEL_TRY(m_base->processClientData(transport));
    return {};
}

size_t CParamInterfaceUniClientConnector::deliver() {
    ++m_runs;
    if (!m_base) return 0;
    if (CParamInterfaceBase* b = m_base->base()) b->flushChanges();
    std::deque<std::vector<uint8_t>> queue = m_base->takeQueued(m_clientId);
    for (const std::vector<uint8_t>& transport : queue)
        if (CError e = onProcessBaseData(transport)) kelLogError(e);
    return queue.size();
}
