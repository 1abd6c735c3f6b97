// Fills, images, boxes and text inside a clip rectangle.
#include "UI/Render/Painter.h"

#include <algorithm>
#include <cmath>

namespace {
// Positions far outside any window are not drawn (and never rounded).
bool drawable(double x, double y) { return std::fabs(x) < 1e8 && std::fabs(y) < 1e8; }

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
    if (clipEmpty() || !drawable(x, y)) return;
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
    // The middle shows the inside of the box: the top-left piece's innermost pixel.
    auto fillMiddle = [&] {
        const CImageLayerData& d = tlLayer.data();
        // Under the pieces from where their drawn part ends, so that the
        // partly covered pixels at a piece's inner edge blend into the middle.
        const int inset = int(std::floor(d.width * d.invScale * m_scale));
        const int fx0 = px.x0 + std::min(inset, lw), fx1 = px.x1 - std::min(inset, rw);
        const int fy0 = px.y0 + std::min(inset, th), fy1 = px.y1 - std::min(inset, bh);
        if (fx1 <= fx0 || fy1 <= fy0 || d.width <= 0 || d.height <= 0) return;
        const int bpp = d.bytesPerPixel;
        const CImageLayer::Pixels src = tlLayer.pixels(set.texture());
        if (!src.first) return;
        const uint8_t* s = src.first + size_t(d.height - 1) * src.stride + size_t(d.width - 1) * size_t(bpp);
        const int slot = (tlLayer.mode() == 1 || tlLayer.mode() == 2) ? tlLayer.mode() : 0;
        const bool plain = tlLayer.mode() == int16_t(ELayerMode::Plain);
        const CColor* table = colors.slots[slot];
        if (!plain && !table) return;
        int grey = bpp == 1 ? 255 : bpp == 2 ? s[0] : (s[0] + s[1] + s[2]) / 3;
        CRgb color{uint8_t(grey), uint8_t(grey), uint8_t(grey)};
        if (!plain) color = table->table[size_t(grey)];
        else if (bpp == 4) color = {s[0], s[1], s[2]};
        const int alpha = (s[bpp - 1] * alphaScaleOf(colors.opacity * (plain ? 1.0 : table->value))) >> 8;
        fillPixels(*m_target, kelIntersect(m_clip, {fx0, fy0, fx1, fy1}), color, alpha);
    };
    fillMiddle();
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
    // Edges: the middle line of each edge piece repeated along the edge, so
    // that no seam shows at scales where a piece is not a whole number of pixels.
    auto edge = [&](int k, bool horizontal, int x, int y, const CPixelClip& part) {
        const CImage* im = set.image(size_t(first + k));
        if (!im) return;
        const CPixelClip pc = kelIntersect(m_clip, part);
        if (kelEmpty(pc)) return;
        for (size_t li = 0; li < im->layerCount(); ++li) {
            const CImageLayer& layer = im->layer(li);
            const CScaledLayer& sl = *layer.scaled(set.texture(), m_scale);
            const int mid = horizontal ? sl.width / 2 : sl.height / 2;
            const int from = horizontal ? pc.x0 : pc.y0, to = horizontal ? pc.x1 : pc.y1;
            for (int at = from; at < to; ++at) {
                const CPixelClip line = horizontal ? CPixelClip{at, pc.y0, at + 1, pc.y1} : CPixelClip{pc.x0, at, pc.x1, at + 1};
                kelDrawScaledLayer(*m_target, horizontal ? at - mid - sl.originX : x, horizontal ? y : at - mid - sl.originY,
                                   sl, layer.mode(), colors, &line);
            }
        }
    };
    edge(1, true, 0, px.y0, {ix0, px.y0, ix1, iy0});
    edge(5, true, 0, px.y1 - c, {ix0, iy1, ix1, px.y1});
    edge(7, false, px.x0, 0, {px.x0, iy0, ix0, iy1});
    edge(3, false, px.x1 - c, 0, {ix1, iy0, px.x1, iy1});
}

double CPainter::drawText(const CFont& font, double x, double baseline, std::string_view utf8, double textScale,
                          const CDrawColors& colors, double slant) const {
    if (clipEmpty() || !drawable(x, baseline)) return x + font.textWidth(utf8, textScale);
    if (slant <= 0.0) return font.drawText(*m_target, x, baseline, utf8, textScale, colors, &m_clip);
    // Leaning glyphs: bands of two pixel rows, each shifted by its height
    // above the baseline.
    const int top = int(std::floor(baseline - font.ascent * textScale)) - 1;
    const int bottom = int(std::ceil(baseline + font.descent * textScale)) + 1;
    for (int y = top; y < bottom; y += 2) {
        const CPixelClip band = kelIntersect(m_clip, {m_clip.x0, y, m_clip.x1, y + 2});
        if (kelEmpty(band)) continue;
        const double shift = std::round(slant * (baseline - (y + 1)));
        font.drawText(*m_target, x + shift, baseline, utf8, textScale, colors, &band);
    }
    return x + font.textWidth(utf8, textScale);
}
