// Image sets: reading and writing the stored layout, field by field.
#include "Other/ImageSet.h"

#include <lz4.h>
#include <zlib.h>

#include <algorithm>
#include <cstring>

#include "Core/MemoryWriter.h"
#include "Other/ImageDraw.h"

namespace {
CString num(int64_t v) { return CString::number(v); }

CError readI16(CInputStream& in, int16_t* v) {
    uint16_t u = 0;
    KEL_TRY(in.readU16(&u));
    *v = int16_t(u);
    return {};
}

CError writeI16(COutputStream& out, int16_t v) { return out.writeU16(uint16_t(v)); }

// Group names are kept as the bytes stored, so that they are written back unchanged.
CError readRawString(CInputStream& in, std::string* s) {
    uint32_t n = 0;
    KEL_TRY(in.readU32(&n));
    if (n > kMaxStreamString) return KEL_ERROR(kelstr_CImageSet_load_NameLength, num(n));
    const uint8_t* p = nullptr;
    KEL_TRY(in.readStreamed(&p, n));
    s->assign(reinterpret_cast<const char*>(p), n);
    return {};
}

CError writeRawString(COutputStream& out, const std::string& s) {
    KEL_TRY(out.writeU32(uint32_t(s.size())));
    KEL_TRY(out.write(s.data(), s.size()));
    return {};
}

void putLE32(uint8_t* b, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[i] = uint8_t(v >> (8 * i));
}

// One LZ4 block with the header the stream reader expects (id 0 for pages).
CError writeLZ4Block(COutputStream& out, std::span<const uint8_t> data) {
    std::vector<char> packed(size_t(LZ4_compressBound(int(data.size()))));
    const int c = LZ4_compress_default(reinterpret_cast<const char*>(data.data()), packed.data(), int(data.size()),
                                       int(packed.size()));
    uint8_t head[16];
    putLE32(head, 0);
    putLE32(head + 4, uint32_t(data.size()));
    putLE32(head + 8, uint32_t(c));
    putLE32(head + 12, uint32_t(adler32(adler32(0L, Z_NULL, 0), head + 4, 8)));
    KEL_TRY(out.write(head, sizeof head));
    KEL_TRY(out.write(packed.data(), size_t(c)));
    return {};
}

// Largest page we accept: 4096 x 4096 full-colour pixels.
constexpr int64_t kMaxPageBytes = int64_t(4096) * 4096 * 4;

bool knownFormat(int16_t bpp) { return bpp == 1 || bpp == 2 || bpp == 4; }
}  // namespace

// --- Layer data ---------------------------------------------------------------------------------

CError CImageLayerData::load(CInputStream& in, bool inPlace) {
    KEL_TRY(in.readF64(&scale));
    invScale = scale != 0.0 ? 1.0 / scale : 0.0;
    KEL_TRY(readI16(in, &width));
    KEL_TRY(readI16(in, &height));
    KEL_TRY(readI16(in, &originX));
    KEL_TRY(readI16(in, &originY));
    for (int16_t& e : extra) KEL_TRY(readI16(in, &e));
    KEL_TRY(in.readF64(&advance));
    KEL_TRY(readI16(in, &bytesPerPixel));
    KEL_TRY(readI16(in, &page));
    if (width < 0 || height < 0) return KEL_ERROR(kelstr_CImageLayerData_load_Size, num(width), num(height));
    if (!knownFormat(bytesPerPixel)) return KEL_ERROR(kelstr_CImageLayerData_load_PixelFormat, num(bytesPerPixel));
    if (page >= 0) {
        KEL_TRY(readI16(in, &pageX));
        KEL_TRY(readI16(in, &pageY));
        return {};
    }
    uint32_t length = 0;
    KEL_TRY(in.readU32(&length));
    const uint64_t expected = uint64_t(width) * uint64_t(height) * uint64_t(bytesPerPixel);
    if (length != expected) return KEL_ERROR(kelstr_CImageLayerData_load_InlineLength, num(length), num(int64_t(expected)));
    const uint8_t* p = nullptr;
    KEL_TRY(in.readStreamed(&p, length));
    if (inPlace) {
        inlinePixels = std::span<const uint8_t>(p, length);
    } else {
        inlineCopy.assign(p, p + length);
        inlinePixels = inlineCopy;
    }
    return {};
}

CError CImageLayerData::save(COutputStream& out) const {
    KEL_TRY(out.writeF64(scale));
    for (int16_t v : {width, height, originX, originY, extra[0], extra[1], extra[2]}) KEL_TRY(writeI16(out, v));
    KEL_TRY(out.writeF64(advance));
    KEL_TRY(writeI16(out, bytesPerPixel));
    KEL_TRY(writeI16(out, page));
    if (page >= 0) {
        KEL_TRY(writeI16(out, pageX));
        KEL_TRY(writeI16(out, pageY));
    } else {
        KEL_TRY(out.writeU32(uint32_t(inlinePixels.size())));
        KEL_TRY(out.write(inlinePixels.data(), inlinePixels.size()));
    }
    return {};
}

CError CImageLayerData::skip(CInputStream& in) {
    KEL_TRY(in.skip(32));
    int16_t page = 0;
    KEL_TRY(readI16(in, &page));
    if (page >= 0) return in.skip(4);
    uint32_t length = 0;
    KEL_TRY(in.readU32(&length));
    KEL_TRY(in.skip(length));
    return {};
}

// --- Layer, image ---------------------------------------------------------------------------------

CImageLayer::CImageLayer() = default;
CImageLayer::~CImageLayer() { kelReleaseScaledLayers(&m_scaled); }

CError CImageLayer::load(CInputStream& in, bool inPlace) {
    KEL_TRY(readI16(in, &m_mode));
    KEL_TRY(readI16(in, &m_variantCount));
    if (m_variantCount < 1) return KEL_ERROR(kelstr_CImageLayer_load_VariantCount, num(m_variantCount));
    m_keys.resize(size_t(m_variantCount) * 8);
    KEL_TRY(in.read(m_keys.data(), m_keys.size()));
    KEL_TRY(m_data.load(in, inPlace));
    // Further variants are skipped; their bytes are kept for writing back.
    m_otherVariants.clear();
    for (int16_t k = 1; k < m_variantCount; ++k) {
        CImageLayerData skipped;
        KEL_TRY(skipped.load(in, false));
        CMemoryWriter w;
        KEL_TRY(skipped.save(w));
        m_otherVariants.insert(m_otherVariants.end(), w.bytes().begin(), w.bytes().end());
    }
    return {};
}

CError CImageLayer::save(COutputStream& out) const {
    KEL_TRY(writeI16(out, m_mode));
    KEL_TRY(writeI16(out, m_variantCount));
    if (m_keys.size() == size_t(m_variantCount) * 8) {
        KEL_TRY(out.write(m_keys.data(), m_keys.size()));
    } else {
        for (int16_t k = 0; k < m_variantCount; ++k) KEL_TRY(out.writeF64(m_data.scale));
    }
    KEL_TRY(m_data.save(out));
    KEL_TRY(out.write(m_otherVariants.data(), m_otherVariants.size()));
    return {};
}

CImageLayer::Pixels CImageLayer::pixels(const CImageTexture& texture) const {
    const CImageLayerData& d = m_data;
    if (d.page < 0) return {d.inlinePixels.data(), size_t(d.width) * size_t(d.bytesPerPixel)};
    const CImageTexture::Page& p = texture.page(size_t(d.page));
    const size_t stride = size_t(p.width) * size_t(p.bytesPerPixel);
    return {p.pixels.data() + size_t(d.pageY) * stride + size_t(d.pageX) * size_t(p.bytesPerPixel), stride};
}

CError CImage::load(CInputStream& in, bool inPlace) {
    int16_t count = 0;
    KEL_TRY(readI16(in, &count));
    if (count < 0) return KEL_ERROR(kelstr_CImage_load_LayerCount, num(count));
    for (int16_t i = 0; i < count; ++i) KEL_TRY(addLayer().load(in, inPlace));
    return {};
}

CError CImage::save(COutputStream& out) const {
    KEL_TRY(writeI16(out, int16_t(m_layers.size())));
    for (const auto& l : m_layers) KEL_TRY(l->save(out));
    return {};
}

CImageLayer& CImage::addLayer() { return *m_layers.emplace_back(std::make_unique<CImageLayer>()); }

// --- Texture ---------------------------------------------------------------------------------

CError CImageTexture::load(CInputStream& in) {
    int16_t count = 0;
    KEL_TRY(readI16(in, &count));
    if (count < 0) return KEL_ERROR(kelstr_CImageTexture_load_PageCount, num(count));
    for (int16_t i = 0; i < count; ++i) {
        Page& p = addPage();
        KEL_TRY(in.readF64(&p.scale));
        KEL_TRY(readI16(in, &p.width));
        KEL_TRY(readI16(in, &p.height));
        KEL_TRY(readI16(in, &p.bytesPerPixel));
        if (!knownFormat(p.bytesPerPixel))
            return KEL_ERROR(kelstr_CImageTexture_load_PixelFormat, num(p.bytesPerPixel), num(i));
        const int64_t bytes = int64_t(p.width) * p.height * p.bytesPerPixel;
        if (p.width < 0 || p.height < 0 || bytes > kMaxPageBytes)
            return KEL_ERROR(kelstr_CImageTexture_load_PageSize, num(p.width), num(p.height), num(i));
        KEL_TRY(in.readCompressedDataLZ4(&p.pixels, 0));
        if (int64_t(p.pixels.size()) != bytes)
            return KEL_ERROR(kelstr_CInputStream_readCompressedDataLZ4_InvalidData2, num(bytes),
                             num(int64_t(p.pixels.size())));
    }
    return {};
}

CError CImageTexture::save(COutputStream& out) const {
    KEL_TRY(writeI16(out, int16_t(m_pages.size())));
    for (const Page& p : m_pages) {
        KEL_TRY(out.writeF64(p.scale));
        KEL_TRY(writeI16(out, p.width));
        KEL_TRY(writeI16(out, p.height));
        KEL_TRY(writeI16(out, p.bytesPerPixel));
        KEL_TRY(writeLZ4Block(out, p.pixels));
    }
    return {};
}

// --- Set ---------------------------------------------------------------------------------

CImageSet::CImageSet() = default;
CImageSet::~CImageSet() = default;
CImageSet::CImageSet(CImageSet&&) noexcept = default;
CImageSet& CImageSet::operator=(CImageSet&&) noexcept = default;

void CImageSet::clear() { *this = CImageSet(); }

CError CImageSet::load(CInputStream& in, bool inPlace) {
    clear();
    if (CError e = loadBody(in, inPlace)) {
        clear();
        return KEL_PASS(e);
    }
    return {};
}

CError CImageSet::loadBody(CInputStream& in, bool inPlace) {
    KEL_TRY(in.readU32(&m_version));
    if (m_version != kVersion) return {};  // another version: an empty set
    uint32_t nameCount = 0;
    KEL_TRY(in.readU32(&nameCount));
    for (uint32_t i = 0; i < nameCount; ++i) {
        Group g;
        KEL_TRY(readRawString(in, &g.name));
        KEL_TRY(in.readI32(&g.first));
        KEL_TRY(in.readI32(&g.last));
        m_groupIndex.emplace(g.name, m_groups.size());  // the first of equal names wins
        m_groups.push_back(std::move(g));
    }
    uint16_t flag = 0;
    KEL_TRY(in.readU16(&flag));
    m_hasTexture = flag != 0;
    if (m_hasTexture) KEL_TRY(m_texture.load(in));
    uint32_t imageCount = 0;
    KEL_TRY(in.readU32(&imageCount));
    for (uint32_t i = 0; i < imageCount; ++i) {
        uint32_t index = 0;
        KEL_TRY(in.readU32(&index));
        if (index > kMaxImageIndex) return KEL_ERROR(kelstr_CImageSet_load_ImageIndex, num(index));
        auto image = std::make_unique<CImage>();
        KEL_TRY(image->load(in, inPlace));
        if (index >= m_images.size()) m_images.resize(size_t(index) + 1);
        m_images[index] = std::move(image);
        m_order.push_back(index);
    }
    KEL_TRY(checkLayers());
    return {};
}

// Every layer's rectangle lies inside its page, in the page's pixel format.
CError CImageSet::checkLayers() const {
    for (const auto& image : m_images) {
        if (!image) continue;
        for (size_t l = 0; l < image->layerCount(); ++l) {
            const CImageLayerData& d = image->layer(l).data();
            if (d.page < 0) continue;
            if (size_t(d.page) >= m_texture.pageCount())
                return KEL_ERROR(kelstr_CImageLayerData_load_Page, num(d.page), num(int64_t(m_texture.pageCount())));
            const CImageTexture::Page& p = m_texture.page(size_t(d.page));
            if (p.bytesPerPixel != d.bytesPerPixel)
                return KEL_ERROR(kelstr_CImageLayerData_load_PageFormat, num(d.bytesPerPixel), num(d.page),
                                 num(p.bytesPerPixel));
            if (d.pageX < 0 || d.pageY < 0 || d.pageX + d.width > p.width || d.pageY + d.height > p.height)
                return KEL_ERROR(kelstr_CImageLayerData_load_Rect, num(d.pageX), num(d.pageY), num(d.width),
                                 num(d.height), num(d.page), num(p.width), num(p.height));
        }
    }
    return {};
}

CError CImageSet::save(COutputStream& out) const {
    KEL_TRY(out.writeU32(m_version));
    if (m_version != kVersion) return {};
    KEL_TRY(out.writeU32(uint32_t(m_groups.size())));
    for (const Group& g : m_groups) {
        KEL_TRY(writeRawString(out, g.name));
        KEL_TRY(out.writeI32(g.first));
        KEL_TRY(out.writeI32(g.last));
    }
    KEL_TRY(out.writeU16(m_hasTexture ? 1 : 0));
    if (m_hasTexture) KEL_TRY(m_texture.save(out));
    KEL_TRY(out.writeU32(uint32_t(m_order.size())));
    for (uint32_t index : m_order) {
        KEL_TRY(out.writeU32(index));
        KEL_TRY(m_images[index]->save(out));
    }
    return {};
}

const CImageSet::Group* CImageSet::findGroup(std::string_view name) const {
    auto it = m_groupIndex.find(name);
    return it == m_groupIndex.end() ? nullptr : &m_groups[it->second];
}

void CImageSet::addGroup(std::string name, int32_t first, int32_t last) {
    Group g{std::move(name), first, last};
    auto pos = std::lower_bound(m_groups.begin(), m_groups.end(), g,
                                [](const Group& a, const Group& b) { return a.name < b.name; });
    m_groups.insert(pos, std::move(g));
    m_groupIndex.clear();
    for (size_t i = 0; i < m_groups.size(); ++i) m_groupIndex.emplace(m_groups[i].name, i);
}

CImage& CImageSet::addImage(uint32_t index) {
    if (index >= m_images.size()) m_images.resize(size_t(index) + 1);
    if (!m_images[index]) m_order.push_back(index);
    m_images[index] = std::make_unique<CImage>();
    return *m_images[index];
}
