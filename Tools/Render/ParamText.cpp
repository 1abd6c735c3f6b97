#include "Tools/Render/ParamText.h"

#include <cctype>
#include <cmath>
#include <cstdlib>

namespace render {

namespace {

std::string folded(const std::string& s) {
    std::string out;
    for (char c : s)
        if (!std::isspace(static_cast<unsigned char>(c))) out += char(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

}  // namespace

bool leadingNumber(const std::string& text, double* value, int* decimals, size_t* length) {
    size_t i = 0;
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
    const size_t start = i;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
    bool digits = false;
    while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i]))) ++i, digits = true;
    int places = 0;
    if (i < text.size() && text[i] == '.') {
        ++i;
        while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i]))) ++i, ++places, digits = true;
    }
    if (!digits) return false;
    *value = std::strtod(text.substr(start, i - start).c_str(), nullptr);
    if (decimals) *decimals = places;
    if (length) *length = i;
    return true;
}

bool displayTextAgrees(const std::string& given, const std::string& shown) {
    if (folded(given).empty()) return false;
    if (folded(given) == folded(shown)) return true;
    double g = 0.0, s = 0.0;
    int places = 0;
    size_t givenLength = 0, shownLength = 0;
    if (!leadingNumber(given, &g, nullptr, &givenLength) || !leadingNumber(shown, &s, &places, &shownLength))
        return false;
    // The number must be the whole text, or followed by the unit shown: "0x10",
    // "0b1" or "1e-1" are not "0" or "1" with something after them.
    const std::string rest = folded(given.substr(givenLength));
    if (!rest.empty() && rest != folded(shown.substr(shownLength))) return false;
    // Half a unit of the last decimal shown, and a little for the binary round trip.
    const double tolerance = 0.5 * std::pow(10.0, -places) * (1.0 + 1e-9) + 1e-12 * std::fabs(s);
    return std::fabs(g - s) <= tolerance;
}

}  // namespace render
