// Fonts over arbitrary bytes. Properties: a failed read leaves the font
// empty; a font that reads writes bytes that read again and write back the
// same; measuring and drawing text never faults.
#include <cmath>

#include "Core/MemoryReader.h"
#include "Core/MemoryWriter.h"
#include "Fuzz/FuzzSupport.h"
#include "Other/Font.h"

namespace {
std::vector<uint8_t> saved(const CFont& font) {
    CMemoryWriter w;
    FUZZ_CHECK(!font.save(w));
    return w.take();
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    CFont font;
    CMemoryReader r(data, size);
    if (CError e = font.load(r, true)) {
        FUZZ_CHECK(font.empty());
        return 0;
    }
    const std::vector<uint8_t> first = saved(font);
    CFont back;
    CMemoryReader br(first.data(), first.size());
    FUZZ_CHECK(!back.load(br, true));
    FUZZ_CHECK(br.remaining() == 0);
    FUZZ_CHECK(saved(back) == first);

    // Text of the first code points of the font and a few fixed ones.
    static const char kText[] = "In Gain +6.0 dB \xCE\x94 \xE2\x88\x86 \xC3\xA9";
    (void)font.textWidth(kText, 1.5);
    bool small = true;
    for (uint32_t cp : CFont::codePoints(kText)) {
        const CImage* g = font.glyph(cp);
        for (size_t l = 0; g && l < g->layerCount(); ++l) {
            const CImageLayerData& d = g->layer(l).data();
            small = small && int64_t(d.width) * d.height <= 4096 && d.scale >= 0.5 && d.scale <= 8.0 &&
                    std::isfinite(d.advance) && std::fabs(d.advance) < 1e6;
        }
    }
    if (small) {
        const CColor table = CColor::solid({220, 220, 220});
        CDrawColors colors;
        colors.slots[0] = &table;
        CBitmap32 target(64, 16, 0xFF000000u);
        font.drawText(target, 2, 12, kText, 1.0, colors);
        font.drawText(target, -10, 3, kText, 2.0, colors);
    }
    return 0;
}
