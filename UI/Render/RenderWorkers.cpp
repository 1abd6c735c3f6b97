// The render worker pool.
#include "UI/Render/RenderWorkers.h"

#include <algorithm>
#include <cmath>

int kelRenderWorkerCount(double fraction, unsigned processors, int sectors) {
    if (!(fraction > 0)) return 0;
    const double wanted = std::ceil(std::min(fraction, 1.0) * processors) - 1;
    return std::max(0, std::min({int(wanted), CRenderWorkers::kMaxWorkers, sectors - 1}));
}

class CRenderWorkers::CWorker : public CPersistentThread {
public:
    explicit CWorker(CRenderWorkers& pool) : m_pool(pool) {}
    ~CWorker() override { stopThread(); }

protected:
    void doWork() override { m_pool.work(); }

private:
    CRenderWorkers& m_pool;
};

CRenderWorkers::CRenderWorkers(int workers) {
    for (int i = 0; i < std::clamp(workers, 0, kMaxWorkers); ++i) {
        auto w = std::make_unique<CWorker>(*this);
        if (w->startThread()) break;  // fewer workers: the calling thread does the rest
        m_threads.push_back(std::move(w));
    }
}

CRenderWorkers::~CRenderWorkers() { m_threads.clear(); }

void CRenderWorkers::work() {
    for (;;) {
        const size_t i = m_next.fetch_add(1, std::memory_order_relaxed);
        if (i >= m_count) return;
        (*m_task)(i);
    }
}

void CRenderWorkers::run(size_t n, const std::function<void(size_t)>& task) {
    if (n == 0) return;
    m_task = &task;
    m_count = n;
    m_next.store(0, std::memory_order_relaxed);
    const size_t helpers = std::min(m_threads.size(), n - 1);
    for (size_t i = 0; i < helpers; ++i) m_threads[i]->signalWork();
    work();
    for (size_t i = 0; i < helpers; ++i) m_threads[i]->waitIdle();
    m_task = nullptr;
}
