// The editor's graphics resources: decoding every font and image set at
// start-up, and drawing a knob frame and a line of text at scales 1 and 2.
#include <benchmark/benchmark.h>

#include <cstring>

#include "Core/Resources.h"
#include "Other/Font.h"
#include "UI/Resources/ResourceStore.h"

namespace {

struct Resources {
    Resources() { ResourceMap::fill(g_kelResourceTable); }
};
void ensureResources() { static Resources r; }

// Every font and image set decoded from the embedded resources (pages
// decompressed), as the first editor of a process does.
void BM_LoadAllResources(benchmark::State& state) {
    ensureResources();
    size_t count = 0;
    for (auto _ : state) {
        UIResources::clear();
        if (CError e = UIResources::loadAll(&count)) state.SkipWithError(e.text().c_str());
    }
    state.counters["resources"] = double(count);
    UIResources::clear();
}
BENCHMARK(BM_LoadAllResources)->Unit(benchmark::kMillisecond);

std::shared_ptr<const CImageSet> knobSet() {
    ensureResources();
    std::shared_ptr<const CImageSet> set;
    if (CError e = UIResources::imageSet("../../../Gfx/Imagesets/knob3.is", &set)) return nullptr;
    return set;
}

// One frame of the layered knob: background track, base, cap, hairlines,
// value arc and pointer (scaled layers cached, as while the editor runs).
void BM_DrawKnobFrame(benchmark::State& state) {
    const double scale = double(state.range(0));
    const auto set = knobSet();
    if (!set) return state.SkipWithError("knob3 not embedded");
    const CColor main = CColor::solid({90, 101, 112}), knob = CColor::solid({90, 101, 112}),
                 led = CColor::solid({95, 179, 179});
    CDrawColors colors;
    colors.slots[0] = &main, colors.slots[1] = &knob, colors.slots[2] = &led;
    const int size = int(60 * scale);
    CBitmap32 target(size, size, 0xFF2D333Bu);
    std::vector<const CImage*> layers;
    for (const char* g : {"BG", "Base", "Color", "Hairlines", "LED", "Indicator"}) {
        const CImageSet::Group* grp = set->findGroup(g);
        if (!grp) return state.SkipWithError("knob3 group missing");
        layers.push_back(set->image(size_t(grp->first + (grp->last - grp->first) * 2 / 3)));
    }
    for (auto _ : state) {
        for (const CImage* image : layers) kelDrawImage(target, 0, 0, *image, set->texture(), scale, colors);
        benchmark::DoNotOptimize(target.pixels.data());
    }
}
BENCHMARK(BM_DrawKnobFrame)->Arg(1)->Arg(2)->Unit(benchmark::kMicrosecond);

// A hint line in the base font.
void BM_DrawTextLine(benchmark::State& state) {
    ensureResources();
    const double scale = double(state.range(0));
    std::shared_ptr<const CFont> font;
    if (UIResources::font("../../../Gfx/Fonts/base.fnt", &font)) return state.SkipWithError("base font not embedded");
    const CColor text = CColor::solid({201, 209, 217});
    CDrawColors colors;
    colors.slots[0] = &text;
    CBitmap32 target(int(320 * scale), int(20 * scale), 0xFF2D333Bu);
    const char* line = "Output gain/ceiling parameter (dBFS).";
    for (auto _ : state) {
        font->drawText(target, 2, font->ascent * scale + 2, line, scale, colors);
        benchmark::DoNotOptimize(target.pixels.data());
    }
    state.counters["chars"] = double(std::strlen(line));
}
BENCHMARK(BM_DrawTextLine)->Arg(1)->Arg(2)->Unit(benchmark::kMicrosecond);

}  // namespace
