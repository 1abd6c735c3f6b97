// The image-set and font formats: writing and reading back, and damaged data.
#include <gtest/gtest.h>
#include <zlib.h>

#include <cstring>
#include <functional>

#include "Core/MemoryReader.h"
#include "Core/MemoryWriter.h"
#include "Other/Font.h"
#include "Other/ImageSet.h"

namespace {

void setLayer(CImageLayer& l, int16_t mode, int w, int h, int page, int px, int py, int bpp = 2) {
    l.setMode(mode);
    CImageLayerData& d = l.data();
    d.width = int16_t(w), d.height = int16_t(h);
    d.originX = -1, d.originY = -2;
    d.bytesPerPixel = int16_t(bpp);
    d.page = int16_t(page), d.pageX = int16_t(px), d.pageY = int16_t(py);
}

// A set with two pages of different formats, sparse indices, an inline layer
// and an empty layer.
CImageSet sampleSet() {
    CImageSet set;
    set.addGroup("Pushed", 11, 12);
    set.addGroup("", 1, 2);
    set.addGroup("Arrow", 20, 20);
    set.setHasTexture(true);
    for (int bpp : {2, 1}) {
        CImageTexture::Page& p = set.texture().addPage();
        p.width = 8, p.height = 4, p.bytesPerPixel = int16_t(bpp);
        p.pixels.resize(size_t(8 * 4 * bpp));
        for (size_t i = 0; i < p.pixels.size(); ++i) p.pixels[i] = uint8_t(i * 7 + size_t(bpp));
    }
    setLayer(set.addImage(1).addLayer(), 0, 4, 4, 0, 0, 0);
    setLayer(set.addImage(2).addLayer(), 1, 4, 2, 0, 4, 2);
    CImage& two = set.addImage(11);
    setLayer(two.addLayer(), 3, 8, 4, 1, 0, 0, 1);
    setLayer(two.addLayer(), 2, 0, 0, -1, 0, 0);
    CImage& inl = set.addImage(12);
    CImageLayer& il = inl.addLayer();
    setLayer(il, 0, 2, 1, -1, 0, 0);
    il.data().inlineCopy = {1, 2, 3, 4};
    il.data().inlinePixels = il.data().inlineCopy;
    set.addImage(20);
    return set;
}

std::vector<uint8_t> bytesOf(const CImageSet& set) {
    CMemoryWriter w;
    EXPECT_FALSE(set.save(w));
    return w.take();
}

CError loadBytes(CImageSet& set, const std::vector<uint8_t>& b) {
    CMemoryReader r(b.data(), b.size());
    CError e = set.load(r, true);
    if (!e) {
        EXPECT_EQ(r.remaining(), 0u);
    }
    return e;
}

void putI16(std::vector<uint8_t>& b, size_t at, int16_t v) {
    b[at] = uint8_t(uint16_t(v));
    b[at + 1] = uint8_t(uint16_t(v) >> 8);
}
void putU32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + size_t(i)] = uint8_t(v >> (8 * i));
}

TEST(UIImageSet, WritesReadsAndWritesBackTheSameBytes) {
    const std::vector<uint8_t> first = bytesOf(sampleSet());
    CImageSet set;
    ASSERT_FALSE(loadBytes(set, first));
    EXPECT_EQ(bytesOf(set), first);

    // Groups are stored sorted; lookups by name.
    ASSERT_EQ(set.groups().size(), 3u);
    EXPECT_EQ(set.groups()[0].name, "");
    EXPECT_EQ(set.groups()[2].name, "Pushed");
    const CImageSet::Group* pushed = set.findGroup("Pushed");
    ASSERT_NE(pushed, nullptr);
    EXPECT_EQ(pushed->first, 11);
    EXPECT_EQ(pushed->last, 12);
    EXPECT_EQ(set.findGroup("Nope"), nullptr);

    // The image table grows to the highest index; holes are empty.
    EXPECT_EQ(set.imageTableSize(), 21u);
    EXPECT_EQ(set.imageCount(), 5u);
    EXPECT_EQ(set.image(5), nullptr);
    EXPECT_EQ(set.image(1000), nullptr);
    ASSERT_NE(set.image(11), nullptr);
    EXPECT_EQ(set.image(11)->layerCount(), 2u);
    EXPECT_EQ(set.image(11)->layer(0).mode(), 3);

    // Pixels: page pixels at the layer's corner, inline pixels in place.
    const CImageLayer& l2 = set.image(2)->layer(0);
    const auto px = l2.pixels(set.texture());
    EXPECT_EQ(px.first, set.texture().page(0).pixels.data() + (2 * 8 + 4) * 2);
    EXPECT_EQ(px.stride, 16u);
    const CImageLayerData& inl = set.image(12)->layer(0).data();
    EXPECT_GE(inl.inlinePixels.data(), first.data());
    EXPECT_LT(inl.inlinePixels.data(), first.data() + first.size());
}

TEST(UIImageSet, AnotherVersionIsAnEmptySet) {
    std::vector<uint8_t> b = bytesOf(sampleSet());
    putU32(b, 0, 2);
    CImageSet set;
    CMemoryReader r(b.data(), b.size());
    EXPECT_FALSE(set.load(r));
    EXPECT_TRUE(set.empty());
    EXPECT_EQ(set.version(), 2u);

    CFont font;
    const uint8_t version3[] = {3, 0, 0, 0};
    CMemoryReader fr(version3, 4);
    EXPECT_FALSE(font.load(fr));
    EXPECT_TRUE(font.empty());
}

TEST(UIImageSet, FurtherVariantsAreReadAndSkipped) {
    // One image with a K = 2 layer followed by a second image: the second
    // variant (inline, 3 bytes) is consumed and the next image still reads.
    CMemoryWriter w;
    ASSERT_FALSE(w.writeU32(1));
    ASSERT_FALSE(w.writeU32(0));  // no groups
    ASSERT_FALSE(w.writeU16(0));  // no texture
    ASSERT_FALSE(w.writeU32(2));
    ASSERT_FALSE(w.writeU32(5));
    ASSERT_FALSE(w.writeU16(1));                       // one layer
    ASSERT_FALSE(w.writeU16(3));                       // mode
    ASSERT_FALSE(w.writeU16(2));                       // K = 2
    ASSERT_FALSE(w.writeF64(2.0));
    ASSERT_FALSE(w.writeF64(1.0));
    auto variant = [&](int16_t width, uint8_t fill) {  // inline, 1 x width x 1 byte
        ASSERT_FALSE(w.writeF64(2.0));
        for (int16_t v : {width, int16_t(1), int16_t(0), int16_t(0), int16_t(0), int16_t(0), int16_t(0)})
            ASSERT_FALSE(w.writeU16(uint16_t(v)));
        ASSERT_FALSE(w.writeF64(7.0));
        ASSERT_FALSE(w.writeU16(1));
        ASSERT_FALSE(w.writeU16(uint16_t(-1)));
        ASSERT_FALSE(w.writeU32(uint32_t(width)));
        for (int16_t i = 0; i < width; ++i) ASSERT_FALSE(w.writeU8(fill));
    };
    variant(2, 0xAA);
    variant(3, 0xBB);
    ASSERT_FALSE(w.writeU32(6));
    ASSERT_FALSE(w.writeU16(0));
    const std::vector<uint8_t> b = w.take();
    CImageSet set;
    ASSERT_FALSE(loadBytes(set, b));
    ASSERT_NE(set.image(5), nullptr);
    ASSERT_NE(set.image(6), nullptr);
    const CImageLayerData& d = set.image(5)->layer(0).data();
    EXPECT_EQ(d.width, 2);
    EXPECT_EQ(d.inlinePixels[0], 0xAA);
    EXPECT_EQ(d.advance, 7.0);
    EXPECT_EQ(bytesOf(set), b);
}

TEST(UIImageSet, TruncatedDataFailsAtEveryLengthAndLeavesNothing) {
    const std::vector<uint8_t> full = bytesOf(sampleSet());
    for (size_t len = 0; len < full.size(); ++len) {
        std::vector<uint8_t> cut(full.begin(), full.begin() + std::ptrdiff_t(len));
        CImageSet set = sampleSet();
        CMemoryReader r(cut.data(), cut.size());
        CError e = set.load(r);
        ASSERT_TRUE(e) << len;
        EXPECT_TRUE(set.empty()) << len;
        // The premature end (or, inside a page, the block's own message),
        // with the reader's location lines.
        const std::string m = e.message().utf8();
        EXPECT_TRUE(m.rfind("Premature end of memory resource", 0) == 0 ||
                    m.rfind("Invalid uncompressed data", 0) == 0)
            << len << ": " << m;
        EXPECT_GE(e.lines().size(), 3u) << len;
    }
}

// Offsets into the sample set's bytes (groups: "" / "Arrow" / "Pushed").
struct Layout {
    size_t texture;  // the texture flag
    size_t page0;    // first page's scale
};
Layout layoutOf(const std::vector<uint8_t>& b) {
    size_t at = 8;
    for (int g = 0; g < 3; ++g) {
        uint32_t n;
        std::memcpy(&n, &b[at], 4);
        at += 4 + n + 8;
    }
    return {at, at + 2 + 2};
}

TEST(UIImageSet, DamagedFieldsGiveTheirMessages) {
    const std::vector<uint8_t> good = bytesOf(sampleSet());
    const Layout l = layoutOf(good);
    const size_t page0Format = l.page0 + 8 + 4;
    const size_t page0Block = page0Format + 2;
    // The first image's layer data: after both pages (16-byte headers).
    uint32_t c0, c1;
    std::memcpy(&c0, &good[page0Block + 8], 4);
    const size_t page1 = page0Block + 16 + c0;
    std::memcpy(&c1, &good[page1 + 14 + 8], 4);
    const size_t images = page1 + 14 + 16 + c1;
    const size_t layer1 = images + 4 + 4 + 2;           // count, index, layer count
    const size_t data1 = layer1 + 2 + 2 + 8;            // mode, K, key
    const size_t page1X = data1 + 32 + 2;               // after the page field

    struct Case {
        const char* what;
        std::function<void(std::vector<uint8_t>&)> damage;
        const char* message;
    };
    const Case cases[] = {
        {"page of 3 bytes per pixel", [&](auto& b) { putI16(b, page0Format, 3); },
         "Unknown pixel format (3 bytes per pixel) of texture page 0."},
        {"negative page size", [&](auto& b) { putI16(b, l.page0 + 8, -8); }, "Invalid size -8 x 4 of texture page 0."},
        {"page larger than its pixels", [&](auto& b) { putI16(b, l.page0 + 8, 9); },
         "Invalid uncompressed data (expected 72 bytes, read 64)."},
        {"layer beyond its page", [&](auto& b) { putI16(b, page1X, 6); },
         "Layer rectangle 6,0 4 x 4 lies outside texture page 0 (8 x 4)."},
        {"layer on a page that is not there", [&](auto& b) { putI16(b, data1 + 32 + 0, 7); },
         "Layer refers to texture page 7 of 2."},
        {"layer of an unknown format", [&](auto& b) { putI16(b, data1 + 30, 5); },
         "Unknown pixel format (5 bytes per pixel) of a layer."},
        {"layer in another format than its page", [&](auto& b) { putI16(b, data1 + 30, 4); },
         "Layer of 4 bytes per pixel on texture page 0 of 2 bytes per pixel."},
        {"no variants", [&](auto& b) { putI16(b, layer1 + 2, 0); }, "Invalid layer variant count 0."},
        {"image index past the code points", [&](auto& b) { putU32(b, images + 4, 0x110000); },
         "Image index 1114112 out of range."},
        {"a group count that lies", [&](auto& b) { putU32(b, 4, 0x7FFFFFFF); }, "Group name length 131073 too long."},
        {"a name length that lies", [&](auto& b) { putU32(b, 8, 61441); }, "Group name length 61441 too long."},
        {"an image count that lies", [&](auto& b) { putU32(b, images, 1000000); }, "Premature end of memory resource"},
        {"a page block of the wrong id", [&](auto& b) { putU32(b, page0Block, 1); },
         "Invalid ID encountered when reading compressed data (expected 0, read 1)."},
        {"a page block whose header check fails", [&](auto& b) { putU32(b, page0Block + 4, 65); },
         "Invalid CRC encountered when reading compressed data"},
        {"a page block that claims 1 GB (a bomb)",
         [&](auto& b) {
             putU32(b, page0Block + 4, 0x40000000);
             putU32(b, page0Block + 12, uint32_t(adler32(1, &b[page0Block + 4], 8)));
         },
         "Invalid uncompressed data (expected 1073741824 bytes, read 64)."},
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> b = good;
        c.damage(b);
        CImageSet set = sampleSet();
        CMemoryReader r(b.data(), b.size());
        CError e = set.load(r);
        ASSERT_TRUE(e) << c.what;
        EXPECT_EQ(e.message().utf8().rfind(c.message, 0), 0u) << c.what << ": " << e.message().utf8();
        EXPECT_TRUE(set.empty()) << c.what;
    }
}

TEST(UIImageSet, AHugePageThatDecodesIsRefused) {
    // A page header claiming 4096 x 4097 full-colour pixels: refused before
    // anything is decompressed.
    CImageSet set;
    set.setHasTexture(true);
    CImageTexture::Page& p = set.texture().addPage();
    p.width = 4, p.height = 4, p.bytesPerPixel = 4;
    p.pixels.assign(64, 0);
    std::vector<uint8_t> b = bytesOf(set);
    const size_t page = 4 + 4 + 2 + 2;
    putI16(b, page + 8, 4096);
    putI16(b, page + 10, 4097);
    CMemoryReader r(b.data(), b.size());
    CError e = set.load(r);
    ASSERT_TRUE(e);
    EXPECT_EQ(e.message().utf8(), "Invalid size 4096 x 4097 of texture page 0.");
}

TEST(UIFont, WritesReadsAndMeasures) {
    CFont font;
    font.lineHeight = 14.5, font.descent = 3.25, font.lineGap = 0.75, font.ascent = 10.5;
    CImageSet& set = font.imageSet();
    set.setHasTexture(true);
    CImageTexture::Page& p = set.texture().addPage();
    p.width = 4, p.height = 4, p.bytesPerPixel = 1;
    p.pixels.assign(16, 200);
    for (uint32_t cp : {uint32_t('A'), uint32_t(0x394), uint32_t(0x2206)}) {
        CImageLayer& l = set.addImage(cp).addLayer();
        setLayer(l, 0, 2, 2, 0, 0, 0, 1);
        l.data().advance = cp == 'A' ? 14.0 : 18.0;
    }
    CMemoryWriter w;
    ASSERT_FALSE(font.save(w));
    const std::vector<uint8_t> b = w.take();
    CFont back;
    CMemoryReader r(b.data(), b.size());
    ASSERT_FALSE(back.load(r, true));
    EXPECT_EQ(r.remaining(), 0u);
    CMemoryWriter again;
    ASSERT_FALSE(back.save(again));
    EXPECT_EQ(again.take(), b);
    EXPECT_EQ(back.ascent, 10.5);
    EXPECT_EQ(back.lineHeight, 14.5);
    EXPECT_EQ(back.advance('A'), 7.0);
    EXPECT_EQ(back.advance('B'), 0.0);
    // "AΔ∆A" at scale 2: (7 + 9 + 9 + 7) * 2; bytes that are not UTF-8 count as Latin-1.
    EXPECT_EQ(back.textWidth("A\xCE\x94\xE2\x88\x86" "A", 2.0), 64.0);
    EXPECT_EQ(CFont::codePoints("\xE2\x88"), (std::vector<uint32_t>{0xE2, 0x88}));
    EXPECT_EQ(CFont::codePoints("a\xC3\xA9"), (std::vector<uint32_t>{'a', 0xE9}));

    for (size_t len = 0; len < b.size(); ++len) {
        CFont cut;
        CMemoryReader cr(b.data(), len);
        EXPECT_TRUE(cut.load(cr)) << len;
        EXPECT_TRUE(cut.empty()) << len;
    }
}

}  // namespace
