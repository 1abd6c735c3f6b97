#include "Audio/Converters/AudioParamConverterTime.h"

#include <cmath>

CError CAudioParamConverterTime::configure() {
    // The scale first: the default label follows it.
    double s = 0.001;
    if (!readRealAttr("scale", 0.001, &s) || !(s > 0.0))
        return KEL_ERROR(kelstr_CAudioParamConverterTime_init_InvalidScale, attr("scale"));
    m_scale = s;
    KEL_TRY(CAudioParamConverter::configure());
    m_log = attrBool("is-log", false);
    m_exact = attrBool("is-exact", false);
    m_precise = attrBool("is-precise", false);
    return {};
}

CString CAudioParamConverterTime::defaultLabel() const {
    if (m_scale == 0.001) return "ms";
    if (m_scale == 1.0) return "s";
    return {};
}

bool CAudioParamConverterTime::textToValue(const CString& text, double* value) const {
    double t = 0;
    if (!parseNumber(text, &t)) return false;
    *value = t * m_scale;
    return true;
}

CString CAudioParamConverterTime::valueToText(double value, int kind, double, double) const {
    const double t = value / m_scale;
    if (m_exact) return formatTrimmed(t, 6);
    const double a = std::fabs(t);
    if (kind == kFormatPrecise || (m_precise && kind != kFormatShort)) return formatFixed(t, 3);
    if (kind == kFormatShort) return formatFixed(t, std::round(a * 10.0) < 100.0 ? 1 : 0);
    return formatFixed(t, std::round(a * 100.0) < 1000.0 ? 2 : (std::round(a * 10.0) < 1000.0 ? 1 : 0));
}

double CAudioParamConverterTime::denormalize(double pos, double min, double max) const {
    return m_log ? logDenormalize(pos, min, max) : linearDenormalize(pos, min, max);
}

double CAudioParamConverterTime::normalize(double value, double min, double max) const {
    return m_log ? logNormalize(value, min, max) : linearNormalize(value, min, max);
}
