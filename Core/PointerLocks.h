#pragma once
// Pointer-keyed locks: 64 locks, picked by an object's address, each guarding
// a map from the objects of that slot to the update listeners they own.
// Attaching, detaching and calling an object's update listeners all take the
// object's lock, so either side may detach while the other is being torn
// down on another thread (the editor's render thread and the UI thread):
// whoever detaches a listener first gets it, the other side gets nothing, and
// a listener is never deleted while it is being called.
//
// Listeners must not attach or detach from onUpdate (the lock is held).

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "Core/MemAllocator.h"
#include "Platform/Sync.h"

class CUpdateListener : public CKelAllocated {
public:
    virtual ~CUpdateListener() = default;
    // Called with the owner's lock held.
    virtual void onUpdate(const void* owner) = 0;
};

namespace PointerLocks {

constexpr size_t kLockCount = 64;

// ((p >> 4) ^ (p >> 12) ^ (p >> 20) ^ (p >> 28)) & 63
constexpr size_t lockIndex(uintptr_t p) {
    return size_t(((p >> 4) ^ (p >> 12) ^ (p >> 20) ^ (p >> 28)) & (kLockCount - 1));
}
inline size_t lockIndex(const void* p) { return lockIndex(reinterpret_cast<uintptr_t>(p)); }

// The lock of an object's slot (for callers that guard more than the map).
plat::CCritSec& lockFor(const void* owner);

// Gives owner a listener; the table owns it until it is detached.
void attach(const void* owner, std::unique_ptr<CUpdateListener> listener);
// Takes a listener back; nullptr when it is not (or no longer) attached.
std::unique_ptr<CUpdateListener> detach(const void* owner, CUpdateListener* listener);
// Takes back every listener of owner (when the owner is destroyed).
std::vector<std::unique_ptr<CUpdateListener>> detachAll(const void* owner);
// Calls onUpdate of each listener of owner under its lock; returns how many.
size_t update(const void* owner);
size_t listenerCount(const void* owner);

}  // namespace PointerLocks
