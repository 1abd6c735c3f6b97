// tamblor-fontgen: rasterises the fonts of the asset source into ".fnt" files.
//
//     tamblor-fontgen ASSETS.xml FONTDIR OUTDIR
//
// Each <font> is rendered with FreeType from FONTDIR/<face> at twice its
// logical size (the authoring scale), one coverage-mask glyph per character
// of the source's character set; OUTDIR/<name>.fnt receives the glyphs packed
// into texture pages and the font's metrics in logical pixels. A character
// the face lacks fails the run.
#include <ft2build.h>
#include FT_FREETYPE_H

#include <cmath>
#include <cstdio>
#include <string>

#include "Core/MemoryWriter.h"
#include "Other/Font.h"
#include "Tools/ImageSetGen/AssetSource.h"
#include "Tools/ImageSetGen/Packer.h"
#include "Tools/ImageSetGen/WriteFile.h"

namespace {
constexpr double kScale = 2.0;

int fail(const std::string& msg) {
    std::fprintf(stderr, "tamblor-fontgen: error: %s\n", msg.c_str());
    return 1;
}
}  // namespace

// A build-time tool: FreeType, cairo and fontconfig keep their caches to the
// end of the process, and so does our block allocator; sanitized builds must
// not fail the build over them.
extern "C" const char* __lsan_default_options() { return "detect_leaks=0"; }

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: tamblor-fontgen ASSETS.xml FONTDIR OUTDIR\n");
        return 2;
    }
    AssetSource src;
    std::string error;
    if (!src.load(argv[1], &error)) return fail(error);
    FT_Library ft;
    if (FT_Init_FreeType(&ft)) return fail("FreeType does not start");
    for (const AssetFont& font : src.fonts) {
        const std::string facePath = std::string(argv[2]) + "/" + font.face;
        FT_Face face;
        if (FT_New_Face(ft, facePath.c_str(), 0, &face)) return fail("cannot open font " + facePath);
        const FT_F26Dot6 px = FT_F26Dot6(std::lround(font.size * kScale * 64));
        FT_Set_Char_Size(face, 0, px, 72, 72);
        std::vector<DrawnImage> glyphs;
        for (uint32_t cp : src.charset) {
            const FT_UInt index = FT_Get_Char_Index(face, cp);
            if (index == 0) return fail(font.name + ": " + font.face + " has no glyph for U+" + std::to_string(cp));
            if (FT_Load_Glyph(face, index, FT_LOAD_RENDER | FT_LOAD_TARGET_LIGHT))
                return fail(font.name + ": cannot render U+" + std::to_string(cp));
            const FT_GlyphSlot g = face->glyph;
            DrawnLayer l;
            l.bytesPerPixel = 1;
            l.width = int(g->bitmap.width);
            l.height = int(g->bitmap.rows);
            l.originX = g->bitmap_left;
            l.originY = -g->bitmap_top;
            // Advances on whole authoring pixels keep the pen on the pixel grid.
            l.advance = std::round(double(g->advance.x) / 64.0);
            l.pixels.resize(size_t(l.width) * size_t(l.height));
            for (int y = 0; y < l.height; ++y)
                for (int x = 0; x < l.width; ++x)
                    l.pixels[size_t(y) * size_t(l.width) + size_t(x)] = g->bitmap.buffer[y * g->bitmap.pitch + x];
            glyphs.push_back({cp, {std::move(l)}});
        }
        CFont out;
        out.imageSet() = packImageSet(std::move(glyphs), {}, 1024);
        const FT_Size_Metrics& m = face->size->metrics;
        out.ascent = double(m.ascender) / 64.0 / kScale;
        out.descent = -double(m.descender) / 64.0 / kScale;
        out.lineHeight = double(m.height) / 64.0 / kScale;
        out.lineGap = std::max(0.0, out.lineHeight - out.ascent - out.descent);
        FT_Done_Face(face);
        CMemoryWriter w;
        if (CError e = out.save(w)) return fail(e.text());
        if (!kelWriteGenerated(std::string(argv[3]) + "/" + font.name + ".fnt", w.bytes(), "tamblor-fontgen")) return 1;
    }
    FT_Done_FreeType(ft);
    return 0;
}
