#pragma once
// CTextWrapper: lays the runs of one paragraph out into lines. Text is
// measured with the font's advances at the drawing scale (bold runs with
// the bold font, superscript at kSupScale of the size); with a width limit
// lines break at blanks, and a word wider than a whole line breaks between
// characters. Blanks at a break are dropped. An image is one unbreakable
// piece of its own width; a rule image takes a line of its own across the
// whole width.

#include <string>
#include <vector>

#include "Other/Font.h"
#include "UI/Text/TextMarkup.h"

struct CTextFonts {
    const CFont* regular = nullptr;
    const CFont* bold = nullptr;  // nullptr: the regular font drawn bold
    const CFont& of(const CTextStyle& s) const { return s.bold && bold ? *bold : *regular; }
};

// An inline image as the wrapper needs it: size in window pixels.
struct CTextImage {
    double width = 0, height = 0;
    bool rule = false;
};

struct CTextPiece {
    enum Kind : uint8_t { Text, Blank, Image };
    Kind kind = Text;
    std::string text;
    CTextStyle style;
    size_t image = 0;  // Image: index into the images passed to the wrapper
    double x = 0, width = 0;
};

struct CTextLine {
    std::vector<CTextPiece> pieces;
    double width = 0, height = 0, ascent = 0;
    bool endsParagraph = false;
    bool endsWithBreak = false;  // "[BR]": not spread by justification
    bool rule = false;
};

class CTextWrapper {
public:
    static constexpr double kSupScale = 0.7;

    // images: one entry per Image run, in order. maxWidth <= 0: no wrapping.
    static std::vector<CTextLine> wrap(const std::vector<CTextRun>& runs, const CTextFonts& fonts,
                                       const std::vector<CTextImage>& images, double scale, double maxWidth,
                                       double lineHeightModifier);
};
