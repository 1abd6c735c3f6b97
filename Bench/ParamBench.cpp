// Cost of the audio thread's parameter accesses: reading values by the
// lookup rule, polling the change counter and copying a whole matrix in.

#include <benchmark/benchmark.h>

#include "Audio/Params/AudioParam.h"
#include "Audio/Converters/AudioParamConverterLinear.h"

namespace {
struct Fixture {
    std::unique_ptr<CObject> root = std::make_unique<CObject>();
    CAudioParamDef* def = nullptr;
    Fixture() {
        auto cvt = std::make_unique<CAudioParamConverterReal>();
        cvt->setName("real");
        root->attachChild(std::move(cvt));
        auto d = std::make_unique<CAudioParamDef>();
        d->setName("p");
        (void)d->setAttr("converter", "/real");
        (void)d->setAttr("min-values", "0");
        (void)d->setAttr("max-values", "16");
        (void)d->setAttr("def-values", "1,2,0,0,0,0,0,0");
        def = d.get();
        root->attachChild(std::move(d));
        if (root->initTree()) std::abort();
    }
};

void BM_ParamValueRead(benchmark::State& state) {
    Fixture f;
    auto p = CAudioParam::create(*f.def, "p", 8);
    for (auto _ : state) {
        double sum = 0;
        // 8 groups x 8 elements, half of them beyond the stored elements.
        for (uint32_t g = 0; g < 8; ++g)
            for (uint32_t e = 0; e < 16; e += 2) sum += p->value(g, e);
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(state.iterations() * 64);
}
BENCHMARK(BM_ParamValueRead);

void BM_ParamCopyValuesFrom(benchmark::State& state) {
    Fixture f;
    auto dst = CAudioParam::create(*f.def, "p", 8);
    auto src = CAudioParam::create(*f.def, "p", 8);
    double v = 0;
    for (auto _ : state) {
        src->storage().writeValue(3, 2, 0, v += 1.0);
        benchmark::DoNotOptimize(dst->storage().copyValuesFrom(src->storage()));
        benchmark::DoNotOptimize(dst->changeCount());
    }
}
BENCHMARK(BM_ParamCopyValuesFrom);
}  // namespace
