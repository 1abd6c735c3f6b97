#include "Core/Resources.h"

#include <map>

#include "Core/FileStream.h"

namespace {
std::map<CString, std::span<const uint8_t>>& resourceMap() {
    static std::map<CString, std::span<const uint8_t>> m;
    return m;
}
}  // namespace

namespace ResourceMap {

void fill(const KelResourceRow* table) {
    auto& m = resourceMap();
    for (const KelResourceRow* r = table; r && r->data; ++r) {
        uint32_t len = uint32_t(r->data[0]) | uint32_t(r->data[1]) << 8 | uint32_t(r->data[2]) << 16 |
                       uint32_t(r->data[3]) << 24;
        m[CString(r->name)] = std::span<const uint8_t>(r->data + 4, len);
    }
}

void clear() { resourceMap().clear(); }

std::span<const uint8_t> find(const CString& name) {
    auto it = resourceMap().find(name);
    return it == resourceMap().end() ? std::span<const uint8_t>() : it->second;
}

bool contains(const CString& name) { return resourceMap().count(name) != 0; }
size_t size() { return resourceMap().size(); }

std::vector<CString> names() {
    std::vector<CString> out;
    for (const auto& [name, bytes] : resourceMap()) out.push_back(name);
    return out;
}

}  // namespace ResourceMap

CResourceReader::CResourceReader() = default;
CResourceReader::~CResourceReader() { close(); }

void CResourceReader::close() {
    m_file.reset();
    m_embedded = {};
    m_isEmbedded = false;
    m_memory.open(nullptr, 0);
}

CError CResourceReader::open(const CString& name) {
    close();
    if (ResourceMap::contains(name)) {
        m_embedded = ResourceMap::find(name);
        m_isEmbedded = true;
        m_memory.open(m_embedded.data(), m_embedded.size());
        return {};
    }
    // Fonts and image sets are always embedded: their names must never reach
    // the file system, where they would be relative to the host's folder.
    if (name.utf8().rfind(kEmbeddedOnlyPrefix, 0) == 0) return KEL_ERROR(kelstr_CResourceReader_open_NotEmbedded, name);
    auto file = std::make_unique<CFileReader>();
    KEL_TRY(file->open(name));
    m_file = std::move(file);
    return {};
}

CInputStream& CResourceReader::stream() {
    if (m_file) return *m_file;
    return m_memory;
}

CError CResourceReader::readAll(std::vector<uint8_t>* out) {
    out->clear();
    if (!m_file) {
        out->assign(m_embedded.begin() + std::ptrdiff_t(m_memory.position()), m_embedded.end());
        return {};
    }
    uint64_t size = 0, pos = 0;
    KEL_TRY(m_file->getSize(&size));
    KEL_TRY(m_file->getPosition(&pos));
    if (size < pos) size = pos;
    out->resize(size_t(size - pos));
    KEL_TRY(m_file->read(out->data(), out->size()));
    return {};
}
