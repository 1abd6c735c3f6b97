#include "Core/Stream.h"

#include <algorithm>
#include <cstring>

// Typed helpers. Integers and floats are little-endian in every stream.

namespace {
template <class T>
T fromLE(const uint8_t* b) {
    using U = std::conditional_t<sizeof(T) == 1, uint8_t,
              std::conditional_t<sizeof(T) == 2, uint16_t, std::conditional_t<sizeof(T) == 4, uint32_t, uint64_t>>>;
    U u = 0;
    for (size_t i = 0; i < sizeof(T); ++i) u |= U(b[i]) << (8 * i);
    T t;
    std::memcpy(&t, &u, sizeof t);
    return t;
}

template <class T>
void toLE(T t, uint8_t* b) {
    using U = std::conditional_t<sizeof(T) == 1, uint8_t,
              std::conditional_t<sizeof(T) == 2, uint16_t, std::conditional_t<sizeof(T) == 4, uint32_t, uint64_t>>>;
    U u;
    std::memcpy(&u, &t, sizeof t);
    for (size_t i = 0; i < sizeof(T); ++i) b[i] = uint8_t(u >> (8 * i));
}

template <class T>
CError readLE(CInputStream& s, T* v) {
    uint8_t b[sizeof(T)];
    KEL_TRY(s.read(b, sizeof b));
    *v = fromLE<T>(b);
    return {};
}

template <class T>
CError writeLE(COutputStream& s, T v) {
    uint8_t b[sizeof(T)];
    toLE(v, b);
    KEL_TRY(s.write(b, sizeof b));
    return {};
}
}  // namespace

CError CInputStream::skip(size_t count) {
    uint8_t scratch[4096];
    while (count) {
        size_t n = count < sizeof scratch ? count : sizeof scratch;
        KEL_TRY(read(scratch, n));
        count -= n;
    }
    return {};
}

CError CInputStream::readStreamed(const uint8_t** data, size_t count) {
    size_t have = 0;
    m_streamBuf.clear();
    while (have < count) {
        const size_t step = std::min(count - have, std::max<size_t>(have, 65536));
        m_streamBuf.resize(have + step);
        KEL_TRY(read(m_streamBuf.data() + have, step));
        have += step;
    }
    *data = m_streamBuf.data();
    return {};
}

CError CInputStream::readU8(uint8_t* v) { return readLE(*this, v); }
CError CInputStream::readU16(uint16_t* v) { return readLE(*this, v); }
CError CInputStream::readU32(uint32_t* v) { return readLE(*this, v); }
CError CInputStream::readU64(uint64_t* v) { return readLE(*this, v); }
CError CInputStream::readI32(int32_t* v) { return readLE(*this, v); }
CError CInputStream::readF32(float* v) { return readLE(*this, v); }
CError CInputStream::readF64(double* v) { return readLE(*this, v); }

CError CInputStream::readString(CString* s) {
    uint32_t n = 0;
    KEL_TRY(readU32(&n));
    if (n > kMaxStreamString)
        return KEL_ERROR(kelstr_CInputStream_readString_StringDataTooLong, CString::number(int64_t(n)));
    const uint8_t* bytes = nullptr;
    KEL_TRY(readStreamed(&bytes, n));
    *s = CString(std::string_view(reinterpret_cast<const char*>(bytes), n));
    return {};
}

CError COutputStream::writeU8(uint8_t v) { return writeLE(*this, v); }
CError COutputStream::writeU16(uint16_t v) { return writeLE(*this, v); }
CError COutputStream::writeU32(uint32_t v) { return writeLE(*this, v); }
CError COutputStream::writeU64(uint64_t v) { return writeLE(*this, v); }
CError COutputStream::writeI32(int32_t v) { return writeLE(*this, v); }
CError COutputStream::writeF32(float v) { return writeLE(*this, v); }
CError COutputStream::writeF64(double v) { return writeLE(*this, v); }

CError COutputStream::writeString(const CString& s) {
    std::string u = s.utf8();
    KEL_TRY(writeU32(uint32_t(u.size())));
    KEL_TRY(write(u.data(), u.size()));
    return {};
}

CError CPosStream::getPositionInt32(uint32_t* pos) {
    uint64_t p = 0;
    KEL_TRY(getPosition(&p));
    if (p > 0x7FFFFFFFu) return KEL_ERROR(kelstr_CPosStream_getPositionInt32_Greater2GB);
    *pos = uint32_t(p);
    return {};
}

CError CPosStream::getSizeInt(uint32_t* size) {
    uint64_t p = 0;
    KEL_TRY(getSize(&p));
    if (p > 0x7FFFFFFFu) return KEL_ERROR(kelstr_CPosStream_getSizeInt_Greater2GB);
    *size = uint32_t(p);
    return {};
}
