#include "Core/MemoryReader.h"

#include <cstring>

namespace {
CString num(uint64_t v) { return CString::number(int64_t(v)); }
}  // namespace

CError CMemoryReader::read(void* buffer, size_t count) {
    if (count > m_size - m_pos)
        return KEL_ERROR(kelstr_CMemoryReader_read_EOF, num(m_pos), num(count), num(m_size));
    if (count) std::memcpy(buffer, m_data + m_pos, count);
    m_pos += count;
    return {};
}

CError CMemoryReader::skip(size_t count) {
    if (count > m_size - m_pos)
        return KEL_ERROR(kelstr_CMemoryReader_skip_EOF, num(m_pos), num(count), num(m_size));
    m_pos += count;
    return {};
}

CError CMemoryReader::readStreamed(const uint8_t** data, size_t count) {
    if (count > m_size - m_pos)
        return KEL_ERROR(kelstr_CMemoryReader_read_EOF, num(m_pos), num(count), num(m_size));
    *data = m_data + m_pos;
    m_pos += count;
    return {};
}

CError CMemoryReader::setPosition(uint64_t pos) {
    if (pos > m_size) return KEL_ERROR(kelstr_CMemoryReader_setPosition_seek, num(pos), num(m_size));
    m_pos = size_t(pos);
    return {};
}
