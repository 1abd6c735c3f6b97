#include <gtest/gtest.h>

#include "Core/Error.h"

KELSTR(Test_fmt, "Value %1 of %2 is 100%% (%3).");

TEST(ErrorRecord, MessageThenLocationLines) {
    CError e = KEL_ERROR(kelstr_Test_fmt, "a", "b");
    ASSERT_TRUE(e);
    // Placeholders beyond the argument count stay as written.
    EXPECT_EQ(e.lines()[0].utf8(), "Value a of b is 100% (%3).");
    EXPECT_NE(e.lines()[1].utf8().find("Tests/Core/ErrorTest.cpp( "), std::string::npos);
    CError passed = KEL_PASS(e);
    ASSERT_EQ(passed.lines().size(), 3u);
    EXPECT_EQ(passed.lines()[2].utf8().substr(0, 25), "Tests/Core/ErrorTest.cpp(");
    CError commented = addError(CError(), "x.cpp", 7, "why", "");
    EXPECT_EQ(commented.lines()[0].utf8(), "x.cpp( 7 ) // why");
}
