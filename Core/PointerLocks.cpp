#include "Core/PointerLocks.h"

#include <algorithm>
#include <map>

namespace {
using ListenerList = std::vector<std::unique_ptr<CUpdateListener>>;

struct Slot {
    plat::CCritSec lock{4000};
    std::map<const void*, ListenerList> owners;
};

Slot* slots() {
    // Never destroyed: objects may detach during process exit.
    static Slot* s = new Slot[PointerLocks::kLockCount];
    return s;
}

Slot& slotOf(const void* owner) { return slots()[PointerLocks::lockIndex(owner)]; }
}  // namespace

namespace PointerLocks {

plat::CCritSec& lockFor(const void* owner) { return slotOf(owner).lock; }

void attach(const void* owner, std::unique_ptr<CUpdateListener> listener) {
    if (!listener) return;
    Slot& s = slotOf(owner);
    plat::CLock g(s.lock);
    s.owners[owner].push_back(std::move(listener));
}

std::unique_ptr<CUpdateListener> detach(const void* owner, CUpdateListener* listener) {
    Slot& s = slotOf(owner);
    plat::CLock g(s.lock);
    auto it = s.owners.find(owner);
    if (it == s.owners.end()) return nullptr;
    ListenerList& list = it->second;
    auto li = std::find_if(list.begin(), list.end(), [&](auto& l) { return l.get() == listener; });
    if (li == list.end()) return nullptr;
    std::unique_ptr<CUpdateListener> out = std::move(*li);
    list.erase(li);
    if (list.empty()) s.owners.erase(it);
    return out;
}

std::vector<std::unique_ptr<CUpdateListener>> detachAll(const void* owner) {
    Slot& s = slotOf(owner);
    plat::CLock g(s.lock);
    auto it = s.owners.find(owner);
    if (it == s.owners.end()) return {};
    ListenerList out = std::move(it->second);
    s.owners.erase(it);
    return out;
}

size_t update(const void* owner) {
    Slot& s = slotOf(owner);
    plat::CLock g(s.lock);
    auto it = s.owners.find(owner);
    if (it == s.owners.end()) return 0;
    for (auto& l : it->second) l->onUpdate(owner);
    return it->second.size();
}

size_t listenerCount(const void* owner) {
    Slot& s = slotOf(owner);
    plat::CLock g(s.lock);
    auto it = s.owners.find(owner);
    return it == s.owners.end() ? 0 : it->second.size();
}

}  // namespace PointerLocks
