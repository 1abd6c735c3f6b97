#pragma once
// audio:cvt-ratio -- ratios such as "2:1" stored as the factor b/a ("2:1" is
// 0.5, "1:1" is 1.0, "1:2" is 2.0). A plain number n reads as "n:1".
//
// Text: values below 1 as "n:1" with n = 1/value, others as "1:n" with
// n = value; up to "decimals" digits (default 2), one fewer once n reaches 10,
// trailing zeros dropped.
//
// Positions are linear in the number the user reads: f(v) = 1/v for v <= 1
// ("n:1" gives n) and f(v) = 2 - v above ("1:n" gives 2 - n), a continuous,
// strictly decreasing transform; x = (f(v) - f(min)) / (f(max) - f(min)).

#include "Audio/Converters/AudioParamConverter.h"

KELSTR(CAudioParamConverterRatio_init_InvalidDecimals, "Invalid decimals %1 specified.");

class CAudioParamConverterRatio : public CAudioParamConverter {
public:
    bool textToValue(const CString& text, double* value) const override;
    CString valueToText(double value, int kind, double min, double max) const override;
    double denormalize(double pos, double min, double max) const override;
    double normalize(double value, double min, double max) const override;

    int decimals() const { return m_decimals; }
    // The transform of positions and its inverse.
    static double transform(double value);
    static double inverse(double f);

protected:
    CError configure() override;

private:
    int m_decimals = 2;
};
