// Bar meters: readings, peak hold and drawing.
#include "UI/Meters/LevelMeter.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>

#include "Core/Application.h"
#include "Core/Log.h"
#include "UI/Controls/ParamBridge.h"
#include "UI/Controls/MinMax.h"
#include "UI/Meters/VizExchange.h"
#include "UI/Resources/DynamicColor.h"

double kelMeterDb(double a) { return a > 0 ? 20.0 * std::log10(a) : -HUGE_VAL; }

bool kelParseMeterCombo(const CString& name, EMeterCombo* out) {
    static const char* const kNames[] = {"sum", "max", "min", "avg", "rms"};
    const CString n = name.trimmed();
    for (int i = 0; i < 5; ++i)
        if (n == kNames[i]) {
            *out = EMeterCombo(i);
            return true;
        }
    return false;
}

double kelMeterCombine(EMeterCombo mode, const double* v, size_t count) {
    double acc = 0;
    size_t n = 0;
    double lo = HUGE_VAL, hi = 0;
    for (size_t i = 0; i < count; ++i) {
        if (std::isnan(v[i])) continue;
        const double a = std::max(v[i], 0.0);
        ++n;
        lo = std::min(lo, a), hi = std::max(hi, a);
        acc += mode == EMeterCombo::Avg ? a : a * a;
    }
    if (n == 0) return 0;
    switch (mode) {
        case EMeterCombo::Sum: return std::sqrt(acc);
        case EMeterCombo::Max: return hi;
        case EMeterCombo::Min: return lo;
        case EMeterCombo::Avg: return acc / double(n);
        case EMeterCombo::Rms: return std::sqrt(acc / double(n));
    }
    return 0;
}

// --- Readings ---------------------------------------------------------------------------------

void CLevelMeterBase::registerEvents(CClassRecord& record) {
    CView::registerEvents(record);
    record.addEvent("listener-values-changed", [](CObject* self, CEventParams&) -> CError {
        auto* m = static_cast<CLevelMeterBase*>(self);
        if (m->update(kelSecondsSinceStart())) m->requestRepaint();
        return {};
    });
    record.addEvent("range-update", [](CObject* self, CEventParams&) -> CError {
        static_cast<CLevelMeterBase*>(self)->requestRepaint();
        return {};
    });
}

CError CLevelMeterBase::readModes() {
    if (hasAttr("combo-mode") && !kelParseMeterCombo(attr("combo-mode"), &m_combo))
        return KEL_ERROR(kelstr_CLevelMeterBase_init_InvalidComboMode);
    if (hasAttr("combo-mode-peak") && !kelParseMeterCombo(attr("combo-mode-peak"), &m_comboPeak))
        return KEL_ERROR(kelstr_CLevelMeterBase_init_InvalidComboModePeak);
    m_channels.clear();
    for (const CString& s : splitBlanks(attr("audio-channels-list"))) {
        int64_t c = 0;
        if (s.toInt(&c) && c >= 0 && c < 1024) m_channels.push_back(int(c));
    }
    return {};
}

CError CLevelMeterBase::init() {
    KEL_TRY(CView::init());
    KEL_TRY(readModes());
    m_listeners.clear();
    for (const auto& c : children())
        if (auto* l = dynamic_cast<CLevelMeterListener*>(c.get())) m_listeners.push_back(l);
    if (m_listeners.empty()) return KEL_ERROR(kelstr_CLevelMeterBase_init_NoListeners);
    return {};
}

CError CLevelMeterBase::initLinks() {
    KEL_TRY(CView::initLinks());
    for (CLevelMeterListener* l : m_listeners) CObject::listenObject(l, "values-changed", this, "listener-values-changed");
    m_range = nullptr;
    if (!attr("min-max").trimmed().empty()) {
        KEL_TRY(findObjectByAttr("min-max", &m_range));
        CObject::listenObject(m_range, "min-max-update", this, "range-update");
    }
    return {};
}

CError CLevelMeterBase::onAttrChanged(const CString& name) {
    if (initState() >= 3 && (name == "combo-mode" || name == "combo-mode-peak" || name == "audio-channels-list"))
        KEL_TRY(readModes());
    KEL_TRY(CView::onAttrChanged(name));
    if (initState() >= 3 && name == "is-hidden") KEL_TRY(setVisibleState(!isHidden()));
    return {};
}

CError CLevelMeterBase::setVisibleState(bool shown) {
    // A hidden meter stops its taps on the audio side.
    for (CLevelMeterListener* l : m_listeners) KEL_TRY(l->setActive(shown));
    return {};
}

CString CLevelMeterBase::formatDb(double db) const {
    if (!std::isfinite(db)) return "-inf";
    const CString fmt = hasAttr("out-format") ? attr("out-format") : CString("%0.1f");
    const std::string f = fmt.utf8();
    // Only one number conversion of a double is allowed in the format.
    if (std::count(f.begin(), f.end(), '%') != 1 || f.find_first_of("fFgGeE", f.find('%')) == std::string::npos)
        return CString::number(db, 1);
    char buf[64];
    std::snprintf(buf, sizeof buf, f.c_str(), db);
    return CString(buf);
}

bool CLevelMeterBase::update(double now) {
    // Gather the shown channels' values over the listeners, in order.
    std::vector<double> levels, peaks;
    // Below the floor (dB) is silence: dither and denormal guards leave
    // traces far under any converter's noise.
    const double floorDb = attrReal("silence-floor", -150.0);
    auto gate = [floorDb](double a) { return std::isnan(a) || kelMeterDb(a) >= floorDb ? a : 0.0; };
    double clips = 0;
    bool hasClips = false;
    int index = 0;
    for (CLevelMeterListener* l : m_listeners) {
        const CVizFrames& f = l->frames();
        const CVizFrames::Lane* lane = l->lane();
        if (!lane) continue;
        const int lf = f.channelField(attr("level-field").empty() ? CString("level") : attr("level-field"));
        const int pf = f.channelField(attr("peak-field").empty() ? CString("peak") : attr("peak-field"));
        const int cf = f.channelField("clips");
        for (uint32_t ch = 0; ch < lane->last.channels; ++ch, ++index) {
            if (!m_channels.empty() && std::find(m_channels.begin(), m_channels.end(), index) == m_channels.end())
                continue;
            const double lv = f.channelValue(*lane, ch, lf);
            const double pv = pf >= 0 ? f.channelValue(*lane, ch, pf) : lv;
            levels.push_back(gate(lv));
            peaks.push_back(gate(std::isnan(pv) ? lv : pv));
            if (cf >= 0) {
                hasClips = true;
                const double c = f.channelValue(*lane, ch, cf);
                if (c > 0) clips += c;
            }
        }
    }
    const bool combined = attrBool("is-combined");
    const size_t count = combined ? (levels.empty() ? 0 : 1) : levels.size();
    bool changed = count != m_bars.size();
    m_bars.resize(count);
    const double dt = m_lastUpdate < 0 ? 0 : std::max(0.0, now - m_lastUpdate);
    m_lastUpdate = now;
    const double holdTime = attrReal("peak-hold-time", 1.5), release = attrReal("peak-release", 20.0);
    for (size_t i = 0; i < count; ++i) {
        Bar& b = m_bars[i];
        const double level = combined ? kelMeterCombine(m_combo, levels.data(), levels.size()) : levels[i];
        const double peak = combined ? kelMeterCombine(m_comboPeak, peaks.data(), peaks.size()) : peaks[i];
        const double lv = std::isnan(level) ? 0 : level, pv = std::isnan(peak) ? 0 : peak;
        changed = changed || lv != b.level || pv != b.peak;
        b.level = lv, b.peak = pv;
        const double peakDb = kelMeterDb(pv);
        const double before = b.heldDb;
        if (peakDb >= b.heldDb) {
            b.heldDb = peakDb;
            b.holdStart = now;
        } else if (now - b.holdStart > holdTime) {
            b.heldDb = std::max(peakDb, b.heldDb - release * dt);
        }
        changed = changed || before != b.heldDb;
    }
    // Exported values.
    const double sum = kelMeterCombine(m_combo, levels.data(), levels.size());
    const double sumPeak = kelMeterCombine(m_comboPeak, peaks.data(), peaks.size());
    CError e = setAttr("sum-value", formatDb(kelMeterDb(sum)), false);
    if (!e) e = setAttr("sum-peak", formatDb(kelMeterDb(sumPeak)), false);
    if (!e && hasClips) {
        e = setAttr("clip-count", CString::number(int64_t(std::llround(clips))), false);
        if (!e) e = clips > 0 ? setState("clipped") : unsetState("clipped");
    }
    if (!e && hasAttr("text-view")) {
        const CString field = attr("text-field").trimmed().empty() ? CString("sum-value") : attr("text-field").trimmed();
        const CString text = attr(field);
        if (!(text == m_shownText)) {
            if (CObject* v = findObject(attr("text-view").trimmed())) e = v->setAttr("text", text, false);
            m_shownText = text;
        }
    }
    if (e) kelLogError(e);
    return changed;
}

// --- Drawing -----------------------------------------------------------------------------------

void CLevelMeter::registerEvents(CClassRecord& record) {
    CLevelMeterBase::registerEvents(record);
    record.addEvent("threshold-change", [](CObject* self, CEventParams&) -> CError {
        static_cast<CLevelMeter*>(self)->requestRepaint();
        return {};
    });
}

CError CLevelMeter::initLinks() {
    KEL_TRY(CLevelMeterBase::initLinks());
    const double lamp = attrReal("lamp-size", 4.0);
    if (!(lamp >= 1.0 && lamp <= 64.0)) return KEL_ERROR(kelstr_CLevelMeter_updateLamps_BadLampHeight);
    m_threshold = nullptr;
    const CString t = attr("threshold-bridge").trimmed();
    if (!t.empty()) {
        m_threshold = dynamic_cast<CParamBridge*>(findObject(t));
        if (!m_threshold)
            kelLogf("Target object not found: %s (attr: %s)", t.utf8().c_str(), "threshold-bridge");
        else
            CObject::listenObject(m_threshold, "param-change", this, "threshold-change");
    }
    for (auto [name, slot] : {std::pair{"zone-yellow-bridge", &m_zoneYellow}, std::pair{"zone-red-bridge", &m_zoneRed}}) {
        *slot = nullptr;
        const CString path = attr(name).trimmed();
        if (path.empty()) continue;
        *slot = dynamic_cast<CParamBridge*>(findObject(path));
        if (!*slot)
            kelLogf("Target object not found: %s (attr: %s)", path.utf8().c_str(), name);
        else
            CObject::listenObject(*slot, "param-change", this, "threshold-change");
    }
    return {};
}

double CLevelMeter::zoneYellow() const {
    return m_zoneYellow && m_zoneYellow->isReady() ? m_zoneYellow->value(0, 0) : attrReal("zone-yellow", -12.0);
}

double CLevelMeter::zoneRed() const {
    return m_zoneRed && m_zoneRed->isReady() ? m_zoneRed->value(0, 0) : attrReal("zone-red", 0.0);
}

double CLevelMeter::dbAt(double position) const {
    if (const CMinMax* r = range()) return r->valueAt(position);
    return std::clamp(position, 0.0, 1.0) * 60.0 - 60.0;
}

CError CLevelMeter::onViewEvent(const CString& name, CEventParams& p) {
    KEL_TRY(CLevelMeterBase::onViewEvent(name, p));
    if (!attrBool("is-threshold-draggable") || !m_threshold) return {};
    if (name == "mouse-press") {
        if (isBlocked() || !m_threshold->isReady()) return {};
        m_dragging = true;
        KEL_TRY(m_threshold->beginGesture(m_threshold->info()->visualName(), -1));
        return dragTo(p);
    }
    if (name == "mouse-move") return m_dragging ? dragTo(p) : CError();
    if (name == "mouse-release" || name == "mouse-cancel") {
        if (!m_dragging) return {};
        m_dragging = false;
        return m_threshold->endGesture();
    }
    return {};
}

CError CLevelMeter::dragTo(CEventParams& p) {
    // The pointer is in the view's own coordinates.
    const CRectD& t = area().total;
    CRectD in = area().inner;
    in.x -= t.x, in.y -= t.y;
    const bool vertical = attr("is-vertical").empty() || attrBool("is-vertical");
    double x = 0, y = 0;
    p.get("x").toDouble(&x);
    p.get("y").toDouble(&y);
    double pos = vertical ? (in.h > 0 ? (in.bottom() - y) / in.h : 0) : (in.w > 0 ? (x - in.x) / in.w : 0);
    if (attrBool("is-inverted")) pos = 1.0 - pos;
    const double db = dbAt(std::clamp(pos, 0.0, 1.0));
    KEL_TRY(m_threshold->setValue(0, 0, attrBool("is-threshold-negated") ? -db : db));
    requestRepaint();
    return {};
}

double CLevelMeter::positionOf(double db) const {
    if (const CMinMax* r = range()) return r->position(db);
    if (!std::isfinite(db)) return db > 0 ? 1.0 : 0.0;
    return std::clamp((db + 60.0) / 60.0, 0.0, 1.0);
}

void CLevelMeter::paint(const CPainter& p) const {
    CView::paint(p);
    const CRectD in = area().inner;
    if (in.empty() || bars().empty()) return;
    const double scale = p.scale();
    const bool vertical = attr("is-vertical").empty() || attrBool("is-vertical");
    const bool inverted = attrBool("is-inverted");
    const bool flat = attrBool("is-flat");
    const double lamp = std::round(std::clamp(attrReal("lamp-size", 4.0), 1.0, 64.0) * scale);
    const double gap = std::max(1.0, std::round(scale));
    const double yellow = zoneYellow(), red = zoneRed();
    auto colour = [&](const char* name) -> const CColor* {
        const CDynamicColorData* d = paletteColor(name);
        return d ? &d->tables.front() : nullptr;
    };
    const CColor* zones[3] = {colour("Zone1"), colour("Zone2"), colour("Zone3")};
    const CColor* back = colour("MeterBack");
    const CColor* peakC = colour("Peak");
    const CColor* peakRed = colour("PeakRed");
    const CColor* threshold = colour("Threshold");
    const double opacity = effectiveOpacity();
    auto fill = [&](const CRectD& r, const CColor* c, double alpha) {
        if (c) p.fillRect(r, c->table[128], opacity * alpha * c->value);
    };
    const size_t n = bars().size();
    const double across = vertical ? in.w : in.h, along = vertical ? in.h : in.w;
    const double barSize = std::floor((across - gap * double(n - 1)) / double(n));
    if (barSize < 1) return;
    // A piece of a bar from position a to b (0..1 along the bar).
    auto piece = [&](size_t i, double a, double b) {
        const double o = (vertical ? in.x : in.y) + double(i) * (barSize + gap);
        double s0 = a * along, s1 = b * along;
        if (vertical != inverted) {  // vertical bars grow upward unless inverted
            const double t0 = along - s1, t1 = along - s0;
            s0 = t0, s1 = t1;
        }
        const double base = vertical ? in.y : in.x;
        return vertical ? CRectD{o, base + s0, barSize, s1 - s0} : CRectD{base + s0, o, s1 - s0, barSize};
    };
    auto zoneOf = [&](double db) { return db <= yellow ? 0 : db <= red ? 1 : 2; };
    for (size_t i = 0; i < n; ++i) {
        const double level = positionOf(barLevelDb(i));
        if (flat) {
            fill(piece(i, 0, 1), back, 1.0);
            // Solid pieces per zone up to the level.
            const double zy = positionOf(yellow), zr = positionOf(red);
            const double cuts[4] = {0, zy, zr, 1};
            for (int z = 0; z < 3; ++z) {
                const double a = cuts[z], b = std::min(cuts[z + 1], level);
                if (b > a) fill(piece(i, a, b), zones[z], 1.0);
            }
        } else {
            const double step = lamp + gap;
            const int lamps = int(std::floor((along + gap) / step));
            if (lamps < 1) continue;
            for (int k = 0; k < lamps; ++k) {
                const double a = double(k) * step / along, b = (double(k) * step + lamp) / along;
                const double mid = (a + b) / 2;
                const double db = range() ? range()->valueAt(mid) : mid * 60.0 - 60.0;
                const bool lit = level > 0 && mid <= level;
                fill(piece(i, a, b), lit ? zones[zoneOf(db)] : back, 1.0);
            }
        }
        const double held = bars()[i].heldDb;
        if (attr("is-peak-shown").empty() || attrBool("is-peak-shown")) {
            if (std::isfinite(held)) {
                const double at = positionOf(held);
                const double w = std::max(1.0, std::round(2 * scale)) / along;
                fill(piece(i, std::max(0.0, at - w), at), held > red && peakRed ? peakRed : peakC, 1.0);
            }
        }
    }
    if (m_threshold && m_threshold->isReady()) {
        const double v = m_threshold->value(0, 0);
        const double at = positionOf(attrBool("is-threshold-negated") ? -v : v);
        const double w = std::max(1.0, std::round(scale)) / along;
        for (size_t i = 0; i < n; ++i) fill(piece(i, std::max(0.0, at - w), at + w), threshold, 1.0);
    }
}
