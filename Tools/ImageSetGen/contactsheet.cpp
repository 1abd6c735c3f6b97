// tamblor-contactsheet: the review picture of the editor's assets.
//
//     tamblor-contactsheet ASSETS.xml RESDIR OUT.png
//
// RESDIR holds the generated files in Imagesets/ and Fonts/.
//
// Reads every image set and font of the asset source back from RESDIR (the
// generated ".is" and ".fnt" files) with the program's own reader and draws
// them with its own drawing code in the default palette: each image set with
// every group (boxes assembled from their eight pieces, a few frames of
// frame strips) and each font with a line of sample text, all at scale 1.0
// and again at 2.0.
#include <png.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <map>
#include <string>

#include "Core/MemoryReader.h"
#include "Other/Font.h"
#include "Other/Palette.h"
#include "Tools/ImageSetGen/AssetSource.h"
#include "Tools/ImageSetGen/PaletteSource.h"

namespace {
int fail(const std::string& msg) {
    std::fprintf(stderr, "tamblor-contactsheet: error: %s\n", msg.c_str());
    return 1;
}

bool readFile(const std::string& path, std::vector<uint8_t>* out) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    out->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return true;
}

bool writePng(const std::string& path, const CBitmap32& bmp) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        std::fclose(f);
        return false;
    }
    png_init_io(png, f);
    png_set_IHDR(png, info, png_uint_32(bmp.width), png_uint_32(bmp.height), 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    std::vector<uint8_t> row(size_t(bmp.width) * 3);
    for (int y = 0; y < bmp.height; ++y) {
        for (int x = 0; x < bmp.width; ++x) {
            const uint32_t v = bmp.at(x, y);
            row[size_t(x) * 3] = uint8_t(v >> 16), row[size_t(x) * 3 + 1] = uint8_t(v >> 8), row[size_t(x) * 3 + 2] = uint8_t(v);
        }
        png_write_row(png, row.data());
    }
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return std::fclose(f) == 0;
}

void fillRect(CBitmap32& b, int x, int y, int w, int h, CRgb c) {
    for (int j = std::max(0, y); j < std::min(b.height, y + h); ++j)
        for (int i = std::max(0, x); i < std::min(b.width, x + w); ++i)
            b.pixels[size_t(j) * size_t(b.width) + size_t(i)] = 0xFF000000u | uint32_t(c.r) << 16 | uint32_t(c.g) << 8 | c.b;
}

// The width of an image's first layer at a scale (for laying out the sheet).
int imageWidth(const CImage& image, double scale) {
    int w = 0;
    for (size_t l = 0; l < image.layerCount(); ++l) {
        const CImageLayerData& d = image.layer(l).data();
        w = std::max(w, int(std::ceil((d.originX + d.width) * d.invScale * scale)));
    }
    return w;
}
}  // namespace

// A build-time tool: FreeType, cairo and fontconfig keep their caches to the
// end of the process, and so does our block allocator; sanitized builds must
// not fail the build over them.
extern "C" const char* __lsan_default_options() { return "detect_leaks=0"; }

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: tamblor-contactsheet ASSETS.xml RESDIR OUT.png\n");
        return 2;
    }
    AssetSource src;
    std::string error;
    if (!src.load(argv[1], &error)) return fail(error);
    CPalette palette;
    if (!kelPaletteFromSource(src, &palette, &error)) return fail(error);
    const CPaletteCache cache = CPaletteCache::build(palette);
    auto table = [&](const char* name) -> const CColor* {
        const CDynamicColorData* d = cache.find(name);
        return d ? &d->tables[0] : nullptr;
    };
    const std::string dir = argv[2];

    // Everything is read back first: the data must outlive the sets.
    std::map<std::string, std::vector<uint8_t>> files;
    std::map<std::string, CImageSet> sets;
    std::map<std::string, CFont> fonts;
    for (const AssetImageSet& s : src.imageSets) {
        auto& bytes = files[s.file + ".is"];
        if (!readFile(dir + "/Imagesets/" + s.file + ".is", &bytes)) return fail("cannot read " + s.file + ".is");
        CMemoryReader r(bytes.data(), bytes.size());
        if (CError e = sets[s.name].load(r, true)) return fail(s.file + ".is: " + e.text());
    }
    for (const AssetFont& f : src.fonts) {
        auto& bytes = files[f.name + ".fnt"];
        if (!readFile(dir + "/Fonts/" + f.name + ".fnt", &bytes)) return fail("cannot read " + f.name + ".fnt");
        CMemoryReader r(bytes.data(), bytes.size());
        if (CError e = fonts[f.name].load(r, true)) return fail(f.name + ".fnt: " + e.text());
    }
    const CFont& label = fonts.count("base") ? fonts["base"] : fonts.begin()->second;

    CDrawColors colors;
    colors.slots[0] = table("Button");
    colors.slots[1] = table("Knob");
    colors.slots[2] = table("LED");
    CDrawColors textColors;
    textColors.slots[0] = table("Text");
    CDrawColors markColors = colors;
    markColors.slots[0] = table("Text");
    CDrawColors dimColors;
    dimColors.slots[0] = table("TextDim");
    const CRgb back = palette.find("Background") ? palette.find("Background")->base : CRgb{35, 40, 46};
    const CRgb panel = palette.find("Panel") ? palette.find("Panel")->base : CRgb{45, 51, 59};
    const CRgb button = colors.slots[0] ? colors.slots[0]->table[128] : CRgb{90, 90, 90};

    // Two passes: measure, then draw.
    const int sheetWidth = 1800;
    CBitmap32 sheet;
    for (int pass = 0; pass < 2; ++pass) {
        int y = 10;
        for (double scale : {1.0, 2.0}) {
            const int pad = int(8 * scale);
            auto heading = [&](const std::string& text) {
                if (pass) label.drawText(sheet, 10, y + label.ascent * scale, text, scale, textColors);
                y += int(label.lineHeight * scale) + pad / 2;
            };
            heading("Scale " + std::string(scale == 1.0 ? "1.0" : "2.0"));
            for (const AssetImageSet& s : src.imageSets) {
                const CImageSet& set = sets[s.name];
                int x = 10, rowH = 0;
                if (pass) dimColors.opacity = 1.0;
                if (pass) label.drawText(sheet, x, y + label.ascent * scale, s.name, scale, dimColors);
                x += int(110 * scale);
                for (const AssetGroup& g : s.groups) {
                    const CImageSet::Group* grp = set.findGroup(g.name);
                    if (!grp) return fail(s.name + ": group '" + g.name + "' missing");
                    int w = 0, h = 0;
                    const bool box = g.recipe == "box" || g.recipe == "shadow";
                    if (box) {
                        // Assembled: 4 x 2 cells of r around a filled middle.
                        const CImage* tl = set.image(size_t(grp->first));
                        const int cell = tl && tl->layerCount() ? int(std::ceil(tl->layer(0).data().width * 0.5 * scale)) : 4;
                        w = cell * 6, h = cell * 4;
                        if (x + w > sheetWidth - 10) x = 10 + int(110 * scale), y += rowH + pad, rowH = 0;
                        if (pass) {
                            fillRect(sheet, x - 2, y - 2, w + 4, h + 4, panel);
                            if (g.recipe == "box") fillRect(sheet, x + cell, y + cell, w - 2 * cell, h - 2 * cell, button);
                            const int cx[8] = {0, 1, 5, 5, 5, 1, 0, 0}, cy[8] = {0, 0, 0, 1, 3, 3, 3, 1};
                            for (int k = 0; k < 8; ++k) {
                                const CImage* im = set.image(size_t(grp->first + k));
                                if (!im) continue;
                                const int reps = (k == 1 || k == 5) ? 4 : (k == 3 || k == 7) ? 2 : 1;
                                for (int rpt = 0; rpt < reps; ++rpt) {
                                    const int dx = (k == 1 || k == 5) ? rpt : 0, dy = (k == 3 || k == 7) ? rpt : 0;
                                    kelDrawImage(sheet, x + (cx[k] + dx) * cell, y + (cy[k] + dy) * cell, *im,
                                                 set.texture(), scale, colors);
                                }
                            }
                        }
                    } else {
                        // Glyphs, marks and rules show in the text colour.
                        const bool mark = g.recipe == "glyph" || g.recipe == "rect" || g.recipe == "grip" ||
                                          g.recipe == "ring" || g.recipe == "meter-bar";
                        const CDrawColors& use = mark ? markColors : colors;
                        const int shown = std::min(g.frames, 6);
                        for (int f = 0; f < shown; ++f) {
                            const int index = grp->first + (shown > 1 ? f * (g.frames - 1) / (shown - 1) : 0);
                            const CImage* im = set.image(size_t(index));
                            if (!im) continue;
                            const int iw = std::max(imageWidth(*im, scale), 1);
                            const int ih = int(std::ceil(g.num("h", 10) * scale)) + int(6 * scale);
                            if (x + iw > sheetWidth - 10) x = 10 + int(110 * scale), y += rowH + pad, rowH = 0;
                            if (pass) kelDrawImage(sheet, x, y + 3 * scale, *im, set.texture(), scale, use);
                            x += iw + pad / 2;
                            rowH = std::max(rowH, ih);
                        }
                        w = 0, h = 0;
                    }
                    x += w + pad;
                    rowH = std::max(rowH, h);
                }
                y += std::max(rowH, int(label.lineHeight * scale)) + pad;
            }
            for (const AssetFont& f : src.fonts) {
                const CFont& font = fonts[f.name];
                const std::string sample = f.name + ": Limiter In Gain +6.0 dB  Out Gain -0.1 dBFS  µs Äöü Δλω ∆ “A/B” €";
                if (pass) font.drawText(sheet, 10, y + font.ascent * scale, sample, scale, textColors);
                y += int(std::ceil(font.lineHeight * scale)) + pad / 2;
            }
            y += pad * 2;
        }
        if (!pass) {
            sheet = CBitmap32(sheetWidth, y + 10, 0);
            fillRect(sheet, 0, 0, sheet.width, sheet.height, back);
        }
    }
    if (!writePng(argv[3], sheet)) return fail(std::string("cannot write ") + argv[3]);
    return 0;
}
