#include "Audio/Converters/AudioParamConverterLog.h"

#include <cmath>

namespace {
// Below this distance from 1 the power step is left out.
constexpr double kPowerEpsilon = 2.220446049250313e-16;
}  // namespace

// --- Log ---------------------------------------------------------------------------

CError CAudioParamConverterLog::configure() {
    KEL_TRY(CAudioParamConverter::configure());
    double p = 1.0, t = -1.0;
    if (!readRealAttr("scale-power", 1.0, &p) || !(p > 0.0))
        return KEL_ERROR(kelstr_CAudioParamConverterLog_init_InvalidScalePower, attr("scale-power"));
    if (!readRealAttr("scale-threshold", -1.0, &t) || t > 1.0)
        return KEL_ERROR(kelstr_CAudioParamConverterLog_init_InvalidScaleThreshold, attr("scale-threshold"));
    m_power = p;
    m_threshold = t;
    m_powerIsOne = std::fabs(p - 1.0) <= kPowerEpsilon;
    return {};
}

double CAudioParamConverterLog::shape(double y) const { return m_powerIsOne ? y : std::pow(y, 1.0 / m_power); }
double CAudioParamConverterLog::unshape(double y) const { return m_powerIsOne ? y : std::pow(y, m_power); }

double CAudioParamConverterLog::denormalize(double pos, double min, double max) const {
    if (!(min > 0.0 && max > 0.0)) return linearDenormalize(pos, min, max);
    const double x = clampPos(pos);
    const double t = m_threshold;
    if (t <= 0.0) return std::exp(std::log(min) + std::log(max / min) * shape(x));
    if (x >= t) {
        if (t >= 1.0) return 1.0;
        const double y = (x - t) / (1.0 - t);
        return std::exp(std::log(max) * y);
    }
    return std::exp(std::log(min) + std::log(1.0 / min) * shape(x / t));
}

double CAudioParamConverterLog::normalize(double value, double min, double max) const {
    if (!(min > 0.0 && max > 0.0)) return linearNormalize(value, min, max);
    const double v = clampRange(value, min, max);
    const double t = m_threshold;
    if (t <= 0.0) {
        const double span = std::log(max / min);
        if (span == 0.0) return 0.0;
        return clampPos(unshape(clampPos(std::log(v / min) / span)));
    }
    if (v >= 1.0) {
        const double lnMax = std::log(max);
        if (lnMax <= 0.0) return t;
        return clampPos(t + (std::log(v) / lnMax) * (1.0 - t));
    }
    const double lnInvMin = std::log(1.0 / min);
    if (lnInvMin <= 0.0) return t;
    return clampPos(t * unshape(clampPos(std::log(v / min) / lnInvMin)));
}

// --- Gain --------------------------------------------------------------------------

CError CAudioParamConverterGain::configure() {
    KEL_TRY(CAudioParamConverterLog::configure());
    int64_t d = 0;
    if (!readIntAttr("decimals", 1, &d) || d < 0 || d > kMaxConverterDecimals)
        return KEL_ERROR(kelstr_CAudioParamConverterGain_init_InvalidDecimals, attr("decimals"));
    m_decimals = int(d);
    return {};
}

bool CAudioParamConverterGain::textToValue(const CString& text, double* value) const {
    CString t = text.trimmed();
    if (t == "-inf" || t == "-inf dB" || t == "-infdB") {
        *value = 0.0;
        return true;
    }
    double db = 0;
    if (!parseNumber(t, &db)) return false;
    *value = dbToGain(db);
    return true;
}

CString CAudioParamConverterGain::valueToText(double value, int kind, double, double) const {
    if (!(value > 0.0)) return "-inf";
    const double db = gainToDb(value);
    int d = m_decimals;
    if (kind == kFormatPrecise)
        d = 2;
    else if (kind == kFormatShort)
        d = std::round(10.0 * std::fabs(db)) < 100.0 ? 1 : 0;
    return formatFixed(db, d);
}

double CAudioParamConverterGain::positionToDisplay(double pos, double min, double max) const {
    const double v = denormalize(pos, min, max);
    return v > 0.0 ? gainToDb(v) : -HUGE_VAL;
}

// --- Frequency -----------------------------------------------------------------------

bool CAudioParamConverterFreq::textToValue(const CString& text, double* value) const {
    CString t = text.trimmed();
    double mult = 1.0;
    auto strip = [&t](const char* suffix) {
        CString s(suffix);
        if (t.length() > s.length() && t.substr(t.length() - s.length()) == s) {
            t = t.substr(0, t.length() - s.length()).trimmed();
            return true;
        }
        return false;
    };
    if (strip("kHz") || strip("khz") || strip("k") || strip("K"))
        mult = 1000.0;
    else
        strip("Hz");
    double v = 0;
    if (!parseNumber(t, &v)) return false;
    *value = v * mult;
    return true;
}

CString CAudioParamConverterFreq::valueToText(double value, int kind, double, double) const {
    const double a = std::fabs(value);
    if (kind == kFormatPrecise) return formatFixed(value, 2);
    if (kind == kFormatShort) {
        if (std::round(a) >= 1000.0) return formatTrimmed(value / 1000.0, 1) + CString("k");
        return formatFixed(value, 0);
    }
    return formatFixed(value, a < 10.0 ? 2 : (a < 100.0 ? 1 : 0));
}
