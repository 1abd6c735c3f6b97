#include "Audio/VST/StreamVST.h"

#include <algorithm>
#include <cstring>

namespace {
// IBStream counts bytes in int32: large transfers go in pieces.
constexpr size_t kPiece = size_t(1) << 30;
}  // namespace

CError CInputStreamVST::read(void* buffer, size_t count) {
    auto* p = static_cast<uint8_t*>(buffer);
    std::memset(p, 0, count);
    while (count > 0 && m_stream) {
        const size_t n = std::min(count, kPiece);
        m_stream->read(p, Steinberg::int32(n), nullptr);
        p += n;
        count -= n;
    }
    return {};
}

CError COutputStreamVST::write(const void* buffer, size_t count) {
    const auto* p = static_cast<const uint8_t*>(buffer);
    while (count > 0 && m_stream) {
        const size_t n = std::min(count, kPiece);
        m_stream->write(const_cast<uint8_t*>(p), Steinberg::int32(n), nullptr);
        p += n;
        count -= n;
    }
    return {};
}
