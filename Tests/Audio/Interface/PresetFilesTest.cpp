// Preset and bank files and bank lists: what is written reads back equal;
// damaged data are refused whole and leave the output alone.
#include <gtest/gtest.h>

#include <filesystem>

#include "Audio/Interface/PresetFiles.h"

namespace {

CAudioPreset preset(const char* name, uint8_t fill) {
    CAudioPreset p(name);
    // A stored parameter: name, version 1, esize 1, dtype 0, one group of one value.
    std::vector<uint8_t> d{1, 0, 0, 0, 'x', 1, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0};
    for (int i = 0; i < 8; ++i) d.push_back(fill);
    p.addRecord({"x", d});
    return p;
}

TEST(PresetFiles, FilesAndBankListsComeBackAndDamageIsRefusedWhole) {
    const std::filesystem::path dir = std::filesystem::temp_directory_path() / "tamblor-presetfiles-test";
    std::filesystem::create_directories(dir);
    CAudioPresetBank bank("Mine");
    bank.add(preset("v87u:One", 0x11));
    bank.add(preset("v87u:Two", 0x22));
    const CString pf((dir / "one.cpf").string()), bf((dir / "mine.cbf").string());
    ASSERT_FALSE(PresetFiles::writePreset(pf, bank.preset(0)));
    ASSERT_FALSE(PresetFiles::writeBank(bf, bank));
    CAudioPreset p;
    CAudioPresetBank b;
    ASSERT_FALSE(PresetFiles::readPreset(pf, &p));
    ASSERT_FALSE(PresetFiles::readBank(bf, &b));
    EXPECT_EQ(p, bank.preset(0));
    EXPECT_EQ(b, bank);
    // Each file is its own kind.
    CAudioPreset kept("kept:x");
    EXPECT_TRUE(PresetFiles::readPreset(bf, &kept));
    EXPECT_EQ(kept, CAudioPreset("kept:x"));
    std::filesystem::remove_all(dir);

    std::vector<CAudioPresetBank> list{bank, CAudioPresetBank("Empty")};
    const std::vector<uint8_t> bytes = PresetFiles::bankListBytes(list);
    std::vector<CAudioPresetBank> back;
    ASSERT_FALSE(PresetFiles::parseBankList(bytes, &back));
    EXPECT_EQ(back, list);
    const std::vector<CAudioPresetBank> untouched{CAudioPresetBank("kept")};
    std::vector<uint8_t> longer = bytes;
    longer.push_back(0);
    std::vector<uint8_t> huge = bytes;
    huge[3] = 0x7F;  // a count no data can hold
    for (const auto& bad : {std::vector<uint8_t>(bytes.begin(), bytes.end() - 3), longer, huge}) {
        std::vector<CAudioPresetBank> out = untouched;
        EXPECT_TRUE(PresetFiles::parseBankList(bad, &out));
        EXPECT_EQ(out, untouched);
    }
    std::vector<CAudioPresetBank> out = untouched;
    CError e = PresetFiles::parseBankList(longer, &out);
    EXPECT_EQ(e.message().utf8(), "Invalid bank list (2 banks, 1 bytes left over).");
}

}  // namespace
