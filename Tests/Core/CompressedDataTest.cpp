#include <gtest/gtest.h>
#include <lz4.h>
#include <zlib.h>

#include <cstdio>
#include <functional>
#include <memory>
#include <random>

#include "Core/FileStream.h"
#include "Core/MemoryReader.h"
#include "Core/MemoryWriter.h"
#include "Core/ZipStream.h"

namespace {

std::vector<uint8_t> pattern(size_t n, bool compressible) {
    std::vector<uint8_t> v(n);
    std::mt19937 rng{uint32_t(n)};
    for (size_t i = 0; i < n; ++i) v[i] = compressible ? uint8_t("limiter "[i % 8]) : uint8_t(rng());
    return v;
}

std::vector<uint8_t> block(std::span<const uint8_t> data, uint32_t id) {
    CMemoryWriter w;
    EXPECT_FALSE(w.writeCompressedData(data, id));
    return w.take();
}

// A source that can neither tell its size nor move back.
class CPlainReader : public CInputStream {
public:
    explicit CPlainReader(CInputStream& in) : m_in(in) {}
    CError read(void* buffer, size_t count) override { return m_in.read(buffer, count); }

private:
    CInputStream& m_in;
};

std::string tempPath(const char* name) { return ::testing::TempDir() + "tamblor_" + name; }

}  // namespace

TEST(CompressedData, EmptyBlockBytes) {
    const std::vector<uint8_t> bytes = block({}, kIdAprs);
    ASSERT_GE(bytes.size(), 14u);
    const std::vector<uint8_t> head(bytes.begin(), bytes.begin() + 12);
    EXPECT_EQ(head, (std::vector<uint8_t>{'a', 'p', 'r', 's', 0, 0, 0, 0, 0x01, 0x00, 0x04, 0x00}));
    // The rest is an empty zlib stream.
    uint8_t sink = 0;
    uLongf outLen = 1;
    EXPECT_EQ(uncompress(&sink, &outLen, bytes.data() + 12, uLong(bytes.size() - 12)), Z_OK);
    EXPECT_EQ(outLen, 0u);

    CMemoryReader r(bytes.data(), bytes.size());
    std::vector<uint8_t> out{1, 2, 3};
    ASSERT_FALSE(r.readCompressedData(&out, kIdAprs));
    EXPECT_TRUE(out.empty());
    EXPECT_EQ(r.remaining(), 0u);
}

// Several blocks back to back with a trailer, read from sources that do and do
// not know their size: each block ends exactly where the next one begins.
TEST(CompressedData, BlocksBackToBackFromEverySource) {
    const std::vector<std::vector<uint8_t>> payloads = {
        {}, pattern(1, true), pattern(100000, true), pattern(70000, false), pattern(32768, false)};
    CMemoryWriter w;
    for (const auto& p : payloads) ASSERT_FALSE(w.writeCompressedData(p, kIdAbnk));
    ASSERT_FALSE(w.writeU32(0xC0FFEE11));
    const std::vector<uint8_t> bytes = w.take();

    const std::string path = tempPath("blocks.bin");
    {
        CFileWriter f;
        ASSERT_FALSE(f.open(CString(path)));
        ASSERT_FALSE(f.write(bytes.data(), bytes.size()));
    }
    CMemoryReader memory(bytes.data(), bytes.size());
    CMemoryReader behind(bytes.data(), bytes.size());
    CPlainReader plain(behind);
    CFileReader file;
    ASSERT_FALSE(file.open(CString(path)));

    const std::pair<const char*, CInputStream*> sources[] = {{"memory", &memory}, {"plain", &plain}, {"file", &file}};
    for (auto [name, in] : sources) {
        SCOPED_TRACE(name);
        for (const auto& p : payloads) {
            std::vector<uint8_t> out;
            CError e = in->readCompressedData(&out, kIdAbnk);
            ASSERT_FALSE(e) << e.text();
            EXPECT_EQ(out, p);
        }
        uint32_t tail = 0;
        ASSERT_FALSE(in->readU32(&tail));
        EXPECT_EQ(tail, 0xC0FFEE11u);
    }
    std::remove(path.c_str());
}

// Damaged blocks fail with the message naming the fault and leave the output empty.
TEST(CompressedData, DamagedBlocks) {
    const std::vector<uint8_t> data = pattern(5000, false);
    const std::vector<uint8_t> good = block(data, kIdAprs);
    auto patched = [&](size_t at, std::vector<uint8_t> bytes) {
        std::vector<uint8_t> v = good;
        std::copy(bytes.begin(), bytes.end(), v.begin() + long(at));
        return v;
    };
    const std::vector<uint8_t> runs = block(std::vector<uint8_t>(5000, 'a'), kIdAprs);
    auto resized = [&](uint32_t size, const std::vector<uint8_t>& base) {
        std::vector<uint8_t> v = base;
        uint8_t s[4] = {uint8_t(size), uint8_t(size >> 8), uint8_t(size >> 16), uint8_t(size >> 24)};
        const uint32_t check = uint32_t(adler32(1, s, 4));
        for (int i = 0; i < 4; ++i) {
            v[4 + i] = s[i];
            v[8 + i] = uint8_t(check >> (8 * i));
        }
        return v;
    };
    auto cut = [](std::vector<uint8_t> v, size_t n) {
        v.resize(v.size() - n);
        return v;
    };
    struct Case {
        const char* name;
        std::vector<uint8_t> bytes;
        uint32_t id;
        std::string message;
    };
    const Case cases[] = {
        {"other id", good, kIdAbnk,
         "Invalid ID encountered when reading compressed data (expected 1802396257, read 1936879713)."},
        {"header check", patched(8, {0x02}), kIdAprs,
         "Invalid CRC encountered when reading compressed data (expected 39649436, read 39649282)."},
        {"truncated", cut(good, 100), kIdAprs, "Premature end of file."},
        {"header only", cut(good, good.size() - 12), kIdAprs, "Premature end of file."},
        {"data check", patched(good.size() - 1, {uint8_t(good.back() ^ 1)}), kIdAprs,
         "zlib inflate error -3 (incorrect data check)."},
        {"size too small", resized(4999, good), kIdAprs, "zlib inflate error -3 (more data than expected)."},
        // Without its check and last byte the source is used up while zlib
        // still holds the rest of a run: that output counts before the end
        // of the input does.
        {"size too small, cut short", cut(resized(4999, runs), 5), kIdAprs,
         "zlib inflate error -3 (more data than expected)."},
        {"size too large", resized(5001, good), kIdAprs, "Premature end of file."},
        {"huge size", resized(0xFFFFFFF0u, good), kIdAprs, "Premature end of file."},
        {"not zlib", patched(12, {0x12, 0x34}), kIdAprs, "zlib inflate error -3 (incorrect header check)."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CMemoryReader r(c.bytes.data(), c.bytes.size());
        std::vector<uint8_t> out{7};
        CError e = r.readCompressedData(&out, c.id);
        ASSERT_TRUE(e);
        EXPECT_EQ(e.message().utf8(), c.message);
        EXPECT_TRUE(out.empty());
    }
}

TEST(ZipStream, WritesInPiecesInflateToTheSameBytes) {
    const std::vector<uint8_t> data = pattern(200000, false);
    for (size_t piece : {size_t(1), size_t(777), size_t(32768), data.size()}) {
        SCOPED_TRACE(piece);
        CMemoryWriter w;
        COutputZipStream zip;
        ASSERT_FALSE(zip.open(&w, 1));
        for (size_t at = 0; at < data.size(); at += piece)
            ASSERT_FALSE(zip.write(data.data() + at, std::min(piece, data.size() - at)));
        ASSERT_FALSE(zip.close());
        std::vector<uint8_t> back(data.size() + 1);
        uLongf len = uLongf(back.size());
        ASSERT_EQ(uncompress(back.data(), &len, w.data(), uLong(w.size())), Z_OK);
        back.resize(len);
        EXPECT_EQ(back, data);

        // Read back in pieces as well.
        CMemoryReader r(w.data(), w.size());
        CInputZipStream in;
        ASSERT_FALSE(in.open(&r));
        std::vector<uint8_t> got(data.size());
        for (size_t at = 0; at < got.size(); at += piece)
            ASSERT_FALSE(in.read(got.data() + at, std::min(piece, got.size() - at)));
        EXPECT_EQ(got, data);
        ASSERT_FALSE(in.finish());
        EXPECT_TRUE(in.atEnd());
        EXPECT_EQ(r.remaining(), 0u);
        EXPECT_FALSE(in.close());
    }
}

TEST(ZipStream, MissingStreamsAndFailingTarget) {
    CInputZipStream in;
    uint8_t b = 0;
    EXPECT_EQ(in.read(&b, 1).message().utf8(), "Input stream not specified.");
    ASSERT_FALSE(in.open(nullptr));
    EXPECT_EQ(in.read(&b, 1).message().utf8(), "Input stream not specified.");

    COutputZipStream out;
    ASSERT_FALSE(out.open(nullptr));
    EXPECT_EQ(out.write(&b, 1).message().utf8(), "Output stream not specified.");
    EXPECT_EQ(out.close().message().utf8(), "Output stream not specified.");

    // A target error reaches the caller of close.
    struct Full : COutputStream {
        CError write(const void*, size_t) override { return KEL_ERROR(kelstr_CInputZipStream_read_EOF); }
    } full;
    ASSERT_FALSE(out.open(&full));
    ASSERT_FALSE(out.write(&b, 1));
    EXPECT_EQ(out.close().message().utf8(), "Premature end of file.");
}

namespace {
std::vector<uint8_t> lz4Block(std::span<const uint8_t> data, uint32_t declared, uint32_t id = kIdAdat) {
    std::vector<char> packed(size_t(LZ4_compressBound(int(data.size()))));
    const int c = LZ4_compress_default(reinterpret_cast<const char*>(data.data()), packed.data(), int(data.size()),
                                       int(packed.size()));
    EXPECT_GT(c, 0);
    CMemoryWriter w;
    uint8_t sizes[8];
    for (int i = 0; i < 4; ++i) {
        sizes[i] = uint8_t(declared >> (8 * i));
        sizes[4 + i] = uint8_t(uint32_t(c) >> (8 * i));
    }
    EXPECT_FALSE(w.writeU32(id));
    EXPECT_FALSE(w.write(sizes, 8));
    EXPECT_FALSE(w.writeU32(uint32_t(adler32(1, sizes, 8))));
    EXPECT_FALSE(w.write(packed.data(), size_t(c)));
    return w.take();
}
}  // namespace

TEST(CompressedDataLZ4, BlocksAndTheirFaults) {
    const std::vector<uint8_t> data = pattern(3000, true);
    struct Case {
        const char* name;
        std::vector<uint8_t> bytes;
        std::string message;  // empty: reads back data
    };
    std::vector<uint8_t> badCheck = lz4Block(data, 3000);
    badCheck[12] ^= 0xFF;
    std::vector<uint8_t> garbage = lz4Block(data, 3000);
    garbage.resize(20);
    const Case cases[] = {
        {"exact", lz4Block(data, 3000), ""},
        {"declared larger", lz4Block(data, 3001), "Invalid uncompressed data (expected 3001 bytes, read 3000)."},
        {"declared smaller", lz4Block(data, 2999), "Invalid uncompressed data (expected 2999 bytes, read 0)."},
        {"declared huge", lz4Block(data, 0xFFFFFFFFu),
         "Invalid uncompressed data (expected 4294967295 bytes, read 3000)."},
        {"other id", lz4Block(data, 3000, kIdAprs),
         "Invalid ID encountered when reading compressed data (expected 1952539745, read 1936879713)."},
        {"header check", badCheck, "Invalid CRC encountered when reading compressed data"},
        {"truncated", garbage, "Premature end of memory resource while reading"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CMemoryReader r(c.bytes.data(), c.bytes.size());
        std::vector<uint8_t> out{1};
        CError e = r.readCompressedDataLZ4(&out, kIdAdat);
        if (c.message.empty()) {
            ASSERT_FALSE(e) << e.text();
            EXPECT_EQ(out, data);
            EXPECT_EQ(r.remaining(), 0u);
        } else {
            ASSERT_TRUE(e);
            EXPECT_EQ(e.message().utf8().substr(0, c.message.size()), c.message);
            EXPECT_TRUE(out.empty());
        }
    }
}
