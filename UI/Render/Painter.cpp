// Fills, images, boxes and text inside a clip rectangle.
#include "UI/Render/Painter.h"

#include <algorithm>
#include <cmath>

namespace {
int alphaScaleOf(double opacity) { return int(std::lround(std::clamp(opacity, 0.0, 1.0) * 256.0)); }

void fillPixels(CBitmap32& t, const CPixelClip& c, CRgb color, int alpha) {
    if (kelEmpty(c) || alpha <= 0) return;
    const uint32_t solid = 0xFF000000u | uint32_t(color.r) << 16 | uint32_t(color.g) << 8 | uint32_t(color.b);
    for (int y = c.y0; y < c.y1; ++y) {
        uint32_t* row = t.pixels.data() + size_t(y) * size_t(t.width);
        if (alpha >= 255) {
            std::fill(row + c.x0, row + c.x1, solid);
            continue;
        }
        for (int x = c.x0; x < c.x1; ++x) row[x] = kelBlendPixel(row[x], color.r, color.g, color.b, alpha);
    }
}
}  // namespace

void CPainter::fillRect(const CRectD& r, CRgb color, double opacity) const {
    const int a = (255 * alphaScaleOf(opacity)) >> 8;
    fillPixels(*m_target, kelIntersect(m_clip, r.pixels()), color, a);
}

void CPainter::drawImage(const CImageSet& set, const CImage& image, double x, double y,
                         const CDrawColors& colors) const {
    if (clipEmpty()) return;
    kelDrawImage(*m_target, x, y, image, set.texture(), m_scale, colors, &m_clip);
}

void CPainter::drawBox(const CImageSet& set, int first, const CRectD& r, const CDrawColors& colors) const {
    const CPixelClip px = r.pixels();
    const CImage* tl = set.image(size_t(std::max(first, 0)));
    if (!tl || tl->layerCount() == 0 || kelEmpty(kelIntersect(px, m_clip))) return;
    const CImageLayer& tlLayer = tl->layer(0);
    const CScaledLayer& cell = *tlLayer.scaled(set.texture(), m_scale);
    const int c = std::max(cell.width, 1);
    const int w = px.x1 - px.x0, h = px.y1 - px.y0;
    // The parts of the box: a corner never reaches past the middle.
    const int lw = std::min(c, w / 2), rw = std::min(c, w - lw);
    const int th = std::min(c, h / 2), bh = std::min(c, h - th);
    const int ix0 = px.x0 + lw, ix1 = px.x1 - rw, iy0 = px.y0 + th, iy1 = px.y1 - bh;
    auto piece = [&](int k, int x, int y, const CPixelClip& part) {
        const CImage* im = set.image(size_t(first + k));
        if (!im) return;
        const CPixelClip pc = kelIntersect(m_clip, part);
        if (kelEmpty(pc)) return;
        kelDrawImage(*m_target, x, y, *im, set.texture(), m_scale, colors, &pc);
    };
    piece(0, px.x0, px.y0, {px.x0, px.y0, ix0, iy0});
    piece(2, px.x1 - c, px.y0, {ix1, px.y0, px.x1, iy0});
    piece(4, px.x1 - c, px.y1 - c, {ix1, iy1, px.x1, px.y1});
    piece(6, px.x0, px.y1 - c, {px.x0, iy1, ix0, px.y1});
    for (int x = ix0; x < ix1; x += c) {
        piece(1, x, px.y0, {ix0, px.y0, ix1, iy0});
        piece(5, x, px.y1 - c, {ix0, iy1, ix1, px.y1});
    }
    for (int y = iy0; y < iy1; y += c) {
        piece(7, px.x0, y, {px.x0, iy0, ix0, iy1});
        piece(3, px.x1 - c, y, {ix1, iy0, px.x1, iy1});
    }
    // The middle shows the inside of the box: the top-left piece's innermost pixel.
    if (ix1 <= ix0 || iy1 <= iy0 || cell.pixels.empty()) return;
    const int bpp = cell.bytesPerPixel;
    const uint8_t* s = cell.pixels.data() + (size_t(cell.height - 1) * size_t(cell.width) + size_t(cell.width - 1)) * size_t(bpp);
    const int slot = (tlLayer.mode() == 1 || tlLayer.mode() == 2) ? tlLayer.mode() : 0;
    const bool plain = tlLayer.mode() == int16_t(ELayerMode::Plain);
    const CColor* table = colors.slots[slot];
    if (!plain && !table) return;
    int grey = bpp == 1 ? 255 : bpp == 2 ? s[0] : (s[0] + s[1] + s[2]) / 3;
    CRgb color{uint8_t(grey), uint8_t(grey), uint8_t(grey)};
    if (!plain) color = table->table[size_t(grey)];
    else if (bpp == 4) color = {s[0], s[1], s[2]};
    const int alpha = (s[bpp - 1] * alphaScaleOf(colors.opacity * (plain ? 1.0 : table->value))) >> 8;
    fillPixels(*m_target, kelIntersect(m_clip, {ix0, iy0, ix1, iy1}), color, alpha);
}

double CPainter::drawText(const CFont& font, double x, double baseline, std::string_view utf8, double textScale,
                          const CDrawColors& colors, double slant) const {
    if (clipEmpty()) return x + font.textWidth(utf8, textScale);
    if (slant <= 0.0) return font.drawText(*m_target, x, baseline, utf8, textScale, colors, &m_clip);
    // Leaning glyphs: bands of two pixel rows, each shifted by its height
    // above the baseline.
    const int top = int(std::floor(baseline - font.ascent * textScale)) - 1;
    const int bottom = int(std::ceil(baseline + font.descent * textScale)) + 1;
    double end = x;
    for (int y = top; y < bottom; y += 2) {
        const CPixelClip band = kelIntersect(m_clip, {m_clip.x0, y, m_clip.x1, y + 2});
        if (kelEmpty(band)) continue;
        const double shift = std::round(slant * (baseline - (y + 1)));
        end = font.drawText(*m_target, x + shift, baseline, utf8, textScale, colors, &band) - shift;
    }
    return top < bottom ? x + font.textWidth(utf8, textScale) : end;
}
