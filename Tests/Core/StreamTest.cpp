#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "Core/MemoryReader.h"
#include "Core/MemoryWriter.h"

// Every typed value is written little-endian and reads back unchanged.
TEST(Stream, TypedValuesLittleEndianRoundTrip) {
    CMemoryWriter w;
    ASSERT_FALSE(w.writeU8(0xA5));
    ASSERT_FALSE(w.writeU16(0x0102));
    ASSERT_FALSE(w.writeU32(0x01020304));
    ASSERT_FALSE(w.writeU64(0x0102030405060708ull));
    ASSERT_FALSE(w.writeI32(-2));
    ASSERT_FALSE(w.writeF32(-1.5f));
    ASSERT_FALSE(w.writeF64(std::numeric_limits<double>::denorm_min()));
    ASSERT_FALSE(w.writeF64(-0.0));
    const std::vector<uint8_t> expected = {
        0xA5, 0x02, 0x01, 0x04, 0x03, 0x02, 0x01, 0x08, 0x07, 0x06, 0x05, 0x04, 0x03, 0x02, 0x01,
        0xFE, 0xFF, 0xFF, 0xFF, 0x00, 0x00, 0xC0, 0xBF, 0x01, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x80};
    EXPECT_EQ(std::vector<uint8_t>(w.bytes().begin(), w.bytes().end()), expected);

    CMemoryReader r(w.data(), w.size());
    uint8_t u8 = 0;
    uint16_t u16 = 0;
    uint32_t u32 = 0;
    uint64_t u64 = 0;
    int32_t i32 = 0;
    float f32 = 0;
    double f64 = 0, zero = 0;
    ASSERT_FALSE(r.readU8(&u8));
    ASSERT_FALSE(r.readU16(&u16));
    ASSERT_FALSE(r.readU32(&u32));
    ASSERT_FALSE(r.readU64(&u64));
    ASSERT_FALSE(r.readI32(&i32));
    ASSERT_FALSE(r.readF32(&f32));
    ASSERT_FALSE(r.readF64(&f64));
    ASSERT_FALSE(r.readF64(&zero));
    EXPECT_EQ(u8, 0xA5);
    EXPECT_EQ(u16, 0x0102);
    EXPECT_EQ(u32, 0x01020304u);
    EXPECT_EQ(u64, 0x0102030405060708ull);
    EXPECT_EQ(i32, -2);
    EXPECT_EQ(f32, -1.5f);
    EXPECT_EQ(f64, std::numeric_limits<double>::denorm_min());
    EXPECT_TRUE(std::signbit(zero));
    EXPECT_EQ(r.readU8(&u8).message().utf8(),
              "Premature end of memory resource while reading (pos 39, count 1, size 39).");
}

TEST(Stream, Strings) {
    struct Case {
        const char* name;
        std::string bytes;  // UTF-8 as stored
        bool ok;
    };
    const Case cases[] = {
        {"empty", "", true},
        {"8-bit", "Gr\xC3\xBC\xC3\x9F" "e", true},
        {"16-bit and beyond", "\xE2\x82\xAC \xF0\x9D\x84\x9E", true},
        {"longest", std::string(kMaxStreamString, 'x'), true},
        {"one too long", std::string(kMaxStreamString + 1, 'x'), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CMemoryWriter w;
        ASSERT_FALSE(w.writeString(CString(c.bytes)));
        EXPECT_EQ(w.size(), 4 + c.bytes.size());
        CMemoryReader r(w.data(), w.size());
        CString s("unchanged");
        CError e = r.readString(&s);
        if (c.ok) {
            ASSERT_FALSE(e) << e.text();
            EXPECT_EQ(s.utf8(), c.bytes);
            EXPECT_EQ(r.remaining(), 0u);
        } else {
            EXPECT_EQ(e.message().utf8(), "String length 61441 too long in readString().");
            EXPECT_EQ(s.utf8(), "unchanged");
        }
    }
    // A count beyond the data fails without reading anything past the end.
    const uint8_t shortString[] = {5, 0, 0, 0, 'a', 'b'};
    CMemoryReader r(shortString, sizeof shortString);
    CString s;
    EXPECT_EQ(r.readString(&s).message().utf8(),
              "Premature end of memory resource while reading (pos 4, count 5, size 6).");
}
