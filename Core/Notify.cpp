#include "Core/Notify.h"

#include <algorithm>

#include "Core/Log.h"
#include "Core/Object.h"

CNotifyServer& CNotifyServer::instance() {
    static CNotifyServer s;
    return s;
}

CNotifyServer::SenderEntry* CNotifyServer::findSender(CObject* sender) {
    auto it = m_senders.find(sender);
    return it == m_senders.end() ? nullptr : it->second.get();
}

void CNotifyServer::registerListener(CObject* sender, const CString& eventName, CObject* listener,
                                     int64_t listenerId, const CString& listenerProc) {
    plat::CLock g(m_lock);
    auto& slot = m_senders[sender];
    if (!slot) slot = std::make_unique<SenderEntry>();
    SenderEntry* s = slot.get();
    sender->setNotifyRegistered();
    listener->setNotifyRegistered();
    plat::CLock gs(s->lock);
    auto it = std::find_if(s->events.begin(), s->events.end(), [&](auto& e) { return e.name == eventName; });
    if (it == s->events.end()) {
        s->events.push_back({eventName, {}});
        it = s->events.end() - 1;
    }
    for (auto& l : it->listeners)
        if (l.listener == listener && l.proc == listenerProc) {
            l.id = listenerId;
            return;
        }
    it->listeners.push_back({listener, listenerId, listenerProc});
}

void CNotifyServer::unregisterListener(CObject* sender, const CString& eventName, CObject* listener) {
    plat::CLock g(m_lock);
    SenderEntry* s = findSender(sender);
    if (!s) return;
    plat::CLock gs(s->lock);
    for (auto& e : s->events)
        if (e.name == eventName)
            std::erase_if(e.listeners, [&](auto& l) { return l.listener == listener; });
}

bool CNotifyServer::isListening(CObject* sender, const CString& eventName, const Listener& l) {
    plat::CLock g(m_lock);
    SenderEntry* s = findSender(sender);
    if (!s) return false;
    plat::CLock gs(s->lock);
    for (auto& e : s->events)
        if (e.name == eventName)
            for (auto& x : e.listeners)
                if (x.listener == l.listener && x.proc == l.proc) return true;
    return false;
}

CError CNotifyServer::notify(CObject* sender, const CString& eventName, const CEventParams& params) {
    // Copy the listener list so that no lock is held while handlers run.
    std::vector<Listener> targets;
    {
        plat::CLock g(m_lock);
        SenderEntry* s = findSender(sender);
        if (!s) return {};
        plat::CLock gs(s->lock);
        for (auto& e : s->events)
            if (e.name == eventName) targets = e.listeners;
    }
    if (targets.empty()) return {};
    CError result;
    const CString senderName = sender->fullName();
    for (const Listener& l : targets) {
        // Skip listeners removed meanwhile (by an earlier handler of this
        // delivery or by another thread).
        if (!isListening(sender, eventName, l)) continue;
        CEventParams p = params;
        p.set("sender", senderName);
        p.set("event-name", eventName);
        p.set("listener", l.listener->fullName());
        p.set("listener-id", CString::number(l.id));
        p.set("listener-proc", l.proc);
        if (CError e = l.listener->runEvent(l.proc, p)) {
            for (const auto& line : e.lines()) result.appendLine(line);
        }
    }
    if (result) return KEL_PASS(result);
    return {};
}

void CNotifyServer::removeObject(CObject* object) {
    {
        plat::CLock g(m_lock);
        m_senders.erase(object);
        for (auto& [sender, s] : m_senders) {
            plat::CLock gs(s->lock);
            for (auto& e : s->events) std::erase_if(e.listeners, [&](auto& l) { return l.listener == object; });
        }
    }
    cancelPosted(object);
}

size_t CNotifyServer::listenerCount(CObject* sender, const CString& eventName) {
    plat::CLock g(m_lock);
    SenderEntry* s = findSender(sender);
    if (!s) return 0;
    plat::CLock gs(s->lock);
    for (auto& e : s->events)
        if (e.name == eventName) return e.listeners.size();
    return 0;
}

// --- Posted events -------------------------------------------------------------

bool CNotifyServer::postEvent(CObject* target, const CString& eventName, const CEventParams& params,
                              plat::RunLoopId loop) {
    uint64_t seq;
    {
        plat::CLock g(m_postLock);
        seq = m_nextPost++;
        m_posted.emplace(seq, PostedEvent{target, eventName, params});
    }
    // The loop carries only the sequence number: an event cancelled meanwhile
    // is simply not found when its turn comes.
    if (plat::postToRunLoop(loop, &CNotifyServer::deliverPosted, reinterpret_cast<void*>(uintptr_t(seq))))
        return true;
    plat::CLock g(m_postLock);
    m_posted.erase(seq);
    return false;
}

void CNotifyServer::cancelPosted(CObject* target) {
    plat::CLock g(m_postLock);
    std::erase_if(m_posted, [&](auto& item) { return item.second.target == target; });
}

size_t CNotifyServer::postedCount(CObject* target) {
    plat::CLock g(m_postLock);
    return size_t(std::count_if(m_posted.begin(), m_posted.end(), [&](auto& i) { return i.second.target == target; }));
}

void CNotifyServer::deliverPosted(void* context) { instance().deliverPosted(uint64_t(uintptr_t(context))); }

void CNotifyServer::deliverPosted(uint64_t seq) {
    PostedEvent ev;
    {
        plat::CLock g(m_postLock);
        auto it = m_posted.find(seq);
        if (it == m_posted.end()) return;
        ev = std::move(it->second);
        m_posted.erase(it);
    }
    // The target lives on this thread (it is destroyed here too), so it
    // cannot vanish between the look-up and the call.
    if (CError e = ev.target->runEvent(ev.eventName, ev.params)) {
        kelLogf("Posted event '%s' failed. // %s", ev.eventName.utf8().c_str(), ev.target->fullName().utf8().c_str());
        kelLogError(e);
    }
}
