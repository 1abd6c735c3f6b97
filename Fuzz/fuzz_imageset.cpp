// Image sets over arbitrary bytes. Properties: a failed read leaves the set
// empty; a set that reads writes bytes that read again and write back the
// same; drawing any image that reads never faults.
#include "Core/MemoryReader.h"
#include "Core/MemoryWriter.h"
#include "Fuzz/FuzzSupport.h"
#include "Other/ImageDraw.h"

namespace {
std::vector<uint8_t> saved(const CImageSet& set) {
    CMemoryWriter w;
    FUZZ_CHECK(!set.save(w));
    return w.take();
}

void drawSome(const CImageSet& set) {
    static const CColor table = CColor::solid({90, 140, 200}, 0.8);
    CDrawColors colors;
    colors.slots[0] = colors.slots[1] = colors.slots[2] = &table;
    CBitmap32 target(24, 24, 0xFF101010u);
    size_t drawn = 0;
    for (size_t i = 0; i < set.imageTableSize() && drawn < 8; ++i) {
        const CImage* image = set.image(i);
        if (!image) continue;
        bool small = true;
        for (size_t l = 0; l < image->layerCount(); ++l) {
            const CImageLayerData& d = image->layer(l).data();
            small = small && int64_t(d.width) * d.height <= 4096 && d.scale >= 0.5 && d.scale <= 8.0;
        }
        if (!small) continue;
        for (double scale : {1.0, 2.0, 1.25}) kelDrawImage(target, 3, 5, *image, set.texture(), scale, colors);
        ++drawn;
    }
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    CImageSet set;
    CMemoryReader r(data, size);
    if (CError e = set.load(r, true)) {
        FUZZ_CHECK(set.empty());
        return 0;
    }
    // The same through a plain stream (copied inline pixels).
    {
        CMemoryReader again(data, size);
        CPlainReader plain(again);
        CImageSet copy;
        FUZZ_CHECK(!copy.load(plain, false));
    }
    const std::vector<uint8_t> first = saved(set);
    CImageSet back;
    CMemoryReader br(first.data(), first.size());
    FUZZ_CHECK(!back.load(br, true));
    FUZZ_CHECK(br.remaining() == 0);
    FUZZ_CHECK(saved(back) == first);
    drawSome(set);
    return 0;
}
