// Scaled layers, their cache, and drawing into 32-bit targets.
#include "Other/ImageDraw.h"

#include <algorithm>
#include <cmath>

#include "Platform/Sync.h"

struct CScaledRecord {
    CScaledRecord* next = nullptr;
    CScaledLayer layer;
};

namespace {
plat::CCritSec& cacheLock() {
    static plat::CCritSec cs(4000);
    return cs;
}
CScaledRecord*& freeList() {
    static CScaledRecord* list = nullptr;
    return list;
}
size_t g_inUse = 0, g_free = 0;

CScaledRecord* takeRecord() {
    CScaledRecord*& fl = freeList();
    CScaledRecord* r = fl;
    if (r) {
        fl = r->next;
        r->next = nullptr;
        --g_free;
    } else {
        r = new CScaledRecord;
    }
    ++g_inUse;
    return r;
}

// One destination sample: source indices and weights.
struct Tap {
    int first = 0;
    std::vector<float> weights;
};

// Taps of one axis: destination pixel d covers [d, d+1) in display pixels
// relative to dstOrigin; the source covers [srcOrigin, srcOrigin + n) in
// authoring pixels, f display pixels per authoring pixel.
std::vector<Tap> makeTaps(int dstCount, int dstOrigin, double srcOrigin, int n, double f) {
    std::vector<Tap> taps(static_cast<size_t>(dstCount));
    for (int d = 0; d < dstCount; ++d) {
        Tap& t = taps[size_t(d)];
        if (f <= 1.0) {
            // Area average over the footprint.
            const double a = (dstOrigin + d) / f - srcOrigin, b = (dstOrigin + d + 1) / f - srcOrigin;
            const int i0 = int(std::floor(a)), i1 = int(std::ceil(b));
            t.first = i0;
            for (int i = i0; i < i1; ++i) {
                const double w = std::min(b, double(i + 1)) - std::max(a, double(i));
                t.weights.push_back(float(w / (b - a)));
            }
        } else {
            const double c = (dstOrigin + d + 0.5) / f - srcOrigin - 0.5;
            const int i0 = int(std::floor(c));
            const double k = c - i0;
            t.first = i0;
            t.weights = {float(1.0 - k), float(k)};
        }
        (void)n;
    }
    return taps;
}
}  // namespace

void kelReleaseScaledLayers(CScaledRecord** list) {
    if (!*list) return;
    plat::CLock g(cacheLock());
    while (CScaledRecord* r = *list) {
        *list = r->next;
        r->layer = CScaledLayer();
        r->next = freeList();
        freeList() = r;
        --g_inUse;
        ++g_free;
    }
}

CScaledCacheStats kelScaledCacheStats() {
    plat::CLock g(cacheLock());
    return {g_inUse, g_free};
}

CScaledLayer kelScaleLayer(const CImageLayer& layer, const CImageTexture& texture, double displayScale) {
    const CImageLayerData& d = layer.data();
    const double f = displayScale * (d.scale > 0 ? d.invScale : 0.5);
    CScaledLayer out;
    out.scale = displayScale;
    out.bytesPerPixel = d.bytesPerPixel;
    if (d.width <= 0 || d.height <= 0 || !(f > 0)) return out;
    const int bpp = d.bytesPerPixel;
    const CImageLayer::Pixels src = layer.pixels(texture);

    // Identity (the authoring scale, whole-pixel origin): a plain copy.
    out.originX = int(std::floor(d.originX * f));
    out.originY = int(std::floor(d.originY * f));
    out.width = int(std::ceil((d.originX + d.width) * f)) - out.originX;
    out.height = int(std::ceil((d.originY + d.height) * f)) - out.originY;
    out.pixels.assign(size_t(out.width) * size_t(out.height) * size_t(bpp), 0);
    if (f == 1.0) {
        for (int y = 0; y < d.height; ++y)
            std::copy_n(src.first + size_t(y) * src.stride, size_t(d.width) * size_t(bpp),
                        out.pixels.data() + size_t(y) * size_t(out.width) * size_t(bpp));
        return out;
    }

    // Premultiplied float channels; the alpha channel is the last one of a
    // pixel (one-byte pixels are alpha only).
    const int ch = bpp;
    const int alphaCh = bpp - 1;
    auto loadPx = [&](int x, int y, float* px) {
        const uint8_t* p = src.first + size_t(y) * src.stride + size_t(x) * size_t(bpp);
        const float a = p[alphaCh] / 255.0f;
        for (int c = 0; c < ch; ++c) px[c] = c == alphaCh ? a : p[c] / 255.0f * a;
    };
    const std::vector<Tap> tx = makeTaps(out.width, out.originX, d.originX, d.width, f);
    const std::vector<Tap> ty = makeTaps(out.height, out.originY, d.originY, d.height, f);

    // Horizontal pass: source rows x destination columns.
    std::vector<float> rows(size_t(d.height) * size_t(out.width) * size_t(ch), 0.0f);
    std::vector<float> px(static_cast<size_t>(ch));
    for (int y = 0; y < d.height; ++y) {
        for (int x = 0; x < out.width; ++x) {
            float* acc = &rows[(size_t(y) * size_t(out.width) + size_t(x)) * size_t(ch)];
            const Tap& t = tx[size_t(x)];
            for (size_t k = 0; k < t.weights.size(); ++k) {
                const int sx = t.first + int(k);
                if (sx < 0 || sx >= d.width) continue;
                loadPx(sx, y, px.data());
                for (int c = 0; c < ch; ++c) acc[c] += px[size_t(c)] * t.weights[k];
            }
        }
    }
    // Vertical pass, then back to straight alpha.
    std::vector<float> acc(static_cast<size_t>(ch));
    for (int y = 0; y < out.height; ++y) {
        const Tap& t = ty[size_t(y)];
        for (int x = 0; x < out.width; ++x) {
            std::fill(acc.begin(), acc.end(), 0.0f);
            for (size_t k = 0; k < t.weights.size(); ++k) {
                const int sy = t.first + int(k);
                if (sy < 0 || sy >= d.height) continue;
                const float* r = &rows[(size_t(sy) * size_t(out.width) + size_t(x)) * size_t(ch)];
                for (int c = 0; c < ch; ++c) acc[size_t(c)] += r[c] * t.weights[k];
            }
            uint8_t* o = &out.pixels[(size_t(y) * size_t(out.width) + size_t(x)) * size_t(bpp)];
            const float a = std::clamp(acc[size_t(alphaCh)], 0.0f, 1.0f);
            for (int c = 0; c < ch; ++c) {
                const float v = c == alphaCh ? a : (a > 0 ? acc[size_t(c)] / a : 0.0f);
                o[c] = uint8_t(std::lround(std::clamp(v, 0.0f, 1.0f) * 255.0f));
            }
        }
    }
    return out;
}

const CScaledLayer* CImageLayer::scaled(const CImageTexture& texture, double displayScale) const {
    {
        plat::CLock g(cacheLock());
        for (CScaledRecord* r = m_scaled; r; r = r->next)
            if (r->layer.scale == displayScale) return &r->layer;
    }
    CScaledLayer computed = kelScaleLayer(*this, texture, displayScale);
    plat::CLock g(cacheLock());
    for (CScaledRecord* r = m_scaled; r; r = r->next)  // another thread may have been quicker
        if (r->layer.scale == displayScale) return &r->layer;
    CScaledRecord* rec = takeRecord();
    rec->layer = std::move(computed);
    rec->next = m_scaled;
    m_scaled = rec;
    return &rec->layer;
}

void kelDrawScaledLayer(CBitmap32& target, double x, double y, const CScaledLayer& layer, int16_t mode,
                        const CDrawColors& colors, const CPixelClip* clip) {
    const int slot = (mode == 1 || mode == 2) ? mode : 0;
    const bool plain = mode == int16_t(ELayerMode::Plain);
    const CColor* table = colors.slots[slot];
    if (!plain && !table) return;
    const double opacity = std::clamp(colors.opacity * (plain ? 1.0 : table->value), 0.0, 1.0);
    const int alphaScale = int(std::lround(opacity * 256.0));
    if (alphaScale <= 0) return;
    const int x0 = int(std::lround(x)) + layer.originX, y0 = int(std::lround(y)) + layer.originY;
    const int bpp = layer.bytesPerPixel;
    const CPixelClip bounds = clip ? *clip : CPixelClip();
    const int cx0 = std::max(std::max(0, bounds.x0) - x0, 0), cy0 = std::max(std::max(0, bounds.y0) - y0, 0);
    const int cx1 = std::min(layer.width, std::min(target.width, bounds.x1) - x0);
    const int cy1 = std::min(layer.height, std::min(target.height, bounds.y1) - y0);
    for (int ly = cy0; ly < cy1; ++ly) {
        const uint8_t* s = layer.pixels.data() + (size_t(ly) * size_t(layer.width) + size_t(cx0)) * size_t(bpp);
        uint32_t* dst = target.pixels.data() + size_t(y0 + ly) * size_t(target.width) + size_t(x0 + cx0);
        for (int lx = cx0; lx < cx1; ++lx, s += bpp, ++dst) {
            int r, g, b, a;
            if (bpp == 1) {
                a = s[0];
                if (plain) r = g = b = 255;
                else r = table->table[255].r, g = table->table[255].g, b = table->table[255].b;
            } else {
                const int grey = bpp == 2 ? s[0] : (s[0] + s[1] + s[2]) / 3;
                a = s[bpp - 1];
                if (plain) {
                    r = bpp == 2 ? grey : s[0], g = bpp == 2 ? grey : s[1], b = bpp == 2 ? grey : s[2];
                } else {
                    const CRgb& c = table->table[size_t(grey)];
                    r = c.r, g = c.g, b = c.b;
                }
            }
            a = (a * alphaScale) >> 8;
            if (a <= 0) continue;
            const uint32_t d = *dst;
            const int da = int(d >> 24), dr = int(d >> 16) & 255, dg = int(d >> 8) & 255, db = int(d) & 255;
            // Source over destination, straight alpha.
            const int keep = (da * (255 - a) + 127) / 255;
            const int oa = a + keep;
            const int orr = (r * a + dr * keep + oa / 2) / oa;
            const int og = (g * a + dg * keep + oa / 2) / oa;
            const int ob = (b * a + db * keep + oa / 2) / oa;
            *dst = uint32_t(oa) << 24 | uint32_t(orr) << 16 | uint32_t(og) << 8 | uint32_t(ob);
        }
    }
}

void kelDrawImage(CBitmap32& target, double x, double y, const CImage& image, const CImageTexture& texture,
                  double displayScale, const CDrawColors& colors, const CPixelClip* clip) {
    for (size_t i = 0; i < image.layerCount(); ++i) {
        const CImageLayer& layer = image.layer(i);
        kelDrawScaledLayer(target, x, y, *layer.scaled(texture, displayScale), layer.mode(), colors, clip);
    }
}
