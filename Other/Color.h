#pragma once
// Colours of the editor. Every image is drawn in grey levels; a colour table
// (CColor) maps each of the 256 levels to the red, green and blue it shows.
// A table is computed from a base colour and the settings of a dynamic
// colour: brightness and contrast shape the grey curve, the three tones shift
// hue, saturation and lightness. Grey 128 shows the base colour itself, lower
// levels shade it towards black and higher ones light it towards white.
//
// Stream form of a table: f64 value, then 256 entries of red, green, blue bytes.
// Stream form of a computed colour (CDynamicColorData): f64 brightness,
// contrast, opacity, u32 tone, tone2, tone3, u32 count N, N tables, u8 hover
// flag and, when set, the hover table.

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "Core/Error.h"
#include "Core/Stream.h"

KELSTR(CDynamicColorData_load_Count, "Invalid colour table count %1.");

struct CRgb {
    uint8_t r = 0, g = 0, b = 0;
    bool operator==(const CRgb&) const = default;
    // "#RRGGBB" or "RRGGBB"; nullopt for anything else.
    static std::optional<CRgb> parse(std::string_view text);
};

class CColor {
public:
    static constexpr size_t kStreamSize = 8 + 768;

    double value = 1.0;  // the table's opacity
    std::array<CRgb, 256> table{};

    CError load(CInputStream& in);
    CError save(COutputStream& out) const;

    const CRgb& operator[](uint8_t grey) const { return table[grey]; }
    bool operator==(const CColor&) const = default;

    // A flat table: every level shows the same colour.
    static CColor solid(CRgb c, double opacity = 1.0);
};

// The settings of a dynamic colour. Brightness and contrast are offsets from
// neutral (0: unchanged; -1 .. 1), opacity 0 .. 1; tone is a hue rotation in
// degrees (0 .. 359), tone2 the saturation in percent (100: unchanged), tone3
// a lightness shift in percent around 100 (100: unchanged).
struct CColorSettings {
    double brightness = 0.0;
    double contrast = 0.0;
    double opacity = 1.0;
    uint32_t tone = 0;
    uint32_t tone2 = 100;
    uint32_t tone3 = 100;
    bool operator==(const CColorSettings&) const = default;

    // The settings of a colour combined with its palette's global ones.
    CColorSettings combined(const CColorSettings& global) const;
};

// Computes the table of a base colour under settings.
CColor kelComputeColor(CRgb base, const CColorSettings& settings);

// The computed result of a dynamic colour, as the palette cache keeps it.
struct CDynamicColorData {
    CColorSettings settings;
    std::vector<CColor> tables;     // one per gradient step (at least one)
    std::optional<CColor> hover;    // the table while the view is hovered

    CError load(CInputStream& in);
    CError save(COutputStream& out) const;
    bool operator==(const CDynamicColorData&) const = default;
};
