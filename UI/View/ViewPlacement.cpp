// Parsing of the placement attributes.
#include "UI/View/ViewPlacement.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace {
// "N%" as a share; false for anything else.
bool parsePercent(const CString& t, double* out) {
    if (t.length() < 2 || t.at(t.length() - 1) != u'%') return false;
    double v;
    if (!t.substr(0, t.length() - 1).trimmed().toDouble(&v) || !std::isfinite(v)) return false;
    *out = v / 100.0;
    return true;
}
}  // namespace

bool CSizeRule::parse(const CString& text, CSizeRule* out) {
    const CString t = text.trimmed();
    static const std::pair<const char*, Kind> kWords[] = {{"compact", Compact},
                                                          {"full", Full},
                                                          {"balanced", Balanced},
                                                          {"full-compact", FullCompact},
                                                          {"full-simple", FullSimple}};
    if (t.empty()) {
        *out = {};
        return true;
    }
    for (const auto& [w, k] : kWords)
        if (t == w) {
            *out = {k, 0};
            return true;
        }
    CSizeRule r;
    if (parsePercent(t, &r.value)) {
        r.kind = Percent;
    } else if (t.toDouble(&r.value) && r.value >= 0 && std::isfinite(r.value)) {
        r.kind = Fixed;
    } else {
        return false;
    }
    *out = r;
    return true;
}

bool CSizeBound::parse(const CString& text, bool allowCompact, CSizeBound* out) {
    const CString t = text.trimmed();
    CSizeBound b;
    if (t.empty()) {
        b.kind = None;
    } else if (t == "compact") {
        if (!allowCompact) return false;
        b.kind = Compact;
    } else if (parsePercent(t, &b.value)) {
        b.kind = Percent;
    } else if (t.toDouble(&b.value) && std::isfinite(b.value)) {
        b.kind = Fixed;
    } else {
        return false;
    }
    *out = b;
    return true;
}

// --- Helpers -------------------------------------------------------------------

CError CViewBasePlacement::setAlign(EAlign* field, const CString& v, bool vertical, const char* message) {
    const CString t = v.trimmed();
    EAlign a;
    if (t.empty()) a = EAlign::None;
    else if (t == (vertical ? "top" : "left")) a = EAlign::Start;
    else if (t == "center") a = EAlign::Center;
    else if (t == (vertical ? "bottom" : "right")) a = EAlign::End;
    else return KEL_ERROR(message, v);
    *field = a;
    return {};
}

CError CViewBasePlacement::setBorder(CBorderList* field, const CString& v) {
    CString bad;
    const CBorderList::EParse r = field->parse(v, &bad);
    if (r != CBorderList::kOk) logBorderError(bad, int(r));
    return {};
}

CError CViewBasePlacement::setNumber(double* field, const CString& v, const char* attrName, double def) {
    const CString t = v.trimmed();
    double d = def;
    if (!t.empty() && (!t.toDouble(&d) || !std::isfinite(d)))
        return KEL_ERROR(kelstr_CViewBasePlacement_attrValue_Invalid, v, attrName);
    *field = d;
    return {};
}

CError CViewBasePlacement::setBool(bool* field, const CString& v, const char* attrName) {
    const CString t = v.trimmed();
    if (t.empty() || t == "false" || t == "0") *field = false;
    else if (t == "true" || t == "1") *field = true;
    else return KEL_ERROR(kelstr_CViewBasePlacement_attrValue_Invalid, v, attrName);
    return {};
}

CError CViewBasePlacement::setSize(int axis, const CString& v, const char* attrName) {
    CSizeRule r;
    if (!CSizeRule::parse(v, &r)) return KEL_ERROR(kelstr_CViewBasePlacement_attrValue_Invalid, v, attrName);
    m_size[axis] = r;
    return {};
}

CError CViewBasePlacement::setBound(CSizeBound* field, const CString& v, bool allowCompact, const char* attrName) {
    CSizeBound b;
    if (!CSizeBound::parse(v, allowCompact, &b))
        return KEL_ERROR(kelstr_CViewBasePlacement_attrValue_Invalid, v, attrName);
    *field = b;
    return {};
}

CError CViewBasePlacement::setCompact(int axis, const CString& v, const char* attrName) {
    const CString t = v.trimmed();
    double d;
    if (t.empty() || t == "auto") m_compact[axis].reset();
    else if (t.toDouble(&d) && d >= 0 && std::isfinite(d)) m_compact[axis] = d;
    else return KEL_ERROR(kelstr_CViewBasePlacement_attrValue_Invalid, v, attrName);
    return {};
}

CError CViewBasePlacement::setOpacity(double* field, const CString& v, const char* attrName, bool percent) {
    const CString t = v.trimmed();
    double d = 1.0;
    if (!t.empty() && !(percent && parsePercent(t, &d)) && !t.toDouble(&d))
        return KEL_ERROR(kelstr_CViewBasePlacement_attrValue_Invalid, v, attrName);
    *field = std::clamp(d, 0.0, 1.0);
    return {};
}

// --- The operations ------------------------------------------------------------------

CError CViewBasePlacement::attrAlignmentH(const CString& v) {
    return setAlign(&m_align[0], v, false, kelstr_CViewBasePlacement_attrAlignmentH_InvalidAlignmentH);
}
CError CViewBasePlacement::attrAlignmentV(const CString& v) {
    return setAlign(&m_align[1], v, true, kelstr_CViewBasePlacement_attrAlignmentV_InvalidAlignmentV);
}
CError CViewBasePlacement::attrInlineAlignmentH(const CString& v) {
    return setAlign(&m_inlineAlign[0], v, false, kelstr_CViewBasePlacement_attrInlineAlignmentH_InvalidAlignment);
}
CError CViewBasePlacement::attrInlineAlignmentV(const CString& v) {
    return setAlign(&m_inlineAlign[1], v, true, kelstr_CViewBasePlacement_attrInlineAlignmentV_InvalidAlignment);
}
CError CViewBasePlacement::attrCompactWidth(const CString& v) { return setCompact(0, v, "compact-width"); }
CError CViewBasePlacement::attrCompactHeight(const CString& v) { return setCompact(1, v, "compact-height"); }
CError CViewBasePlacement::attrDrawOpacity(const CString& v) {
    return setOpacity(&m_drawOpacity, v, "draw-opacity", false);
}
CError CViewBasePlacement::attrOpacity(const CString& v) { return setOpacity(&m_opacity, v, "opacity", true); }
CError CViewBasePlacement::attrInnerBorder(const CString& v) { return setBorder(&m_innerBorder, v); }
CError CViewBasePlacement::attrOuterBorder(const CString& v) { return setBorder(&m_outerBorder, v); }
CError CViewBasePlacement::attrSpread(const CString& v) { return setBorder(&m_spread, v); }
CError CViewBasePlacement::attrIsDisabled(const CString& v) { return setBool(&m_disabled, v, "is-disabled"); }
CError CViewBasePlacement::attrIsHidden(const CString& v) { return setBool(&m_hidden, v, "is-hidden"); }
CError CViewBasePlacement::attrIsInlineVertical(const CString& v) {
    return setBool(&m_inlineVertical, v, "is-inline-vertical");
}
CError CViewBasePlacement::attrIsNewInlineRow(const CString& v) {
    return setBool(&m_newInlineRow, v, "is-new-inline-row");
}
CError CViewBasePlacement::attrIsVisible(const CString& v) {
    if (v.trimmed().empty()) return {};
    bool visible = !m_hidden;
    KEL_TRY(setBool(&visible, v, "is-visible"));
    m_hidden = !visible;
    return {};
}
CError CViewBasePlacement::attrMaxWidth(const CString& v) { return setBound(&m_max[0], v, false, "max-width"); }
CError CViewBasePlacement::attrMaxHeight(const CString& v) { return setBound(&m_max[1], v, false, "max-height"); }
CError CViewBasePlacement::attrMinWidth(const CString& v) { return setBound(&m_min[0], v, true, "min-width"); }
CError CViewBasePlacement::attrMinHeight(const CString& v) { return setBound(&m_min[1], v, true, "min-height"); }
CError CViewBasePlacement::attrMinRatioX(const CString& v) {
    return setNumber(&m_minRatio[0], v, "min-ratio-x", 0.0001);
}
CError CViewBasePlacement::attrMinRatioY(const CString& v) {
    return setNumber(&m_minRatio[1], v, "min-ratio-y", 0.0001);
}
CError CViewBasePlacement::attrOffsetX(const CString& v) { return setNumber(&m_offset[0], v, "offset-x", 0); }
CError CViewBasePlacement::attrOffsetY(const CString& v) { return setNumber(&m_offset[1], v, "offset-y", 0); }
CError CViewBasePlacement::attrRatioX(const CString& v) { return setNumber(&m_ratio[0], v, "ratio-x", 1); }
CError CViewBasePlacement::attrRatioY(const CString& v) { return setNumber(&m_ratio[1], v, "ratio-y", 1); }
CError CViewBasePlacement::attrScrollerWidth(const CString& v) {
    return setNumber(&m_scroller[0], v, "scroller-width", 0);
}
CError CViewBasePlacement::attrScrollerHeight(const CString& v) {
    return setNumber(&m_scroller[1], v, "scroller-height", 0);
}
CError CViewBasePlacement::attrWidth(const CString& v) { return setSize(0, v, "width"); }
CError CViewBasePlacement::attrHeight(const CString& v) { return setSize(1, v, "height"); }

CError CViewBasePlacement::attrPlacement(const CString& v) {
    static const char* const kNames[] = {"inline",  "full",           "top",   "bottom",     "left",       "right",
                                         "overlay", "window-overlay", "match", "scroller-h", "scroller-v", "scroller-p"};
    const CString t = v.trimmed();
    int code = 0;
    if (t.empty()) code = 1;
    for (int i = 0; i < 12 && !code; ++i)
        if (t == kNames[i]) code = i + 1;
    if (!code) return KEL_ERROR(kelstr_CViewBasePlacement_attrPlacement_InvalidPlacement, v);
    const auto p = EPlacement(code);
    if (p == EPlacement::Match && !placementMatchExists())
        return KEL_ERROR(kelstr_CViewBasePlacement_attrPlacement_InvalidMatch, v);
    if (p >= EPlacement::ScrollerH && !parentIsScrollable())
        return KEL_ERROR(kelstr_CViewBasePlacement_attrPlacement_NotScrollable, CString::number(int64_t(code)));
    m_placement = p;
    return {};
}

std::span<const CViewBasePlacement::Slot> CViewBasePlacement::slots() {
    using P = CViewBasePlacement;
    static const Slot kSlots[] = {
        {"alignment-h", &P::attrAlignmentH},         {"alignment-v", &P::attrAlignmentV},
        {"compact-width", &P::attrCompactWidth},     {"compact-height", &P::attrCompactHeight},
        {"draw-opacity", &P::attrDrawOpacity},       {"inline-alignment-h", &P::attrInlineAlignmentH},
        {"inline-alignment-v", &P::attrInlineAlignmentV}, {"inner-border", &P::attrInnerBorder},
        {"is-disabled", &P::attrIsDisabled},         {"is-hidden", &P::attrIsHidden},
        {"is-inline-vertical", &P::attrIsInlineVertical}, {"is-new-inline-row", &P::attrIsNewInlineRow},
        {"is-visible", &P::attrIsVisible},           {"max-width", &P::attrMaxWidth},
        {"max-height", &P::attrMaxHeight},           {"min-ratio-x", &P::attrMinRatioX},
        {"min-ratio-y", &P::attrMinRatioY},          {"min-width", &P::attrMinWidth},
        {"min-height", &P::attrMinHeight},           {"offset-x", &P::attrOffsetX},
        {"offset-y", &P::attrOffsetY},               {"opacity", &P::attrOpacity},
        {"outer-border", &P::attrOuterBorder},       {"placement", &P::attrPlacement},
        {"ratio-x", &P::attrRatioX},                 {"ratio-y", &P::attrRatioY},
        {"scroller-width", &P::attrScrollerWidth},   {"scroller-height", &P::attrScrollerHeight},
        {"spread", &P::attrSpread},                  {"width", &P::attrWidth},
        {"height", &P::attrHeight}};
    return kSlots;
}

const CViewBasePlacement::Slot* CViewBasePlacement::findSlot(const CString& name) {
    for (const Slot& s : slots())
        if (name == s.name) return &s;
    return nullptr;
}
