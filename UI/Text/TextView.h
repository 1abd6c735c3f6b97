#pragma once
// CTextView (tags "ui:textview", "ui:caption"; "ui:readout" builds on it): draws text
// with the editor's bitmap fonts. The text ("text", or the text content of
// the node) is a list of paragraphs, split at "separator-char" (empty: at
// line ends); each paragraph may carry the inline markup of TextMarkup.h
// and is laid out into lines by CTextWrapper ("is-text-wrapped": break at
// blanks to fit the inner width). Lines are "line-height-modifier" taller
// than the font's line height, paragraphs "paragraph-spacing" apart; the
// block is aligned by "text-alignment-v" in the inner area (and cut at
// "max-text-height"), each line by "text-alignment" ("justify" spreads the
// blanks of every line but a paragraph's last).
//
// Fonts: "font-name" is the path of a font object; bold text uses its
// companion of the same name with "_b" added ("font.base" -> "font.base_b"),
// or, without one, the regular font drawn twice one pixel apart. No font
// has an italic face: italic text is the same face leaning right by one
// pixel in five. Superscript is drawn at 0.7 of the size, raised by 0.4 of
// the ascent. Colours are palette colours: "text-color", "text-color1" and
// "text-color2" (all "Text" by default); an inline image is tinted by its
// reference's colour or the text colour.

#include <vector>

#include "UI/Resources/ResourceObjects.h"
#include "UI/Text/TextWrapper.h"
#include "UI/View/View.h"

KELSTR(CTextView_attrFontName_FontNameEmpty, "Attribute 'font-name' is empty");
KELSTR(CTextView_attrFontName_NoFont, "Font '%1' not found.");
KELSTR(CTextView_attrTextAlignment_Invalid, "Invalid text alignment '%1'.");

class CTextView : public CView {
public:
    static void registerEvents(CClassRecord& record);
    CError initLinks() override;

    void contentSize(double scale, double* w, double* h) const override;
    bool layoutContent(double scale) override;
    void paint(const CPainter& p) const override;

    // The laid out lines (for tests and diagnosis): y of each line's top
    // relative to the inner area, after alignment.
    const std::vector<CTextLine>& lines() const { return m_lines; }
    const std::vector<double>& lineTops() const { return m_lineTops; }
    double textHeight() const { return m_textHeight; }
    // The text as paragraphs.
    std::vector<CString> paragraphs() const;

protected:
    CError applyViewAttr(const CString& name, bool* handled) override;
    // The text alone (paint draws the view's background first).
    void paintText(const CPainter& p) const;

private:
    struct Paragraph {
        std::vector<CTextRun> runs;
        std::vector<CTextImage> imageSizes;
        std::vector<CResolvedImage> images;
        std::vector<CColor> imageColors;
    };
    // Fonts, alignment, colours and paragraphs from the attributes.
    CError resolveText();
    void parse();
    std::vector<CTextLine> wrapAll(double scale, double width, std::vector<size_t>* paragraphOf) const;

    const CFont* m_font = nullptr;
    const CFont* m_bold = nullptr;
    CColor m_colors[3];
    int m_align = 0;   // 0 left, 1 right, 2 center, 3 justify
    int m_alignV = 0;  // 0 top, 1 center, 2 bottom
    std::vector<Paragraph> m_paragraphs;

    std::vector<CTextLine> m_lines;
    std::vector<size_t> m_lineParagraph;
    std::vector<double> m_lineTops;
    double m_textHeight = 0;
    double m_scale = 1.0;
    double m_wrapWidth = 0;  // the inner width wrapped text was last laid out in
};
