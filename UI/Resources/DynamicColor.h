#pragma once
// The dynamic colour model of the editor.
//
// CDynamicPalette (tag "ui:dynamic-palette") holds the editor's named base
// colours and the global "tone", "tone2", "tone3", "brightness", "contrast"
// and "opacity" (Other/Color.h gives their meaning). "color-list" lists the
// colours as "Name=#RRGGBB" separated by ";" or blanks; empty, the palette
// is the stored one: the local data item "uicolor-palette", by default the
// embedded "AppDataLocal_uicolor-palette". "is-editable" and
// "is-tone-copied" are kept for the colour editor. Computed colours come
// from the palette cache ("ui-palette-cache", by default the embedded
// "AppDataLocal_ui-palette-cache") when it holds them under the same
// settings, else they are computed.
//
// CDynamicColor (tag "ui:dynamic-color") is one colour of a palette
// ("palette": its path; "color": the palette colour, by default the
// object's name) under its own "brightness", "contrast", "opacity", "tone",
// "tone2", "tone3"; "gradient-size" N > 1 makes N tables from darker to
// lighter; "is-copy-parent-color" takes the settings of the parent dynamic
// colour. A child named "Hover" gives the table used while hovered.
//
// CStyle (tag "ui:style"): the switches "ui-flat-panels", "ui-shadows",
// "ui-spotlight", "ui-textures"; apply() sets the window attributes they
// stand for (Other/Palette.h) in order, stopping at the first failure.

#include "Core/Object.h"
#include "Other/Palette.h"

KELSTR(CDynamicColor_init_NoParentColor, "Parent dynamic color not found.");
KELSTR(CDynamicPalette_init_BadColor, "Invalid colour '%1' in the colour list of palette '%2'.");

class CDynamicPalette : public CObject {
public:
    CError init() override;
    static void registerEvents(CClassRecord& record);

    const CPalette& palette() const { return m_palette; }
    // The computed colour of a palette colour (nullptr and a log line
    // "Color not found: '%s'" for a name the palette does not hold).
    const CDynamicColorData* colorData(std::string_view name) const;
    // Replaces the palette and recomputes every colour (in place, so that
    // the colours views hold stay valid, when the names are the same).
    void setPalette(CPalette palette);
    const CPaletteCache& cache() const { return m_cache; }

private:
    void compute(const CPaletteCache* stored);
    CPalette m_palette;
    CPaletteCache m_cache;
};

class CDynamicColor : public CObject {
public:
    CError initLinks() override;
    static void registerEvents(CClassRecord& record);

    const CDynamicColorData& data() const { return m_data; }
    // The current table (the first of a gradient) and the hover table.
    const CColor& table() const { return m_data.tables.front(); }
    const CColor& hoverTable() const { return m_data.hover ? *m_data.hover : table(); }
    // Recomputes from the palette (after the palette changed).
    CError update();

private:
    CDynamicPalette* m_palette = nullptr;
    CDynamicColorData m_data{{}, {CColor()}, std::nullopt};
};

class CStyle : public CObject {
public:
    static void registerEvents(CClassRecord& record);
    CStyleSwitches switches() const;
    // Sets the style's attributes on target in order.
    CError apply(CObject& target) const;
};
