#pragma once
// CAudioParamUndo: the bounded undo history of one plug-in instance.
//
// The history is a list of entries, each with a text and what it takes to
// go back to the state before its change and forward to the state after it.
// The first entry is always "Undo history start" (no change). The position
// is the index of the entry whose change is the current state: undo goes
// back one entry (restoring the state before the entry at the position),
// redo forward one (restoring the state after the next entry). A new entry
// drops every entry after the position and becomes the position. At most
// maxCount entries are kept (never fewer than 4); when a new entry exceeds
// it, the oldest change after the start entry is dropped.
//
// Undo entries are created by the parameter registries (preset activation,
// resets, program name changes) and by the parameter interface, which owns
// the history (it implements CAudioParamUndoOwner, named by a registry's
// "param-undo" attribute).
//
// Threads: main thread. The history has its own lock, so texts and the
// position may be read from another thread; undo and redo run the entry
// outside that lock (the entry takes its registry's lock), so a registry may
// push entries while holding its own lock.

#include <functional>
#include <memory>
#include <vector>

#include "Audio/Registry/AudioPreset.h"
#include "Core/Error.h"
#include "Core/String.h"
#include "Platform/Sync.h"

KELSTR(CAudioParamUndo_setPosition_InvalidPosition, "Invalid undo history position %1.");

class CAudioParamUndoEntry {
public:
    explicit CAudioParamUndoEntry(const CString& text) : m_text(text) {}
    virtual ~CAudioParamUndoEntry() = default;

    const CString& text() const { return m_text; }
    // Restores the state before / after the entry's change.
    virtual CError undo() = 0;
    virtual CError redo() = 0;

private:
    CString m_text;
};

// Whatever holds parameter states that undo entries restore (the registries).
class CAudioParamStateTarget {
public:
    virtual ~CAudioParamStateTarget() = default;
    // Applies the records of a captured state (group -1: all groups, else
    // that group only) without creating an undo entry.
    virtual CError applyState(const CAudioPreset& state, int group) = 0;
};

// An entry holding two captured states of one target.
class CAudioParamUndoState : public CAudioParamUndoEntry {
public:
    CAudioParamUndoState(const CString& text, CAudioParamStateTarget* target, int group, CAudioPreset before,
                         CAudioPreset after)
        : CAudioParamUndoEntry(text),
          m_target(target),
          m_group(group),
          m_before(std::move(before)),
          m_after(std::move(after)) {}

    CError undo() override { return m_target ? m_target->applyState(m_before, m_group) : CError(); }
    CError redo() override { return m_target ? m_target->applyState(m_after, m_group) : CError(); }

    const CAudioPreset& before() const { return m_before; }
    const CAudioPreset& after() const { return m_after; }
    int group() const { return m_group; }

private:
    CAudioParamStateTarget* m_target;
    int m_group;
    CAudioPreset m_before, m_after;
};

class CAudioParamUndo {
public:
    static constexpr int kMinCount = 4;
    static constexpr const char* kStartText = "Undo history start";

    explicit CAudioParamUndo(int maxCount = 32);
    ~CAudioParamUndo();
    CAudioParamUndo(const CAudioParamUndo&) = delete;
    CAudioParamUndo& operator=(const CAudioParamUndo&) = delete;

    // The capacity (at least kMinCount); lowering it drops the oldest changes.
    void setMaxCount(int count);
    int maxCount() const;

    size_t count() const;
    int position() const;
    CString text(size_t index) const;
    std::vector<CString> texts() const;
    bool canUndo() const;
    bool canRedo() const;

    // Adds an entry after the position (dropping what followed it).
    void push(std::unique_ptr<CAudioParamUndoEntry> entry);
    CError undo();
    CError redo();
    // Undoes or redoes until the position is reached; stops at the first error.
    CError setPosition(int position);
    // Back to the start entry alone.
    void clear();

    // Called after every change of the entries or the position (on the
    // thread that made it, without the history's lock, but possibly while the
    // registry that pushed an entry holds its lock: a listener notes the
    // change and reads the history; it does not call into registries).
    void setListener(std::function<void()> listener);

private:
    void changed();
    void trimLocked();

    mutable plat::CCritSec m_lock{4000};
    std::vector<std::shared_ptr<CAudioParamUndoEntry>> m_entries;
    int m_position = 0;
    int m_maxCount;
    uint64_t m_generation = 0;  // advances when entries are added or dropped
    std::function<void()> m_listener;
};

// Implemented by the object that owns an instance's undo history.
class CAudioParamUndoOwner {
public:
    virtual ~CAudioParamUndoOwner() = default;
    virtual CAudioParamUndo* paramUndo() = 0;
};
