#pragma once
// Logarithmic converters: gain (stored as a linear amplitude factor, shown in
// dB) and frequency (Hz).
//
// Positions map logarithmically between min m and max M, shaped by
// "scale-power" P (> 0, default 1) and "scale-threshold" T (<= 1, default -1):
// - T <= 0: value = exp(ln m + ln(M/m) * x^(1/P)).
// - 0 < T <= 1: position T is the value 1.0; above it the value rises
//   logarithmically to M, below it the value runs from m to 1.0 with the
//   power shaping. Normalising is the exact inverse.

#include <cmath>

#include "Audio/Converters/AudioParamConverter.h"

KELSTR(CAudioParamConverterLog_init_InvalidScalePower, "Invalid 'scale-power' attribute value %1 specified.");
KELSTR(CAudioParamConverterLog_init_InvalidScaleThreshold, "Invalid 'scale-threshold' attribute value %1 specified.");
KELSTR(CAudioParamConverterGain_init_InvalidDecimals, "Invalid 'decimals' attribute value %1 specified.");

class CAudioParamConverterLog : public CAudioParamConverter {
public:
    double denormalize(double pos, double min, double max) const override;
    double normalize(double value, double min, double max) const override;

    double scalePower() const { return m_power; }
    double scaleThreshold() const { return m_threshold; }

protected:
    CError configure() override;

private:
    // y^(1/P) and its inverse y^P; skipped when P is 1.
    double shape(double y) const;
    double unshape(double y) const;

    double m_power = 1.0;
    double m_threshold = -1.0;
    bool m_powerIsOne = true;
};

// audio:cvt-gain -- text in dB: value = exp(dB / (20 / ln 10)). Digits: the
// precise form 2; the short form 1 below 10 dB (rounded to a tenth) and 0
// from there; otherwise "decimals" (default 1). Values <= 0 read "-inf".
class CAudioParamConverterGain : public CAudioParamConverterLog {
public:
    // 20 / ln 10: dB per neper of amplitude.
    static constexpr double kDbPerNeper = 8.685889638065037;

    bool textToValue(const CString& text, double* value) const override;
    CString valueToText(double value, int kind, double min, double max) const override;
    double positionToDisplay(double pos, double min, double max) const override;

    static double dbToGain(double db) { return std::exp(db / kDbPerNeper); }
    static double gainToDb(double gain) { return kDbPerNeper * std::log(gain); }
    int decimals() const { return m_decimals; }

protected:
    CError configure() override;
    CString defaultLabel() const override { return "dB"; }

private:
    int m_decimals = 1;
};

// audio:cvt-freq -- text in Hz; a trailing "k" (or "kHz") multiplies by 1000.
// Digits: 2 below 10 Hz, 1 below 100 Hz, else 0; the short form writes
// 1000 Hz and above as kilohertz with one digit and "k"; the precise form 2.
class CAudioParamConverterFreq : public CAudioParamConverterLog {
public:
    bool textToValue(const CString& text, double* value) const override;
    CString valueToText(double value, int kind, double min, double max) const override;

protected:
    CString defaultLabel() const override { return "Hz"; }
};
