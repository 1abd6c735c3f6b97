#pragma once
// Drawing images into 32-bit targets, and the scaled-layer cache.
//
// Layers are authored at scale 2.0; for a display scale s a layer is
// resampled once to s / 2 of its stored size (area average when shrinking,
// bilinear when growing) and kept in the layer, in a list of (scale, bitmap)
// records searched by exact equality of s. Records come from a free list and
// go back to it when their layer is destroyed; one global lock guards the
// free list and every layer's list, so render workers may fill the cache
// side by side.
//
// Layer modes: how a layer is coloured.
//   0 tinted by the view's main colour (colour slot 0)
//   1 tinted by colour slot 1
//   2 tinted by colour slot 2
//   3 drawn as stored (full colour)
// Tinting maps a pixel's grey level through the colour table; one-byte pixels
// are coverage masks drawn in the table's lightest entry (glyphs), two-byte
// pixels are grey and alpha, four-byte pixels red, green, blue and alpha
// (their mean is the grey level when tinted). Any other mode draws as 0.

#include <cstdint>
#include <vector>

#include "Other/Color.h"
#include "Other/ImageSet.h"

enum class ELayerMode : int16_t { Main = 0, Slot1 = 1, Slot2 = 2, Plain = 3 };

// A 32-bit target: 0xAARRGGBB per pixel, rows top-down.
struct CBitmap32 {
    int width = 0, height = 0;
    std::vector<uint32_t> pixels;

    CBitmap32() = default;
    CBitmap32(int w, int h, uint32_t fill = 0) : width(w), height(h), pixels(size_t(w) * size_t(h), fill) {}
    uint32_t at(int x, int y) const { return pixels[size_t(y) * size_t(width) + size_t(x)]; }
};

// A layer at a display scale: its pixels in the stored pixel format and its
// rectangle relative to the image's anchor, in display pixels.
struct CScaledLayer {
    double scale = 0.0;
    int width = 0, height = 0;
    int originX = 0, originY = 0;
    int bytesPerPixel = 2;
    std::vector<uint8_t> pixels;  // width * height * bytesPerPixel
};

// A pixel rectangle [x0, x1) x [y0, y1) that drawing stays inside (besides
// the target's bounds); render workers drawing disjoint parts of one target
// each pass their own.
struct CPixelClip {
    int x0 = 0, y0 = 0, x1 = 1 << 30, y1 = 1 << 30;
};

// The colours a view draws with: the tables of its three colour slots
// (nullptr: the slot's layers are not drawn) and its opacity.
struct CDrawColors {
    const CColor* slots[3] = {nullptr, nullptr, nullptr};
    double opacity = 1.0;
};

// Resamples a layer (no caching; CImageLayer::scaled caches).
CScaledLayer kelScaleLayer(const CImageLayer& layer, const CImageTexture& texture, double displayScale);

// Returns a layer's cache records to the free list (called by ~CImageLayer).
void kelReleaseScaledLayers(struct CScaledRecord** list);
// Records on the free list and in use (for tests and diagnostics).
struct CScaledCacheStats {
    size_t inUse = 0, free = 0;
};
CScaledCacheStats kelScaledCacheStats();

// Draws one scaled layer with its anchor at (x, y) in target pixels.
void kelDrawScaledLayer(CBitmap32& target, double x, double y, const CScaledLayer& layer, int16_t mode,
                        const CDrawColors& colors, const CPixelClip* clip = nullptr);

// Draws an image (its layers bottom first) at a display scale.
void kelDrawImage(CBitmap32& target, double x, double y, const CImage& image, const CImageTexture& texture,
                  double displayScale, const CDrawColors& colors, const CPixelClip* clip = nullptr);
