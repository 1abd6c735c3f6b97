#pragma once
// CMemoryReader: an input stream over bytes in memory (not copied; the bytes
// must outlive the reader). CMemoryReaderStatic names its use for static data.

#include "Core/Stream.h"

KELSTR(CMemoryReader_skip_EOF, "Premature end of memory resource while skipping (pos %1, count %2, size %3).");
KELSTR(CMemoryReader_read_EOF, "Premature end of memory resource while reading (pos %1, count %2, size %3).");
KELSTR(CMemoryReader_setPosition_seek, "Positioning beyond memory resource end (newpos %1, size %2).");

class CMemoryReader : public CPosInputStream {
public:
    CMemoryReader() = default;
    CMemoryReader(const void* data, size_t size) { open(data, size); }

    void open(const void* data, size_t size) {
        m_data = static_cast<const uint8_t*>(data);
        m_size = size;
        m_pos = 0;
    }

    CError read(void* buffer, size_t count) override;
    CError skip(size_t count) override;
    CError readStreamed(const uint8_t** data, size_t count) override;

    CError getPosition(uint64_t* pos) override {
        *pos = m_pos;
        return {};
    }
    CError getSize(uint64_t* size) override {
        *size = m_size;
        return {};
    }
    CError setPosition(uint64_t pos) override;

    size_t position() const { return m_pos; }
    size_t size() const { return m_size; }
    size_t remaining() const { return m_size - m_pos; }
    const uint8_t* data() const { return m_data; }

private:
    const uint8_t* m_data = nullptr;
    size_t m_size = 0;
    size_t m_pos = 0;
};

class CMemoryReaderStatic : public CMemoryReader {
public:
    using CMemoryReader::CMemoryReader;
};
