#include <gtest/gtest.h>

#include "Core/String.h"

TEST(String, EightBitUntilACharacterNeedsSixteen) {
    CString latin("caf\xC3\xA9");  // é fits in 8 bits
    EXPECT_FALSE(latin.isWide());
    EXPECT_EQ(latin.length(), 4u);
    EXPECT_EQ(latin.at(3), u'\u00E9');
    CString wide("\xE2\x82\xAC 5");  // the euro sign does not
    EXPECT_TRUE(wide.isWide());
    EXPECT_EQ(wide.at(0), u'\u20AC');
    EXPECT_EQ(wide.utf8(), "\xE2\x82\xAC 5");
    // Equal characters compare equal whatever the storage.
    CString a = CString::fromUtf16(u"caf\u00E9");
    EXPECT_EQ(a, latin);
    EXPECT_LT(CString("abc"), CString::fromUtf16(u"ab\u20AC"));
    CString appended = latin + wide;
    EXPECT_TRUE(appended.isWide());
    EXPECT_EQ(appended.utf8(), "caf\xC3\xA9\xE2\x82\xAC 5");
}

TEST(String, Utf8DecodingSkipsInvalidLeadBytes) {
    // A stray continuation byte and an 0xF8 lead byte are skipped; 4-byte
    // sequences become surrogate pairs.
    CString s("a\x80" "b\xF8" "c\xF0\x9F\x8E\xB5");
    ASSERT_EQ(s.length(), 5u);
    EXPECT_EQ(s.at(0), u'a');
    EXPECT_EQ(s.at(1), u'b');
    EXPECT_EQ(s.at(2), u'c');
    EXPECT_EQ(s.at(3), char16_t(0xD83C));
    EXPECT_EQ(s.utf8(), "abc\xF0\x9F\x8E\xB5");
}

TEST(String, Numbers) {
    int64_t i = 0;
    double d = 0;
    EXPECT_TRUE(CString(" 42 ").toInt(&i));
    EXPECT_EQ(i, 42);
    EXPECT_FALSE(CString("4x").toInt(&i));
    EXPECT_FALSE(CString("").toDouble(&d));
    EXPECT_TRUE(CString("-0.015").toDouble(&d));
    EXPECT_DOUBLE_EQ(d, -0.015);
    EXPECT_EQ(CString::number(0.1).utf8(), "0.1");
    EXPECT_EQ(CString::number(2.5, 2).utf8(), "2.50");
}
