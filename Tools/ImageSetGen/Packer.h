#pragma once
// Packs drawn layers into texture pages and builds an image set from them.

#include <cstdint>
#include <vector>

#include "Other/ImageSet.h"

// One drawn layer at the authoring scale.
struct DrawnLayer {
    int width = 0, height = 0;
    int bytesPerPixel = 2;          // 1 coverage, 2 grey + alpha, 4 RGBA
    std::vector<uint8_t> pixels;    // straight alpha, rows top-down
    int originX = 0, originY = 0;   // offset of the rectangle from the image's anchor
    double advance = 0.0;           // glyphs
    int16_t mode = 0;
    int16_t extra[3] = {0, 0, 0};
};

struct DrawnImage {
    uint32_t index = 0;
    std::vector<DrawnLayer> layers;
};

// Trims fully transparent rows and columns off a layer (its origin follows).
void trimLayer(DrawnLayer& layer);

// Builds a set: groups as given, images packed into pages of at most
// maxPage x maxPage pixels per pixel format (shelves, tallest first).
CImageSet packImageSet(std::vector<DrawnImage> images, const std::vector<CImageSet::Group>& groups,
                       int maxPage = 1024);
