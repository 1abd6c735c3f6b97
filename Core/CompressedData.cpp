// Compressed blocks: a 12-byte header (id, uncompressed size, Adler-32 of the
// four size bytes) and a zlib stream; and LZ4 blocks with a 16-byte header.
#include <lz4.h>
#include <zlib.h>

#include <cstring>

#include "Core/Stream.h"

KELSTR(CInputZipStream_read_EOF, "Premature end of file.");
KELSTR(CInputZipStream_read_inflate, "zlib inflate error %1 (%2).");
KELSTR(COutputZipStream_write_deflate, "zlib deflate error %1 (%2).");

namespace {
CString num(uint64_t v) { return CString::number(int64_t(v)); }

uint32_t adlerOf(const void* bytes, size_t n) {
    return uint32_t(adler32(adler32(0L, Z_NULL, 0), static_cast<const Bytef*>(bytes), uInt(n)));
}

void putLE32(uint8_t* b, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[i] = uint8_t(v >> (8 * i));
}
}  // namespace

CError CInputStream::readCompressedData(std::vector<uint8_t>* out, uint32_t expectedId) {
    out->clear();
    uint32_t id = 0, size = 0, check = 0;
    KEL_TRY(readU32(&id));
    if (id != expectedId)
        return KEL_ERROR(kelstr_CInputStream_readCompressedData_InvalidData, num(expectedId), num(id));
    KEL_TRY(readU32(&size));
    KEL_TRY(readU32(&check));
    uint8_t sizeBytes[4];
    putLE32(sizeBytes, size);
    const uint32_t expectedCheck = adlerOf(sizeBytes, 4);
    if (check != expectedCheck)
        return KEL_ERROR(kelstr_CInputStream_readCompressedData_HeadCRC, num(expectedCheck), num(check));
    std::vector<uint8_t> data(size);
    uint8_t emptyOut = 0;  // an empty block still carries a zlib stream to read through
    z_stream zs{};
    inflateInit(&zs);
    zs.next_out = size ? data.data() : &emptyOut;
    zs.avail_out = size ? size : 1;
    uint8_t in[32768];
    int rc = Z_OK;
    // Feed the source byte-exactly: never read beyond the end of the zlib stream.
    while (rc != Z_STREAM_END) {
        if (zs.avail_in == 0) {
            if (CError e = read(in, 1)) {
                inflateEnd(&zs);
                return KEL_ERROR(kelstr_CInputZipStream_read_EOF);
            }
            zs.next_in = in;
            zs.avail_in = 1;
        }
        rc = inflate(&zs, Z_NO_FLUSH);
        if (rc != Z_OK && rc != Z_STREAM_END) {
            CString msg(zs.msg ? zs.msg : "");
            inflateEnd(&zs);
            return KEL_ERROR(kelstr_CInputZipStream_read_inflate, CString::number(int64_t(rc)), msg);
        }
        if (zs.avail_out == 0 && rc != Z_STREAM_END && zs.avail_in == 0) {
            // Output full: the stream must end now.
            uint8_t probe;
            if (CError e = read(&probe, 1)) {
                inflateEnd(&zs);
                return KEL_ERROR(kelstr_CInputZipStream_read_EOF);
            }
            zs.next_in = &probe;
            zs.avail_in = 1;
            uint8_t sink;
            zs.next_out = &sink;
            zs.avail_out = 1;
            rc = inflate(&zs, Z_NO_FLUSH);
            if (rc != Z_STREAM_END || zs.avail_out == 0) {
                inflateEnd(&zs);
                return KEL_ERROR(kelstr_CInputZipStream_read_inflate, CString::number(int64_t(Z_DATA_ERROR)),
                                 CString("data longer than declared"));
            }
        }
    }
    inflateEnd(&zs);
    if (zs.total_out != size) return KEL_ERROR(kelstr_CInputZipStream_read_EOF);
    *out = std::move(data);
    return {};
}

CError COutputStream::writeCompressedData(std::span<const uint8_t> data, uint32_t id) {
    uint8_t head[12];
    putLE32(head, id);
    putLE32(head + 4, uint32_t(data.size()));
    putLE32(head + 8, adlerOf(head + 4, 4));
    KEL_TRY(write(head, sizeof head));
    z_stream zs{};
    deflateInit(&zs, Z_DEFAULT_COMPRESSION);
    zs.next_in = const_cast<Bytef*>(data.data());
    zs.avail_in = uInt(data.size());
    uint8_t buf[32768];
    int rc;
    do {
        zs.next_out = buf;
        zs.avail_out = sizeof buf;
        rc = deflate(&zs, Z_FINISH);
        if (rc == Z_STREAM_ERROR) {
            deflateEnd(&zs);
            return KEL_ERROR(kelstr_COutputZipStream_write_deflate, CString::number(int64_t(rc)), CString(""));
        }
        if (CError e = write(buf, sizeof buf - zs.avail_out)) {
            deflateEnd(&zs);
            return KEL_PASS(e);
        }
    } while (rc != Z_STREAM_END);
    deflateEnd(&zs);
    return {};
}

CError CInputStream::readCompressedDataLZ4(std::vector<uint8_t>* out, uint32_t expectedId) {
    out->clear();
    uint32_t id = 0, size = 0, csize = 0, check = 0;
    KEL_TRY(readU32(&id));
    if (id != expectedId)
        return KEL_ERROR(kelstr_CInputStream_readCompressedDataLZ4_InvalidData, num(expectedId), num(id));
    KEL_TRY(readU32(&size));
    KEL_TRY(readU32(&csize));
    KEL_TRY(readU32(&check));
    uint8_t sizes[8];
    putLE32(sizes, size);
    putLE32(sizes + 4, csize);
    const uint32_t expectedCheck = adlerOf(sizes, 8);
    if (check != expectedCheck)
        return KEL_ERROR(kelstr_CInputStream_readCompressedDataLZ4_HeadCRC, num(expectedCheck), num(check));
    const uint8_t* src = nullptr;
    KEL_TRY(readStreamed(&src, csize));
    std::vector<uint8_t> data(size);
    int n = LZ4_decompress_safe(reinterpret_cast<const char*>(src), reinterpret_cast<char*>(data.data()), int(csize),
                                int(size));
    if (n < 0 || uint32_t(n) != size)
        return KEL_ERROR(kelstr_CInputStream_readCompressedDataLZ4_InvalidData2, num(size), num(n < 0 ? 0 : uint32_t(n)));
    *out = std::move(data);
    return {};
}
