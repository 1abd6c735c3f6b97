#pragma once
// audio:cvt-time -- times stored in seconds. The text is in units of "scale"
// seconds (default 0.001: milliseconds; 1.0: seconds); the label defaults to
// "ms" or "s" accordingly. "is-log" maps positions logarithmically (while the
// range is positive) instead of linearly.
//
// Digits (in text units): 2 below 10, 1 below 100, else 0; short form 1 below
// 10, else 0; precise form 3. "is-precise" makes the normal form precise;
// "is-exact" writes up to 6 digits with trailing zeros dropped.

#include "Audio/Converters/AudioParamConverter.h"

KELSTR(CAudioParamConverterTime_init_InvalidScale, "Invalid scale %1 specified.");

class CAudioParamConverterTime : public CAudioParamConverter {
public:
    bool textToValue(const CString& text, double* value) const override;
    CString valueToText(double value, int kind, double min, double max) const override;
    double denormalize(double pos, double min, double max) const override;
    double normalize(double value, double min, double max) const override;

    double scale() const { return m_scale; }
    bool isLog() const { return m_log; }

protected:
    CError configure() override;
    CString defaultLabel() const override;

private:
    double m_scale = 0.001;
    bool m_log = false;
    bool m_exact = false;
    bool m_precise = false;
};
