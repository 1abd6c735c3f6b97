// The embedded graphics resources against the asset source and the
// definitions: every font, image set, group, frame, glyph and colour that
// Definitions/UI/Assets.xml lists or SharedData.xml names resolves.
#include <gtest/gtest.h>
#include <pugixml.hpp>

#include <regex>
#include <set>

#include "Core/MemoryReader.h"
#include "Core/Resources.h"
#include "Other/Font.h"
#include "Other/Palette.h"
#include "Tools/ImageSetGen/AssetSource.h"
#include "UI/Resources/ResourceStore.h"

namespace {

class UIEmbeddedAssets : public ::testing::Test {
protected:
    void SetUp() override {
        ResourceMap::fill(g_kelResourceTable);
        std::string error;
        ASSERT_TRUE(m_src.load(TAMBLOR_UI_ASSETS, &error)) << error;
    }
    void TearDown() override {
        UIResources::clear();
        ResourceMap::clear();
    }

    const CImageSet& set(const std::string& file) {
        std::shared_ptr<const CImageSet> s;
        CError e = UIResources::imageSet(CString(kelImageSetResourceName(file)), &s);
        EXPECT_FALSE(e) << e.text();
        static const CImageSet empty;
        return s ? *m_keep.emplace_back(s) : empty;
    }
    const CFont& font(const std::string& name) {
        std::shared_ptr<const CFont> f;
        CError e = UIResources::font(CString(kelFontResourceName(name)), &f);
        EXPECT_FALSE(e) << e.text();
        static const CFont empty;
        return f ? *m_keepFonts.emplace_back(f) : empty;
    }

    AssetSource m_src;
    std::vector<std::shared_ptr<const CImageSet>> m_keep;
    std::vector<std::shared_ptr<const CFont>> m_keepFonts;
};

TEST_F(UIEmbeddedAssets, EveryResourceParsesToExactlyItsStoredLength) {
    size_t sets = 0, fonts = 0;
    for (const CString& name : ResourceMap::names()) {
        const std::string n = name.utf8();
        if (n.rfind(kEmbeddedOnlyPrefix, 0) != 0) continue;
        const std::span<const uint8_t> bytes = ResourceMap::find(name);
        CMemoryReader r(bytes.data(), bytes.size());
        CError e;
        if (n.ends_with(".fnt")) {
            CFont f;
            e = f.load(r, true);
            EXPECT_FALSE(f.empty()) << n;
            ++fonts;
        } else {
            CImageSet s;
            e = s.load(r, true);
            EXPECT_FALSE(s.empty()) << n;
            ++sets;
        }
        EXPECT_FALSE(e) << n << ": " << e.text();
        EXPECT_EQ(r.remaining(), 0u) << n;
    }
    EXPECT_EQ(sets, m_src.imageSets.size());
    EXPECT_EQ(fonts, m_src.fonts.size());
}

TEST_F(UIEmbeddedAssets, EveryListedGroupHasAllItsFrames) {
    for (const AssetImageSet& s : m_src.imageSets) {
        const CImageSet& is = set(s.file);
        for (const AssetGroup& g : s.groups) {
            const CImageSet::Group* grp = is.findGroup(g.name);
            ASSERT_NE(grp, nullptr) << s.name << "#" << g.name;
            const int frames = g.recipe == "box" || g.recipe == "shadow" ? 8 : g.frames;
            EXPECT_EQ(grp->first, g.first) << s.name << "#" << g.name;
            EXPECT_EQ(grp->last - grp->first + 1, frames) << s.name << "#" << g.name;
            for (int i = grp->first; i <= grp->last; ++i) {
                const CImage* image = is.image(size_t(i));
                ASSERT_NE(image, nullptr) << s.name << "#" << g.name << " " << i;
                EXPECT_GE(image->layerCount(), 1u);
            }
        }
    }
    // The named ranges the views rely on.
    const CImageSet& button = set("button");
    for (auto [name, first, last] : {std::tuple{"", 1, 8}, {"Pushed", 11, 18}, {"Active", 21, 28}}) {
        const CImageSet::Group* g = button.findGroup(name);
        ASSERT_NE(g, nullptr) << name;
        EXPECT_EQ(g->first, first);
        EXPECT_EQ(g->last, last);
    }
    for (const char* g : {"Indicator", "LED"}) {
        const CImageSet::Group* grp = set("knob3").findGroup(g);
        ASSERT_NE(grp, nullptr);
        EXPECT_EQ(grp->last - grp->first + 1, 121);
    }
    const CImageSet::Group* strip = set("knob").findGroup("");
    ASSERT_NE(strip, nullptr);
    EXPECT_EQ(strip->first, 0);
    EXPECT_EQ(strip->last, 84);
}

// Every character of the definitions' texts and of the character set is a glyph of every font.
TEST_F(UIEmbeddedAssets, FontsCarryEveryCharacterTheTextsUse) {
    std::set<uint32_t> needed(m_src.charset.begin(), m_src.charset.end());
    pugi::xml_document doc;
    ASSERT_TRUE(doc.load_file(TAMBLOR_SHARED_DATA));
    std::function<void(pugi::xml_node)> walk = [&](pugi::xml_node n) {
        for (pugi::xml_attribute a : n.attributes())
            for (uint32_t cp : CFont::codePoints(a.value())) needed.insert(cp);
        if (n.type() == pugi::node_pcdata)
            for (uint32_t cp : CFont::codePoints(n.value())) needed.insert(cp);
        for (pugi::xml_node c : n.children()) walk(c);
    };
    walk(doc);
    for (const AssetFont& f : m_src.fonts) {
        const CFont& font = this->font(f.name);
        EXPECT_GT(font.lineHeight, font.ascent) << f.name;
        EXPECT_GT(font.ascent, 0.0) << f.name;
        for (uint32_t cp : needed) {
            if (cp < 32) continue;
            const CImage* g = font.glyph(cp);
            ASSERT_NE(g, nullptr) << f.name << " lacks U+" << std::hex << cp;
            EXPECT_GT(font.advance(cp), 0.0) << f.name << " U+" << std::hex << cp;
        }
    }
}

// Image references ("is.<set>#<group>[:colour]"), fonts ("font.<name>") and
// embedded defaults of data items ("file|resource") in SharedData.xml.
TEST_F(UIEmbeddedAssets, EveryNameTheDefinitionsUseResolves) {
    pugi::xml_document doc;
    ASSERT_TRUE(doc.load_file(TAMBLOR_SHARED_DATA));
    const std::regex imageRef(R"(is\.([A-Za-z0-9_-]+)#([A-Za-z0-9]*)(?::([A-Za-z0-9]+))?)");
    const std::regex fontRef(R"(\bfont\.([a-z0-9_-]+))");
    std::set<std::string> colors;
    for (const AssetColor& c : m_src.colors) colors.insert(c.name);
    size_t checked = 0;
    std::function<void(pugi::xml_node)> walk = [&](pugi::xml_node n) {
        for (pugi::xml_attribute a : n.attributes()) {
            const std::string v = a.value();
            for (std::sregex_iterator it(v.begin(), v.end(), imageRef), end; it != end; ++it) {
                const AssetImageSet* s = m_src.findSet((*it)[1]);
                ASSERT_NE(s, nullptr) << v;
                EXPECT_NE(set(s->file).findGroup((*it)[2].str()), nullptr) << v;
                if ((*it)[3].matched) {
                    EXPECT_TRUE(colors.count((*it)[3])) << v;
                }
                ++checked;
            }
            for (std::sregex_iterator it(v.begin(), v.end(), fontRef), end; it != end; ++it) {
                EXPECT_FALSE(font((*it)[1]).empty()) << v;
                ++checked;
            }
            const size_t bar = v.find('|');
            if (std::string(a.name()) == "file" && bar != std::string::npos) {
                EXPECT_TRUE(ResourceMap::contains(CString(v.substr(bar + 1)))) << v;
                ++checked;
            }
        }
        for (pugi::xml_node c : n.children()) walk(c);
    };
    walk(doc);
    EXPECT_GT(checked, 0u);
}

TEST_F(UIEmbeddedAssets, TheDefaultColourItemsHoldThePalette) {
    std::set<std::string> listed;
    for (const AssetColor& c : m_src.colors) listed.insert(c.name);
    for (const char* name : {"Text", "Panel", "PanelGradient", "RealisticPanel", "RealisticPanelGradient", "Knob",
                             "KnobLabels", "Peak", "PeakRed", "Threshold", "Zone1", "Zone2", "Zone3", "GraphLines",
                             "ButtonAB", "Selection", "Action", "HIDIcon", "Invisible"})
        EXPECT_TRUE(listed.count(name)) << name;

    auto block = [](const char* resource, uint32_t id, std::vector<uint8_t>* out) {
        const std::span<const uint8_t> b = ResourceMap::find(resource);
        CMemoryReader r(b.data(), b.size());
        CError e = r.readCompressedData(out, id);
        EXPECT_FALSE(e) << resource << ": " << e.text();
    };
    std::vector<uint8_t> bytes;
    block("AppDataLocal_uicolor-palette", kIdAdat, &bytes);
    CPalette palette;
    CMemoryReader pr(bytes.data(), bytes.size());
    ASSERT_FALSE(palette.load(pr));
    EXPECT_EQ(palette.colors.size(), m_src.colors.size());
    for (const std::string& n : listed) EXPECT_NE(palette.find(n), nullptr) << n;

    block("AppDataLocal_ui-palette-cache", kIdAdat, &bytes);
    CPaletteCache cache;
    CMemoryReader cr(bytes.data(), bytes.size());
    ASSERT_FALSE(cache.load(cr));
    const CPaletteCache rebuilt = CPaletteCache::build(palette);
    ASSERT_EQ(cache.entries.size(), rebuilt.entries.size());
    for (size_t i = 0; i < cache.entries.size(); ++i) EXPECT_EQ(cache.entries[i], rebuilt.entries[i]);

    block("AppDataLocal_uicolor-name", kIdDstr, &bytes);
    CString name;
    CMemoryReader nr(bytes.data(), bytes.size());
    ASSERT_FALSE(nr.readString(&name));
    EXPECT_EQ(name.utf8(), "Default");
    block("AppDataGlobal_uicolor-presets", kIdAlst, &bytes);
    EXPECT_FALSE(bytes.empty());
}

TEST_F(UIEmbeddedAssets, GraphicsNamesNeverFallBackToFiles) {
    CResourceReader r;
    CError e = r.open("../../../Gfx/Imagesets/no-such-set.is");
    ASSERT_TRUE(e);
    EXPECT_EQ(e.message().utf8(), "Resource '../../../Gfx/Imagesets/no-such-set.is' is not embedded.");
    std::shared_ptr<const CImageSet> s;
    EXPECT_TRUE(UIResources::imageSet("../../../Gfx/Imagesets/no-such-set.is", &s));
    // The same set twice is decoded once.
    std::shared_ptr<const CImageSet> a, b;
    ASSERT_FALSE(UIResources::imageSet(CString(kelImageSetResourceName("button")), &a));
    ASSERT_FALSE(UIResources::imageSet(CString(kelImageSetResourceName("button")), &b));
    EXPECT_EQ(a.get(), b.get());
}

}  // namespace
