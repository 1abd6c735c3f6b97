#include "Audio/Converters/AudioParamConverterRatio.h"

#include <cmath>

namespace {
// Smallest ratio factor the transform handles (1e9:1).
constexpr double kMinFactor = 1e-9;
}  // namespace

CError CAudioParamConverterRatio::configure() {
    KEL_TRY(CAudioParamConverter::configure());
    int64_t d = 0;
    if (!readIntAttr("decimals", 2, &d) || d < 0 || d > kMaxConverterDecimals)
        return KEL_ERROR(kelstr_CAudioParamConverterRatio_init_InvalidDecimals, attr("decimals"));
    m_decimals = int(d);
    return {};
}

bool CAudioParamConverterRatio::textToValue(const CString& text, double* value) const {
    CString t = text.trimmed();
    size_t colon = t.find(u':');
    double a = 0, b = 1.0;
    if (colon == CString::npos) {
        if (!parseNumber(t, &a)) return false;
    } else {
        if (!t.substr(0, colon).trimmed().toDouble(&a) || !t.substr(colon + 1).trimmed().toDouble(&b)) return false;
    }
    if (!(a > 0.0 && b > 0.0) || !std::isfinite(a) || !std::isfinite(b)) return false;
    *value = b / a;
    return true;
}

CString CAudioParamConverterRatio::valueToText(double value, int, double, double) const {
    const bool below = value < 1.0;
    const double n = below ? 1.0 / std::fmax(value, kMinFactor) : value;
    int d = m_decimals;
    if (d > 0 && std::round(10.0 * n) >= 100.0) --d;
    CString num = formatTrimmed(n, d);
    return below ? num + CString(":1") : CString("1:") + num;
}

double CAudioParamConverterRatio::transform(double value) {
    if (value <= 1.0) return 1.0 / std::fmax(value, kMinFactor);
    return 2.0 - value;
}

double CAudioParamConverterRatio::inverse(double f) {
    if (f >= 1.0) return 1.0 / f;
    return 2.0 - f;
}

double CAudioParamConverterRatio::denormalize(double pos, double min, double max) const {
    const double f0 = transform(min), f1 = transform(max);
    return inverse(f0 + (f1 - f0) * clampPos(pos));
}

double CAudioParamConverterRatio::normalize(double value, double min, double max) const {
    const double f0 = transform(min), f1 = transform(max);
    if (f1 == f0) return 0.0;
    return clampPos((transform(clampRange(value, min, max)) - f0) / (f1 - f0));
}
