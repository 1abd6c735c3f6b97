#pragma once
// The plain-number converters: real numbers, percentages, text parameters,
// rounded integers and filter bandwidths.

#include "Audio/Converters/AudioParamConverter.h"

KELSTR(CAudioParamConverterReal_init_InvalidDecimals, "Invalid decimals %1 specified.");

// audio:cvt-real -- a number with "decimals" digits (default 2); linear.
// Short form: one digit fewer once the rounded number reaches 10; precise
// form: two more digits.
class CAudioParamConverterReal : public CAudioParamConverter {
public:
    CString valueToText(double value, int kind, double min, double max) const override;
    int decimals() const { return m_decimals; }

protected:
    CError configure() override;

private:
    int m_decimals = 2;
};

// audio:cvt-percent -- stored as a fraction (100 % is 1.0); linear. Text is
// the percentage: one decimal below 100, none from 100 up (short form: none;
// precise form: two).
class CAudioParamConverterPercent : public CAudioParamConverter {
public:
    bool textToValue(const CString& text, double* value) const override;
    CString valueToText(double value, int kind, double min, double max) const override;
    double positionToDisplay(double pos, double min, double max) const override;

protected:
    CString defaultLabel() const override { return "%"; }
};

// audio:cvt-text -- the converter of text parameters; their components hold
// item numbers, which it shows and parses as whole numbers. Discrete.
class CAudioParamConverterText : public CAudioParamConverter {
public:
    CString valueToText(double value, int kind, double min, double max) const override;

protected:
    bool defaultDiscrete() const override { return true; }
};

// Whole numbers: parsing and denormalising round to the nearest integer
// (halves away from zero); linear. No tag: no definition uses it.
class CAudioParamConverterRound : public CAudioParamConverter {
public:
    bool textToValue(const CString& text, double* value) const override;
    CString valueToText(double value, int kind, double min, double max) const override;
    double denormalize(double pos, double min, double max) const override;

protected:
    bool defaultDiscrete() const override { return true; }
};

// audio:cvt-bw -- bandwidth in octaves (label "Oct"). Positions map
// logarithmically while the range is positive, linearly otherwise.
class CAudioParamConverterBW : public CAudioParamConverter {
public:
    CString valueToText(double value, int kind, double min, double max) const override;
    double denormalize(double pos, double min, double max) const override;
    double normalize(double value, double min, double max) const override;

protected:
    CString defaultLabel() const override { return "Oct"; }
};
