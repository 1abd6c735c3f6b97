// Scaled layers, their cache, drawing, colours and styles.
#include <gtest/gtest.h>

#include <thread>

#include "Core/MemoryReader.h"
#include "Core/MemoryWriter.h"
#include "Other/ImageDraw.h"
#include "Other/Palette.h"

namespace {

// A set with one 8 x 4 grey + alpha page: left half grey 128 opaque, right
// half transparent; one image whose layer covers the page at origin (2, -4).
CImageSet halfSet(int16_t mode = 0) {
    CImageSet set;
    set.setHasTexture(true);
    CImageTexture::Page& p = set.texture().addPage();
    p.width = 8, p.height = 4, p.bytesPerPixel = 2;
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 8; ++x) {
            p.pixels.push_back(128);
            p.pixels.push_back(x < 4 ? 255 : 0);
        }
    CImageLayer& l = set.addImage(0).addLayer();
    l.setMode(mode);
    CImageLayerData& d = l.data();
    d.width = 8, d.height = 4, d.originX = 2, d.originY = -4, d.bytesPerPixel = 2, d.page = 0;
    return set;
}

uint32_t argb(CRgb c, int a = 255) { return uint32_t(a) << 24 | uint32_t(c.r) << 16 | uint32_t(c.g) << 8 | c.b; }

TEST(UIImageDraw, LayersScaleFromTheAuthoringScale) {
    CImageSet set = halfSet();
    const CImageLayer& layer = set.image(0)->layer(0);
    struct Case {
        double scale;
        int w, h, ox, oy;
    };
    for (const Case& c : {Case{2.0, 8, 4, 2, -4}, Case{1.0, 4, 2, 1, -2}, Case{4.0, 16, 8, 4, -8},
                          Case{1.5, 7, 3, 1, -3}}) {
        const CScaledLayer s = kelScaleLayer(layer, set.texture(), c.scale);
        EXPECT_EQ(s.width, c.w) << c.scale;
        EXPECT_EQ(s.height, c.h) << c.scale;
        EXPECT_EQ(s.originX, c.ox) << c.scale;
        EXPECT_EQ(s.originY, c.oy) << c.scale;
    }
    // At scale 1 each pixel averages 2 x 2: the opaque half stays opaque
    // grey 128, the edge between the halves stays sharp (it lies on an even
    // column), the rest is transparent.
    const CScaledLayer one = kelScaleLayer(layer, set.texture(), 1.0);
    EXPECT_EQ(one.pixels[0], 128);
    EXPECT_EQ(one.pixels[1], 255);
    EXPECT_EQ(one.pixels[3], 255);
    EXPECT_EQ(one.pixels[5], 0);
}

TEST(UIImageDraw, TheCacheComputesOncePerScaleAndGivesItsRecordsBack) {
    const CScaledCacheStats before = kelScaledCacheStats();
    {
        CImageSet set = halfSet();
        const CImageLayer& layer = set.image(0)->layer(0);
        const CScaledLayer* a = layer.scaled(set.texture(), 1.0);
        EXPECT_EQ(layer.scaled(set.texture(), 1.0), a);
        const CScaledLayer* b = layer.scaled(set.texture(), 1.25);
        EXPECT_NE(a, b);
        EXPECT_EQ(kelScaledCacheStats().inUse, before.inUse + 2);

        // Render workers fill the cache side by side: one record per scale.
        std::vector<std::thread> workers;
        std::vector<const CScaledLayer*> got(8);
        for (int i = 0; i < 8; ++i)
            workers.emplace_back([&, i] { got[size_t(i)] = layer.scaled(set.texture(), 3.0); });
        for (auto& t : workers) t.join();
        for (const CScaledLayer* g : got) EXPECT_EQ(g, got[0]);
        EXPECT_EQ(kelScaledCacheStats().inUse, before.inUse + 3);
    }
    const CScaledCacheStats after = kelScaledCacheStats();
    EXPECT_EQ(after.inUse, before.inUse);
    EXPECT_GE(after.free, 3u);
}

TEST(UIImageDraw, ModesTintWithTheirSlotAndOpacityScales) {
    const CColor red = CColor::solid({200, 10, 10});
    const CColor blue = CColor::solid({10, 10, 200});
    struct Case {
        int16_t mode;
        double opacity;
        uint32_t expected;  // the pixel at (3, 0) over opaque black
    };
    const Case cases[] = {
        {0, 1.0, argb({200, 10, 10})},
        {1, 1.0, argb({10, 10, 200})},
        {2, 1.0, 0xFF000000u},                // slot 2 has no colour: nothing drawn
        {3, 1.0, argb({128, 128, 128})},      // as stored
        {0, 0.5, argb({100, 5, 5})},
        {7, 1.0, argb({200, 10, 10})},        // unknown modes draw as the main colour
    };
    for (const Case& c : cases) {
        CImageSet set = halfSet(c.mode);
        CBitmap32 target(8, 4, 0xFF000000u);
        CDrawColors colors;
        colors.slots[0] = &red;
        colors.slots[1] = &blue;
        colors.opacity = c.opacity;
        kelDrawImage(target, 1, 4, *set.image(0), set.texture(), 2.0, colors);
        EXPECT_EQ(target.at(3, 0), c.expected) << c.mode << " " << c.opacity;
        EXPECT_EQ(target.at(2, 0), 0xFF000000u) << c.mode;  // left of the layer
        EXPECT_EQ(target.at(7, 0), 0xFF000000u) << c.mode;  // the transparent half
    }
    // Partly or wholly outside the target: clipped.
    CImageSet set = halfSet();
    CBitmap32 small(3, 3, 0);
    CDrawColors colors;
    colors.slots[0] = &red;
    for (double x : {-20.0, -5.0, 1.0, 2.0, 50.0})
        for (double y : {-20.0, 2.0, 6.0, 50.0}) kelDrawImage(small, x, y, *set.image(0), set.texture(), 3.0, colors);
    SUCCEED();
}

TEST(UIColor, TablesShowTheBaseColourAtMidGreyAndFollowTheSettings) {
    const CRgb base{60, 120, 180};
    const CColor neutral = kelComputeColor(base, {});
    EXPECT_EQ(neutral[128], base);
    EXPECT_EQ(neutral[0], (CRgb{0, 0, 0}));
    EXPECT_EQ(neutral[255], (CRgb{255, 255, 255}));
    // Monotone levels for any brightness and contrast.
    for (double b : {-0.5, 0.0, 0.5})
        for (double c : {-0.9, 0.0, 1.0}) {
            CColorSettings s;
            s.brightness = b, s.contrast = c;
            const CColor t = kelComputeColor(base, s);
            for (int i = 1; i < 256; ++i) ASSERT_GE(t[uint8_t(i)].b, t[uint8_t(i - 1)].b) << b << " " << c << " " << i;
        }
    CColorSettings brighter;
    brighter.brightness = 0.2;
    EXPECT_GT(kelComputeColor(base, brighter)[128].g, base.g);
    // A tone of 120 degrees turns the blue-ish base towards red.
    CColorSettings toned;
    toned.tone = 120;
    const CRgb t = kelComputeColor(base, toned)[128];
    EXPECT_GT(t.r, t.b);
}

TEST(UIColor, StreamFormsReadBack) {
    CPalette palette;
    palette.global.tone = 30;
    palette.colors = {{"Panel", {45, 51, 59}, {}}, {"Text", {201, 209, 217}, {}}};
    palette.colors[1].settings.contrast = 0.25;
    const CPaletteCache cache = CPaletteCache::build(palette);
    CMemoryWriter w;
    ASSERT_FALSE(cache.entries[0].second.tables[0].save(w));
    EXPECT_EQ(w.size(), CColor::kStreamSize);
    for (auto save : {+[](const CPalette& p, CMemoryWriter& o) { return p.save(o); }}) {
        CMemoryWriter pw;
        ASSERT_FALSE(save(palette, pw));
        CPalette back;
        CMemoryReader r(pw.data(), pw.size());
        ASSERT_FALSE(back.load(r));
        EXPECT_EQ(back, palette);
    }
    CMemoryWriter cw;
    ASSERT_FALSE(cache.save(cw));
    CPaletteCache back;
    CMemoryReader r(cw.data(), cw.size());
    ASSERT_FALSE(back.load(r));
    ASSERT_EQ(back.entries.size(), 2u);
    EXPECT_EQ(back.entries[1], cache.entries[1]);
    ASSERT_NE(back.find("Text"), nullptr);
    EXPECT_TRUE(back.find("Text")->hover.has_value());
    // Truncations fail and leave the target as it was.
    for (size_t len = 0; len < cw.size(); len += 97) {
        CPaletteCache cut = cache;
        CMemoryReader cr(cw.data(), len);
        EXPECT_TRUE(cut.load(cr)) << len;
        EXPECT_EQ(cut.entries.size(), 2u);
    }
}

TEST(UIStyle, SwitchesSetTheWindowAttributesInOrder) {
    using Attrs = std::vector<std::pair<std::string, std::string>>;
    const Attrs flatShadows = {{"is-global-light-hidden", "true"},   {"is-shadow-hidden", "false"},
                               {"title-frame-spread", "1"},          {"title-frame-caption-border", "B6"},
                               {"title-frame-spread-overlays", "-1"}, {"overlay-gradient-opacity", "0"},
                               {"scroller-shadow-opacity", "0.33"},  {"overlay-texture-opacity", "0"},
                               {"panel-color", "Panel"},             {"panel-gradient-color", "RealisticPanelGradient"}};
    EXPECT_EQ(kelStyleAttributes({true, true, false, false}), flatShadows);
    struct Case {
        CStyleSwitches s;
        const char *gradient, *texture, *panel, *panelGradient;
    };
    for (const Case& c : {Case{{false, false, true, false}, "0.66", "0.33", "RealisticPanel", "RealisticPanelGradient"},
                          Case{{false, false, false, true}, "1", "1", "Panel", "PanelGradient"},
                          Case{{true, false, false, true}, "0", "0.75", "Panel", "PanelGradient"}}) {
        const Attrs a = kelStyleAttributes(c.s);
        EXPECT_EQ(a[5].second, c.gradient);
        EXPECT_EQ(a[7].second, c.texture);
        EXPECT_EQ(a[8].second, c.panel);
        EXPECT_EQ(a[9].second, c.panelGradient);
    }
}

}  // namespace
