// Compressed blocks: a 12-byte header (id, uncompressed size, Adler-32 of the
// four size bytes) and a zlib stream; and LZ4 blocks with a 16-byte header.
#include <lz4.h>
#include <zlib.h>

#include <algorithm>

#include "Core/Stream.h"
#include "Core/ZipStream.h"

namespace {
CString num(uint64_t v) { return CString::number(int64_t(v)); }

uint32_t adlerOf(const uint8_t* bytes, size_t n) {
    return uint32_t(adler32(adler32(0L, Z_NULL, 0), bytes, uInt(n)));
}

void putLE32(uint8_t* b, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[i] = uint8_t(v >> (8 * i));
}

// The output grows with the data actually inflated (doubling, from 64 KB), so
// a header that claims a huge size over little data costs little memory.
constexpr size_t kFirstStep = 65536;

CError inflateBlock(CInputStream& in, uint32_t size, std::vector<uint8_t>* data) {
    CInputZipStream zip;
    KEL_TRY(zip.open(&in));
    size_t have = 0;
    while (have < size) {
        const size_t step = std::min<size_t>(size - have, std::max(have, kFirstStep));
        data->resize(have + step);
        KEL_TRY(zip.read(data->data() + have, step));
        have += step;
    }
    KEL_TRY(zip.finish());
    KEL_TRY(zip.close());
    return {};
}

// Most bytes one LZ4 block of n bytes can decode to (each byte of a match
// length run adds at most 255).
uint64_t lz4MaxOutput(uint64_t n) { return n * 255 + 64; }
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
    std::vector<uint8_t> data;
    KEL_TRY(inflateBlock(*this, size, &data));
    *out = std::move(data);
    return {};
}

CError COutputStream::writeCompressedData(std::span<const uint8_t> data, uint32_t id) {
    if (data.size() > UINT32_MAX)
        return KEL_ERROR(kelstr_COutputStream_writeCompressedData_TooLarge, num(data.size()));
    uint8_t head[12];
    putLE32(head, id);
    putLE32(head + 4, uint32_t(data.size()));
    putLE32(head + 8, adlerOf(head + 4, 4));
    KEL_TRY(write(head, sizeof head));
    COutputZipStream zip;
    KEL_TRY(zip.open(this));
    KEL_TRY(zip.write(data.data(), data.size()));
    KEL_TRY(zip.close());
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
    if (csize > uint32_t(LZ4_MAX_INPUT_SIZE))
        return KEL_ERROR(kelstr_CInputStream_readCompressedDataLZ4_InvalidData2, num(size), num(0));
    // A size the block cannot reach is still decoded (into what it can hold)
    // so that the message tells how many bytes it does hold.
    const uint64_t capacity = std::min<uint64_t>({size, lz4MaxOutput(csize), uint64_t(LZ4_MAX_INPUT_SIZE)});
    std::vector<uint8_t> data(capacity);
    const int n = LZ4_decompress_safe(reinterpret_cast<const char*>(src), reinterpret_cast<char*>(data.data()),
                                      int(csize), int(capacity));
    if (n < 0 || uint32_t(n) != size)
        return KEL_ERROR(kelstr_CInputStream_readCompressedDataLZ4_InvalidData2, num(size), num(n < 0 ? 0 : uint32_t(n)));
    *out = std::move(data);
    return {};
}
