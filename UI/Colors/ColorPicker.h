#pragma once
// CColorPicker (tag "ui:color-picker"): edits one base colour of the
// editor's palette (the ui:dynamic-palette the view's "palette" names,
// inherited from its ancestors).
//
// The view shows a saturation/brightness field of the current hue above a
// hue strip ("hue-height" logical pixels, default 12, with "hue-gap" 4
// above it); pressing or dragging in either picks the colour. "color-name"
// is the palette colour edited (default: the palette's first); the event
// "edit-color" ("name") switches to another, "set-color" ("color",
// "#RRGGBB") sets the edited one directly.
//
// A change recomputes the palette (every view drawn in that colour shows it
// with the next frame of every window) and, with "bridge" naming the
// ui:param-bridge of the palette parameter, sends the whole palette through
// it, so that it is stored with the colour scheme and follows undo and
// colour presets. Palettes arriving through the bridge (a preset, undo,
// another editor) are taken over: their global settings and the colours
// the editor's palette has (others are ignored, missing ones kept). Notifies "color-change" ("name",
// "color") after every change and switch.

#include <vector>

#include "Other/Palette.h"
#include "UI/View/View.h"

KELSTR(CColorPicker_init_NoPalette, "Colour picker '%1' has no palette.");
KELSTR(CColorPicker_edit_NoColor, "The palette holds no colour '%1'.");
KELSTR(CColorPicker_set_BadColor, "Invalid colour '%1'.");

class CDynamicPalette;
class CParamBridge;

struct CHsv {
    double h = 0, s = 0, v = 0;  // degrees 0..360, 0..1, 0..1
    static CHsv fromRgb(CRgb c);
    CRgb toRgb() const;
};

class CColorPicker : public CView {
public:
    static void registerEvents(CClassRecord& record);
    CError initLinks() override;
    void paint(const CPainter& p) const override;

    const CString& editedName() const { return m_name; }
    CRgb color() const { return m_hsv.toRgb(); }
    const CHsv& hsv() const { return m_hsv; }
    CDynamicPalette* dynamicPalette() const { return m_palette; }

    CError editColor(const CString& name);
    CError setColor(CRgb c);
    // The palette's bytes as the palette parameter stores them.
    static std::vector<uint8_t> paletteBytes(const CPalette& palette);

protected:
    CError onViewEvent(const CString& eventName, CEventParams& params) override;

private:
    CError apply(const CHsv& hsv);
    CError onBridgeChange();
    CError pick(double x, double y, bool start);
    void repaintAll();
    // The field and the hue strip in window pixels.
    CRectD field() const;
    CRectD hueStrip() const;

    CDynamicPalette* m_palette = nullptr;
    CParamBridge* m_bridge = nullptr;
    CString m_name;
    CHsv m_hsv;
    int m_dragging = 0;  // 1: the field, 2: the hue strip
};
