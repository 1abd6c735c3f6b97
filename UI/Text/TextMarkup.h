#pragma once
// The inline markup of a paragraph: "[B]"/"[/B]" bold, "[I]"/"[/I]" italic,
// "[C1]"/"[/C1]" and "[C2]"/"[/C2]" the view's second and third text colour,
// "[SUP]"/"[/SUP]" superscript, "[BR]" a line break and "[IMG=set#group]" or
// "[IMG=set#group:colour]" an inline image. A "[" with no "]" after it in
// the paragraph, and a tag of any other name, are text as written.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

struct CTextStyle {
    bool bold = false, italic = false, sup = false;
    uint8_t color = 0;  // 0: "text-color", 1: "text-color1", 2: "text-color2"
    bool operator==(const CTextStyle&) const = default;
};

struct CTextRun {
    enum Kind : uint8_t { Text, Image, Break };
    Kind kind = Text;
    std::string text;  // Text: UTF-8; Image: the reference after "IMG="
    CTextStyle style;
    bool operator==(const CTextRun&) const = default;
};

std::vector<CTextRun> kelParseMarkup(std::string_view paragraph);
