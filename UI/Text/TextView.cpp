// Text views: paragraphs, markup, layout and drawing.
#include "UI/Text/TextView.h"

#include <algorithm>
#include <cmath>

#include "Core/Log.h"
#include "UI/Resources/DynamicColor.h"

namespace {
constexpr double kItalicSlant = 0.2;
constexpr double kSupRaise = 0.4;

bool isTextAttr(const CString& n) {
    for (const char* a : {"text", "font-name", "text-alignment", "text-alignment-v", "text-color", "text-color1",
                          "text-color2", "is-text-wrapped", "line-height-modifier", "paragraph-spacing",
                          "max-text-height", "separator-char", "palette"})
        if (n == a) return true;
    return false;
}
}  // namespace

void CTextView::registerEvents(CClassRecord& record) {
    CView::registerEvents(record);
    record.addEvent("cursor-tick", [](CObject* self, CEventParams&) -> CError {
        return static_cast<CTextView*>(self)->caretTick();
    });
    record.addEvent("open-editbox", [](CObject* self, CEventParams&) -> CError {
        return static_cast<CTextView*>(self)->openEditBox();
    });
    record.addEvent("close-editbox", [](CObject* self, CEventParams& p) -> CError {
        auto* v = static_cast<CTextView*>(self);
        if (p.get("is-cancelled") == "true") return v->cancelEditBox();
        CError err;
        v->commitEditBox(&err);
        return err;
    });
    // Opens or closes the view's drop-down list.
    record.addEvent("popup-toggle", [](CObject* self, CEventParams& p) -> CError {
        return static_cast<CTextView*>(self)->togglePopup(p.get("popup-tag").trimmed());
    });
    // A key of the on-screen keyboard (or any other sender): "keycode" or
    // "char" as the window sends them.
    record.addEvent("virtual-key", [](CObject* self, CEventParams& p) -> CError {
        return static_cast<CTextView*>(self)->runEvent("key-press", p);
    });
}

CError CTextView::initLinks() {
    KEL_TRY(CView::initLinks());
    KEL_TRY(resolveText());
    return {};
}

CError CTextView::applyViewAttr(const CString& name, bool* handled) {
    KEL_TRY(CView::applyViewAttr(name, handled));
    if (!isTextAttr(name)) return {};
    *handled = true;
    if (initState() < 3) return {};  // initLinks resolves everything once
    KEL_TRY(resolveText());
    // A new text in a view of fixed size (a read-out, a statistics cell)
    // cannot move anything else: its lines are laid out again in place and
    // only the view is drawn again, not the whole window laid out.
    if (name == "text" && m_laidOut && sizeRule(0).kind == CSizeRule::Fixed &&
        sizeRule(1).kind == CSizeRule::Fixed) {
        layoutContent(m_scale);
        requestRepaint();
        *handled = false;
    }
    return {};
}

CError CTextView::resolveText() {
    const CString fontName = attr("font-name").trimmed();
    if (fontName.empty()) return KEL_ERROR(kelstr_CTextView_attrFontName_FontNameEmpty);
    auto* font = dynamic_cast<CFontObject*>(findObject(fontName));
    if (!font || !font->font() || font->font()->empty()) return KEL_ERROR(kelstr_CTextView_attrFontName_NoFont, fontName);
    const CString align = attr("text-alignment").trimmed(), alignV = attr("text-alignment-v").trimmed();
    int a = 0, av = 0;
    if (align.empty() || align == "left") a = 0;
    else if (align == "right") a = 1;
    else if (align == "center") a = 2;
    else if (align == "justify") a = 3;
    else return KEL_ERROR(kelstr_CTextView_attrTextAlignment_Invalid, align);
    if (alignV.empty() || alignV == "top") av = 0;
    else if (alignV == "center") av = 1;
    else if (alignV == "bottom") av = 2;
    else return KEL_ERROR(kelstr_CTextView_attrTextAlignment_Invalid, alignV);

    m_font = font->font();
    m_align = a;
    m_alignV = av;
    m_bold = nullptr;
    if (!fontName.utf8().ends_with("_b"))
        if (auto* b = dynamic_cast<CFontObject*>(findObject(fontName + "_b")); b && b->font() && !b->font()->empty())
            m_bold = b->font();
    for (int i = 0; i < 3; ++i) {
        const char* names[3] = {"text-color", "text-color1", "text-color2"};
        CString name = attr(names[i]).trimmed();
        if (name.empty()) name = "Text";
        const CDynamicColorData* c = paletteColor(name);
        m_colors[i] = c ? CColor::solid(c->tables.front()[128], c->tables.front().value) : CColor::solid({201, 209, 217});
    }
    parse();
    return {};
}

std::vector<CString> CTextView::paragraphs() const {
    CString text;
    if (hasAttr("text")) {
        text = attr("text");
    } else if (CObject* content = findChild("content")) {
        text = content->attr("value");
    }
    const CString sep = attr("separator-char");
    return splitString(text, sep.empty() ? u'\n' : sep.at(0));
}

void CTextView::parse() {
    m_paragraphs.clear();
    for (const CString& text : paragraphs()) {
        Paragraph p;
        p.runs = kelParseMarkup(text.utf8());
        for (const CTextRun& r : p.runs) {
            if (r.kind != CTextRun::Image) continue;
            CResolvedImage img;
            CImageRef ref;
            CTextImage size;
            CColor tint = m_colors[r.style.color];
            if (CImageRef::parse(r.text, &ref)) {
                if (CError e = kelResolveImage(*this, ref, &img)) kelLogError(e);
                if (img.image && img.image->layerCount()) {
                    const CImageLayerData& d = img.image->layer(0).data();
                    size.width = d.width * d.invScale;
                    size.height = d.height * d.invScale;
                }
                size.rule = ref.group == "HR";
                const CDynamicColorData* c = paletteColor(CString(ref.colorName));
                if (c) tint = c->tables.front();
                else if (const CDynamicColorData* t = paletteColor(attr("text-color").trimmed().empty() ? CString("Text") : attr("text-color").trimmed()))
                    tint = t->tables.front();
            }
            p.imageSizes.push_back(size);
            p.images.push_back(img);
            p.imageColors.push_back(tint);
        }
        m_paragraphs.push_back(std::move(p));
    }
}

std::vector<CTextLine> CTextView::wrapAll(double scale, double width, std::vector<size_t>* paragraphOf) const {
    std::vector<CTextLine> out;
    if (!m_font) return out;
    const CTextFonts fonts{m_font, m_bold};
    const double modifier = attrReal("line-height-modifier", 0.0);
    for (size_t i = 0; i < m_paragraphs.size(); ++i) {
        std::vector<CTextImage> sizes = m_paragraphs[i].imageSizes;
        for (CTextImage& s : sizes) s.width *= scale, s.height *= scale;
        for (CTextLine& l : CTextWrapper::wrap(m_paragraphs[i].runs, fonts, sizes, scale, width, modifier)) {
            out.push_back(std::move(l));
            if (paragraphOf) paragraphOf->push_back(i);
        }
    }
    return out;
}

void CTextView::contentSize(double scale, double* w, double* h) const {
    CView::contentSize(scale, w, h);
    double width = 0;
    if (attrBool("is-text-wrapped") && sizeRule(0).kind == CSizeRule::Fixed) {
        const CBorder in = innerBorder().evaluate(scale);
        width = std::max(sizeRule(0).value * scale - in.l - in.r, 1.0);
    } else if (attrBool("is-text-wrapped") && m_wrapWidth > 0) {
        width = m_wrapWidth;  // the width the layout gave last time
    }
    const std::vector<CTextLine> lines = wrapAll(scale, width, nullptr);
    double tw = 0, th = 0;
    const double spacing = attrReal("paragraph-spacing", 10.0) * scale;
    for (size_t i = 0; i < lines.size(); ++i) {
        tw = std::max(tw, lines[i].width);
        th += lines[i].height + (lines[i].endsParagraph && i + 1 < lines.size() ? spacing : 0.0);
    }
    const double maxH = attrReal("max-text-height", 0.0) * scale;
    if (maxH > 0) th = std::min(th, maxH);
    *w = std::max(*w, std::ceil(tw));
    *h = std::max(*h, std::ceil(th));
}

bool CTextView::layoutContent(double scale) {
    m_scale = scale;
    m_laidOut = true;
    m_lineParagraph.clear();
    const double width = attrBool("is-text-wrapped") ? std::max(area().inner.w, 1.0) : 0.0;
    const bool widthChanged = width > 0 && width != m_wrapWidth;
    m_wrapWidth = width;
    m_lines = wrapAll(scale, width, &m_lineParagraph);
    m_lineTops.assign(m_lines.size(), 0.0);
    const double spacing = attrReal("paragraph-spacing", 10.0) * scale;
    double y = 0;
    for (size_t i = 0; i < m_lines.size(); ++i) {
        m_lineTops[i] = y;
        y += m_lines[i].height + (m_lines[i].endsParagraph && i + 1 < m_lines.size() ? spacing : 0.0);
    }
    m_textHeight = y;
    const double maxH = attrReal("max-text-height", 0.0) * scale;
    const double shown = maxH > 0 ? std::min(y, maxH) : y;
    const double offset = std::round((area().inner.h - shown) * (m_alignV == 1 ? 0.5 : m_alignV == 2 ? 1.0 : 0.0));
    for (double& t : m_lineTops) t += offset;
    return widthChanged && sizeRule(1).kind == CSizeRule::Compact;
}

void CTextView::paint(const CPainter& p) const {
    CView::paint(p);
    paintText(p);
}

void CTextView::paintText(const CPainter& p) const {
    if (!m_font) return;
    if (m_editing) return paintEdit(p);
    if (m_box) return;  // the box draws the text being edited
    const CRectD& in = area().inner;
    const double scale = m_scale;
    const double maxH = attrReal("max-text-height", 0.0) * scale;
    const double opacity = effectiveOpacity();
    for (size_t i = 0; i < m_lines.size(); ++i) {
        const CTextLine& line = m_lines[i];
        const double top = in.y + m_lineTops[i];
        if (maxH > 0 && top + line.height > in.y + m_lineTops[0] + maxH + 0.5) break;
        if (top > p.clip().y1 || top + line.height < p.clip().y0) continue;
        const Paragraph& para = m_paragraphs[m_lineParagraph[i]];
        const double baseline = top + line.ascent;
        double offset = 0, perBlank = 0;
        const double extra = in.w - line.width;
        if (m_align == 1) offset = extra;
        else if (m_align == 2) offset = extra / 2;
        else if (m_align == 3 && !line.endsParagraph && !line.endsWithBreak && extra > 0) {
            int blanks = 0;
            for (const CTextPiece& piece : line.pieces) blanks += piece.kind == CTextPiece::Blank;
            if (blanks) perBlank = extra / blanks;
        }
        offset = std::round(offset);
        double shift = 0;
        for (const CTextPiece& piece : line.pieces) {
            const double x = in.x + offset + piece.x + shift;
            if (piece.kind == CTextPiece::Blank) {
                shift += perBlank;
                continue;
            }
            if (piece.kind == CTextPiece::Image) {
                if (piece.image >= para.images.size()) continue;
                const CResolvedImage& img = para.images[piece.image];
                CDrawColors c;
                c.slots[0] = &para.imageColors[piece.image];
                c.opacity = opacity;
                if (line.rule) {
                    const double t = std::max(1.0, std::round(scale));
                    p.fillRect({in.x, std::round(top + (line.height - t) / 2), in.w, t}, c.slots[0]->table[128],
                               opacity * c.slots[0]->value);
                    continue;
                }
                if (!img.image || !img.image->layerCount()) continue;
                const CImageLayerData& d = img.image->layer(0).data();
                const double s = scale * d.invScale;
                p.drawImage(*img.set, *img.image, std::round(x - d.originX * s),
                            std::round(baseline - d.height * s - d.originY * s), c);
                continue;
            }
            const CFont& font = piece.style.bold && m_bold ? *m_bold : *m_font;
            const double textScale = scale * (piece.style.sup ? CTextWrapper::kSupScale : 1.0);
            const double by = std::round(baseline - (piece.style.sup ? kSupRaise * m_font->ascent * scale : 0.0));
            CDrawColors c;
            c.slots[0] = &m_colors[piece.style.color];
            c.opacity = opacity;
            const double slant = piece.style.italic ? kItalicSlant : 0.0;
            p.drawText(font, x, by, piece.text, textScale, c, slant);
            if (piece.style.bold && !m_bold) p.drawText(font, x + 1, by, piece.text, textScale, c, slant);
        }
    }
}
