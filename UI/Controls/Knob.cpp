// Knobs: dragging, wheel steps, resets and drawing.
#include "UI/Controls/Knob.h"

#include <algorithm>
#include <cmath>

#include "Core/Log.h"
#include "Platform/Window/Window.h"
#include "UI/Controls/ParamBridge.h"
#include "UI/Render/WindowRenderer.h"

namespace {
bool flag(const CEventParams& p, const char* name) {
    const CString v = p.get(name);
    return v == "true" || v == "1";
}

// Draws image `index` of a set centred in r.
void drawCentred(const CPainter& p, const CImageSet& set, int index, const CRectD& r, const CDrawColors& colors) {
    const CImage* im = set.image(size_t(index));
    if (!im || im->layerCount() == 0) return;
    const CImageLayerData& d = im->layer(0).data();
    const double s = p.scale() * d.invScale;
    const double x = std::round(r.x + (r.w - d.width * s) / 2 - d.originX * s);
    const double y = std::round(r.y + (r.h - d.height * s) / 2 - d.originY * s);
    p.drawImage(set, *im, x, y, colors);
}

constexpr double kRadialSweep = 1.5 * M_PI;  // 270 degrees cover the range
}  // namespace

void CKnob::registerEvents(CClassRecord& record) {
    CView::registerEvents(record);
    record.addEvent("binding-change", [](CObject* self, CEventParams&) -> CError {
        static_cast<CKnob*>(self)->requestRepaint();
        return {};
    });
    record.addEvent("reset", [](CObject* self, CEventParams&) -> CError {
        return static_cast<CKnob*>(self)->m_controller.reset();
    });
}

CError CKnob::initLinks() {
    KEL_TRY(CView::initLinks());
    KEL_TRY(m_binding.bind(*this, "binding-change"));
    m_controller.setBinding(&m_binding);
    m_controller.setPrecision(CGlobalSettings::precisionFor(*this));
    m_controller.setSensitivity(attrReal("sensitivity", 1.0));
    m_controller.setActiveGroups(attr("active-audio-groups"));
    return {};
}

double CKnob::logicalScale() const {
    const double s = renderer() ? renderer()->totalScale() : 1.0;
    return s > 0 ? s : 1.0;
}

double CKnob::pointerAngle(double x, double y) const {
    const CRectD& r = area().total;
    const double cx = r.w * attrReal("center-x", 0.5), cy = r.h * attrReal("center-y", 0.45);
    return std::atan2(y - cy, x - cx);
}

int CKnob::frameFor(double position, int frames) {
    if (frames <= 1) return 0;
    return std::clamp(int(std::lround(std::clamp(position, 0.0, 1.0) * (frames - 1))), 0, frames - 1);
}

CError CKnob::onViewEvent(const CString& name, CEventParams& p) {
    if (name == "mouse-press") return press(p);
    if (name == "mouse-press-r") return flag(p, "is-ctrl") ? press(p) : CError();
    if (name == "mouse-move") return m_dragging ? move(p) : CError();
    if (name == "mouse-release" || name == "mouse-cancel" || name == "mouse-release-r" || name == "mouse-cancel-r")
        return release();
    if (name == "mouse-wheel") return wheel(p);
    if (name == "key-press") return key(p);
    return {};
}

CError CKnob::key(CEventParams& p) {
    // Arrow keys on the focused knob: a wheel notch each (Shift: fine);
    // Page Up / Page Down ten notches; Delete the default value. A knob has
    // no click: Space and Enter stay the host's (its transport keys).
    int64_t code = 0;
    if (!p.get("keycode").toInt(&code)) return {};
    int notches = 0;
    switch (uint32_t(code)) {
        case plat::kKeyUp: case plat::kKeyRight: notches = 1; break;
        case plat::kKeyDown: case plat::kKeyLeft: notches = -1; break;
        case plat::kKeyPageUp: notches = 10; break;
        case plat::kKeyPageDown: notches = -10; break;
        case plat::kKeyDelete:
            p.set("is-handled", "true");
            return isBlocked() || !m_binding.isReady() ? CError() : m_controller.reset();
        case plat::kKeyEnter: case ' ': p.set("is-handled", "false"); return {};
        default: return {};
    }
    p.set("is-handled", "true");
    CEventParams w{{"delta", notches > 0 ? "1" : "-1"}, {"is-shift", p.get("is-shift")}, {"is-ctrl", p.get("is-ctrl")}};
    for (int i = 0; i < std::abs(notches); ++i) KEL_TRY(wheel(w));
    return {};
}

CError CKnob::press(CEventParams& p) {
    if (isBlocked() || !m_binding.isReady()) return {};
    // A pressed knob takes the keys (the window's key focus).
    if (CObject* shared = root() ? root()->findObject("ui.window-shared-data") : nullptr) {
        CEventParams f{{"view", fullName()}};
        if (CError e = shared->runEvent("change-key-focus", f)) kelLogError(e);
    }
    if (flag(p, "is-double-click") || flag(p, "is-alt")) {
        m_dragging = false;
        return m_controller.reset();
    }
    // The global settings may have changed since the last gesture.
    m_controller.setPrecision(CGlobalSettings::precisionFor(*this));
    p.get("x").toDouble(&m_lastX);
    p.get("y").toDouble(&m_lastY);
    m_lastAngle = pointerAngle(m_lastX, m_lastY);
    m_fineAtPress = flag(p, "is-shift");
    m_pending = 0;
    m_dragging = true;
    m_controller.startGesture();
    return {};
}

CError CKnob::move(CEventParams& p) {
    double x = m_lastX, y = m_lastY;
    p.get("x").toDouble(&x);
    p.get("y").toDouble(&y);
    CShiftController::Shift s;
    s.fine = p.has("is-shift") ? flag(p, "is-shift") : m_fineAtPress;
    if (m_controller.precision().radial) {
        const double a = pointerAngle(x, y);
        double d = a - m_lastAngle;
        if (d > M_PI) d -= 2 * M_PI;
        if (d < -M_PI) d += 2 * M_PI;
        m_lastAngle = a;
        // Clockwise (growing angle on a y-down screen) raises the value.
        s.amount = d / kRadialSweep / m_controller.precision().dragStep;
    } else {
        s.amount = -(y - m_lastY) / logicalScale() / 100.0;
    }
    m_lastX = x, m_lastY = y;
    if (m_binding.isDiscrete()) {
        // One step per shift: gather movement until it is worth a step at
        // the drag's own rate.
        m_pending += s.amount * m_controller.precision().dragStep * (s.fine ? m_controller.precision().fine : 1.0);
        const CParamBridge* b = m_binding.bridge();
        const double lo = b->info()->minValue(0), hi = b->info()->maxValue(0);
        const double stepSize = std::abs(hi - lo) >= 1.0 ? 1.0 / std::abs(hi - lo) : 1.0;
        while (std::abs(m_pending) >= stepSize) {
            CShiftController::Shift one;
            one.amount = m_pending > 0 ? 1.0 : -1.0;
            m_pending -= one.amount * stepSize;
            KEL_TRY(m_controller.advance(one));
        }
        return {};
    }
    return m_controller.advance(s);
}

CError CKnob::release() {
    if (!m_dragging) return {};
    m_dragging = false;
    return m_controller.finishGesture();
}

CError CKnob::wheel(CEventParams& p) {
    if (isBlocked() || !m_binding.isReady()) return {};
    double delta = 0;
    if (!p.get("delta").toDouble(&delta) || delta == 0) return {};
    CShiftController::Shift s;
    s.amount = delta > 0 ? 1.0 : -1.0;
    s.fine = flag(p, "is-shift");
    s.wheel = true;
    m_controller.setPrecision(CGlobalSettings::precisionFor(*this));
    KEL_TRY(m_controller.advance(s));
    if (!flag(p, "is-ctrl")) return {};
    for (const CString& path : splitBlanks(attr("knob-multichange"))) {
        auto* other = dynamic_cast<CKnob*>(findObject(path));
        if (!other) {
            kelLogf("Target object not found: %s (attr: %s)", path.utf8().c_str(), "knob-multichange");
            continue;
        }
        if (other != this && !other->isBlocked()) KEL_TRY(other->m_controller.advance(s));
    }
    return {};
}

void CKnob::paint(const CPainter& p) const {
    const CImageSet* set = imageSet();
    if (!set) return CView::paint(p);
    const CDrawColors colors = drawColors();
    const CRectD& r = area().draw;
    const double pos = position();
    auto layer = [&](const char* group, bool byValue) {
        const CImageSet::Group* g = set->findGroup(group);
        if (!g || g->last < g->first) return;
        const int n = g->last - g->first + 1;
        drawCentred(p, *set, g->first + (byValue ? frameFor(pos, n) : 0), r, colors);
    };
    if (set->findGroup("BG")) {
        layer("BG", false);
        layer("Base", false);
        layer(stateSet().isSet("hover") && set->findGroup("ColorHover") ? "ColorHover" : "Color", false);
        layer("Hairlines", false);
        layer("Indicator", true);
        layer("LED", true);
        return;
    }
    layer("", true);
}
