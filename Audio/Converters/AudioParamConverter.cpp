#include "Audio/Converters/AudioParamConverter.h"

#include <cmath>

namespace {
char16_t lower(char16_t c) { return (c >= u'A' && c <= u'Z') ? char16_t(c + 32) : c; }

// True when text ends with suffix, ignoring ASCII case.
bool endsWithNoCase(const CString& text, const CString& suffix) {
    if (suffix.empty() || suffix.length() > text.length()) return false;
    const size_t off = text.length() - suffix.length();
    for (size_t i = 0; i < suffix.length(); ++i)
        if (lower(text.at(off + i)) != lower(suffix.at(i))) return false;
    return true;
}
}  // namespace

CAudioStateNames parseStateNameList(const CString& text) {
    CAudioStateNames out;
    if (text.empty()) return out;
    for (const CString& item : splitString(text, u';')) {
        CAudioStateName n;
        size_t bar = item.find(u'|');
        if (bar == CString::npos) {
            n.longName = item;
            n.shortName = item;
        } else {
            n.longName = item.substr(0, bar);
            n.shortName = item.substr(bar + 1);
            if (n.shortName.empty()) n.shortName = n.longName;
        }
        out.push_back(std::move(n));
    }
    return out;
}

// --- Configuration ---------------------------------------------------------------

CError CAudioParamConverter::init() {
    KEL_TRY(CObject::init());
    KEL_TRY(prepare());
    return {};
}

CError CAudioParamConverter::prepare() {
    if (m_prepared) return {};
    KEL_TRY(configure());
    m_prepared = true;
    return {};
}

CError CAudioParamConverter::configure() {
    m_label = hasAttr("label") ? attr("label") : defaultLabel();
    m_discrete = attrBool("is-discrete", defaultDiscrete());
    return {};
}

bool CAudioParamConverter::readIntAttr(const CString& name, int64_t def, int64_t* out) const {
    CString t = attr(name).trimmed();
    if (t.empty()) {
        *out = def;
        return true;
    }
    return t.toInt(out);
}

bool CAudioParamConverter::readRealAttr(const CString& name, double def, double* out) const {
    CString t = attr(name).trimmed();
    if (t.empty()) {
        *out = def;
        return true;
    }
    double v = 0;
    if (!t.toDouble(&v) || !std::isfinite(v)) return false;
    *out = v;
    return true;
}

// --- Helpers -----------------------------------------------------------------------

bool CAudioParamConverter::parseNumber(const CString& text, double* out) const {
    CString t = text.trimmed();
    if (endsWithNoCase(t, m_label)) t = t.substr(0, t.length() - m_label.length()).trimmed();
    double v = 0;
    if (!t.toDouble(&v) || !std::isfinite(v)) return false;
    *out = v;
    return true;
}

CString CAudioParamConverter::formatFixed(double v, int decimals) {
    if (decimals < 0) decimals = 0;
    // Halves round away from zero; a value that rounds to zero is written
    // without its sign.
    const double scale = std::pow(10.0, decimals);
    if (std::isfinite(v) && std::fabs(v) * scale < 1e15) v = std::round(v * scale) / scale;
    if (v == 0.0) v = 0.0;
    return CString::number(v, decimals);
}

CString CAudioParamConverter::formatTrimmed(double v, int decimals) {
    CString s = formatFixed(v, decimals);
    if (s.find(u'.') == CString::npos) return s;
    size_t end = s.length();
    while (end > 0 && s.at(end - 1) == u'0') --end;
    if (end > 0 && s.at(end - 1) == u'.') --end;
    return s.substr(0, end);
}

double CAudioParamConverter::clampRange(double v, double min, double max) {
    const double lo = min < max ? min : max;
    const double hi = min < max ? max : min;
    return v < lo ? lo : (v > hi ? hi : v);
}

double CAudioParamConverter::linearDenormalize(double pos, double min, double max) {
    return min + (max - min) * clampPos(pos);
}

double CAudioParamConverter::linearNormalize(double value, double min, double max) {
    if (max == min) return 0.0;
    return clampPos((value - min) / (max - min));
}

double CAudioParamConverter::logDenormalize(double pos, double min, double max) {
    if (!(min > 0.0 && max > 0.0)) return linearDenormalize(pos, min, max);
    return std::exp(std::log(min) + std::log(max / min) * clampPos(pos));
}

double CAudioParamConverter::logNormalize(double value, double min, double max) {
    if (!(min > 0.0 && max > 0.0)) return linearNormalize(value, min, max);
    const double span = std::log(max / min);
    if (span == 0.0) return 0.0;
    value = clampRange(value, min, max);
    return clampPos(std::log(value / min) / span);
}

// --- Default operations: a plain linear number -------------------------------------

double CAudioParamConverter::textToValueChecked(const CString& text, double min, double max, bool* ok) const {
    double v = 0;
    if (!textToValue(text, &v)) {
        if (ok) *ok = false;
        return min;
    }
    if (ok) *ok = true;
    return clampRange(v, min, max);
}

bool CAudioParamConverter::textToValue(const CString& text, double* value) const {
    return parseNumber(text, value);
}

CString CAudioParamConverter::valueToText(double value, int kind, double, double) const {
    return formatTrimmed(value, kind == kFormatPrecise ? 6 : 3);
}

double CAudioParamConverter::denormalize(double pos, double min, double max) const {
    return linearDenormalize(pos, min, max);
}

double CAudioParamConverter::normalize(double value, double min, double max) const {
    return linearNormalize(value, min, max);
}

double CAudioParamConverter::positionToDisplay(double pos, double min, double max) const {
    return denormalize(pos, min, max);
}
