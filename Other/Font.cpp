// Bitmap fonts.
#include "Other/Font.h"

#include <cmath>

CError CFont::load(CInputStream& in, bool inPlace) {
    *this = CFont();
    KEL_TRY(in.readU32(&m_version));
    if (m_version != kVersion) return {};
    CFont f;
    f.m_version = m_version;
    KEL_TRY(f.m_set.load(in, inPlace));
    KEL_TRY(in.readF64(&f.lineHeight));
    KEL_TRY(in.readF64(&f.descent));
    KEL_TRY(in.readF64(&f.lineGap));
    KEL_TRY(in.readF64(&f.ascent));
    *this = std::move(f);
    return {};
}

CError CFont::save(COutputStream& out) const {
    KEL_TRY(out.writeU32(m_version));
    if (m_version != kVersion) return {};
    KEL_TRY(m_set.save(out));
    for (double v : {lineHeight, descent, lineGap, ascent}) KEL_TRY(out.writeF64(v));
    return {};
}

double CFont::advance(uint32_t codePoint) const {
    const CImage* g = glyph(codePoint);
    if (!g || g->layerCount() == 0) return 0.0;
    const CImageLayerData& d = g->layer(0).data();
    return d.advance * d.invScale;
}

std::vector<uint32_t> CFont::codePoints(std::string_view s) {
    std::vector<uint32_t> out;
    for (size_t i = 0; i < s.size();) {
        const uint8_t c = uint8_t(s[i]);
        int extra = c >= 0xF0 && c < 0xF8 ? 3 : c >= 0xE0 ? 2 : c >= 0xC0 ? 1 : 0;
        if (c >= 0xF8 || i + size_t(extra) >= s.size()) extra = 0;
        uint32_t cp = extra == 0 ? c : extra == 1 ? (c & 0x1Fu) : extra == 2 ? (c & 0x0Fu) : (c & 0x07u);
        bool ok = true;
        for (int k = 1; k <= extra; ++k) {
            const uint8_t n = uint8_t(s[i + size_t(k)]);
            if ((n & 0xC0) != 0x80) ok = false;
            cp = cp << 6 | (n & 0x3Fu);
        }
        if (!ok) {
            cp = c;
            extra = 0;
        }
        out.push_back(cp);
        i += size_t(extra) + 1;
    }
    return out;
}

double CFont::textWidth(std::string_view utf8, double scale) const {
    double w = 0.0;
    for (uint32_t cp : codePoints(utf8)) w += advance(cp);
    return w * scale;
}

double CFont::drawText(CBitmap32& target, double x, double baselineY, std::string_view utf8, double scale,
                       const CDrawColors& colors, const CPixelClip* clip) const {
    // The pen moves by the advance at the drawing scale; glyph rectangles
    // are placed at whole pixels so that text stays crisp.
    for (uint32_t cp : codePoints(utf8)) {
        const CImage* g = glyph(cp);
        if (!g) continue;
        kelDrawImage(target, std::floor(x + 0.5), baselineY, *g, m_set.texture(), scale, colors, clip);
        x += advance(cp) * scale;
    }
    return x;
}
