#pragma once
// Image sets: named groups of images; each image is a stack of layers whose
// pixels lie in packed texture pages (LZ4 blocks) or inline in the stream.
// Fonts are image sets whose images are glyphs (Other/Font.h).
//
// Stream layout (little-endian): u32 version (1; any other value is an empty
// set), u32 group count and {string name, i32 first, i32 last} per group
// sorted by name, u16 texture flag and the texture block, u32 image count and
// {u32 index, image} per image. An image is an i16 layer count and its
// layers; a layer is i16 mode, i16 variant count K, K 8-byte keys and K layer
// data records of which the first is kept. CImageSet::save writes the same
// layout field by field, so a set read and written again is byte-identical.

#include <cstdint>
#include <map>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "Core/Error.h"
#include "Core/Stream.h"

KELSTR(CImageTexture_load_PixelFormat, "Unknown pixel format (%1 bytes per pixel) of texture page %2.");
KELSTR(CImageTexture_load_PageSize, "Invalid size %1 x %2 of texture page %3.");
KELSTR(CImageTexture_load_PageCount, "Invalid texture page count %1.");
KELSTR(CImageLayerData_load_Size, "Invalid layer size %1 x %2.");
KELSTR(CImageLayerData_load_PixelFormat, "Unknown pixel format (%1 bytes per pixel) of a layer.");
KELSTR(CImageLayerData_load_Page, "Layer refers to texture page %1 of %2.");
KELSTR(CImageLayerData_load_Rect, "Layer rectangle %1,%2 %3 x %4 lies outside texture page %5 (%6 x %7).");
KELSTR(CImageLayerData_load_PageFormat, "Layer of %1 bytes per pixel on texture page %2 of %3 bytes per pixel.");
KELSTR(CImageLayerData_load_InlineLength, "Inline layer pixels of %1 bytes, expected %2.");
KELSTR(CImageLayer_load_VariantCount, "Invalid layer variant count %1.");
KELSTR(CImage_load_LayerCount, "Invalid layer count %1.");
KELSTR(CImageSet_load_ImageIndex, "Image index %1 out of range.");
KELSTR(CImageSet_load_NameLength, "Group name length %1 too long.");

class CImageTexture;

// One stored variant of a layer: its rectangle, metrics and where its pixels
// lie. All lengths are in pixels of the authoring scale.
struct CImageLayerData {
    double scale = 2.0;
    double invScale = 0.5;
    int16_t width = 0, height = 0;
    int16_t originX = 0, originY = 0;  // rectangle offset from the image's anchor
    int16_t extra[3] = {0, 0, 0};      // kept and written back
    double advance = 0.0;              // glyphs: horizontal advance
    int16_t bytesPerPixel = 2;
    int16_t page = -1;                 // >= 0: texture page; else inline pixels
    int16_t pageX = 0, pageY = 0;
    // Inline pixels (page < 0): in place when the set was read from memory,
    // else held by m_inlineCopy.
    std::span<const uint8_t> inlinePixels;
    std::vector<uint8_t> inlineCopy;

    // Reads one record; pages are checked by CImageSet once the texture is known.
    CError load(CInputStream& in, bool inPlace);
    CError save(COutputStream& out) const;
    static CError skip(CInputStream& in);
};

struct CScaledLayer;

class CImageLayer {
public:
    CImageLayer();
    ~CImageLayer();
    CImageLayer(const CImageLayer&) = delete;
    CImageLayer& operator=(const CImageLayer&) = delete;

    CError load(CInputStream& in, bool inPlace);
    CError save(COutputStream& out) const;

    int16_t mode() const { return m_mode; }
    void setMode(int16_t mode) { m_mode = mode; }
    const CImageLayerData& data() const { return m_data; }
    CImageLayerData& data() { return m_data; }

    // The pixels of the stored rectangle, rows top-down, row stride in bytes.
    struct Pixels {
        const uint8_t* first = nullptr;
        size_t stride = 0;
    };
    Pixels pixels(const CImageTexture& texture) const;

    // The layer resampled for a display scale (scale / authoring scale of
    // its stored size), computed once per scale and kept (Other/ImageDraw).
    const CScaledLayer* scaled(const CImageTexture& texture, double displayScale) const;

private:
    friend class CImageSet;
    int16_t m_mode = 0;
    int16_t m_variantCount = 1;
    std::vector<uint8_t> m_keys;           // K 8-byte keys as stored
    CImageLayerData m_data;
    std::vector<uint8_t> m_otherVariants;  // raw bytes of variants 2..K
    mutable struct CScaledRecord* m_scaled = nullptr;  // list guarded by the cache lock
};

class CImage {
public:
    CError load(CInputStream& in, bool inPlace);
    CError save(COutputStream& out) const;

    size_t layerCount() const { return m_layers.size(); }
    const CImageLayer& layer(size_t i) const { return *m_layers[i]; }
    CImageLayer& addLayer();

private:
    std::vector<std::unique_ptr<CImageLayer>> m_layers;
};

// The packed pixel pages of a set.
class CImageTexture {
public:
    struct Page {
        double scale = 2.0;
        int16_t width = 0, height = 0, bytesPerPixel = 2;
        std::vector<uint8_t> pixels;  // width * height * bytesPerPixel, rows top-down
    };

    CError load(CInputStream& in);
    CError save(COutputStream& out) const;

    size_t pageCount() const { return m_pages.size(); }
    const Page& page(size_t i) const { return m_pages[i]; }
    Page& addPage() { return m_pages.emplace_back(); }

private:
    std::vector<Page> m_pages;
};

class CImageSet {
public:
    struct Group {
        std::string name;
        int32_t first = 0, last = -1;
    };
    static constexpr uint32_t kVersion = 1;
    // Highest image index a set may hold (the last Unicode code point).
    static constexpr uint32_t kMaxImageIndex = 0x10FFFF;

    CImageSet();
    ~CImageSet();
    CImageSet(CImageSet&&) noexcept;
    CImageSet& operator=(CImageSet&&) noexcept;

    // Reads a set. On failure the set is left empty. With inPlace the
    // stream's bytes outlive the set (embedded data) and inline pixels are
    // referenced rather than copied.
    CError load(CInputStream& in, bool inPlace = false);
    CError save(COutputStream& out) const;
    void clear();

    bool empty() const { return m_images.empty() && m_groups.empty(); }
    uint32_t version() const { return m_version; }

    // Groups in stored order, and lookup by name (nullptr when unknown).
    std::span<const Group> groups() const { return m_groups; }
    const Group* findGroup(std::string_view name) const;

    // The image of an index (nullptr for holes and indices past the table).
    const CImage* image(size_t index) const {
        return index < m_images.size() ? m_images[index].get() : nullptr;
    }
    size_t imageTableSize() const { return m_images.size(); }
    size_t imageCount() const { return m_order.size(); }
    const CImageTexture& texture() const { return m_texture; }
    bool hasTexture() const { return m_hasTexture; }

    // Building (the asset tools): groups are stored sorted by name.
    void addGroup(std::string name, int32_t first, int32_t last);
    CImage& addImage(uint32_t index);
    CImageTexture& texture() { return m_texture; }
    void setHasTexture(bool v) { m_hasTexture = v; }

private:
    CError loadBody(CInputStream& in, bool inPlace);
    CError checkLayers() const;

    uint32_t m_version = kVersion;
    std::vector<Group> m_groups;
    std::map<std::string, size_t, std::less<>> m_groupIndex;
    bool m_hasTexture = false;
    CImageTexture m_texture;
    std::vector<std::unique_ptr<CImage>> m_images;
    std::vector<uint32_t> m_order;  // indices in stored order
};
