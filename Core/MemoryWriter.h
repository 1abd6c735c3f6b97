#pragma once
// CMemoryWriter: a growable output stream in memory (protocol messages are
// composed in one). Writing at a position inside the data overwrites it and
// extends the data when it runs past the end, so a length field can be
// patched after the body is written.

#include <span>
#include <vector>

#include "Core/Stream.h"

KELSTR(CMemoryWriter_setPosition_seek, "Positioning beyond memory stream end (newpos %1, size %2).");

class CMemoryWriter : public CPosOutputStream {
public:
    explicit CMemoryWriter(size_t capacity = 256) { m_data.reserve(capacity); }

    CError write(const void* buffer, size_t count) override;

    CError getPosition(uint64_t* pos) override {
        *pos = m_pos;
        return {};
    }
    CError getSize(uint64_t* size) override {
        *size = m_data.size();
        return {};
    }
    // Moves within the data written so far (at most to its end).
    CError setPosition(uint64_t pos) override;

    const uint8_t* data() const { return m_data.data(); }
    size_t size() const { return m_data.size(); }
    size_t capacity() const { return m_data.capacity(); }
    std::span<const uint8_t> bytes() const { return m_data; }
    // Hands the data over and leaves the writer empty.
    std::vector<uint8_t> take();
    // Empties the writer; the capacity stays.
    void clear() {
        m_data.clear();
        m_pos = 0;
    }

private:
    std::vector<uint8_t> m_data;
    size_t m_pos = 0;
};
