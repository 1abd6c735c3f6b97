// Compressed blocks over arbitrary bytes. Properties: a failed read leaves the
// output empty, a successful one yields exactly the declared size; reading
// from a positioned source and from a plain one gives the same result and
// leaves both right after the block; a block written from the input reads
// back unchanged.
#include <zlib.h>

#include "Core/MemoryReader.h"
#include "Core/MemoryWriter.h"
#include "Fuzz/FuzzSupport.h"

namespace {
struct Outcome {
    std::string message;
    std::vector<uint8_t> data;
    size_t rest = 0;
};

Outcome readBlock(std::span<const uint8_t> bytes, uint32_t id, bool plain) {
    CMemoryReader mem(bytes.data(), bytes.size());
    CPlainReader wrapper(mem);
    CInputStream& in = plain ? static_cast<CInputStream&>(wrapper) : mem;
    Outcome o;
    o.data = {0xEE};
    CError e = in.readCompressedData(&o.data, id);
    if (e) {
        FUZZ_CHECK(o.data.empty());
        o.message = e.message().utf8();
    } else {
        FUZZ_CHECK(bytes.size() >= 12 && o.data.size() == fuzzLE32(bytes.data() + 4));
        o.rest = mem.remaining();
    }
    return o;
}

void readBoth(std::span<const uint8_t> bytes, uint32_t id) {
    const Outcome a = readBlock(bytes, id, false);
    const Outcome b = readBlock(bytes, id, true);
    FUZZ_CHECK(a.message == b.message);
    FUZZ_CHECK(a.data == b.data);
    FUZZ_CHECK(a.rest == b.rest);
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::span<const uint8_t> input(data, size);

    // The input as a block, read with its own id and with another one.
    const uint32_t own = size >= 4 ? fuzzLE32(data) : kIdAprs;
    readBoth(input, own);
    readBoth(input, own ^ 0x01000000u);

    // The input as the zlib part behind a valid header whose size comes from
    // the first two bytes, so that the inflater is reached directly.
    if (size >= 2) {
        const uint32_t declared = uint32_t(data[0]) | uint32_t(data[1]) << 8;
        uint8_t sizeBytes[4] = {data[0], data[1], 0, 0};
        CMemoryWriter w;
        FUZZ_CHECK(!w.writeU32(kIdDstr));
        FUZZ_CHECK(!w.writeU32(declared));
        FUZZ_CHECK(!w.writeU32(uint32_t(adler32(1, sizeBytes, 4))));
        FUZZ_CHECK(!w.write(data + 2, size - 2));
        readBoth(w.bytes(), kIdDstr);
    }

    // Round trip, with another block behind it.
    CMemoryWriter w;
    FUZZ_CHECK(!w.writeCompressedData(input, kIdAdat));
    FUZZ_CHECK(!w.writeCompressedData({}, kIdAlst));
    CMemoryReader r(w.data(), w.size());
    std::vector<uint8_t> back, empty;
    FUZZ_CHECK(!r.readCompressedData(&back, kIdAdat));
    FUZZ_CHECK(back.size() == size && std::equal(back.begin(), back.end(), data));
    FUZZ_CHECK(!r.readCompressedData(&empty, kIdAlst));
    FUZZ_CHECK(empty.empty() && r.remaining() == 0);
    return 0;
}
