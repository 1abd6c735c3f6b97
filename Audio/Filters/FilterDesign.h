#pragma once
// Pure filter design: the biquads of the Audio EQ Cookbook, the first-order
// low/high-pass, the serial combination with its "adjust" multipliers, the
// generator array lookup, and the K-weighting pair used by the loudness
// meters. Nothing here allocates beyond appending to the caller's section
// list, so a list reserved in advance is filled without allocation.
//
// Parameter lists are (freq Hz, gain as a linear factor, bw); bw is a Q when
// the generator works in the Q form and a bandwidth in octaves otherwise.

#include <array>
#include <span>
#include <string_view>
#include <vector>

#include "Audio/Filters/FilterSection.h"
#include "Core/Error.h"

// Cookbook response types, in the order of the "type" attribute.
enum ERBJType : int {
    kRBJLowPass = 0,
    kRBJHighPass = 1,
    kRBJBandPassPeak = 2,   // band-pass, 0 dB peak gain
    kRBJBandPassSkirt = 3,  // band-pass, constant skirt gain
    kRBJNotch = 4,
    kRBJAllPass = 5,
    kRBJPeaking = 6,
    kRBJLowShelf = 7,
    kRBJHighShelf = 8,
    kRBJTypeCount = 9
};

// ln(2)/2: turns a bandwidth in octaves into the sinh argument of alpha.
inline constexpr double kRBJBandwidthFactor = 0.34657359027997264;
// Amplitude at the cut-off of the first-order sections (−3 dB).
inline constexpr double kLPHP1CutoffGain = 0.7079457843841379;

// Unnormalised cookbook coefficients.
struct CBiquadRaw {
    double b0, b1, b2, a0, a1, a2;
};

// Cookbook coefficients for angular frequency w (radians per sample), shelf or
// peak amplitude A (10^(dB/40)) and alpha. Unknown types give a pass-through.
CBiquadRaw rbjCoefficients(int type, double w, double A, double alpha);

// Divides by a0.
CFilterSection normaliseBiquad(const CBiquadRaw& raw);

// The three values every generator receives.
using CFilterParams = std::array<double, 3>;  // freq (Hz), gain (linear), bw
inline constexpr CFilterParams kDefaultFilterParams = {1000.0, 1.0, 1.0};

// One base generator.
struct CFilterGenSetup {
    enum Kind { kRBJ, kLPHP1 };
    Kind kind = kRBJ;
    int type = 0;       // ERBJType for kRBJ; 0 low-pass, 1 high-pass for kLPHP1
    bool isQ = false;   // kRBJ: bw is a Q instead of a bandwidth in octaves
};

// Parses a "type" attribute for a generator kind. Unknown or malformed types
// give "Invalid filter type '%1' specified.".
CError parseFilterType(CFilterGenSetup::Kind kind, std::string_view text, int* type);

// Checks a setup built in code (same rule and message as parseFilterType).
CError checkFilterGen(const CFilterGenSetup& gen);

// Cookbook biquad for (freq, gain, bw) at rate.
CFilterSection designRBJ(int type, bool isQ, const CFilterParams& p, double rate);

// First-order section whose amplitude at freq is kLPHP1CutoffGain;
// type 0 low-pass, 1 high-pass.
CFilterSection designLPHP1(int type, double freq, double rate);

// Appends the section of one base generator.
void generateFilter(const CFilterGenSetup& gen, const CFilterParams& p, double rate,
                    CFilterSectionList& out);

// One item of a serial generator: a base generator with its "adjust"
// multipliers (freq, gain, bw; missing ones are 1.0) and an optional
// "adjust-pow" exponent applied to each value before its multiplier.
struct CFilterSerialItem {
    CFilterGenSetup gen;
    std::vector<double> adjust;
    bool hasAdjustPow = false;
    double adjustPow = 1.0;
};

// The parameter values an item's generator receives.
CFilterParams adjustFilterParams(const CFilterSerialItem& item, const CFilterParams& p);

// Parses an "adjust" list ("0.78740157,1.0,0.82025173"); empty text is an empty list.
CError parseAdjustList(std::string_view text, std::vector<double>* out);

// Appends the sections of every item, in order.
void generateSerial(std::span<const CFilterSerialItem> items, const CFilterParams& p, double rate,
                    CFilterSectionList& out);

// One entry of a generator array: the designs selectable by index. A plain
// generator is a serial list of one item without multipliers.
struct CFilterArrayItem {
    int index = 0;
    std::vector<CFilterSerialItem> items;
};

// The entry with the given index, or null.
const CFilterArrayItem* findFilterArrayItem(std::span<const CFilterArrayItem> array, int index);

// Most sections any entry of the array produces.
size_t maxFilterArraySections(std::span<const CFilterArrayItem> array);

// Checks every generator of the array.
CError checkFilterArray(std::span<const CFilterArrayItem> array);

// K-weighting of the loudness measurement for rate: a high shelf of about
// +4 dB above 1.5 kHz, then a high-pass at 38 Hz.
std::array<CFilterSection, 2> designKWeighting(double rate);
