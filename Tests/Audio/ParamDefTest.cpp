#include <cmath>

#include "Core/MemoryReader.h"
#include "Tests/Audio/ParamFixture.h"

TEST_F(ParamTest, DefinitionFailures) {
    struct Case {
        Attrs attrs;
        const char* message;
    } cases[] = {
        {{{"element-size", "0"}, {"converter", "shared::audio.paramcvt.real"}, {"def-values", "0"}},
         "Invalid element size 0 specified."},
        {{{"data-type", "string"}, {"element-size", "2"}, {"converter", "shared::audio.paramcvt.text"},
          {"def-values", "a,b"}},
         "Invalid element size 2 for non-float data specified."},
        {{{"converter", "shared::audio.paramcvt.real"}, {"min-values", "0"}, {"max-values", "1"}},
         "No default values specified."},
        {{{"converter", "shared::audio.paramcvt.nothing"}, {"min-values", "0"}, {"max-values", "1"}, {"def-values", "0"}},
         "Audio parameter converter 'shared::audio.paramcvt.nothing' not found."},
        {{{"converter", "shared::audio"}, {"min-values", "0"}, {"max-values", "1"}, {"def-values", "0"}},
         "Audio parameter converter 'shared::audio' not found."},
        {{{"min-values", "0"}, {"max-values", "1"}, {"def-values", "0"}},
         "Not enough converters defined 0 (should be 1)."},
        {{{"element-size", "2"}, {"converter", "shared::audio.paramcvt.real"}, {"min-values", "0,0"},
          {"max-values", "1,1"}, {"def-values", "0,0"}},
         "Not enough converters defined 1 (should be 2)."},
        {{{"converter", "shared::audio.paramcvt.real"}, {"min-values", "0"}, {"max-values", "0"}, {"def-values", "0"}},
         "Zero default min-max values difference detected in element 0."},
        {{{"element-size", "2"}, {"converter", "shared::audio.paramcvt.real"}, {"converter2", "/audio.paramcvt.gain"},
          {"min-values", "0"}, {"max-values", "1,2"}, {"def-values", "0,0"}},
         "Not enough minimum values defined 1 (should be 2)."},
        {{{"converter", "shared::audio.paramcvt.real"}, {"min-values", "0"}, {"def-values", "0"}},
         "Not enough maximum values defined 0 (should be 1)."},
        {{{"element-size", "2"}, {"converter", "shared::audio.paramcvt.real"}, {"converter2", "/audio.paramcvt.gain"},
          {"min-values", "0,-6"}, {"max-values", "1,6"}, {"def-values", "0,0,1"}},
         "Not enough default elements at pos 3."},
        {{{"converter", "shared::audio.paramcvt.real"}, {"min-values", "0"}, {"max-values", "1"}, {"def-values", "0,x"}},
         "Default values parsing error."},
    };
    for (const Case& k : cases) {
        CError e = makeDef(k.attrs);
        ASSERT_TRUE(e) << k.message;
        EXPECT_EQ(e.message().utf8(), k.message);
        EXPECT_FALSE(def->isParsed());
    }
}

TEST_F(ParamTest, DefinitionReadsEveryAttribute) {
    ASSERT_TRUE(makeDef({{"converter", "/audio.cvt-gain-in"}, {"min-values", "-3"}, {"max-values", "24"},
                         {"def-values", "0"}, {"visual-name", "Input gain"}, {"is-storable", "true"},
                         {"is-global", "1"}, {"is-single-group", "true"}, {"param-registry", "plugin.reg"}})
                    .ok());
    const CAudioParamInfo& info = def->info();
    EXPECT_EQ(info.converter(0), shared<CAudioParamConverter>("audio.cvt-gain-in"));
    EXPECT_NEAR(info.minValue(0), 0.7079457843841379, 1e-15);
    EXPECT_NEAR(info.maxValue(0), 15.848931924611133, 1e-12);
    EXPECT_EQ(info.defaultValue(0), 1.0);
    EXPECT_EQ(info.visualName().utf8(), "Input gain");
    EXPECT_EQ(info.paramRegistry().utf8(), "plugin.reg");
    EXPECT_TRUE(info.isStorable() && info.isGlobal() && info.isSingleGroup());
    EXPECT_FALSE(info.isPersistent() || info.isSingleElement());
    EXPECT_EQ(info.valueToText(0, info.denormalize(0, 0.0)).utf8(), "-3.00");
    EXPECT_EQ(info.valueToText(0, info.denormalize(0, 1.0)).utf8(), "24.00");

    // Ratio bounds may run downwards (1:1 .. 5:1 is 1.0 .. 0.2).
    ASSERT_TRUE(makeDef({{"converter", "shared::audio.paramcvt.ratio"}, {"min-values", "1:1"}, {"max-values", "5:1"},
                         {"def-values", "2:1"}})
                    .ok());
    EXPECT_EQ(def->info().defaultValue(0), 0.5);
    EXPECT_DOUBLE_EQ(def->info().maxValue(0), 0.2);

    // Defaults are clamped into the range.
    ASSERT_TRUE(makeDef({{"converter", "shared::audio.paramcvt.real"}, {"min-values", "10"}, {"max-values", "8192"},
                         {"def-values", "650,9000"}})
                    .ok());
    EXPECT_EQ(def->info().defaultValue(1), 8192.0);
}

// A definition may come before the converter it names; the converter's
// attributes (here the scale) must be in effect when the bounds are parsed.
TEST_F(ParamTest, ConverterDeclaredAfterTheParameter) {
    auto root = makeNode("core:object", "");
    root->attachChild(makeNode("audio:param", "p",
                               {{"converter", "/secs"}, {"min-values", "1"}, {"max-values", "5"}, {"def-values", "2"}}));
    root->attachChild(makeNode("audio:cvt-time", "secs", {{"scale", "1.0"}}));
    auto* p = dynamic_cast<CAudioParamDef*>(root->child(0));
    ASSERT_TRUE(root->initTree().ok());
    EXPECT_EQ(p->info().minValue(0), 1.0);
    EXPECT_EQ(p->info().defaultValue(0), 2.0);
}

TEST_F(ParamTest, StateNamesListedOrFromAPresetList) {
    ASSERT_TRUE(makeDef({{"converter", "shared::audio.paramcvt.enum"}, {"min-values", "0"}, {"max-values", "4"},
                         {"def-values", "1"}, {"state-names", "Auto;1X;2X;4X;8X"}})
                    .ok());
    EXPECT_EQ(def->info().stateNames().size(), 5u);
    EXPECT_EQ(def->info().valueToText(0, 1).utf8(), "1X");
    double v = 0;
    EXPECT_TRUE(def->info().textToValue(0, "8x", &v));
    EXPECT_EQ(v, 4.0);
    EXPECT_TRUE(def->info().textToValue(0, "9", &v));  // clamped
    EXPECT_EQ(v, 4.0);

    ASSERT_TRUE(makeDef({{"converter", "shared::audio.paramcvt.enum"}, {"min-values", "0"}, {"max-values", "13"},
                         {"def-values", "0"}, {"state-names", "@outmeter-presets"}})
                    .ok());
    CAudioParamInfo info = def->info();
    EXPECT_TRUE(info.stateNames().empty());
    EXPECT_EQ(info.stateNamesRef().utf8(), "outmeter-presets");
    EXPECT_EQ(info.valueToText(0, 3).utf8(), "3");
    EXPECT_TRUE(info.resolveStateNames(nullptr).ok());  // no provider yet: stays empty

    CAudioParamInfo::setStateNamesProvider([](const CString& store, const CObject*, CAudioStateNames* out) {
        if (store != "outmeter-presets") return false;
        *out = parseStateNameList("K-20;K-14|K14");
        return true;
    });
    ASSERT_TRUE(info.resolveStateNames(nullptr).ok());
    EXPECT_EQ(info.valueToText(0, 1, CAudioParamConverter::kFormatShort).utf8(), "K14");
    ASSERT_TRUE(info.parseStateNames("@mode-presets").ok());
    CError e = info.resolveStateNames(nullptr);
    ASSERT_TRUE(e);
    EXPECT_EQ(e.message().utf8(), "No state names data available in 'mode-presets'.");
}

TEST_F(ParamTest, DefaultsFollowTheLookupRule) {
    ASSERT_TRUE(makeDef({{"converter", "shared::audio.paramcvt.enum"}, {"min-values", "0"}, {"max-values", "16"},
                         {"def-values", "1,2,0,0,0,0,0,0"}})
                    .ok());
    const CAudioParamInfo& info = def->info();
    EXPECT_EQ(info.defaultElementCount(), 8u);
    EXPECT_EQ(info.defaultValue(1), 2.0);
    EXPECT_EQ(info.defaultValue(9), 1.0);  // beyond the table: the first default, not the last

    // Text defaults keep their fields exactly (blanks included).
    ASSERT_TRUE(makeDef({{"data-type", "str"}, {"converter", "shared::audio.paramcvt.text"}, {"def-values", " ,x"}}).ok());
    EXPECT_EQ(def->info().defaultText(0).utf8(), " ");
    EXPECT_EQ(def->info().defaultText(5).utf8(), " ");
}

TEST_F(ParamTest, InfoSerialisationRoundTrip) {
    ASSERT_TRUE(makeDef({{"element-size", "2"}, {"converter", "shared::audio.paramcvt.real"},
                         {"converter2", "/audio.cvt-gain-out"}, {"min-values", "10,-24"}, {"max-values", "8192,3"},
                         {"def-values", "650,0,430,-6"}, {"state-names", "A|a;B"}, {"is-persistent", "true"},
                         {"is-single-element", "true"}, {"visual-name", "Size"}})
                    .ok());
    CByteWriter w;
    ASSERT_TRUE(def->info().save(w).ok());
    CMemoryReaderStatic r(w.bytes.data(), w.bytes.size());
    CAudioParamInfo back;
    ASSERT_TRUE(back.load(r, CApplication::sharedObject()).ok());
    EXPECT_EQ(r.remaining(), 0u);
    EXPECT_EQ(back.elementSize(), 2u);
    EXPECT_EQ(back.converter(1), shared<CAudioParamConverter>("audio.cvt-gain-out"));
    EXPECT_EQ(back.minValue(1), def->info().minValue(1));
    EXPECT_EQ(back.defaultValue(1, 1), def->info().defaultValue(1, 1));
    EXPECT_EQ(back.stateNames().size(), 2u);
    EXPECT_EQ(back.stateNames()[0].shortName.utf8(), "a");
    EXPECT_TRUE(back.isPersistent() && back.isSingleElement() && !back.isStorable());
    EXPECT_EQ(back.visualName().utf8(), "Size");

    w.bytes[0] = 2;  // version
    CMemoryReaderStatic bad(w.bytes.data(), w.bytes.size());
    CError e = back.load(bad, nullptr);
    ASSERT_TRUE(e);
    EXPECT_EQ(e.message().utf8(), "Unsupported data set version 2.");
    EXPECT_EQ(back.elementSize(), 2u);  // unchanged
}
