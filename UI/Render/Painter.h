#pragma once
// CPainter: draws into a 32-bit target inside one clip rectangle. A render
// worker gets a painter clipped to its sector; a view narrows it to its own
// clip area. Everything is drawn source-over with straight alpha, the same
// arithmetic as the image layers, so a fill and an image of the same colour
// and opacity blend alike.

#include <string_view>

#include "Other/Font.h"
#include "Other/ImageDraw.h"
#include "UI/Render/Geometry.h"

class CPainter {
public:
    CPainter(CBitmap32& target, const CPixelClip& clip, double scale)
        : m_target(&target), m_clip(kelIntersect(clip, {0, 0, target.width, target.height})), m_scale(scale) {}

    CBitmap32& target() const { return *m_target; }
    const CPixelClip& clip() const { return m_clip; }
    double scale() const { return m_scale; }
    bool clipEmpty() const { return kelEmpty(m_clip); }
    // The same painter with its clip narrowed.
    CPainter clipped(const CPixelClip& c) const {
        CPainter p(*this);
        p.m_clip = kelIntersect(m_clip, c);
        return p;
    }

    // Fills the pixels of a rectangle with a colour at an opacity (0..1).
    void fillRect(const CRectD& r, CRgb color, double opacity) const;
    // Draws an image with its anchor at (x, y).
    void drawImage(const CImageSet& set, const CImage& image, double x, double y, const CDrawColors& colors) const;
    // A stretchable box: the eight border pieces of a box group (first: the
    // top-left piece) around r, the middle filled with the pieces' inside.
    void drawBox(const CImageSet& set, int first, const CRectD& r, const CDrawColors& colors) const;
    // Draws a text line with the pen at (x, baseline); slant > 0 leans the
    // glyphs to the right by that many pixels per pixel of height. Returns
    // the pen's end.
    double drawText(const CFont& font, double x, double baseline, std::string_view utf8, double textScale,
                    const CDrawColors& colors, double slant = 0.0) const;

private:
    CBitmap32* m_target;
    CPixelClip m_clip;
    double m_scale;
};

// Source-over blend of one straight-alpha colour onto a 0xAARRGGBB pixel.
inline uint32_t kelBlendPixel(uint32_t d, int r, int g, int b, int a) {
    const int da = int(d >> 24), dr = int(d >> 16) & 255, dg = int(d >> 8) & 255, db = int(d) & 255;
    const int keep = (da * (255 - a) + 127) / 255;
    const int oa = a + keep;
    if (oa <= 0) return d;
    const int orr = (r * a + dr * keep + oa / 2) / oa;
    const int og = (g * a + dg * keep + oa / 2) / oa;
    const int ob = (b * a + db * keep + oa / 2) / oa;
    return uint32_t(oa) << 24 | uint32_t(orr) << 16 | uint32_t(og) << 8 | uint32_t(ob);
}
