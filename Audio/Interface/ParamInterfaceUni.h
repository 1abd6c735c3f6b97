#pragma once
// CParamInterfaceUni*: the in-process connectors of the parameter interface
// (both ends live in the plug-in's process).
//
// CParamInterfaceUniBaseConnector (tag
// other:param-interface-base-connector-uni, "plugin.interface-base-connector")
// numbers its client connections from 1 and keeps one queue of transport
// buffers per connection. Sending to a client wraps the message
// ("process-base-data-proxy") and appends it to that queue under the
// connector's lock, so the base may send from any thread (the audio
// environment's threads included).
//
// CParamInterfaceUniClientConnector (tag
// other:param-interface-client-connector-uni): attributes "base-connector"
// (path of the base connector, "plugin.interface-base-connector"),
// "timer-tag" (tag of the timer child it creates, "ui:update-timer": any
// object that notifies "tick"; a tag that makes nothing falls back to
// "core:timer"), "fps" (delivery rate), "is-high-precision" (passed to the
// timer when set). The base
// connector's path is resolved in the instance tree named by the editor
// root's "BaseConnectorRootPtr" attribute (the instance root's address,
// rootPointerText) when the root has one, else in the connector's own tree.
//
// Client -> base messages are wrapped ("process-base-data") and handled at
// once on the calling thread; the base's error comes back to the sender.
// Base -> client messages wait in the queue until the client connector's
// timer ticks (the user-interface thread): the base first flushes its
// pending parameter changes, then every waiting buffer is handed to the
// client in order.
//
// Threads: connecting, disconnecting and destruction on the user-interface
// thread, which in this product is also the host's main thread that owns
// the instance tree.

#include <deque>
#include <map>
#include <vector>

#include "Audio/Interface/ParamInterfaceConnector.h"
#include "Platform/Sync.h"

KELSTR(CParamInterfaceUniClientConnector_sendToBase_NotConnected, "No connection to the parameter interface base.");
KELSTR(CParamInterfaceUniClientConnector_initLinks_InvalidRootPtr, "Invalid base connector root '%1'.");

class CTimerQueued;
class CParamInterfaceUniClientConnector;

class CParamInterfaceUniBaseConnector : public CParamInterfaceBaseConnector {
public:
    // Messages that wait for one client beyond this are dropped (a client
    // whose timer stopped must not grow the queue without end).
    static constexpr size_t kMaxQueued = 16384;

    ~CParamInterfaceUniBaseConnector() override;
    static void registerEvents(CClassRecord& record) { CParamInterfaceBaseConnector::registerEvents(record); }

    // A new connection and its number.
    uint32_t attachClient(CParamInterfaceUniClientConnector* client);
    void detachClient(uint32_t client);

    CError sendToClient(uint32_t client, std::span<const uint8_t> message) override;
    CError sendToAll(std::span<const uint8_t> message) override;
    bool hasClient(uint32_t client) const override;
    size_t clientCount() const;

    // What waits for a client (after the base flushed its changes).
    std::deque<std::vector<uint8_t>> takeQueued(uint32_t client);
    size_t queuedCount(uint32_t client) const;

private:
    struct Connection {
        CParamInterfaceUniClientConnector* connector = nullptr;
        std::deque<std::vector<uint8_t>> queue;
        bool overflowLogged = false;
    };
    void pushLocked(uint32_t client, Connection& c, std::span<const uint8_t> message);

    mutable plat::CCritSec m_lock{4000};
    std::map<uint32_t, Connection> m_clients;
    uint32_t m_next = 1;
};

class CParamInterfaceUniClientConnector : public CParamInterfaceClientConnector {
public:
    ~CParamInterfaceUniClientConnector() override;

    CError initLinks() override;
    CError initDone() override;
    static void registerEvents(CClassRecord& record);

    // Connects to a base connector (nullptr disconnects).
    void connect(CParamInterfaceUniBaseConnector* base);
    void disconnect();
    CParamInterfaceUniBaseConnector* baseConnector() const { return m_base; }
    uint32_t clientId() const override { return m_clientId; }

    CError sendToBase(std::span<const uint8_t> message) override;
    // Hands every waiting message to the client (the timer's tick); returns
    // how many were delivered.
    size_t deliver();
    // How often deliver ran.
    uint64_t deliveryRuns() const { return m_runs; }

    CObject* timer() const { return m_timer; }

    // The text of "BaseConnectorRootPtr" for an instance root.
    static CString rootPointerText(const CObject* root);

private:
    friend class CParamInterfaceUniBaseConnector;
    // The base connector is going away.
    void baseGone();
    CError createTimer();

    CParamInterfaceUniBaseConnector* m_base = nullptr;
    uint32_t m_clientId = 0;
    CObject* m_timer = nullptr;
    uint64_t m_runs = 0;
};
