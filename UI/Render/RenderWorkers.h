#pragma once
// The render worker threads: a frame's sectors are handed out one at a time
// to the workers and to the calling thread, which waits until all are done.
// Workers only draw into disjoint sectors of the back buffer.

#include <atomic>
#include <functional>
#include <memory>
#include <vector>

#include "Core/Thread.h"

// The worker count for a "num-threads" fraction of the processors:
// ceil(fraction x processors) - 1, at most 7 and at most sectors - 1, never
// below 0.
int kelRenderWorkerCount(double fraction, unsigned processors, int sectors);

class CRenderWorkers {
public:
    static constexpr int kMaxWorkers = 7;

    explicit CRenderWorkers(int workers);
    ~CRenderWorkers();
    CRenderWorkers(const CRenderWorkers&) = delete;
    CRenderWorkers& operator=(const CRenderWorkers&) = delete;

    int count() const { return int(m_threads.size()); }
    // Runs task(i) for i in [0, n) spread over the workers and this thread;
    // returns when every task has finished.
    void run(size_t n, const std::function<void(size_t)>& task);

private:
    class CWorker;
    void work();

    std::vector<std::unique_ptr<CWorker>> m_threads;
    const std::function<void(size_t)>* m_task = nullptr;
    size_t m_count = 0;
    std::atomic<size_t> m_next{0};
};
