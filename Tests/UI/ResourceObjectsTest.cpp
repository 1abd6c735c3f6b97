// The resource objects of the definitions: image sets and fonts by resource
// name and path, image references, dynamic colours and styles.
#include <gtest/gtest.h>

#include <vector>

#include "Core/Application.h"
#include "Product/ProductCreators.h"
#include "Core/Log.h"
#include "Core/XMLData.h"
#include "Tools/DefCompiler/DefCompiler.h"
#include "UI/Resources/DynamicColor.h"
#include "UI/Resources/ResourceObjects.h"
#include "UI/Resources/ResourceStore.h"

namespace {

std::vector<std::string> g_log;

struct UIResourceObjects : ::testing::Test {
    void SetUp() override {
        g_log.clear();
        kelSetLogSink([](std::string_view line) { g_log.emplace_back(line); });
        CApplication::StartOptions o = kelProductStartOptions();
        o.sharedDefinition = nullptr;
        ASSERT_FALSE(CApplication::start(o));
        root = std::make_unique<CObject>();
    }
    void TearDown() override {
        root.reset();
        UIResources::clear();
        CApplication::finish();
        kelSetLogSink({});
    }
    CError load(const std::string& body) {
        std::vector<uint8_t> doc;
        std::string err;
        EXPECT_TRUE(CDefCompiler::compileXml("<definitions>" + body + "</definitions>", "ui.xml", &doc, &err)) << err;
        return kelLoadCompiledDefinition(root.get(), doc);
    }
    bool logged(const std::string& text) const {
        for (const auto& l : g_log)
            if (l.find(text) != std::string::npos) return true;
        return false;
    }

    std::unique_ptr<CObject> root;
};

TEST_F(UIResourceObjects, SetsAndFontsAreFoundByPathAndImagesByReference) {
    ASSERT_FALSE(load(R"(<core:object name="is">
                           <imageset name="button" file="../../../Gfx/Imagesets/button.is"/>
                         </core:object>
                         <core:object name="font">
                           <font name="compact" file="../../../Gfx/Fonts/compact.fnt"/>
                         </core:object>)"));
    auto* font = dynamic_cast<CFontObject*>(root->findObject("font.compact"));
    ASSERT_NE(font, nullptr);
    ASSERT_NE(font->font(), nullptr);
    EXPECT_GT(font->font()->textWidth("Limiter"), 20.0);

    struct Case {
        const char* ref;
        bool found;
        int first;
        const char* color;
    };
    for (const Case& c : {Case{"is.button#HR:Action", true, -1, "Action"}, Case{"is.button#Pushed", true, 11, ""},
                          Case{"is.button#", true, 1, ""}, Case{"is.button#NoSuchGroup", false, 0, ""}}) {
        CImageRef ref;
        ASSERT_TRUE(CImageRef::parse(c.ref, &ref)) << c.ref;
        EXPECT_EQ(ref.colorName, c.color);
        CResolvedImage img;
        ASSERT_FALSE(kelResolveImage(*root, ref, &img)) << c.ref;
        EXPECT_EQ(img.image != nullptr, c.found) << c.ref;
        if (c.first >= 0 && c.found) {
            EXPECT_EQ(img.group->first, c.first) << c.ref;
        }
    }
    CImageRef missing;
    ASSERT_TRUE(CImageRef::parse("is.nothing#HR", &missing));
    CResolvedImage img;
    CError e = kelResolveImage(*root, missing, &img);
    ASSERT_TRUE(e);
    EXPECT_EQ(e.message().utf8(), "Image set 'is.nothing' not found.");
    EXPECT_FALSE(CImageRef::parse("is.button", &missing));
}

TEST_F(UIResourceObjects, ObjectsWithoutTheirResourceFail) {
    for (const char* body : {R"(<imageset name="x" file=""/>)", R"(<font name="x" file="../../../Gfx/Fonts/none.fnt"/>)"}) {
        root = std::make_unique<CObject>();
        EXPECT_TRUE(load(body)) << body;
    }
}

TEST_F(UIResourceObjects, DynamicColoursComeFromTheirPalette) {
    ASSERT_FALSE(load(R"(<ui:dynamic-palette name="palette" color-list="Panel=#2d333b; Knob=#5a6570 Text=#c9d1d9"/>
                         <ui:dynamic-color name="Knob" palette="palette">
                           <ui:dynamic-color name="Hover" palette="palette" color="Knob" brightness="0.3"/>
                           <ui:dynamic-color name="copy" is-copy-parent-color="true"/>
                         </ui:dynamic-color>
                         <ui:dynamic-color name="gradient" palette="palette" color="Panel" gradient-size="4"/>
                         <ui:dynamic-color name="Nope" palette="palette"/>)"));
    EXPECT_TRUE(logged("Dynamic palette init time 1: "));
    EXPECT_TRUE(logged("Dynamic palette init time 2: "));
    auto* knob = dynamic_cast<CDynamicColor*>(root->findObject("Knob"));
    ASSERT_NE(knob, nullptr);
    EXPECT_EQ(knob->table()[128], (CRgb{0x5a, 0x65, 0x70}));
    EXPECT_GT(knob->hoverTable()[128].r, 0x5a);
    auto* copy = dynamic_cast<CDynamicColor*>(root->findObject("Knob.copy"));
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(copy->table(), knob->table());
    auto* gradient = dynamic_cast<CDynamicColor*>(root->findObject("gradient"));
    ASSERT_NE(gradient, nullptr);
    ASSERT_EQ(gradient->data().tables.size(), 4u);
    EXPECT_LT(gradient->data().tables[0][128].r, gradient->data().tables[3][128].r);
    EXPECT_TRUE(logged("Color not found: 'Nope'"));

    root = std::make_unique<CObject>();
    CError e = load(R"(<ui:dynamic-color name="orphan" is-copy-parent-color="true"/>)");
    ASSERT_TRUE(e);
    EXPECT_EQ(e.message().utf8(), "Parent dynamic color not found.");
    root = std::make_unique<CObject>();
    e = load(R"(<ui:dynamic-palette name="p" color-list="Panel=#2d33"/>)");
    ASSERT_TRUE(e);
    EXPECT_EQ(e.message().utf8(), "Invalid colour 'Panel=#2d33' in the colour list of palette 'p'.");
}

TEST_F(UIResourceObjects, ThePaletteDefaultsToTheStoredOneAndItsCache) {
    ASSERT_FALSE(load(R"(<ui:dynamic-palette name="palette"/>)"));
    auto* palette = dynamic_cast<CDynamicPalette*>(root->findObject("palette"));
    ASSERT_NE(palette, nullptr);
    EXPECT_GT(palette->palette().colors.size(), 20u);
    const CDynamicColorData* text = palette->colorData("Text");
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(text->tables[0][128], palette->palette().find("Text")->base);
}

TEST_F(UIResourceObjects, AStyleSetsItsAttributesOnTheTarget) {
    ASSERT_FALSE(load(R"(<ui:style name="style" ui-flat-panels="false" ui-shadows="true" ui-spotlight="true"
                                   ui-textures="false"/>
                         <core:object name="window"/>)"));
    auto* style = dynamic_cast<CStyle*>(root->findObject("style"));
    ASSERT_NE(style, nullptr);
    CObject* window = root->findObject("window");
    ASSERT_FALSE(style->apply(*window));
    EXPECT_EQ(window->attr("is-global-light-hidden").utf8(), "false");
    EXPECT_EQ(window->attr("overlay-gradient-opacity").utf8(), "0.66");
    EXPECT_EQ(window->attr("panel-color").utf8(), "RealisticPanel");
    EXPECT_EQ(window->attr("title-frame-caption-border").utf8(), "B4");
}

}  // namespace
