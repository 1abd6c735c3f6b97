#pragma once
// Bitmap fonts: u32 version (1; any other value is an empty font), an image
// set whose images are glyphs keyed by Unicode code point, then four f64
// metrics in logical pixels: line height, descent, line gap and ascent.
// A glyph's first layer carries its advance (authoring pixels) and its
// rectangle relative to the pen on the baseline.

#include <string_view>

#include "Other/ImageDraw.h"
#include "Other/ImageSet.h"

class CFont {
public:
    static constexpr uint32_t kVersion = 1;

    CError load(CInputStream& in, bool inPlace = false);
    CError save(COutputStream& out) const;

    bool empty() const { return m_set.imageCount() == 0; }
    const CImageSet& imageSet() const { return m_set; }
    CImageSet& imageSet() { return m_set; }

    const CImage* glyph(uint32_t codePoint) const { return m_set.image(codePoint); }
    // Horizontal advance of a glyph in logical pixels (0 for missing glyphs).
    double advance(uint32_t codePoint) const;
    // Sum of the advances of a UTF-8 text, times the scale.
    double textWidth(std::string_view utf8, double scale = 1.0) const;

    double lineHeight = 0.0, descent = 0.0, lineGap = 0.0, ascent = 0.0;

    // Draws a UTF-8 text with the pen starting at (x, baselineY) in target
    // pixels; returns the pen's end x.
    double drawText(CBitmap32& target, double x, double baselineY, std::string_view utf8, double scale,
                    const CDrawColors& colors, const CPixelClip* clip = nullptr) const;

    // Code points of a UTF-8 text (invalid bytes are taken as Latin-1).
    static std::vector<uint32_t> codePoints(std::string_view utf8);

private:
    uint32_t m_version = kVersion;
    CImageSet m_set;
};
