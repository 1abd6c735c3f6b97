// The colour editor on a real instance: a palette colour edited in the
// picker is drawn in its new colour and reaches the palette parameter of the
// colour registry; a palette arriving through the
// parameter is taken over; swatches choose the colour edited.
#include "Audio/Params/AudioParam.h"
#include "Tests/UI/SettingsFixture.h"
#include "UI/Colors/ColorPicker.h"
#include "UI/Colors/ColorViews.h"
#include "UI/Controls/ParamBridge.h"
#include "UI/Resources/DynamicColor.h"

namespace uitest {
namespace {

constexpr const char* kPaletteParam = "plugin.modMain.uicolor-params.palette";

class UiColors : public UiDataInstance {
protected:
    void openEditor() {
        openUi("<ui:color-picker name=\"picker\" width=\"160\" height=\"110\" color-name=\"Panel\" "
               "bridge=\"ui.palette-bridge\"/>"
               "<ui:view name=\"panel\" width=\"40\" height=\"40\" color=\"Panel\"/>"
               "<ui:color-swatch name=\"sw-bg\" width=\"20\" height=\"20\" palette-color=\"Background\" "
               "picker=\"ui.main-window.window-renderer.root.picker\"/>"
               "<ui:color-swatch name=\"sw-panel\" width=\"20\" height=\"20\" palette-color=\"Panel\" "
               "picker=\"ui.main-window.window-renderer.root.picker\"/>"
               "<ui:color-fill name=\"now\" width=\"20\" height=\"20\" "
               "picker=\"ui.main-window.window-renderer.root.picker\"/>",
               "<ui:param-bridge name=\"palette-bridge\" param=\"plugin.modMain.uicolor-params.palette\"/>"
               "<ui:param-bridge name=\"other-palette-bridge\" param=\"plugin.modMain.uicolor-params.palette\"/>",
               400,
               200);
        m_picker = uiView<CColorPicker>("picker");
        ASSERT_NE(m_picker, nullptr);
        ASSERT_NE(m_picker->dynamicPalette(), nullptr);
    }
    // The pixel at the middle of a view after a frame.
    uint32_t middleOf(const char* view) {
        const CError e = renderer().render();
        EXPECT_FALSE(e) << e.text();
        const CPixelClip box = uiView(view)->area().total.pixels();
        return renderer().backBuffer().at((box.x0 + box.x1) / 2, (box.y0 + box.y1) / 2) & 0xFFFFFFu;
    }
    static uint32_t rgbOf(CRgb c) { return uint32_t(c.r) << 16 | uint32_t(c.g) << 8 | c.b; }
    CRgb panelBase() const { return m_picker->dynamicPalette()->palette().find("Panel")->base; }

    CColorPicker* m_picker = nullptr;
};

TEST_F(UiColors, AnEditedColourIsDrawnAndGoesThroughThePaletteParameter) {
    openEditor();
    const uint32_t before = middleOf("panel");
    const CDynamicColorData* panel = m_picker->dynamicPalette()->colorData("Panel");
    ASSERT_NE(panel, nullptr);
    EXPECT_EQ(before, rgbOf(panel->tables.front()[128]));

    CEventParams set({{"color", "#C03020"}});
    ASSERT_FALSE(m_picker->runEvent("set-color", set));
    EXPECT_EQ(panelBase(), (CRgb{0xC0, 0x30, 0x20}));
    // Views keep drawing from the same colour record, now recomputed.
    EXPECT_EQ(m_picker->dynamicPalette()->colorData("Panel"), panel);
    const uint32_t after = middleOf("panel");
    EXPECT_NE(after, before);
    EXPECT_EQ(after, rgbOf(panel->tables.front()[128]));
    EXPECT_EQ(middleOf("now"), 0xC03020u);

    // The audio side's palette parameter holds the whole palette.
    const std::vector<uint8_t> expected = CColorPicker::paletteBytes(m_picker->dynamicPalette()->palette());
    const std::span<const uint8_t> held = param(kPaletteParam)->storage().raw(0, 0);
    EXPECT_TRUE(std::ranges::equal(held, expected));

    // A bad colour or an unknown palette colour is refused and changes nothing.
    CEventParams bad({{"color", "#C0302"}});
    EXPECT_TRUE(m_picker->runEvent("set-color", bad));
    CEventParams unknown({{"name", "NoSuchColour"}});
    EXPECT_TRUE(m_picker->runEvent("edit-color", unknown));
    EXPECT_EQ(m_picker->editedName().utf8(), "Panel");
    EXPECT_EQ(panelBase(), (CRgb{0xC0, 0x30, 0x20}));
}

TEST_F(UiColors, PickingInTheFieldAndTheHueStripSetsSaturationBrightnessAndHue) {
    openEditor();
    CEventParams set({{"color", "#FF0000"}});
    ASSERT_FALSE(m_picker->runEvent("set-color", set));
    const CRectD inner = m_picker->area().inner, total = m_picker->area().total;
    // The top-left corner of the field: no saturation, full brightness.
    ASSERT_FALSE(input(m_picker, "mouse-press", {{"x", CString::number(inner.x - total.x)},
                                                 {"y", CString::number(inner.y - total.y)}}));
    ASSERT_FALSE(input(m_picker, "mouse-release", {}));
    EXPECT_EQ(panelBase(), (CRgb{255, 255, 255}));
    // Dragging to the right edge, halfway down: full saturation, half brightness.
    ASSERT_FALSE(input(m_picker, "mouse-press", {{"x", "10"}, {"y", "10"}}));
    ASSERT_FALSE(input(m_picker, "mouse-move", {{"x", "1000"}, {"y", CString::number((110 - 16) / 2.0)}}));
    ASSERT_FALSE(input(m_picker, "mouse-release", {}));
    EXPECT_NEAR(m_picker->hsv().s, 1.0, 1e-9);
    EXPECT_NEAR(m_picker->hsv().v, 0.5, 0.02);
    EXPECT_EQ(panelBase().g, 0);
    // A third along the hue strip is green.
    ASSERT_FALSE(input(m_picker, "mouse-press", {{"x", CString::number(inner.w / 3)}, {"y", "105"}}));
    ASSERT_FALSE(input(m_picker, "mouse-release", {}));
    EXPECT_NEAR(m_picker->hsv().h, 120, 3);
    EXPECT_GT(panelBase().g, panelBase().r);
    EXPECT_GT(panelBase().g, panelBase().b);
}

TEST_F(UiColors, APaletteArrivingThroughTheParameterIsTakenOver) {
    openEditor();
    CPalette incoming = m_picker->dynamicPalette()->palette();
    const_cast<CPalette::Entry*>(incoming.find("Panel"))->base = {10, 200, 30};
    const std::vector<uint8_t> bytes = CColorPicker::paletteBytes(incoming);
    // Another control of the palette parameter changes it; the audio side
    // tells every listener, the picker's bridge among them.
    ASSERT_FALSE(uiObject<CParamBridge>("ui.other-palette-bridge")->setRaw(0, 0, bytes));
    pumpUi();
    EXPECT_TRUE(std::ranges::equal(param(kPaletteParam)->storage().raw(0, 0), bytes));
    EXPECT_EQ(panelBase(), (CRgb{10, 200, 30}));
    EXPECT_EQ(m_picker->color(), (CRgb{10, 200, 30}));
}

TEST_F(UiColors, SwatchesChooseTheColourEditedAndShowWhichItIs) {
    openEditor();
    auto* bg = uiView<CColorSwatch>("sw-bg");
    auto* pn = uiView<CColorSwatch>("sw-panel");
    ASSERT_TRUE(bg && pn);
    EXPECT_TRUE(pn->stateSet().isSet("on"));
    EXPECT_FALSE(bg->stateSet().isSet("on"));
    ASSERT_FALSE(input(bg, "mouse-release", {}));
    EXPECT_EQ(m_picker->editedName().utf8(), "Background");
    EXPECT_TRUE(bg->stateSet().isSet("on"));
    EXPECT_FALSE(pn->stateSet().isSet("on"));
    EXPECT_EQ(middleOf("sw-bg"), rgbOf(bg->swatchColor()));
    EXPECT_EQ(m_picker->color(), bg->swatchColor());
}

TEST(ColorHsv, ConversionsRoundTripEveryPrimaryAndGrey) {
    for (CRgb c : {CRgb{255, 0, 0}, CRgb{0, 255, 0}, CRgb{0, 0, 255}, CRgb{255, 255, 0}, CRgb{0, 255, 255},
                   CRgb{255, 0, 255}, CRgb{128, 128, 128}, CRgb{0, 0, 0}, CRgb{255, 255, 255}, CRgb{0x2d, 0x33, 0x3b}})
        EXPECT_EQ(CHsv::fromRgb(c).toRgb(), c) << int(c.r) << "," << int(c.g) << "," << int(c.b);
    EXPECT_NEAR(CHsv::fromRgb({0, 255, 0}).h, 120, 1e-9);
    EXPECT_NEAR(CHsv::fromRgb({255, 0, 255}).h, 300, 1e-9);
}

}  // namespace
}  // namespace uitest
