#include "Audio/Registry/AudioParamUndo.h"

#include <algorithm>

namespace {
class CStartEntry final : public CAudioParamUndoEntry {
public:
    CStartEntry() : CAudioParamUndoEntry(CAudioParamUndo::kStartText) {}
    CError undo() override { return {}; }
    CError redo() override { return {}; }
};
}  // namespace

CAudioParamUndo::CAudioParamUndo(int maxCount) : m_maxCount(std::max(maxCount, kMinCount)) {
    m_entries.push_back(std::make_shared<CStartEntry>());
}

CAudioParamUndo::~CAudioParamUndo() = default;

void CAudioParamUndo::setMaxCount(int count) {
    {
        plat::CLock lock(m_lock);
        m_maxCount = std::max(count, kMinCount);
        trimLocked();
    }
    changed();
}

int CAudioParamUndo::maxCount() const {
    plat::CLock lock(m_lock);
    return m_maxCount;
}

size_t CAudioParamUndo::count() const {
    plat::CLock lock(m_lock);
    return m_entries.size();
}

int CAudioParamUndo::position() const {
    plat::CLock lock(m_lock);
    return m_position;
}

CString CAudioParamUndo::text(size_t index) const {
    plat::CLock lock(m_lock);
    return index < m_entries.size() ? m_entries[index]->text() : CString();
}

std::vector<CString> CAudioParamUndo::texts() const {
    plat::CLock lock(m_lock);
    std::vector<CString> out;
    for (const auto& e : m_entries) out.push_back(e->text());
    return out;
}

bool CAudioParamUndo::canUndo() const {
    plat::CLock lock(m_lock);
    return m_position > 0;
}

bool CAudioParamUndo::canRedo() const {
    plat::CLock lock(m_lock);
    return m_position + 1 < int(m_entries.size());
}

void CAudioParamUndo::trimLocked() {
    // The start entry stays; the oldest changes after it go first.
    const size_t excess = m_entries.size() > size_t(m_maxCount) ? m_entries.size() - size_t(m_maxCount) : 0;
    if (!excess) return;
    m_entries.erase(m_entries.begin() + 1, m_entries.begin() + 1 + std::ptrdiff_t(excess));
    m_position = std::max(0, m_position - int(excess));
    ++m_generation;
}

void CAudioParamUndo::push(std::unique_ptr<CAudioParamUndoEntry> entry) {
    if (!entry) return;
    {
        plat::CLock lock(m_lock);
        m_entries.resize(size_t(m_position) + 1);
        m_entries.push_back(std::shared_ptr<CAudioParamUndoEntry>(std::move(entry)));
        m_position = int(m_entries.size()) - 1;
        ++m_generation;
        trimLocked();
    }
    changed();
}

CError CAudioParamUndo::undo() {
    std::shared_ptr<CAudioParamUndoEntry> entry;
    uint64_t generation = 0;
    {
        plat::CLock lock(m_lock);
        if (m_position <= 0) return {};
        entry = m_entries[size_t(m_position)];
        generation = m_generation;
    }
    KEL_TRY(entry->undo());
    {
        plat::CLock lock(m_lock);
        // Entries pushed while the entry ran (by its own listeners) win.
        if (generation == m_generation && m_position > 0) --m_position;
    }
    changed();
    return {};
}

CError CAudioParamUndo::redo() {
    std::shared_ptr<CAudioParamUndoEntry> entry;
    uint64_t generation = 0;
    {
        plat::CLock lock(m_lock);
        if (m_position + 1 >= int(m_entries.size())) return {};
        entry = m_entries[size_t(m_position) + 1];
        generation = m_generation;
    }
    KEL_TRY(entry->redo());
    {
        plat::CLock lock(m_lock);
        if (generation == m_generation && m_position + 1 < int(m_entries.size())) ++m_position;
    }
    changed();
    return {};
}

CError CAudioParamUndo::setPosition(int position) {
    if (position < 0 || position >= int(count()))
        return KEL_ERROR(kelstr_CAudioParamUndo_setPosition_InvalidPosition, CString::number(int64_t(position)));
    for (int guard = int(count()); guard > 0; --guard) {
        const int now = this->position();
        if (now == position) break;
        KEL_TRY(now > position ? undo() : redo());
        if (this->position() == now) break;  // nothing moved (history changed underneath)
    }
    return {};
}

void CAudioParamUndo::clear() {
    {
        plat::CLock lock(m_lock);
        m_entries.resize(1);
        m_position = 0;
        ++m_generation;
    }
    changed();
}

void CAudioParamUndo::setListener(std::function<void()> listener) {
    plat::CLock lock(m_lock);
    m_listener = std::move(listener);
}

void CAudioParamUndo::changed() {
    std::function<void()> listener;
    {
        plat::CLock lock(m_lock);
        listener = m_listener;
    }
    if (listener) listener();
}
