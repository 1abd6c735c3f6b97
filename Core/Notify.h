#pragma once
// CNotifyServer: the process-wide notification server. It maps a sender to
// its events and each event to listener records {listener, listener id,
// listener procedure (an event of the listener's table)}. Delivery runs each
// listener's procedure with the event parameters plus "sender", "event-name",
// "listener", "listener-id" and "listener-proc".
//
// Besides immediate delivery the server carries events between threads:
// postEvent queues an event for one object on a thread's run loop, and the
// event runs there when that thread pumps its loop. This is how timer
// callbacks reach the thread that owns the timer.
//
// Threads: registration and delivery may happen on any thread. Lock order:
// the server lock, then the sender's lock; the posted-event lock is taken
// alone. No lock is held while a handler runs, so handlers may register and
// unregister listeners.

#include <cstdint>
#include <map>
#include <memory>
#include <unordered_map>
#include <vector>

#include "Core/Error.h"
#include "Core/EventParams.h"
#include "Core/String.h"
#include "Platform/Sync.h"
#include "Platform/Thread.h"

class CObject;

class CNotifyServer {
public:
    static CNotifyServer& instance();

    void registerListener(CObject* sender, const CString& eventName, CObject* listener, int64_t listenerId,
                          const CString& listenerProc);
    void unregisterListener(CObject* sender, const CString& eventName, CObject* listener);
    // Runs every listener of sender's event; handler errors are chained.
    CError notify(CObject* sender, const CString& eventName, const CEventParams& params);
    // Forgets an object as sender, as listener and as the target of posted
    // events (called when it is destroyed).
    void removeObject(CObject* object);
    size_t listenerCount(CObject* sender, const CString& eventName);

    // Queues target's event on a run loop; it runs (target->runEvent) when
    // that loop's thread pumps, and its error is logged. Callable from any
    // thread; the target must already be known to the server (see
    // CObject::setNotifyRegistered), must live on the loop's thread and be
    // destroyed there, which cancels what is still queued for it. Returns
    // false when the loop does not exist.
    bool postEvent(CObject* target, const CString& eventName, const CEventParams& params, plat::RunLoopId loop);
    // Drops the events queued for target.
    void cancelPosted(CObject* target);
    // Events queued for target and not yet run.
    size_t postedCount(CObject* target);

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
        plat::CCritSec lock{4000};
        std::vector<EventEntry> events;
    };
    struct PostedEvent {
        CObject* target = nullptr;
        CString eventName;
        CEventParams params;
    };

    SenderEntry* findSender(CObject* sender);
    bool isListening(CObject* sender, const CString& eventName, const Listener& l);
    static void deliverPosted(void* context);
    void deliverPosted(uint64_t seq);

    plat::CCritSec m_lock{4000};
    std::unordered_map<CObject*, std::unique_ptr<SenderEntry>> m_senders;

    plat::CCritSec m_postLock{4000};
    std::map<uint64_t, PostedEvent> m_posted;
    uint64_t m_nextPost = 1;
};
