#pragma once
// Embedded resources: a static table of {datum, name} rows ending with a row
// whose datum is null. Each datum is a u32 little-endian length L followed by
// L bytes. The resource map (name -> bytes) is filled once at application
// start and read-only afterwards. CResourceReader opens a resource by name,
// falling back to a file of that name, except for the graphics resources
// (fonts and image sets), which are only ever embedded.

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "Core/Error.h"
#include "Core/MemoryReader.h"
#include "Core/String.h"

KELSTR(CResourceReader_open_NotEmbedded, "Resource '%1' is not embedded.");

// Names under this folder are embedded resources only (no file fall-back).
inline constexpr char kEmbeddedOnlyPrefix[] = "../../../Gfx/";

struct KelResourceRow {
    const uint8_t* data;
    const char* name;
};

// The table generated from Definitions/ (linked from the resources library).
extern "C" const KelResourceRow g_kelResourceTable[];

namespace ResourceMap {
// Fills the map from a table, in table order (the application does this at start).
void fill(const KelResourceRow* table);
void clear();
// The L bytes of a resource, or an empty span when the name is not in the map.
std::span<const uint8_t> find(const CString& name);
bool contains(const CString& name);
size_t size();
// Every name of the map, in order.
std::vector<CString> names();
}  // namespace ResourceMap

class CResourceReader {
public:
    CResourceReader();
    ~CResourceReader();

    // Opens a resource of the map, or else the file of that name. A previously
    // open resource is released first.
    CError open(const CString& name);
    void close();

    // The open stream (valid after a successful open).
    CInputStream& stream();
    // When the resource is embedded: its bytes (no copy); empty otherwise.
    std::span<const uint8_t> embeddedData() const { return m_embedded; }
    bool isEmbedded() const { return !m_embedded.empty() || m_isEmbedded; }
    // Reads the whole remaining content (for file-backed resources).
    CError readAll(std::vector<uint8_t>* out);

private:
    std::span<const uint8_t> m_embedded;
    bool m_isEmbedded = false;
    CMemoryReaderStatic m_memory;
    std::unique_ptr<CPosInputStream> m_file;
};
