#include "Core/Notify.h"

#include <algorithm>

#include "Core/Object.h"

CNotifyServer& CNotifyServer::instance() {
    static CNotifyServer s;
    return s;
}

CNotifyServer::SenderEntry* CNotifyServer::findSender(CObject* sender) {
    for (auto& s : m_senders)
        if (s->sender == sender) return s.get();
    return nullptr;
}

void CNotifyServer::registerListener(CObject* sender, const CString& eventName, CObject* listener,
                                     int64_t listenerId, const CString& listenerProc) {
    plat::CLock g(m_lock);
    SenderEntry* s = findSender(sender);
    if (!s) {
        m_senders.push_back(std::make_unique<SenderEntry>());
        s = m_senders.back().get();
        s->sender = sender;
    }
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
    CError result;
    const CString senderName = sender->fullName();
    for (const auto& l : targets) {
        {
            // Skip listeners removed by an earlier handler of this delivery.
            plat::CLock g(m_lock);
            SenderEntry* s = findSender(sender);
            bool still = false;
            if (s) {
                plat::CLock gs(s->lock);
                for (auto& e : s->events)
                    if (e.name == eventName)
                        for (auto& x : e.listeners) still |= x.listener == l.listener && x.proc == l.proc;
            }
            if (!still) continue;
        }
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
    plat::CLock g(m_lock);
    std::erase_if(m_senders, [&](auto& s) { return s->sender == object; });
    for (auto& s : m_senders) {
        plat::CLock gs(s->lock);
        for (auto& e : s->events) std::erase_if(e.listeners, [&](auto& l) { return l.listener == object; });
    }
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
