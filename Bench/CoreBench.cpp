// Start-up path and the block allocator against malloc on an object-tree
// shaped workload.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <vector>

#include "Product/ProductCreators.h"
#include "Core/Application.h"
#include "Core/Log.h"
#include "Core/MemAllocator.h"
#include "Core/Object.h"

namespace {

// Module load to a ready shared object, then unload.
void BM_ApplicationStart(benchmark::State& state) {
    kelSetLogSink({});
    for (auto _ : state) {
        CError e = CApplication::start(kelProductStartOptions());
        if (e) state.SkipWithError(e.text().c_str());
        CApplication::finish();
    }
}
BENCHMARK(BM_ApplicationStart)->Unit(benchmark::kMicrosecond);

// The allocation pattern of building and destroying an object tree: per node
// one object block and a few short strings and vectors, released in reverse.
struct MallocAlloc {
    static void* alloc(size_t n) { return std::malloc(n); }
    static void free(void* p) { std::free(p); }
};
struct KelAlloc {
    static void* alloc(size_t n) { return CKelMemAllocator::alloc(n); }
    static void free(void* p) { CKelMemAllocator::free(p); }
};

template <class A>
void treeWorkload(benchmark::State& state) {
    const int nodes = int(state.range(0));
    static const size_t sizes[] = {176, 24, 40, 16, 64, 32, 96, 24, 48};
    std::vector<void*> blocks;
    blocks.reserve(size_t(nodes) * std::size(sizes));
    for (auto _ : state) {
        for (int i = 0; i < nodes; ++i)
            for (size_t s : sizes) blocks.push_back(A::alloc(s + size_t(i % 3) * 8));
        for (auto it = blocks.rbegin(); it != blocks.rend(); ++it) A::free(*it);
        blocks.clear();
    }
    state.SetItemsProcessed(state.iterations() * nodes * int64_t(std::size(sizes)));
}
BENCHMARK_TEMPLATE(treeWorkload, MallocAlloc)->Arg(5000);
BENCHMARK_TEMPLATE(treeWorkload, KelAlloc)->Arg(5000);

// Real objects: create a tree of plain objects with attributes and destroy it.
void BM_ObjectTree(benchmark::State& state) {
    const int nodes = int(state.range(0));
    for (auto _ : state) {
        auto root = std::make_unique<CObject>();
        CObject* parent = root.get();
        for (int i = 0; i < nodes; ++i) {
            auto o = std::make_unique<CObject>();
            o->setName("node");
            (void)o->setAttr("value", "0.015");
            (void)o->setAttr("is-smooth-update", "true");
            (void)o->setAttr("bypass-state-id", "12");
            CObject* raw = o.get();
            parent->attachChild(std::move(o));
            if (i % 8 == 7) parent = raw;
        }
        root.reset();
    }
    state.SetItemsProcessed(state.iterations() * nodes);
}
BENCHMARK(BM_ObjectTree)->Arg(5000);

}  // namespace
