#include "Audio/Filters/FilterSection.h"

#include <cmath>
#include <numbers>

std::complex<double> sectionResponse(const CFilterSection& s, double w) {
    const std::complex<double> z1 = std::polar(1.0, -w);
    const std::complex<double> z2 = z1 * z1;
    return (s.b0 + s.b1 * z1 + s.b2 * z2) / (1.0 + s.a1 * z1 + s.a2 * z2);
}

std::complex<double> cascadeResponse(std::span<const CFilterSection> sections, double w) {
    std::complex<double> h = 1.0;
    for (const CFilterSection& s : sections) h *= sectionResponse(s, w);
    return h;
}

double cascadeMagnitude(std::span<const CFilterSection> sections, double freq, double rate) {
    return std::abs(cascadeResponse(sections, 2.0 * std::numbers::pi * freq / rate));
}

bool sectionsStable(std::span<const CFilterSection> sections) {
    for (const CFilterSection& s : sections) {
        // 1 + a1 z^-1 + a2 z^-2 has both roots inside the unit circle exactly
        // when |a2| < 1 and |a1| < 1 + a2 (the stability triangle).
        if (!(std::abs(s.a2) < 1.0 && std::abs(s.a1) < 1.0 + s.a2)) return false;
    }
    return true;
}
