#include "Core/MemoryWriter.h"

#include <cstring>
#include <utility>

CError CMemoryWriter::write(const void* buffer, size_t count) {
    if (!count) return {};
    if (m_pos + count > m_data.size()) m_data.resize(m_pos + count);
    std::memcpy(m_data.data() + m_pos, buffer, count);
    m_pos += count;
    return {};
}

CError CMemoryWriter::setPosition(uint64_t pos) {
    if (pos > m_data.size())
        return KEL_ERROR(kelstr_CMemoryWriter_setPosition_seek, CString::number(int64_t(pos)),
                         CString::number(int64_t(m_data.size())));
    m_pos = size_t(pos);
    return {};
}

std::vector<uint8_t> CMemoryWriter::take() {
    std::vector<uint8_t> out = std::exchange(m_data, {});
    m_pos = 0;
    return out;
}
