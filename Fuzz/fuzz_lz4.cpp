// LZ4 blocks over arbitrary bytes. Properties: a failed read leaves the
// output empty; a read succeeds exactly when the block decodes to the declared
// size; a block built from the input reads back unchanged.
#include <lz4.h>
#include <zlib.h>

#include "Core/MemoryReader.h"
#include "Core/MemoryWriter.h"
#include "Fuzz/FuzzSupport.h"

namespace {
std::vector<uint8_t> withHeader(uint32_t declared, std::span<const uint8_t> body) {
    CMemoryWriter w;
    uint8_t sizes[8];
    for (int i = 0; i < 4; ++i) {
        sizes[i] = uint8_t(declared >> (8 * i));
        sizes[4 + i] = uint8_t(uint32_t(body.size()) >> (8 * i));
    }
    FUZZ_CHECK(!w.writeU32(kIdDstr));
    FUZZ_CHECK(!w.write(sizes, 8));
    FUZZ_CHECK(!w.writeU32(uint32_t(adler32(1, sizes, 8))));
    FUZZ_CHECK(!w.write(body.data(), body.size()));
    return w.take();
}

// Reads a block; returns whether it succeeded.
bool readBlock(std::span<const uint8_t> bytes, uint32_t id, std::vector<uint8_t>* out) {
    CMemoryReader r(bytes.data(), bytes.size());
    out->assign(1, 0xEE);
    if (CError e = r.readCompressedDataLZ4(out, id)) {
        FUZZ_CHECK(out->empty());
        return false;
    }
    FUZZ_CHECK(out->size() == fuzzLE32(bytes.data() + 4));
    return true;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::span<const uint8_t> input(data, size);
    std::vector<uint8_t> out;

    // The input as a block with its own id.
    readBlock(input, size >= 4 ? fuzzLE32(data) : kIdDstr, &out);

    // The input as the LZ4 body behind a valid header; the declared size comes
    // from the first two bytes. The read agrees with the decoder given room
    // for the declared size (the reader gives it less when the size is out of
    // the body's reach).
    if (size >= 2) {
        const uint32_t declared = uint32_t(data[0]) | uint32_t(data[1]) << 8;
        const std::span<const uint8_t> body = input.subspan(2);
        std::vector<char> ref(declared);
        const int n = LZ4_decompress_safe(reinterpret_cast<const char*>(body.data()), ref.data(), int(body.size()),
                                          int(ref.size()));
        const bool ok = readBlock(withHeader(declared, body), kIdDstr, &out);
        FUZZ_CHECK(ok == (n == int(declared)));
        if (ok) FUZZ_CHECK(std::equal(out.begin(), out.end(), reinterpret_cast<const uint8_t*>(ref.data())));
    }

    // Round trip.
    std::vector<char> packed(static_cast<size_t>(LZ4_compressBound(int(size))));
    const int c = LZ4_compress_default(reinterpret_cast<const char*>(data), packed.data(), int(size),
                                       int(packed.size()));
    FUZZ_CHECK(c > 0);
    const std::vector<uint8_t> block =
        withHeader(uint32_t(size), std::span(reinterpret_cast<const uint8_t*>(packed.data()), size_t(c)));
    FUZZ_CHECK(readBlock(block, kIdDstr, &out));
    FUZZ_CHECK(std::equal(out.begin(), out.end(), data));
    return 0;
}
