// Shelf packing of layers into texture pages.
#include "Tools/ImageSetGen/Packer.h"

#include <algorithm>
#include <map>

void trimLayer(DrawnLayer& l) {
    const int bpp = l.bytesPerPixel;
    auto alpha = [&](int x, int y) { return l.pixels[(size_t(y) * size_t(l.width) + size_t(x)) * size_t(bpp) + size_t(bpp - 1)]; };
    int x0 = l.width, y0 = l.height, x1 = -1, y1 = -1;
    for (int y = 0; y < l.height; ++y)
        for (int x = 0; x < l.width; ++x)
            if (alpha(x, y)) {
                x0 = std::min(x0, x), x1 = std::max(x1, x);
                y0 = std::min(y0, y), y1 = std::max(y1, y);
            }
    if (x1 < 0) {
        l.width = l.height = 0;
        l.pixels.clear();
        return;
    }
    const int w = x1 - x0 + 1, h = y1 - y0 + 1;
    std::vector<uint8_t> out(size_t(w) * size_t(h) * size_t(bpp));
    for (int y = 0; y < h; ++y)
        std::copy_n(&l.pixels[(size_t(y0 + y) * size_t(l.width) + size_t(x0)) * size_t(bpp)], size_t(w) * size_t(bpp),
                    &out[size_t(y) * size_t(w) * size_t(bpp)]);
    l.pixels = std::move(out);
    l.width = w, l.height = h;
    l.originX += x0, l.originY += y0;
}

CImageSet packImageSet(std::vector<DrawnImage> images, const std::vector<CImageSet::Group>& groups, int maxPage) {
    CImageSet set;
    for (const CImageSet::Group& g : groups) set.addGroup(g.name, g.first, g.last);

    // Layers by pixel format, tallest first, onto shelves; a 1-pixel gap
    // keeps resampling from bleeding between neighbours.
    struct Ref {
        size_t image, layer;
    };
    std::map<int, std::vector<Ref>> byFormat;
    for (size_t i = 0; i < images.size(); ++i)
        for (size_t l = 0; l < images[i].layers.size(); ++l)
            if (images[i].layers[l].width > 0) byFormat[images[i].layers[l].bytesPerPixel].push_back({i, l});
    struct Placement {
        int page = -1, x = 0, y = 0;
    };
    std::vector<std::vector<Placement>> where(images.size());
    for (size_t i = 0; i < images.size(); ++i) where[i].resize(images[i].layers.size());

    CImageTexture& texture = set.texture();
    for (auto& [bpp, refs] : byFormat) {
        std::stable_sort(refs.begin(), refs.end(), [&](const Ref& a, const Ref& b) {
            return images[a.image].layers[a.layer].height > images[b.image].layers[b.layer].height;
        });
        size_t at = 0;
        while (at < refs.size()) {
            // One page: fill shelves until the page is full.
            const int page = int(texture.pageCount());
            int x = 0, y = 0, shelf = 0, usedW = 0;
            size_t startAt = at;
            std::vector<std::pair<size_t, Placement>> placed;
            for (; at < refs.size(); ++at) {
                const DrawnLayer& l = images[refs[at].image].layers[refs[at].layer];
                const int w = std::min(l.width, maxPage), h = std::min(l.height, maxPage);
                if (x + w > maxPage) {
                    x = 0;
                    y += shelf + 1;
                    shelf = 0;
                }
                if (y + h > maxPage) break;
                placed.push_back({at, {page, x, y}});
                usedW = std::max(usedW, x + w);
                shelf = std::max(shelf, h);
                x += w + 1;
            }
            if (at == startAt) ++at;  // larger than a page: left out
            const int pageH = y + shelf;
            CImageTexture::Page& p = texture.addPage();
            p.scale = 2.0;
            p.width = int16_t(std::max(usedW, 1));
            p.height = int16_t(std::max(pageH, 1));
            p.bytesPerPixel = int16_t(bpp);
            p.pixels.assign(size_t(p.width) * size_t(p.height) * size_t(bpp), 0);
            for (auto& [k, pl] : placed) {
                const DrawnLayer& l = images[refs[k].image].layers[refs[k].layer];
                for (int row = 0; row < l.height; ++row)
                    std::copy_n(&l.pixels[size_t(row) * size_t(l.width) * size_t(bpp)], size_t(l.width) * size_t(bpp),
                                &p.pixels[(size_t(pl.y + row) * size_t(p.width) + size_t(pl.x)) * size_t(bpp)]);
                where[refs[k].image][refs[k].layer] = pl;
            }
        }
    }
    set.setHasTexture(texture.pageCount() > 0);

    // Images in the order given (the caller gives them by index).
    for (size_t i = 0; i < images.size(); ++i) {
        CImage& image = set.addImage(images[i].index);
        for (size_t l = 0; l < images[i].layers.size(); ++l) {
            const DrawnLayer& src = images[i].layers[l];
            CImageLayer& layer = image.addLayer();
            layer.setMode(src.mode);
            CImageLayerData& d = layer.data();
            d.scale = 2.0;
            d.invScale = 0.5;
            d.width = int16_t(src.width);
            d.height = int16_t(src.height);
            d.originX = int16_t(src.originX);
            d.originY = int16_t(src.originY);
            std::copy_n(src.extra, 3, d.extra);
            d.advance = src.advance;
            d.bytesPerPixel = int16_t(src.bytesPerPixel);
            const Placement& pl = where[i][l];
            // An empty layer has no pixels: an inline rectangle of none.
            d.page = int16_t(src.width > 0 && src.height > 0 ? pl.page : -1);
            d.pageX = int16_t(pl.x);
            d.pageY = int16_t(pl.y);
            if (d.page < 0) d.width = d.height = 0;
        }
    }
    return set;
}
