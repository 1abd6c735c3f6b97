#include <gtest/gtest.h>

#include <numeric>

#include "Core/MemoryWriter.h"
#include "Core/WriteSeqBuffer.h"

namespace {
// Records the size of every write it receives.
struct CRecorder : COutputStream {
    std::vector<size_t> writes;
    std::vector<uint8_t> bytes;
    CError write(const void* buffer, size_t count) override {
        writes.push_back(count);
        auto* p = static_cast<const uint8_t*>(buffer);
        bytes.insert(bytes.end(), p, p + count);
        return {};
    }
};
}  // namespace

TEST(WriteSeqBuffer, CollectsWritesOfAnySize) {
    struct Case {
        const char* name;
        std::vector<size_t> writes;
    };
    const Case cases[] = {
        {"nothing", {}},
        {"fills the first block exactly", {256}},
        {"byte by byte", std::vector<size_t>(3000, 1)},
        {"one large write", {100000}},
        {"mixed", {10, 246, 1, 0, 300, 5000, 17, 70000}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CWriteSeqBuffer buf(256);
        std::vector<uint8_t> expected;
        for (size_t n : c.writes) {
            std::vector<uint8_t> chunk(n);
            for (size_t i = 0; i < n; ++i) chunk[i] = uint8_t(expected.size() + i * 7);
            ASSERT_FALSE(buf.write(chunk.data(), n));
            expected.insert(expected.end(), chunk.begin(), chunk.end());
        }
        EXPECT_EQ(buf.size(), expected.size());
        EXPECT_EQ(buf.bytes(), expected);

        CRecorder rec;
        ASSERT_FALSE(buf.writeTo(rec));
        EXPECT_EQ(rec.bytes, expected);
        EXPECT_EQ(rec.writes.size(), buf.blockCount());  // one write per block, none empty
        if (!c.writes.empty() && c.writes.front() <= 256 && expected.size() > 256) {
            EXPECT_EQ(rec.writes.front(), 256u);
        }

        auto one = buf.contiguous();
        EXPECT_EQ(std::vector<uint8_t>(one.begin(), one.end()), expected);
        EXPECT_LE(buf.blockCount(), 1u);
        // Writing goes on after the merge.
        ASSERT_FALSE(buf.writeU32(0xDEADBEEF));
        EXPECT_EQ(buf.size(), expected.size() + 4);
        EXPECT_EQ(buf.bytes()[expected.size()], 0xEF);
    }
}

TEST(WriteSeqBuffer, BlocksGrowAndClearKeepsTheFirst) {
    CWriteSeqBuffer buf(256);
    std::vector<uint8_t> data(256 + 512 + 1024 + 1, 3);
    for (uint8_t b : data) ASSERT_FALSE(buf.writeU8(b));
    EXPECT_EQ(buf.blockCount(), 4u);  // 256, 512, 1024, 2048
    CRecorder rec;
    ASSERT_FALSE(buf.writeTo(rec));
    EXPECT_EQ(rec.writes, (std::vector<size_t>{256, 512, 1024, 1}));
    buf.clear();
    EXPECT_EQ(buf.size(), 0u);
    EXPECT_EQ(buf.blockCount(), 1u);
    ASSERT_FALSE(buf.writeU8(9));
    EXPECT_EQ(buf.bytes(), std::vector<uint8_t>{9});
}

TEST(MemoryWriter, PatchesAndBounds) {
    CMemoryWriter w;
    EXPECT_GE(w.capacity(), 256u);
    ASSERT_FALSE(w.writeU32(0));  // length placeholder
    ASSERT_FALSE(w.writeString(CString("body")));
    ASSERT_FALSE(w.setPosition(0));
    ASSERT_FALSE(w.writeU32(uint32_t(w.size() - 4)));
    EXPECT_EQ(w.size(), 12u);
    EXPECT_EQ(w.data()[0], 8);
    // Writing across the end extends the data.
    ASSERT_FALSE(w.setPosition(10));
    ASSERT_FALSE(w.writeU32(0x04030201));
    EXPECT_EQ(w.size(), 14u);
    EXPECT_EQ(w.setPosition(15).message().utf8(), "Positioning beyond memory stream end (newpos 15, size 14).");
    std::vector<uint8_t> taken = w.take();
    EXPECT_EQ(taken.size(), 14u);
    EXPECT_EQ(w.size(), 0u);
    ASSERT_FALSE(w.writeU8(1));
    EXPECT_EQ(w.size(), 1u);
}
