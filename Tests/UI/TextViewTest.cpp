// Markup, wrapping and the text view's attributes.
#include <gtest/gtest.h>

#include "Tests/UI/UiTestSupport.h"
#include "UI/Text/TextView.h"

namespace {

TEST(TextMarkup, TagsStyleRunsAndUnknownOrOpenTagsStayText) {
    struct Case {
        const char* text;
        std::vector<CTextRun> runs;
    };
    const CTextStyle plain, bold{true}, italic{false, true}, sup{false, false, true};
    CTextStyle c1, c2;
    c1.color = 1, c2.color = 2;
    const Case cases[] = {
        {"[B]Preset manager[/B]", {{CTextRun::Text, "Preset manager", bold}}},
        {"B[IMG=is.button#ArrowRight]A",
         {{CTextRun::Text, "B", plain}, {CTextRun::Image, "is.button#ArrowRight", plain}, {CTextRun::Text, "A", plain}}},
        {"a [B", {{CTextRun::Text, "a [B", plain}}},
        {"[X]y[/B]", {{CTextRun::Text, "[X]y", plain}}},
        {"[I]i[/I][C1]1[/C1][C2]2[/C2]x[SUP]2[/SUP]",
         {{CTextRun::Text, "i", italic}, {CTextRun::Text, "1", c1}, {CTextRun::Text, "2", c2},
          {CTextRun::Text, "x", plain}, {CTextRun::Text, "2", sup}}},
        {"one[BR]two", {{CTextRun::Text, "one", plain}, {CTextRun::Break, "", plain}, {CTextRun::Text, "two", plain}}},
    };
    for (const Case& c : cases) EXPECT_EQ(kelParseMarkup(c.text), c.runs) << c.text;
}

using UiText = UiFixture;

TEST_F(UiText, WrappingBreaksAtBlanksAndInsideLongWords) {
    ASSERT_FALSE(load(R"(<ui:textview name="t" font-name="font.base" width="120" is-text-wrapped="true"
                                      text="alpha beta gamma delta epsilon Incomprehensibilities end"/>)"));
    auto* t = dynamic_cast<CTextView*>(view("t"));
    ASSERT_NE(t, nullptr);
    ASSERT_GE(t->lines().size(), 3u);
    std::string joined;
    for (const CTextLine& l : t->lines()) {
        EXPECT_LE(l.width, 120.0);
        ASSERT_FALSE(l.pieces.empty());
        EXPECT_NE(l.pieces.front().kind, CTextPiece::Blank);
        EXPECT_NE(l.pieces.back().kind, CTextPiece::Blank);
        for (const CTextPiece& p : l.pieces) joined += p.kind == CTextPiece::Blank ? " " : p.text;
        joined += "|";
    }
    // Nothing lost but the blanks at the breaks.
    std::string compact;
    for (char c : joined)
        if (c != ' ' && c != '|') compact += c;
    EXPECT_EQ(compact, "alphabetagammadeltaepsilonIncomprehensibilitiesend");
    // The view is as tall as its lines.
    EXPECT_DOUBLE_EQ(t->area().total.h, std::ceil(t->textHeight()));
}

TEST_F(UiText, AlignmentPlacesTheBlock) {
    ASSERT_FALSE(load(R"(<ui:textview name="t" font-name="font.base" width="full" height="full"
                                      text-alignment-v="bottom" separator-char="|" paragraph-spacing="5"
                                      text="one|two"/>)"));
    auto* t = dynamic_cast<CTextView*>(view("t"));
    ASSERT_EQ(t->lines().size(), 2u);
    const double line = t->lines()[0].height;
    EXPECT_DOUBLE_EQ(t->textHeight(), 2 * line + 5);
    EXPECT_DOUBLE_EQ(t->lineTops()[1] + line, std::round(100 - t->textHeight()) + t->textHeight());
}

TEST_F(UiText, FontAndAlignmentErrorsKeepTheOldValue) {
    ASSERT_FALSE(load(R"(<ui:textview name="t" font-name="font.base" text="x"/>)"));
    CView* t = view("t");
    struct Case {
        const char* attr;
        const char* value;
        const char* message;
    };
    for (const Case& c : {Case{"font-name", "", "Attribute 'font-name' is empty"},
                          Case{"font-name", "font.none", "Font 'font.none' not found."},
                          Case{"text-alignment", "middle", "Invalid text alignment 'middle'."}}) {
        const CString before = t->attr(c.attr);
        CError e = t->setAttr(c.attr, c.value);
        ASSERT_TRUE(e) << c.attr;
        EXPECT_EQ(e.message().utf8(), c.message);
        EXPECT_EQ(t->attr(c.attr), before);
    }
    ASSERT_FALSE(t->setAttr("text", "longer text now"));
    ASSERT_FALSE(renderer().render());
    EXPECT_GT(t->area().total.w, 50);
    CError e = load(R"(<ui:textview name="t" text="x"/>)");
    ASSERT_TRUE(e);
    EXPECT_EQ(e.message().utf8(), "Attribute 'font-name' is empty");
}

}  // namespace
