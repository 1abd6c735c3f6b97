#pragma once
// How numeric parameter changes made on the main thread reach the audio
// thread without either thread waiting for the other or touching a value
// while the other reads it.
//
// CAudioParamChangeSet: one set of pending numeric values. Its slots are laid
// out once for every value (parameter, group, element, component) of the
// prepared parameters, so filling a set never allocates and a value written
// twice before the audio thread takes the set keeps only its last write.
//
// CAudioParamChangeQueue: two such sets: the pending set that the main
// thread fills and the set the audio thread applies; taking swaps the two
// pointers. The main thread empties a set that came back applied before it
// fills it again (under the lock, without freeing anything). The contract:
//
//   Main thread (instance set-up, before processing starts):
//       queue.prepare(collector.paramsWithPrefix(""), &env.lock());
//       collector.setChangeQueue(&queue);
//   Main thread, any time (under the lock given to prepare, held only while
//   values are copied into the pending set):
//       CAudioParamChangeQueue::CBatch batch(queue);
//       batch.set(param, group, element, component, value);
//   Audio thread, at the start of each chunk:
//       CAudioParamChangeSet* set;
//       { plat::CLock l(env.lock()); ...; set = queue.takePending(); }  // pointer swap
//       CAudioParamChangeQueue::apply(set);   // outside the lock
//   (or queue.takeAndApply(), which takes the lock itself).
//
// Applying writes each value with CAudioParamStorage::writeValue, which never
// allocates and advances the parameter's change counter when the value
// differs. A batch reaches the audio thread whole, at the chunk after it was
// made. Text and raw parameters are never queued: the audio thread does not
// read them, so the main thread writes them directly.
//
// Main-thread readers see their own writes at once: value() and overlay()
// give the value the audio thread will hold once the pending changes are
// applied (pending set first, then a taken set not applied yet, then the
// live storage).
//
// The queue keeps pointers to the prepared parameters: reset it (or destroy
// it) and detach it from the collector before the parameters go away.
// Values outside the prepared shape of a parameter are refused (set returns
// false); the live shape of a numeric parameter never changes while the
// queue is in use.

#include <atomic>
#include <cstdint>
#include <memory>
#include <span>
#include <unordered_map>
#include <vector>

#include "Audio/Params/AudioParam.h"
#include "Platform/Sync.h"

class CAudioParamChangeQueue;

class CAudioParamChangeSet {
public:
    // What one slot holds.
    struct Slot {
        CAudioParam* param;
        uint32_t g, e, c;
    };

    // Number of values waiting in the set.
    size_t size() const noexcept { return m_list.size(); }
    bool empty() const noexcept { return m_list.empty(); }
    // Slots the set can hold (every prepared value).
    size_t capacity() const noexcept { return m_values.size(); }
    bool isApplied() const noexcept { return m_applied.load(std::memory_order_acquire); }

private:
    friend class CAudioParamChangeQueue;

    void allocate(const std::vector<Slot>& layout);
    void put(uint32_t slot, double v) noexcept;
    bool find(uint32_t slot, double* v) const noexcept;
    // Empties the set for reuse (main thread; never frees).
    void recycle() noexcept;

    const Slot* m_layout = nullptr;
    std::vector<double> m_values;   // one per slot
    std::vector<uint8_t> m_dirty;   // one per slot
    std::vector<uint32_t> m_list;   // dirty slots in order of first write; capacity = slots
    std::atomic<bool> m_applied{false};
};

class CAudioParamChangeQueue {
public:
    CAudioParamChangeQueue();
    ~CAudioParamChangeQueue();
    CAudioParamChangeQueue(const CAudioParamChangeQueue&) = delete;
    CAudioParamChangeQueue& operator=(const CAudioParamChangeQueue&) = delete;

    // Lays out a slot for every value of the numeric parameters given, in
    // their current shapes, and sizes the two sets. lock is the lock under
    // which the audio thread takes the pending set (the audio environment's).
    void prepare(std::span<CAudioParam* const> params, plat::CCritSec* lock);
    // Forgets the layout and the pending values.
    void reset();
    bool isPrepared() const { return m_lock != nullptr; }
    // True when the parameter has slots.
    bool isPrepared(const CAudioParam& p) const { return m_params.count(&p) != 0; }
    size_t slotCount() const { return m_slots.size(); }

    // Main-thread writes. The lock is held for the life of the batch, so its
    // values are taken together; nothing else that takes this lock may be
    // called while a batch is open (value() and overlay() included).
    class CBatch {
    public:
        explicit CBatch(CAudioParamChangeQueue& queue);
        ~CBatch();
        CBatch(const CBatch&) = delete;
        CBatch& operator=(const CBatch&) = delete;
        // False when (group, element, component) is outside the prepared shape.
        bool set(const CAudioParam& p, uint32_t g, uint32_t e, uint32_t c, double v);

    private:
        CAudioParamChangeQueue& m_queue;
    };
    // One value in a batch of its own.
    bool set(const CAudioParam& p, uint32_t g, uint32_t e, uint32_t c, double v);

    // Main-thread reads through the pending values.
    double value(const CAudioParam& p, uint32_t g, uint32_t e, uint32_t c = 0) const;
    // Writes the pending values of p into a copy of its storage.
    void overlay(const CAudioParam& p, CAudioParamStorage* copy) const;
    // True while values wait for the audio thread.
    bool hasPending() const;

    // Audio thread, with the lock held: hands over the pending set (a pointer
    // swap) or nullptr when nothing waits. Never allocates.
    CAudioParamChangeSet* takePending() noexcept;
    // Audio thread, outside the lock: writes the taken values. Never allocates.
    static void apply(CAudioParamChangeSet* set) noexcept;
    // takePending under the lock, then apply.
    void takeAndApply() noexcept;

private:
    using Slot = CAudioParamChangeSet::Slot;
    struct Layout {
        uint32_t base;                  // first slot
        uint32_t esize;
        bool singleGroup, singleElement;
        std::vector<uint32_t> elements; // per group
        std::vector<uint32_t> start;    // first slot of group g, relative to base
    };

    // Slot of a value, or -1 when outside the prepared shape.
    int64_t slotOf(const CAudioParam& p, uint32_t g, uint32_t e, uint32_t c) const;
    // With the lock held: the value waiting for slot, if any.
    bool pendingLocked(uint32_t slot, double* v) const noexcept;

    plat::CCritSec* m_lock = nullptr;
    std::unordered_map<const CAudioParam*, Layout> m_params;
    std::vector<Slot> m_slots;
    CAudioParamChangeSet m_sets[2];
    CAudioParamChangeSet* m_pending = nullptr;  // guarded by the lock
    CAudioParamChangeSet* m_audio = nullptr;    // the audio thread's (swapped under the lock)
};

// Main-thread access to parameter values that goes through the change queue
// of the parameter's collector when there is a prepared one, and straight to
// the storage otherwise (no audio thread yet, or tests).
double kelMainParamValue(const CAudioParam& p, uint32_t g, uint32_t e, uint32_t c = 0);
// A copy of the storage with the pending values written in.
CAudioParamStorage kelMainParamSnapshot(const CAudioParam& p);
// Writes one numeric value; text and raw parameters are written directly.
// Returns false when the queue refuses the value.
bool kelMainParamWrite(CAudioParam& p, uint32_t g, uint32_t e, uint32_t c, double v);
// A group of main-thread writes made together: numeric values that differ
// from the main-thread view are written in one batch of the parameters'
// change queue (or directly without one); text and raw data are taken
// directly at commit. Used for preset activation and state changes, so that
// the audio thread sees a preset all at once.
class CAudioParamWrites {
public:
    // Stages the values of source (a storage of p's kind): numeric values
    // slot by slot within p's live shape (the shape stays; what lies outside
    // it is not kept), text and raw data whole.
    void assign(CAudioParam& p, const CAudioParamStorage& source);
    // Stages one numeric value.
    void set(CAudioParam& p, uint32_t g, uint32_t e, uint32_t c, double v);
    bool empty() const { return m_values.empty() && m_whole.empty(); }

    // Writes what was staged and returns the parameters whose values changed
    // (each once, in staging order). Values a queue refuses are dropped.
    std::vector<CAudioParam*> commit();

private:
    struct Value {
        CAudioParam* param;
        uint32_t g, e, c;
        double v;
    };
    struct Whole {
        CAudioParam* param;
        CAudioParamStorage data;
    };
    std::vector<Value> m_values;
    std::vector<Whole> m_whole;
};
