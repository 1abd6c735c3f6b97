// The palette colour editor's picker.
#include "UI/Colors/ColorPicker.h"

#include <algorithm>
#include <cmath>

#include "Core/MemoryReader.h"
#include "Core/MemoryWriter.h"
#include "UI/Controls/ParamBridge.h"
#include "UI/Render/WindowRenderer.h"
#include "UI/Resources/DynamicColor.h"

CHsv CHsv::fromRgb(CRgb c) {
    const double r = c.r / 255.0, g = c.g / 255.0, b = c.b / 255.0;
    const double hi = std::max({r, g, b}), lo = std::min({r, g, b}), d = hi - lo;
    CHsv o;
    o.v = hi;
    o.s = hi > 0 ? d / hi : 0;
    if (d > 0) {
        if (hi == r) o.h = 60 * std::fmod((g - b) / d + 6, 6.0);
        else if (hi == g) o.h = 60 * ((b - r) / d + 2);
        else o.h = 60 * ((r - g) / d + 4);
    }
    return o;
}

CRgb CHsv::toRgb() const {
    const double hh = std::fmod(std::fmod(h, 360.0) + 360.0, 360.0) / 60.0;
    const double c = v * s, x = c * (1 - std::fabs(std::fmod(hh, 2.0) - 1)), m = v - c;
    double r = 0, g = 0, b = 0;
    switch (int(hh)) {
        case 0: r = c, g = x; break;
        case 1: r = x, g = c; break;
        case 2: g = c, b = x; break;
        case 3: g = x, b = c; break;
        case 4: r = x, b = c; break;
        default: r = c, b = x; break;
    }
    auto byte = [m](double u) { return uint8_t(std::clamp(std::lround((u + m) * 255), 0L, 255L)); };
    return {byte(r), byte(g), byte(b)};
}

void CColorPicker::registerEvents(CClassRecord& record) {
    CView::registerEvents(record);
    record.addEvent("edit-color", [](CObject* self, CEventParams& p) -> CError {
        return static_cast<CColorPicker*>(self)->editColor(p.get("name").trimmed());
    });
    record.addEvent("set-color", [](CObject* self, CEventParams& p) -> CError {
        const auto rgb = CRgb::parse(p.get("color").trimmed().utf8());
        if (!rgb) return KEL_ERROR(kelstr_CColorPicker_set_BadColor, p.get("color"));
        return static_cast<CColorPicker*>(self)->setColor(*rgb);
    });
    record.addEvent("palette-param-change", [](CObject* self, CEventParams&) -> CError {
        return static_cast<CColorPicker*>(self)->onBridgeChange();
    });
}

CError CColorPicker::initLinks() {
    KEL_TRY(CView::initLinks());
    m_palette = nullptr;
    for (const CObject* o = this; o && !m_palette; o = o->parent())
        if (o->hasAttr("palette") && !o->attr("palette").trimmed().empty())
            m_palette = dynamic_cast<CDynamicPalette*>(o->findObject(o->attr("palette").trimmed()));
    if (!m_palette) return KEL_ERROR(kelstr_CColorPicker_init_NoPalette, fullName());
    m_bridge = nullptr;
    if (hasAttr("bridge")) {
        KEL_TRY(findObjectByAttr("bridge", &m_bridge));
        CObject::listenObject(m_bridge, "param-change", this, "palette-param-change");
    }
    CString name = attr("color-name").trimmed();
    if (name.empty() && !m_palette->palette().colors.empty()) name = CString(m_palette->palette().colors.front().name);
    if (!name.empty()) KEL_TRY(editColor(name));
    return {};
}

std::vector<uint8_t> CColorPicker::paletteBytes(const CPalette& palette) {
    CMemoryWriter w;
    if (palette.save(w)) return {};
    return std::vector<uint8_t>(w.bytes().begin(), w.bytes().end());
}

CError CColorPicker::editColor(const CString& name) {
    const CPalette::Entry* e = m_palette ? m_palette->palette().find(name.utf8()) : nullptr;
    if (!e) return KEL_ERROR(kelstr_CColorPicker_edit_NoColor, name);
    m_name = name;
    m_hsv = CHsv::fromRgb(e->base);
    requestRepaint();
    char hex[8];
    std::snprintf(hex, sizeof hex, "#%02X%02X%02X", e->base.r, e->base.g, e->base.b);
    CEventParams p({{"name", m_name}, {"color", hex}});
    return notify("color-change", p);
}

CError CColorPicker::setColor(CRgb c) {
    CHsv hsv = CHsv::fromRgb(c);
    // Greys and black keep the hue (and blacks the saturation) being edited.
    if (hsv.s == 0 || hsv.v == 0) hsv.h = m_hsv.h;
    if (hsv.v == 0) hsv.s = m_hsv.s;
    return apply(hsv);
}

CError CColorPicker::apply(const CHsv& hsv) {
    if (!m_palette || m_name.empty()) return {};
    m_hsv = hsv;
    CPalette next = m_palette->palette();
    auto it = std::find_if(next.colors.begin(), next.colors.end(),
                            [&](const CPalette::Entry& e) { return e.name == m_name.utf8(); });
    if (it == next.colors.end()) return KEL_ERROR(kelstr_CColorPicker_edit_NoColor, m_name);
    const CRgb rgb = m_hsv.toRgb();
    if (it->base == rgb) return {};
    it->base = rgb;
    const std::vector<uint8_t> bytes = paletteBytes(next);
    m_palette->setPalette(std::move(next));
    repaintAll();
    if (m_bridge && m_bridge->isReady()) KEL_TRY(m_bridge->setRaw(0, 0, bytes));
    char hex[8];
    std::snprintf(hex, sizeof hex, "#%02X%02X%02X", rgb.r, rgb.g, rgb.b);
    CEventParams p({{"name", m_name}, {"color", hex}});
    return notify("color-change", p);
}

CError CColorPicker::onBridgeChange() {
    if (!m_bridge || !m_bridge->isReady() || !m_palette) return {};
    const std::span<const uint8_t> raw = m_bridge->raw(0, 0);
    if (raw.empty()) return {};
    if (std::ranges::equal(raw, paletteBytes(m_palette->palette()))) return {};
    CPalette incoming;
    CMemoryReader r(raw.data(), raw.size());
    KEL_TRY(incoming.load(r));
    // The editor's colours stay the same set (views hold them): take over
    // the global settings and every colour the incoming palette has.
    CPalette next = m_palette->palette();
    next.global = incoming.global;
    for (CPalette::Entry& e : next.colors)
        if (const CPalette::Entry* in = incoming.find(e.name)) e.base = in->base, e.settings = in->settings;
    m_palette->setPalette(std::move(next));
    repaintAll();
    if (m_palette->palette().find(m_name.utf8())) return editColor(m_name);
    return {};
}

void CColorPicker::repaintAll() {
    // Every window of the editor draws with the palette.
    std::vector<CObject*> stack{root()};
    while (!stack.empty()) {
        CObject* o = stack.back();
        stack.pop_back();
        if (auto* r = dynamic_cast<CWindowRenderer*>(o)) r->invalidateAll();
        for (const auto& c : o->children()) stack.push_back(c.get());
    }
}

CRectD CColorPicker::hueStrip() const {
    const CRectD& in = area().inner;
    const double s = renderer() ? renderer()->totalScale() : 1.0;
    const double h = std::min(in.h, std::round(attrReal("hue-height", 12) * s));
    return {in.x, in.bottom() - h, in.w, h};
}

CRectD CColorPicker::field() const {
    const CRectD& in = area().inner;
    const double s = renderer() ? renderer()->totalScale() : 1.0;
    const double h = std::max(0.0, in.h - hueStrip().h - std::round(attrReal("hue-gap", 4) * s));
    return {in.x, in.y, in.w, h};
}

void CColorPicker::paint(const CPainter& p) const {
    CView::paint(p);
    const double op = effectiveOpacity();
    const double cell = std::max(1.0, std::round(2 * p.scale()));
    const CRectD f = field(), hs = hueStrip();
    for (double x = f.x; x < f.right(); x += cell)
        for (double y = f.y; y < f.bottom(); y += cell) {
            const CHsv c{m_hsv.h, (x - f.x) / std::max(1.0, f.w - 1), 1 - (y - f.y) / std::max(1.0, f.h - 1)};
            p.fillRect({x, y, std::min(cell, f.right() - x), std::min(cell, f.bottom() - y)}, c.toRgb(), op);
        }
    for (double x = hs.x; x < hs.right(); x += cell) {
        const CHsv c{360 * (x - hs.x) / std::max(1.0, hs.w), 1, 1};
        p.fillRect({x, hs.y, std::min(cell, hs.right() - x), hs.h}, c.toRgb(), op);
    }
    // Markers: a ring of two squares at the colour, a bar at the hue.
    const double m = std::round(3 * p.scale()), t = std::max(1.0, std::round(p.scale()));
    const double cx = std::round(f.x + m_hsv.s * (f.w - 1)), cy = std::round(f.y + (1 - m_hsv.v) * (f.h - 1));
    const CRgb mark = m_hsv.v > 0.55 ? CRgb{0, 0, 0} : CRgb{255, 255, 255};
    for (const CRectD& r : {CRectD{cx - m, cy - m, 2 * m + t, t}, CRectD{cx - m, cy + m, 2 * m + t, t},
                            CRectD{cx - m, cy - m, t, 2 * m + t}, CRectD{cx + m, cy - m, t, 2 * m + t}})
        p.fillRect(r, mark, op);
    const double hx = std::round(hs.x + m_hsv.h / 360 * (hs.w - 1));
    p.fillRect({hx - t, hs.y, 3 * t, hs.h}, {255, 255, 255}, op);
    p.fillRect({hx, hs.y, t, hs.h}, {0, 0, 0}, op);
}

CError CColorPicker::pick(double x, double y, bool start) {
    // Event coordinates are relative to the view's rectangle.
    x += area().total.x, y += area().total.y;
    const CRectD f = field(), hs = hueStrip();
    if (start) {
        if (x >= hs.x && x < hs.right() && y >= hs.y && y < hs.bottom()) m_dragging = 2;
        else if (x >= f.x && x < f.right() && y >= f.y && y < f.bottom()) m_dragging = 1;
        else return {};
    }
    CHsv next = m_hsv;
    if (m_dragging == 2) {
        next.h = std::clamp(360 * (x - hs.x) / std::max(1.0, hs.w - 1), 0.0, 359.999);
    } else {
        next.s = std::clamp((x - f.x) / std::max(1.0, f.w - 1), 0.0, 1.0);
        next.v = std::clamp(1 - (y - f.y) / std::max(1.0, f.h - 1), 0.0, 1.0);
    }
    return apply(next);
}

CError CColorPicker::onViewEvent(const CString& name, CEventParams& p) {
    double x = 0, y = 0;
    p.get("x").toDouble(&x), p.get("y").toDouble(&y);
    if (name == "mouse-press") return isBlocked() ? CError() : pick(x, y, true);
    if (name == "mouse-move" && m_dragging) return pick(x, y, false);
    if (name == "mouse-release" || name == "mouse-cancel") m_dragging = 0;
    return {};
}
