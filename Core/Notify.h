#pragma once
// CNotifyServer: the process-wide notification server. It maps a sender to
// its events and each event to listener records {listener, listener id,
// listener procedure (an event of the listener's table)}. Delivery runs each
// listener's procedure with the event parameters plus "sender", "event-name",
// "listener", "listener-id" and "listener-proc".
//
// Threads: registration and delivery may happen on any thread. Lock order:
// the server lock, then the sender's lock; no lock is held while a handler
// runs, so handlers may register and unregister listeners.

#include <memory>
#include <vector>

#include "Core/Error.h"
#include "Core/EventParams.h"
#include "Core/String.h"
#include "Platform/Sync.h"

class CObject;

class CNotifyServer {
public:
    static CNotifyServer& instance();

    void registerListener(CObject* sender, const CString& eventName, CObject* listener, int64_t listenerId,
                          const CString& listenerProc);
    void unregisterListener(CObject* sender, const CString& eventName, CObject* listener);
    // Runs every listener of sender's event; handler errors are chained.
    CError notify(CObject* sender, const CString& eventName, const CEventParams& params);
    // Forgets an object as sender and as listener (called when it is destroyed).
    void removeObject(CObject* object);
    size_t listenerCount(CObject* sender, const CString& eventName);

private:
    struct Listener {
        CObject* listener;
        int64_t id;
        CString proc;
    };
    struct EventEntry {
        CString name;
        std::vector<Listener> listeners;
    };
    struct SenderEntry {
        CObject* sender;
        plat::CCritSec lock{4000};
        std::vector<EventEntry> events;
    };

    SenderEntry* findSender(CObject* sender);

    plat::CCritSec m_lock{4000};
    std::vector<std::unique_ptr<SenderEntry>> m_senders;
};
