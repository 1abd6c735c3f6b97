// Swatches, gradients and fills of the colour editor.
#include "UI/Colors/ColorViews.h"

#include "UI/Colors/ColorPicker.h"
#include "UI/Resources/DynamicColor.h"

// --- Swatch ---------------------------------------------------------------------------------

void CColorSwatch::registerEvents(CClassRecord& record) {
    CView::registerEvents(record);
    record.addEvent("picker-change", [](CObject* self, CEventParams&) -> CError {
        return static_cast<CColorSwatch*>(self)->refresh();
    });
}

CError CColorSwatch::initLinks() {
    KEL_TRY(CView::initLinks());
    m_picker = nullptr;
    if (hasAttr("picker")) {
        KEL_TRY(findObjectByAttr("picker", &m_picker));
        CObject::listenObject(m_picker, "color-change", this, "picker-change");
    }
    return refresh();
}

CError CColorSwatch::refresh() {
    const bool on = m_picker && m_picker->editedName() == attr("palette-color").trimmed();
    KEL_TRY(on ? setState("on") : unsetState("on"));
    requestRepaint();
    return {};
}

CRgb CColorSwatch::swatchColor() const {
    const CPalette::Entry* e =
        palette() ? palette()->palette().find(attr("palette-color").trimmed().utf8()) : nullptr;
    return e ? e->base : CRgb{};
}

void CColorSwatch::paint(const CPainter& p) const {
    CView::paint(p);
    p.fillRect(area().inner, swatchColor(), effectiveOpacity());
}

CError CColorSwatch::onViewEvent(const CString& name, CEventParams&) {
    if (name == "mouse-release" && m_picker && !isBlocked())
        return m_picker->editColor(attr("palette-color").trimmed());
    return {};
}

// --- Gradient -------------------------------------------------------------------------------

void CGradientBase::paint(const CPainter& p) const {
    CView::paint(p);
    const CDynamicColorData* d = palette() ? palette()->colorData(attr("palette-color").trimmed().utf8()) : nullptr;
    if (!d || d->tables.empty()) return;
    const CColor& table = d->tables.front();
    const CRectD& r = area().inner;
    const double step = std::max(1.0, std::round(p.scale()));
    for (double x = r.x; x < r.right(); x += step) {
        const int level = std::clamp(int((x - r.x) / std::max(1.0, r.w - 1) * 255 + 0.5), 0, 255);
        p.fillRect({x, r.y, std::min(step, r.right() - x), r.h}, table[uint8_t(level)], effectiveOpacity());
    }
}

// --- Fill -----------------------------------------------------------------------------------

void CColorFill::registerEvents(CClassRecord& record) {
    CView::registerEvents(record);
    record.addEvent("picker-change", [](CObject* self, CEventParams&) -> CError {
        static_cast<CColorFill*>(self)->requestRepaint();
        return {};
    });
}

CError CColorFill::initLinks() {
    KEL_TRY(CView::initLinks());
    m_picker = nullptr;
    if (hasAttr("picker")) {
        KEL_TRY(findObjectByAttr("picker", &m_picker));
        CObject::listenObject(m_picker, "color-change", this, "picker-change");
    }
    if (hasAttr("fill-color")) {
        const auto rgb = CRgb::parse(attr("fill-color").trimmed().utf8());
        if (!rgb) return KEL_ERROR(kelstr_CColorFill_init_BadColor, attr("fill-color"));
        m_fill = *rgb;
    }
    return {};
}

CRgb CColorFill::fillColor() const { return m_picker ? m_picker->color() : m_fill; }

void CColorFill::paint(const CPainter& p) const {
    CView::paint(p);
    p.fillRect(area().inner, fillColor(), effectiveOpacity());
}
