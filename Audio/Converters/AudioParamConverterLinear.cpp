#include "Audio/Converters/AudioParamConverterLinear.h"

#include <cmath>

// --- Real ----------------------------------------------------------------------------

CError CAudioParamConverterReal::configure() {
    KEL_TRY(CAudioParamConverter::configure());
    int64_t d = 0;
    if (!readIntAttr("decimals", 2, &d) || d < 0 || d > kMaxConverterDecimals)
        return KEL_ERROR(kelstr_CAudioParamConverterReal_init_InvalidDecimals, attr("decimals"));
    m_decimals = int(d);
    return {};
}

CString CAudioParamConverterReal::valueToText(double value, int kind, double, double) const {
    int d = m_decimals;
    if (kind == kFormatPrecise) {
        d += 2;
    } else if (kind == kFormatShort && d > 0 && std::round(std::fabs(value) * 10.0) >= 100.0) {
        --d;
    }
    return formatFixed(value, d);
}

// --- Percent -------------------------------------------------------------------------

bool CAudioParamConverterPercent::textToValue(const CString& text, double* value) const {
    double p = 0;
    if (!parseNumber(text, &p)) return false;
    *value = p / 100.0;
    return true;
}

CString CAudioParamConverterPercent::valueToText(double value, int kind, double, double) const {
    const double p = value * 100.0;
    if (kind == kFormatPrecise) return formatFixed(p, 2);
    if (kind == kFormatShort) return formatFixed(p, 0);
    return formatFixed(p, std::round(std::fabs(p) * 10.0) < 1000.0 ? 1 : 0);
}

double CAudioParamConverterPercent::positionToDisplay(double pos, double min, double max) const {
    return denormalize(pos, min, max) * 100.0;
}

// --- Text ----------------------------------------------------------------------------

CString CAudioParamConverterText::valueToText(double value, int, double, double) const {
    return formatFixed(value, 0);
}

// --- Round ---------------------------------------------------------------------------

bool CAudioParamConverterRound::textToValue(const CString& text, double* value) const {
    double v = 0;
    if (!parseNumber(text, &v)) return false;
    *value = std::round(v);
    return true;
}

CString CAudioParamConverterRound::valueToText(double value, int, double, double) const {
    return formatFixed(std::round(value), 0);
}

double CAudioParamConverterRound::denormalize(double pos, double min, double max) const {
    return std::round(linearDenormalize(pos, min, max));
}

// --- Bandwidth -----------------------------------------------------------------------

CString CAudioParamConverterBW::valueToText(double value, int kind, double, double) const {
    const double a = std::fabs(value);
    if (kind == kFormatPrecise) return formatFixed(value, 3);
    if (kind == kFormatShort) return formatFixed(value, a < 1.0 ? 2 : 1);
    return formatFixed(value, a < 10.0 ? 2 : 1);
}

double CAudioParamConverterBW::denormalize(double pos, double min, double max) const {
    return logDenormalize(pos, min, max);
}

double CAudioParamConverterBW::normalize(double value, double min, double max) const {
    return logNormalize(value, min, max);
}
