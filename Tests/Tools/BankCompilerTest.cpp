// The bank compiler: output the loader accepts, records in the storage's own
// format, and errors that name the line.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "Audio/Params/AudioParam.h"
#include "Audio/Registry/AudioPreset.h"
#include "Core/MemoryReader.h"
#include "Core/MemoryWriter.h"
#include "Tests/Audio/ParamFixture.h"
#include "Tools/BankCompiler/BankCompiler.h"

namespace {

CBankCompiler::Output compile(const std::string& xml) {
    CBankCompiler::Output out;
    std::string error;
    EXPECT_TRUE(CBankCompiler::compileXml(xml, "test.xml", &out, &error)) << error;
    return out;
}

TEST(BankCompiler, ExampleSourceLoadsAsABankWithSortedRecords) {
    CBankCompiler::Output out;
    std::string error;
    const std::string path = TAMBLOR_BANKS_DIR "/Example.xml";
    ASSERT_TRUE(CBankCompiler::compileFile(path, &out, &error)) << error;
    EXPECT_FALSE(out.isList);
    ASSERT_GE(out.block.size(), 12u);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(out.block.data()), 4), "abnk");

    CAudioPresetBank bank;
    CMemoryReader in(out.block.data(), out.block.size());
    ASSERT_FALSE(bank.loadCompressed(in, kIdAbnk));
    EXPECT_EQ(bank.bytes(), out.bank);
    EXPECT_EQ(bank.name().utf8(), "Factory ROM");
    ASSERT_EQ(bank.size(), 2u);
    EXPECT_EQ(bank.preset(1).name().utf8(), "v87u:Loud +6dB");
    std::vector<std::string> names;
    for (const CAudioPresetRecord& r : bank.preset(0).records()) names.push_back(r.shortName.utf8());
    EXPECT_TRUE(std::is_sorted(names.begin(), names.end()));
    EXPECT_EQ(names.front(), "instance-name");
    CAudioStoredParamHeader h;
    size_t used = 0;
    ASSERT_FALSE(kelValidateStoredParam(bank.preset(1).find("modTamblor.release")->data, &used, &h));
    EXPECT_EQ(h.fullName.utf8(), "audio.modMain.modTamblor.release");
    EXPECT_EQ(h.groups, 8u);
}

TEST(BankCompiler, PresetListsUseTheirOwnBlock) {
    const auto out = compile(
        "<preset-list name='Routing' registry='KLIO' prefix='audio.modMain.io-params'>"
        "  <preset name='Dual Mono'><param name='grouping' values='0,1,1,1,1,1,1,1'/></preset>"
        "  <preset name='KLIO:Force Mono'/>"
        "</preset-list>");
    EXPECT_TRUE(out.isList);
    CAudioPresetBank list;
    CMemoryReader in(out.block.data(), out.block.size());
    ASSERT_FALSE(list.loadCompressed(in, kIdAlst));
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list.preset(0).name().utf8(), "KLIO:Dual Mono");
    EXPECT_EQ(list.preset(1).name().utf8(), "KLIO:Force Mono");
    EXPECT_TRUE(list.preset(1).empty());
}

TEST(BankCompiler, SourceErrorsNameTheLine) {
    struct Case {
        const char* xml;
        const char* error;
    };
    const Case cases[] = {
        {"<presets/>", "test.xml:1: error: the document element must be <bank> or <preset-list>, not <presets>"},
        {"<bank>\n<preset name='A'/></bank>", "test.xml:2: error: preset 'A' needs a registry id"},
        {"<bank registry='r'>\n<preset name='A'>\n<param name='x' values='1,zz'/></preset></bank>",
         "test.xml:3: error: invalid number 'zz'"},
        {"<bank registry='r'><preset name='A'>\n<param name='x' values='1'/>\n<param name='x' values='2'/>"
         "</preset></bank>",
         "test.xml:3: error: parameter 'x' appears twice in preset 'r:A'"},
        {"<bank registry='r'><preset name='A'><param name='x' esize='2' values='1,2,3'/></preset></bank>",
         "test.xml:1: error: the values of 'x' are not a multiple of esize"},
        {"<bank registry='r'><preset name='A'><param name='x' type='blob'/></preset></bank>",
         "test.xml:1: error: unknown type 'blob'"},
        {"<bank registry='r'><preset name='A'><param name='x' type='raw' values='0g'/></preset></bank>",
         "test.xml:1: error: invalid hexadecimal value '0g'"},
        {"<bank", "test.xml:1: error: malformed XML"},
        {"<bank registry='r'><preset name='A'><param name='x' values='3dBs'/></preset></bank>",
         "test.xml:1: error: invalid number '3dBs'"},
        {"<bank registry='r'><preset name='A'><param name='x' values='1:0'/></preset></bank>",
         "test.xml:1: error: invalid number '1:0'"},
        {"<bank registry='r'><preset name='A'><param name='x' values='2ms:1'/></preset></bank>",
         "test.xml:1: error: invalid number '2ms:1'"},
        {"<bank registry='r'>\n<preset name='B' base='A'/>\n<preset name='A'/></bank>",
         "test.xml:2: error: base preset 'r:A' is not defined before 'r:B'"},
        {"<bank registry='r'><preset name='A'/>\n<preset name='r:A'/></bank>",
         "test.xml:2: error: preset 'r:A' appears twice"},
    };
    for (const Case& c : cases) {
        CBankCompiler::Output out;
        std::string error;
        EXPECT_FALSE(CBankCompiler::compileXml(c.xml, "test.xml", &out, &error)) << c.xml;
        EXPECT_EQ(error.rfind(c.error, 0), 0u) << error;
        EXPECT_TRUE(out.block.empty());
    }
}

// Values written in the user's units come out in the stored form of the
// converters; a preset based on another keeps its records and replaces the
// ones it names.
TEST(BankCompiler, UnitsAndBasePresets) {
    const auto out = compile(
        "<bank registry='v87u' prefix='audio.modMain'>"
        "  <preset name='Base'>"
        "    <param name='gain' values='+6dB,-6 dB,0dB,0.5'/>"
        "    <param name='time' values='1.5ms,250ms'/>"
        "    <param name='mix' values='80%,100%'/>"
        "    <param name='ratio' values='4:1,1:1,1.5:3'/>"
        "  </preset>"
        "  <preset name='Derived' base='Base'>"
        "    <param name='time' values='10ms'/>"
        "    <param name='added' values='1'/>"
        "  </preset>"
        "</bank>");
    CAudioPresetBank bank;
    ASSERT_FALSE(bank.loadBytes(out.bank));
    ASSERT_EQ(bank.size(), 2u);
    const auto values = [&](size_t preset, const char* record) {
        std::vector<double> v;
        const CAudioPresetRecord* r = bank.preset(preset).find(record);
        if (!r) return v;
        // Header: name string, version, esize, dtype, G; then k and the values.
        size_t at = 4 + (r->data[0] | r->data[1] << 8) + 16;
        const uint32_t k = r->data[at] | r->data[at + 1] << 8;
        at += 4;
        for (uint32_t i = 0; i < k; ++i, at += 8) {
            double d;
            std::memcpy(&d, &r->data[at], 8);
            v.push_back(d);
        }
        return v;
    };
    const double g6 = std::exp(6.0 / 8.685889638065037);
    EXPECT_EQ(values(0, "gain"), (std::vector<double>{g6, std::exp(-6.0 / 8.685889638065037), 1.0, 0.5}));
    EXPECT_EQ(values(0, "time"), (std::vector<double>{1.5 * 0.001, 250 * 0.001}));
    EXPECT_EQ(values(0, "mix"), (std::vector<double>{0.8, 1.0}));
    EXPECT_EQ(values(0, "ratio"), (std::vector<double>{0.25, 1.0, 2.0}));

    std::vector<std::string> names;
    for (const CAudioPresetRecord& r : bank.preset(1).records()) names.push_back(r.shortName.utf8());
    EXPECT_EQ(names, (std::vector<std::string>{"added", "gain", "mix", "ratio", "time"}));
    EXPECT_EQ(values(1, "time"), (std::vector<double>{10 * 0.001}));
    EXPECT_EQ(bank.preset(1).find("gain")->data, bank.preset(0).find("gain")->data);
    EXPECT_EQ(bank.preset(0).recordCount(), 4u);  // the base is not changed by its derived preset
}

// Records read into a parameter's storage and saved again come out as the
// compiler wrote them: both sides agree on the stored-parameter format.
class BankCompilerFormatTest : public ParamTest {};

TEST_F(BankCompilerFormatTest, RecordsMatchWhatTheStorageWrites) {
    const auto out = compile(
        "<bank registry='v87u' prefix='audio.modMain'><preset name='A'>"
        "  <param name='names' type='text' values='L,R,L, ,R'/>"
        "  <param name='split' type='text'><group><v>a,b</v><v>c</v></group><group values=''/></param>"
        "  <param name='size' esize='2'><group values='650,430'/><group values=''/><group values='1,2,3,4'/></param>"
        "  <param name='gain' groups='8' values='0.5'/>"
        "  <param name='palette' type='raw' values='00ff10'/>"
        "</preset></bank>");
    CAudioPresetBank bank;
    ASSERT_FALSE(bank.loadBytes(out.bank));
    const CAudioPreset& p = bank.preset(0);
    struct Case {
        const char* record;
        Attrs def;
    };
    const Case cases[] = {
        {"names", {{"converter", "shared::audio.paramcvt.text"}, {"data-type", "string"}, {"def-values", "x"}}},
        {"split", {{"converter", "shared::audio.paramcvt.text"}, {"data-type", "string"}, {"def-values", "x"}}},
        {"size", {{"element-size", "2"}, {"converter", "shared::audio.paramcvt.real"},
                  {"converter2", "shared::audio.paramcvt.real"}, {"min-values", "0,0"}, {"max-values", "9000,9000"},
                  {"def-values", "1,1"}}},
        {"gain", {{"converter", "shared::audio.paramcvt.real"}, {"min-values", "0"}, {"max-values", "1"},
                  {"def-values", "0"}}},
        {"palette", {{"converter", "shared::audio.paramcvt.text"}, {"data-type", "raw"}, {"def-values", "0"}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.record);
        ASSERT_FALSE(makeDef(c.def));
        const CAudioPresetRecord* r = p.find(c.record);
        ASSERT_TRUE(r);
        CAudioParamStorage s(&def->info(), 1);
        CMemoryReader in(r->data.data(), r->data.size());
        CString name;
        ASSERT_FALSE(s.load(in, &name));
        EXPECT_EQ(name.utf8(), std::string("audio.modMain.") + c.record);
        CMemoryWriter w;
        ASSERT_FALSE(s.save(w, name));
        EXPECT_EQ(std::vector<uint8_t>(w.bytes().begin(), w.bytes().end()), r->data);
        if (std::string(c.record) == "names") {
            EXPECT_EQ(s.text(0, 3).utf8(), " ");
            EXPECT_EQ(s.data().count(), 3u);  // "L", "R", " " once each
        }
        if (std::string(c.record) == "split") {
            EXPECT_EQ(s.text(0, 0).utf8(), "a,b");
        }
        if (std::string(c.record) == "size") {
            EXPECT_EQ(s.value(2, 1, 1), 4.0);
        }
        if (std::string(c.record) == "palette") {
            EXPECT_EQ(s.raw(0, 0).size(), 3u);
        }
    }
}

}  // namespace
