#pragma once
// Stream interfaces. CInputStream and COutputStream each have one primitive
// (read / write of a byte count) plus typed little-endian helpers, UTF-8
// strings and compressed blocks built on it. Every operation returns an
// error record or 0.

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "Core/Error.h"
#include "Core/String.h"

KELSTR(CInputStream_readString_StringDataTooLong, "String length %1 too long in readString().");
KELSTR(CInputStream_readCompressedData_InvalidData,
       "Invalid ID encountered when reading compressed data (expected %1, read %2).");
KELSTR(CInputStream_readCompressedData_HeadCRC,
       "Invalid CRC encountered when reading compressed data (expected %1, read %2).");
KELSTR(CInputStream_readCompressedDataLZ4_InvalidData,
       "Invalid ID encountered when reading compressed data (expected %1, read %2).");
KELSTR(CInputStream_readCompressedDataLZ4_HeadCRC,
       "Invalid CRC encountered when reading compressed data (expected %1, read %2).");
KELSTR(CInputStream_readCompressedDataLZ4_InvalidData2, "Invalid uncompressed data (expected %1 bytes, read %2).");
KELSTR(COutputStream_writeCompressedData_TooLarge, "Data of %1 bytes too large for a compressed block.");

// Four ASCII letters in file order as the u32 read from a little-endian stream.
constexpr uint32_t kelFourCC(const char (&s)[5]) {
    return uint32_t(uint8_t(s[0])) | uint32_t(uint8_t(s[1])) << 8 | uint32_t(uint8_t(s[2])) << 16 |
           uint32_t(uint8_t(s[3])) << 24;
}

// Ids of the compressed blocks.
inline constexpr uint32_t kIdAprs = kelFourCC("aprs");
inline constexpr uint32_t kIdAbnk = kelFourCC("abnk");
inline constexpr uint32_t kIdAlst = kelFourCC("alst");
inline constexpr uint32_t kIdAdat = kelFourCC("adat");
inline constexpr uint32_t kIdDstr = kelFourCC("dstr");

// Longest string readString accepts, in bytes.
inline constexpr uint32_t kMaxStreamString = 61440;

class CInputStream {
public:
    virtual ~CInputStream() = default;

    // Reads exactly count bytes.
    virtual CError read(void* buffer, size_t count) = 0;
    // Skips count bytes (default: reads them into a scratch buffer).
    virtual CError skip(size_t count);
    // Returns a pointer to the next count bytes and advances past them. The
    // pointer stays valid until the next call on the stream. Memory readers
    // return their own data (no copy); others read into an internal buffer
    // that grows with the bytes actually read, so a bogus count read from
    // damaged data fails at the end of the stream without a huge allocation.
    virtual CError readStreamed(const uint8_t** data, size_t count);

    CError readU8(uint8_t* v);
    CError readU16(uint16_t* v);
    CError readU32(uint32_t* v);
    CError readU64(uint64_t* v);
    CError readI32(int32_t* v);
    CError readF32(float* v);
    CError readF64(double* v);
    // u32 byte count (at most kMaxStreamString) then UTF-8 bytes.
    CError readString(CString* s);

    // Compressed block: id, u32 size, u32 Adler-32 of the size bytes, zlib
    // stream. On failure the output is left empty. On success the stream
    // stands right after the zlib stream, so blocks may follow one another.
    CError readCompressedData(std::vector<uint8_t>* out, uint32_t expectedId);
    // LZ4 block: id, u32 size, u32 compressed size, u32 Adler-32 of those 8
    // bytes, one raw LZ4 block.
    CError readCompressedDataLZ4(std::vector<uint8_t>* out, uint32_t expectedId);

private:
    std::vector<uint8_t> m_streamBuf;
};

class COutputStream {
public:
    virtual ~COutputStream() = default;

    virtual CError write(const void* buffer, size_t count) = 0;

    CError writeU8(uint8_t v);
    CError writeU16(uint16_t v);
    CError writeU32(uint32_t v);
    CError writeU64(uint64_t v);
    CError writeI32(int32_t v);
    CError writeF32(float v);
    CError writeF64(double v);
    CError writeString(const CString& s);
    CError writeCompressedData(std::span<const uint8_t> data, uint32_t id);
};

// Streams with a 64-bit position and size.
KELSTR(CPosStream_getPositionInt32_Greater2GB, "The size of the stream is above allowed 2 GB.");
KELSTR(CPosStream_getSizeInt_Greater2GB, "The size of the stream is above allowed 2 GB.");

class CPosStream {
public:
    virtual ~CPosStream() = default;
    virtual CError getPosition(uint64_t* pos) = 0;
    virtual CError getSize(uint64_t* size) = 0;
    virtual CError setPosition(uint64_t pos) = 0;
    // 32-bit accessors; fail above 2 GB.
    CError getPositionInt32(uint32_t* pos);
    CError getSizeInt(uint32_t* size);
};

class CPosInputStream : public CInputStream, public CPosStream {};
class CPosOutputStream : public COutputStream, public CPosStream {};
