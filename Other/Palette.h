#pragma once
// The palette of the editor: named base colours with their own settings, the
// palette's global settings, and the colours computed from them.
//
// Stored palette values (the raw "palette" parameter of the colour presets,
// the data item "uicolor-palette"): f64 brightness, contrast, opacity, u32
// tone, tone2, tone3 (the global settings), u32 colour count, then per
// colour a string name, red, green, blue bytes, and its own settings in the
// same six fields.
//
// Palette cache (the data item "ui-palette-cache"): u32 count, then per
// colour a string name and its computed record (CDynamicColorData).

#include <string>
#include <string_view>
#include <vector>

#include "Other/Color.h"

KELSTR(CDynamicPalette_load_Count, "Invalid palette colour count %1.");

class CPalette {
public:
    struct Entry {
        std::string name;
        CRgb base;
        CColorSettings settings;
        bool operator==(const Entry&) const = default;
    };

    CColorSettings global;
    std::vector<Entry> colors;

    const Entry* find(std::string_view name) const;
    // The computed record of a colour: its table under its own settings
    // combined with the global ones (the record keeps the combined
    // settings), and a lighter table for the hover state.
    CDynamicColorData compute(const Entry& e) const;

    CError load(CInputStream& in);
    CError save(COutputStream& out) const;
    bool operator==(const CPalette&) const = default;
};

// The computed colours of a palette by name, as the palette cache holds them.
struct CPaletteCache {
    std::vector<std::pair<std::string, CDynamicColorData>> entries;

    static CPaletteCache build(const CPalette& palette);
    const CDynamicColorData* find(std::string_view name) const;
    CError load(CInputStream& in);
    CError save(COutputStream& out) const;
};

// The four switches of a style and the window attributes they set, in the
// order they are applied.
struct CStyleSwitches {
    bool flatPanels = true, shadows = true, spotlight = false, textures = false;
};
std::vector<std::pair<std::string, std::string>> kelStyleAttributes(const CStyleSwitches& s);
