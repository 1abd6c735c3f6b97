// Line breaking of paragraphs.
#include "UI/Text/TextWrapper.h"

#include <algorithm>
#include <cmath>

namespace {
// The pieces of a paragraph before breaking: words, blanks, images, breaks.
struct Item {
    CTextPiece piece;
    bool lineBreak = false;
};

double measure(const CTextFonts& fonts, const CTextStyle& st, std::string_view text, double scale) {
    return fonts.of(st).textWidth(text, scale * (st.sup ? CTextWrapper::kSupScale : 1.0));
}

// Byte length of the UTF-8 character at the start of s.
size_t charLength(std::string_view s) {
    const auto c = uint8_t(s[0]);
    const size_t n = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
    return std::min(n, s.size());
}
}  // namespace

std::vector<CTextLine> CTextWrapper::wrap(const std::vector<CTextRun>& runs, const CTextFonts& fonts,
                                          const std::vector<CTextImage>& images, double scale, double maxWidth,
                                          double lineHeightModifier) {
    std::vector<Item> items;
    size_t imageIndex = 0;
    for (const CTextRun& r : runs) {
        if (r.kind == CTextRun::Break) {
            items.push_back({{}, true});
        } else if (r.kind == CTextRun::Image) {
            Item it;
            it.piece.kind = CTextPiece::Image;
            it.piece.style = r.style;
            it.piece.image = imageIndex;
            it.piece.width = imageIndex < images.size() ? images[imageIndex].width : 0;
            ++imageIndex;
            items.push_back(std::move(it));
        } else {
            size_t pos = 0;
            while (pos < r.text.size()) {
                const bool blank = r.text[pos] == ' ';
                size_t end = pos;
                while (end < r.text.size() && (r.text[end] == ' ') == blank) ++end;
                Item it;
                it.piece.kind = blank ? CTextPiece::Blank : CTextPiece::Text;
                it.piece.text = r.text.substr(pos, end - pos);
                it.piece.style = r.style;
                it.piece.width = measure(fonts, r.style, it.piece.text, scale);
                items.push_back(std::move(it));
                pos = end;
            }
        }
    }

    const double baseHeight = fonts.regular->lineHeight * scale + lineHeightModifier * scale;
    const double baseAscent = fonts.regular->ascent * scale;
    std::vector<CTextLine> lines(1);
    auto newLine = [&] { lines.emplace_back(); };
    auto place = [&](CTextPiece p) {
        CTextLine& l = lines.back();
        p.x = l.width;
        l.width += p.width;
        l.pieces.push_back(std::move(p));
    };
    auto trimTrailingBlanks = [](CTextLine& l) {
        while (!l.pieces.empty() && l.pieces.back().kind == CTextPiece::Blank) {
            l.width -= l.pieces.back().width;
            l.pieces.pop_back();
        }
    };
    const bool wrapping = maxWidth > 0;
    for (Item& it : items) {
        CTextLine* line = &lines.back();
        if (it.lineBreak) {
            line->endsWithBreak = true;
            newLine();
            continue;
        }
        CTextPiece& p = it.piece;
        if (p.kind == CTextPiece::Image && p.image < images.size() && images[p.image].rule) {
            if (!line->pieces.empty()) newLine();
            lines.back().rule = true;
            p.width = wrapping ? maxWidth : p.width;
            place(std::move(p));
            newLine();
            continue;
        }
        if (p.kind == CTextPiece::Blank) {
            if (line->pieces.empty() && lines.size() > 1 && wrapping) continue;  // no blanks at a wrapped line's start
            place(std::move(p));
            continue;
        }
        if (wrapping && line->width + p.width > maxWidth && !line->pieces.empty()) {
            trimTrailingBlanks(*line);
            if (!line->pieces.empty()) newLine();
        }
        if (wrapping && p.kind == CTextPiece::Text && p.width > maxWidth) {
            // A word wider than a line breaks between characters.
            std::string_view rest = p.text;
            while (!rest.empty()) {
                size_t take = 0;
                double w = 0;
                while (take < rest.size()) {
                    const size_t n = charLength(rest.substr(take));
                    const double cw = measure(fonts, p.style, rest.substr(take, n), scale);
                    if (take > 0 && lines.back().width + w + cw > maxWidth) break;
                    w += cw;
                    take += n;
                }
                CTextPiece part = p;
                part.text = std::string(rest.substr(0, take));
                part.width = w;
                place(std::move(part));
                rest = rest.substr(take);
                if (!rest.empty()) newLine();
            }
            continue;
        }
        place(std::move(p));
    }
    if (lines.size() > 1 && lines.back().pieces.empty() && lines[lines.size() - 2].rule) lines.pop_back();
    for (CTextLine& l : lines) {
        trimTrailingBlanks(l);
        l.height = baseHeight;
        l.ascent = baseAscent;
        for (const CTextPiece& p : l.pieces)
            if (p.kind == CTextPiece::Image && p.image < images.size()) {
                const double h = images[p.image].height;
                if (h > l.ascent) l.height += h - l.ascent, l.ascent = h;
            }
    }
    lines.back().endsParagraph = true;
    return lines;
}
