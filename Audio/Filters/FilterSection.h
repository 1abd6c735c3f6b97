#pragma once
// The section list: what the filter design functions produce and what the IIR
// filter module runs. A section is a biquad or a first-order section stored
// with a monic denominator:
//
//     y[n] = b0·x[n] + b1·x[n-1] + b2·x[n-2] − a1·y[n-1] − a2·y[n-2]
//
// A first-order section keeps b2 = a2 = 0 and order 1, so every section runs
// through the same two-state loop.

#include <complex>
#include <span>
#include <vector>

struct CFilterSection {
    double b0 = 1.0, b1 = 0.0, b2 = 0.0;
    double a1 = 0.0, a2 = 0.0;
    int order = 2;
};

using CFilterSectionList = std::vector<CFilterSection>;

// Complex response of one section at the normalised angular frequency w (radians per sample).
std::complex<double> sectionResponse(const CFilterSection& s, double w);

// Complex response of sections in series at w.
std::complex<double> cascadeResponse(std::span<const CFilterSection> sections, double w);

// Magnitude (linear) of sections in series at freq Hz for the sample rate rate.
double cascadeMagnitude(std::span<const CFilterSection> sections, double freq, double rate);

// True when every pole of every section lies strictly inside the unit circle.
bool sectionsStable(std::span<const CFilterSection> sections);
