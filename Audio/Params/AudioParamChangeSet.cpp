#include "Audio/Params/AudioParamChangeSet.h"

#include <algorithm>
#include <cstring>

#include "Audio/Params/AudioParamCollector.h"
#include "Core/MemoryWriter.h"

// --- One set ----------------------------------------------------------------------------------

void CAudioParamChangeSet::allocate(const std::vector<Slot>& layout) {
    m_layout = layout.data();
    m_values.assign(layout.size(), 0.0);
    m_dirty.assign(layout.size(), 0);
    m_list.clear();
    m_list.reserve(layout.size());
    m_applied.store(false, std::memory_order_release);
}

void CAudioParamChangeSet::put(uint32_t slot, double v) noexcept {
    if (!m_dirty[slot]) {
        m_dirty[slot] = 1;
        m_list.push_back(slot);  // within the reserved capacity: one entry per slot at most
    }
    m_values[slot] = v;
}

bool CAudioParamChangeSet::find(uint32_t slot, double* v) const noexcept {
    if (slot >= m_dirty.size() || !m_dirty[slot]) return false;
    *v = m_values[slot];
    return true;
}

void CAudioParamChangeSet::recycle() noexcept {
    for (uint32_t s : m_list) m_dirty[s] = 0;
    m_list.clear();
    m_applied.store(false, std::memory_order_release);
}

// --- The queue --------------------------------------------------------------------------------

CAudioParamChangeQueue::CAudioParamChangeQueue() = default;
CAudioParamChangeQueue::~CAudioParamChangeQueue() = default;

void CAudioParamChangeQueue::prepare(std::span<CAudioParam* const> params, plat::CCritSec* lock) {
    reset();
    for (CAudioParam* p : params) {
        if (!p || !p->info().isNumeric() || m_params.count(p)) continue;
        const CAudioParamStorage& st = p->storage();
        Layout l;
        l.base = uint32_t(m_slots.size());
        l.esize = st.elementSize();
        l.singleGroup = p->info().isSingleGroup();
        l.singleElement = p->info().isSingleElement();
        uint32_t at = 0;
        for (uint32_t g = 0; g < st.groupCount(); ++g) {
            l.elements.push_back(st.elementCount(g));
            l.start.push_back(at);
            for (uint32_t e = 0; e < st.elementCount(g); ++e)
                for (uint32_t c = 0; c < l.esize; ++c) m_slots.push_back({p, g, e, c});
            at += st.elementCount(g) * l.esize;
        }
        m_params.emplace(p, std::move(l));
    }
    for (CAudioParamChangeSet& s : m_sets) s.allocate(m_slots);
    m_pending = &m_sets[0];
    m_audio = &m_sets[1];
    m_lock = lock;
}

void CAudioParamChangeQueue::reset() {
    m_lock = nullptr;
    m_params.clear();
    m_slots.clear();
    for (CAudioParamChangeSet& s : m_sets) s.allocate(m_slots);
    m_pending = &m_sets[0];
    m_audio = &m_sets[1];
}

int64_t CAudioParamChangeQueue::slotOf(const CAudioParam& p, uint32_t g, uint32_t e, uint32_t c) const {
    auto it = m_params.find(&p);
    if (it == m_params.end()) return -1;
    const Layout& l = it->second;
    if (l.singleGroup) g = 0;
    if (l.singleElement) e = 0;
    if (g >= l.elements.size() || e >= l.elements[g] || c >= l.esize) return -1;
    return int64_t(l.base) + l.start[g] + int64_t(e) * l.esize + c;
}

bool CAudioParamChangeQueue::pendingLocked(uint32_t slot, double* v) const noexcept {
    // The pending set holds the newest values; a taken set that is not
    // applied yet holds the ones the live storage is about to get.
    if (!m_pending->isApplied() && m_pending->find(slot, v)) return true;
    return !m_audio->isApplied() && m_audio->find(slot, v);
}

CAudioParamChangeQueue::CBatch::CBatch(CAudioParamChangeQueue& queue) : m_queue(queue) {
    if (!m_queue.m_lock) return;
    m_queue.m_lock->lock();
    // The set the audio thread handed back after applying it is emptied
    // before it collects new values.
    if (m_queue.m_pending->isApplied()) m_queue.m_pending->recycle();
}

CAudioParamChangeQueue::CBatch::~CBatch() {
    if (m_queue.m_lock) m_queue.m_lock->unlock();
}

bool CAudioParamChangeQueue::CBatch::set(const CAudioParam& p, uint32_t g, uint32_t e, uint32_t c, double v) {
    const int64_t slot = m_queue.slotOf(p, g, e, c);
    if (slot < 0 || !m_queue.m_lock) return false;
    m_queue.m_pending->put(uint32_t(slot), v);
    return true;
}

bool CAudioParamChangeQueue::set(const CAudioParam& p, uint32_t g, uint32_t e, uint32_t c, double v) {
    CBatch batch(*this);
    return batch.set(p, g, e, c, v);
}

double CAudioParamChangeQueue::value(const CAudioParam& p, uint32_t g, uint32_t e, uint32_t c) const {
    const int64_t slot = m_lock ? slotOf(p, g, e, c) : -1;
    if (slot >= 0) {
        double v = 0.0;
        plat::CLock lock(*m_lock);
        if (pendingLocked(uint32_t(slot), &v)) return v;
    }
    return p.value(g, e, c);
}

void CAudioParamChangeQueue::overlay(const CAudioParam& p, CAudioParamStorage* copy) const {
    auto it = m_params.find(&p);
    if (!m_lock || it == m_params.end()) return;
    const Layout& l = it->second;
    uint32_t slots = 0;
    for (uint32_t k : l.elements) slots += k * l.esize;
    plat::CLock lock(*m_lock);
    for (uint32_t i = 0; i < slots; ++i) {
        double v = 0.0;
        if (!pendingLocked(l.base + i, &v)) continue;
        const Slot& s = m_slots[l.base + i];
        copy->writeValue(s.g, s.e, s.c, v);
    }
}

bool CAudioParamChangeQueue::hasPending() const {
    if (!m_lock) return false;
    plat::CLock lock(*m_lock);
    return (!m_pending->isApplied() && !m_pending->empty()) || (!m_audio->isApplied() && !m_audio->empty());
}

CAudioParamChangeSet* CAudioParamChangeQueue::takePending() noexcept {
    if (!m_pending || m_pending->isApplied() || m_pending->empty()) return nullptr;
    std::swap(m_pending, m_audio);
    return m_audio;
}

void CAudioParamChangeQueue::apply(CAudioParamChangeSet* set) noexcept {
    if (!set) return;
    for (uint32_t slot : set->m_list) {
        const CAudioParamChangeSet::Slot& s = set->m_layout[slot];
        s.param->storage().writeValue(s.g, s.e, s.c, set->m_values[slot]);
    }
    set->m_applied.store(true, std::memory_order_release);
}

void CAudioParamChangeQueue::takeAndApply() noexcept {
    if (!m_lock) return;
    CAudioParamChangeSet* set = nullptr;
    {
        plat::CLock lock(*m_lock);
        set = takePending();
    }
    apply(set);
}

// --- Main-thread access -------------------------------------------------------------------------

namespace {
CAudioParamChangeQueue* queueOf(const CAudioParam& p) {
    CAudioParamCollector* c = p.collector();
    CAudioParamChangeQueue* q = c ? c->changeQueue() : nullptr;
    return q && q->isPrepared() && q->isPrepared(p) ? q : nullptr;
}

bool sameBits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

bool sameContent(const CAudioParamStorage& a, const CAudioParamStorage& b) {
    CMemoryWriter wa, wb;
    (void)a.save(wa, CString());
    (void)b.save(wb, CString());
    return wa.size() == wb.size() && std::memcmp(wa.data(), wb.data(), wa.size()) == 0;
}
}  // namespace

double kelMainParamValue(const CAudioParam& p, uint32_t g, uint32_t e, uint32_t c) {
    CAudioParamChangeQueue* q = queueOf(p);
    return q ? q->value(p, g, e, c) : p.value(g, e, c);
}

CAudioParamStorage kelMainParamSnapshot(const CAudioParam& p) {
    CAudioParamStorage copy(p.storage());
    if (CAudioParamChangeQueue* q = queueOf(p)) q->overlay(p, &copy);
    return copy;
}

bool kelMainParamWrite(CAudioParam& p, uint32_t g, uint32_t e, uint32_t c, double v) {
    if (!p.info().isNumeric()) return false;
    if (CAudioParamChangeQueue* q = queueOf(p)) return q->set(p, g, e, c, v);
    p.storage().setValue(g, e, c, v);
    return true;
}

void CAudioParamWrites::assign(CAudioParam& p, const CAudioParamStorage& source) {
    if (!p.info().isNumeric()) {
        m_whole.push_back({&p, source});
        return;
    }
    const CAudioParamStorage now = kelMainParamSnapshot(p);
    for (uint32_t g = 0; g < now.groupCount(); ++g)
        for (uint32_t e = 0; e < now.elementCount(g); ++e)
            for (uint32_t c = 0; c < now.elementSize(); ++c) {
                const double v = source.value(g, e, c);
                if (!sameBits(v, now.value(g, e, c))) m_values.push_back({&p, g, e, c, v});
            }
}

void CAudioParamWrites::set(CAudioParam& p, uint32_t g, uint32_t e, uint32_t c, double v) {
    if (p.info().isNumeric()) m_values.push_back({&p, g, e, c, v});
}

std::vector<CAudioParam*> CAudioParamWrites::commit() {
    std::vector<CAudioParam*> changed;
    auto mark = [&changed](CAudioParam* p) {
        if (changed.empty() || changed.back() != p)
            if (std::find(changed.begin(), changed.end(), p) == changed.end()) changed.push_back(p);
    };
    // Numeric values: one batch for the queue of the first queued parameter,
    // so the audio thread takes them together.
    CAudioParamChangeQueue* main = nullptr;
    for (const Value& v : m_values)
        if ((main = queueOf(*v.param))) break;
    {
        std::unique_ptr<CAudioParamChangeQueue::CBatch> batch;
        if (main) batch = std::make_unique<CAudioParamChangeQueue::CBatch>(*main);
        for (const Value& v : m_values) {
            CAudioParamChangeQueue* q = queueOf(*v.param);
            bool ok = true;
            if (q == main && batch)
                ok = batch->set(*v.param, v.g, v.e, v.c, v.v);
            else if (q)
                ok = q->set(*v.param, v.g, v.e, v.c, v.v);
            else
                v.param->storage().setValue(v.g, v.e, v.c, v.v);
            if (ok) mark(v.param);
        }
    }
    for (Whole& w : m_whole) {
        if (sameContent(w.param->storage(), w.data)) continue;
        if (w.param->storage().assign(w.data)) mark(w.param);
    }
    m_values.clear();
    m_whole.clear();
    return changed;
}
