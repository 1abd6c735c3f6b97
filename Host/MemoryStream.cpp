#include "Host/MemoryStream.h"

#include <algorithm>
#include <cstring>

#include "Host/Interfaces.h"

namespace sb = Steinberg;

namespace host {

sb::tresult PLUGIN_API CMemoryStream::queryInterface(const sb::TUID iid, void** obj) {
    return answerQuery<sb::IBStream>(this, iid, obj);
}

sb::tresult PLUGIN_API CMemoryStream::read(void* buffer, sb::int32 numBytes, sb::int32* numBytesRead) {
    if (numBytes < 0 || (numBytes > 0 && !buffer)) return sb::kInvalidArgument;
    const size_t n = std::min(size_t(numBytes), m_data.size() - std::min(m_pos, m_data.size()));
    if (n) std::memcpy(buffer, m_data.data() + m_pos, n);
    m_pos += n;
    if (numBytesRead) *numBytesRead = sb::int32(n);
    return sb::kResultOk;
}

sb::tresult PLUGIN_API CMemoryStream::write(void* buffer, sb::int32 numBytes, sb::int32* numBytesWritten) {
    if (numBytes < 0 || (numBytes > 0 && !buffer)) return sb::kInvalidArgument;
    if (m_pos + size_t(numBytes) > m_data.size()) m_data.resize(m_pos + size_t(numBytes));
    if (numBytes) std::memcpy(m_data.data() + m_pos, buffer, size_t(numBytes));
    m_pos += size_t(numBytes);
    if (numBytesWritten) *numBytesWritten = numBytes;
    return sb::kResultOk;
}

sb::tresult PLUGIN_API CMemoryStream::seek(sb::int64 pos, sb::int32 mode, sb::int64* result) {
    sb::int64 base = 0;
    if (mode == kIBSeekCur)
        base = sb::int64(m_pos);
    else if (mode == kIBSeekEnd)
        base = sb::int64(m_data.size());
    else if (mode != kIBSeekSet)
        return sb::kInvalidArgument;
    if (base + pos < 0) return sb::kInvalidArgument;
    m_pos = size_t(base + pos);  // past the end: a later write fills the gap with zeros
    if (result) *result = sb::int64(m_pos);
    return sb::kResultOk;
}

sb::tresult PLUGIN_API CMemoryStream::tell(sb::int64* pos) {
    if (!pos) return sb::kInvalidArgument;
    *pos = sb::int64(m_pos);
    return sb::kResultOk;
}

}  // namespace host
