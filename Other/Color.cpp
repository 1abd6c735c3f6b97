// Colour tables and their arithmetic.
#include "Other/Color.h"

#include <algorithm>
#include <cmath>

namespace {
CString num(int64_t v) { return CString::number(v); }

// Longest gradient a computed colour may carry.
constexpr uint32_t kMaxTables = 256;

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

struct Hsl {
    double h, s, l;
};

Hsl toHsl(double r, double g, double b) {
    const double mx = std::max({r, g, b}), mn = std::min({r, g, b});
    Hsl o{0.0, 0.0, (mx + mn) / 2};
    const double d = mx - mn;
    if (d <= 1e-9) return o;
    o.s = o.l > 0.5 ? d / (2 - mx - mn) : d / (mx + mn);
    if (mx == r) o.h = (g - b) / d + (g < b ? 6 : 0);
    else if (mx == g) o.h = (b - r) / d + 2;
    else o.h = (r - g) / d + 4;
    o.h *= 60.0;
    return o;
}

double hueChannel(double p, double q, double t) {
    if (t < 0) t += 1;
    if (t > 1) t -= 1;
    if (t < 1.0 / 6) return p + (q - p) * 6 * t;
    if (t < 0.5) return q;
    if (t < 2.0 / 3) return p + (q - p) * (2.0 / 3 - t) * 6;
    return p;
}

void fromHsl(const Hsl& c, double* r, double* g, double* b) {
    if (c.s <= 1e-9) {
        *r = *g = *b = c.l;
        return;
    }
    const double q = c.l < 0.5 ? c.l * (1 + c.s) : c.l + c.s - c.l * c.s;
    const double p = 2 * c.l - q;
    const double h = c.h / 360.0;
    *r = hueChannel(p, q, h + 1.0 / 3);
    *g = hueChannel(p, q, h);
    *b = hueChannel(p, q, h - 1.0 / 3);
}

uint8_t toByte(double v) { return uint8_t(std::lround(std::clamp(v, 0.0, 1.0) * 255.0)); }
}  // namespace

std::optional<CRgb> CRgb::parse(std::string_view text) {
    if (!text.empty() && text[0] == '#') text.remove_prefix(1);
    if (text.size() != 6) return std::nullopt;
    uint8_t v[3];
    for (int i = 0; i < 3; ++i) {
        const int hi = hexDigit(text[size_t(2 * i)]), lo = hexDigit(text[size_t(2 * i + 1)]);
        if (hi < 0 || lo < 0) return std::nullopt;
        v[i] = uint8_t(hi * 16 + lo);
    }
    return CRgb{v[0], v[1], v[2]};
}

CError CColor::load(CInputStream& in) {
    CColor c;
    KEL_TRY(in.readF64(&c.value));
    KEL_TRY(in.read(c.table.data(), 768));
    *this = c;
    return {};
}

CError CColor::save(COutputStream& out) const {
    KEL_TRY(out.writeF64(value));
    KEL_TRY(out.write(table.data(), 768));
    return {};
}

CColor CColor::solid(CRgb c, double opacity) {
    CColor t;
    t.value = opacity;
    t.table.fill(c);
    return t;
}

static_assert(sizeof(CRgb) == 3 && sizeof(std::array<CRgb, 256>) == 768);

CColorSettings CColorSettings::combined(const CColorSettings& global) const {
    CColorSettings s = *this;
    s.brightness += global.brightness;
    s.contrast += global.contrast;
    s.opacity *= global.opacity;
    s.tone = (tone + global.tone) % 360;
    s.tone2 = uint32_t(std::lround(double(tone2) * double(global.tone2) / 100.0));
    s.tone3 = uint32_t(std::lround(double(tone3) * double(global.tone3) / 100.0));
    return s;
}

CColor kelComputeColor(CRgb base, const CColorSettings& s) {
    Hsl hsl = toHsl(base.r / 255.0, base.g / 255.0, base.b / 255.0);
    hsl.h = std::fmod(hsl.h + double(s.tone % 360), 360.0);
    hsl.s = std::clamp(hsl.s * double(s.tone2) / 100.0, 0.0, 1.0);
    hsl.l = std::clamp(hsl.l * double(s.tone3) / 100.0, 0.0, 1.0);
    double br, bg, bb;
    fromHsl(hsl, &br, &bg, &bb);

    // The grey curve: contrast steepens it around the middle (monotone for
    // any contrast above -1), brightness lifts it.
    const double gain = std::exp(std::clamp(s.contrast, -0.99, 4.0) * 1.5);
    CColor out;
    out.value = std::clamp(s.opacity, 0.0, 1.0);
    for (int i = 0; i < 256; ++i) {
        // u: -1 (black) .. 0 (grey 128, the colour itself) .. 1 (white).
        double u = i <= 128 ? (i - 128) / 128.0 : (i - 128) / 127.0;
        u = std::clamp(u * gain + s.brightness, -1.0, 1.0);
        double r, g, b;
        if (u <= 0) {
            const double k = 1.0 + u;  // black .. base colour
            r = br * k, g = bg * k, b = bb * k;
        } else {
            r = br + (1 - br) * u, g = bg + (1 - bg) * u, b = bb + (1 - bb) * u;
        }
        out.table[size_t(i)] = CRgb{toByte(r), toByte(g), toByte(b)};
    }
    return out;
}

CError CDynamicColorData::load(CInputStream& in) {
    CDynamicColorData d;
    KEL_TRY(in.readF64(&d.settings.brightness));
    KEL_TRY(in.readF64(&d.settings.contrast));
    KEL_TRY(in.readF64(&d.settings.opacity));
    KEL_TRY(in.readU32(&d.settings.tone));
    KEL_TRY(in.readU32(&d.settings.tone2));
    KEL_TRY(in.readU32(&d.settings.tone3));
    uint32_t count = 0;
    KEL_TRY(in.readU32(&count));
    if (count > kMaxTables) return KEL_ERROR(kelstr_CDynamicColorData_load_Count, num(count));
    d.tables.resize(count);
    for (CColor& c : d.tables) KEL_TRY(c.load(in));
    uint8_t hasHover = 0;
    KEL_TRY(in.readU8(&hasHover));
    if (hasHover) KEL_TRY(d.hover.emplace().load(in));
    *this = std::move(d);
    return {};
}

CError CDynamicColorData::save(COutputStream& out) const {
    KEL_TRY(out.writeF64(settings.brightness));
    KEL_TRY(out.writeF64(settings.contrast));
    KEL_TRY(out.writeF64(settings.opacity));
    KEL_TRY(out.writeU32(settings.tone));
    KEL_TRY(out.writeU32(settings.tone2));
    KEL_TRY(out.writeU32(settings.tone3));
    KEL_TRY(out.writeU32(uint32_t(tables.size())));
    for (const CColor& c : tables) KEL_TRY(c.save(out));
    KEL_TRY(out.writeU8(hover ? 1 : 0));
    if (hover) KEL_TRY(hover->save(out));
    return {};
}
