// Preset and bank formats: round trips, and damaged data refused with the
// message of what is wrong while the object keeps its content.
#include <gtest/gtest.h>

#include "Audio/Registry/AudioPreset.h"
#include "Core/MemoryReader.h"
#include "Core/MemoryWriter.h"

namespace {

// A numeric stored parameter: G groups of the given values.
std::vector<uint8_t> storedNumeric(const char* name, uint32_t groups, std::vector<double> values, uint32_t version = 1,
                                   uint32_t esize = 1) {
    CMemoryWriter w;
    EXPECT_FALSE(w.writeString(name));
    EXPECT_FALSE(w.writeU32(version));
    EXPECT_FALSE(w.writeU32(esize));
    EXPECT_FALSE(w.writeU32(0));
    EXPECT_FALSE(w.writeU32(groups));
    for (uint32_t g = 0; g < groups; ++g) {
        EXPECT_FALSE(w.writeU32(uint32_t(values.size()) / esize));
        for (double v : values) EXPECT_FALSE(w.writeF64(v));
    }
    return w.take();
}

CAudioPreset twoRecordPreset() {
    CAudioPreset p("v87u:Default");
    p.addRecord({"modTamblor.release", storedNumeric("audio.modMain.modTamblor.release", 8, {0.01})});
    p.addRecord({"oversampling", storedNumeric("audio.modMain.oversampling", 1, {1.0})});
    return p;
}

std::vector<uint8_t> presetBytes(const CString& name, const std::vector<std::pair<const char*, std::vector<uint8_t>>>& recs,
                                 int sizeDelta = 0) {
    CMemoryWriter w;
    EXPECT_FALSE(w.writeString(name));
    EXPECT_FALSE(w.writeU32(uint32_t(recs.size())));
    for (const auto& [shortName, data] : recs) {
        EXPECT_FALSE(w.writeString(shortName));
        EXPECT_FALSE(w.writeU32(uint32_t(int(data.size()) + sizeDelta)));
        EXPECT_FALSE(w.write(data.data(), data.size()));
    }
    return w.take();
}

TEST(PresetFormat, PresetAndBankRoundTrip) {
    const CAudioPreset p = twoRecordPreset();
    const std::vector<uint8_t> bytes = p.bytes();
    CAudioPreset back;
    ASSERT_FALSE(back.loadBytes(bytes));
    EXPECT_TRUE(back == p);
    EXPECT_EQ(back.registryId().utf8(), "v87u");
    EXPECT_EQ(back.displayName().utf8(), "Default");

    CAudioPresetBank bank("Factory ROM");
    bank.add(p);
    CAudioPreset other = p;
    other.setName("v87u:Loud");
    bank.add(other);
    CMemoryWriter w;
    ASSERT_FALSE(bank.saveCompressed(w, kIdAbnk));
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(w.data()), 4), "abnk");
    CAudioPresetBank loaded;
    CMemoryReader r(w.data(), w.size());
    ASSERT_FALSE(loaded.loadCompressed(r, kIdAbnk));
    EXPECT_TRUE(loaded == bank);
    EXPECT_EQ(loaded.indexOf("v87u:Loud"), 1);
    // A list block is not a bank block.
    CMemoryReader r2(w.data(), w.size());
    CError e = loaded.loadCompressed(r2, kIdAlst);
    ASSERT_TRUE(e);
    EXPECT_NE(e.message().utf8().find("Invalid ID"), std::string::npos);
}

TEST(PresetFormat, DamagedPresetsAreRefusedAndLeaveThePresetAlone) {
    const auto good = storedNumeric("audio.modMain.a", 2, {0.5});
    struct Case {
        const char* what;
        std::vector<uint8_t> bytes;
        const char* message;  // start of the first line
    };
    const std::vector<Case> cases = {
        {"version 2", presetBytes("v87u:X", {{"a", good}, {"b", storedNumeric("b", 1, {1}, 2)}}),
         "Unsupported data set version 2."},
        {"record shorter than its stored parameter", presetBytes("v87u:X", {{"a", good}}, -8), "Premature end"},
        {"size beyond the data", presetBytes("v87u:X", {{"a", good}}, +4), "Premature end"},
        {"no record count", {4, 0, 0, 0, 'v', '8', '7', 'u'}, "Premature end"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        CAudioPreset p = twoRecordPreset();
        const CAudioPreset before = p;
        CError e = p.loadBytes(c.bytes);
        ASSERT_TRUE(e);
        EXPECT_EQ(e.message().utf8().rfind(c.message, 0), 0u) << e.message().utf8();
        EXPECT_TRUE(p == before);
    }
    // A record whose size is larger than its stored parameter (trailing bytes).
    std::vector<uint8_t> padded = good;
    padded.push_back(0);
    CAudioPreset p;
    CError e = p.loadBytes(presetBytes("v87u:X", {{"a", padded}}));
    ASSERT_TRUE(e);
    EXPECT_EQ(e.message().utf8(), "Invalid stored parameter in record 'a' of preset 'v87u:X'.");
}

TEST(PresetFormat, StoredParameterStructureCheck) {
    struct Case {
        const char* what;
        std::vector<uint8_t> bytes;
        const char* message;  // nullptr: valid
    };
    auto withHeader = [](uint32_t esize, uint32_t dtype, uint32_t groups, std::initializer_list<uint32_t> rest) {
        CMemoryWriter w;
        EXPECT_FALSE(w.writeString("p"));
        EXPECT_FALSE(w.writeU32(1));
        EXPECT_FALSE(w.writeU32(esize));
        EXPECT_FALSE(w.writeU32(dtype));
        EXPECT_FALSE(w.writeU32(groups));
        for (uint32_t v : rest) EXPECT_FALSE(w.writeU32(v));
        return w.take();
    };
    std::vector<uint8_t> textItem = withHeader(1, 1, 1, {1, 1, 1});  // one item: number 1, type 1 (string)
    {
        CMemoryWriter w;
        EXPECT_FALSE(w.writeString("x"));
        EXPECT_FALSE(w.writeU32(1));  // one element
        EXPECT_FALSE(w.writeU32(1));  // referring to item 1
        textItem.insert(textItem.end(), w.bytes().begin(), w.bytes().end());
    }
    const std::vector<Case> cases = {
        {"numeric", storedNumeric("p", 3, {1, 2}, 1, 2), nullptr},
        {"text item", textItem, nullptr},
        {"zero groups", withHeader(1, 0, 0, {}), nullptr},
        {"item of unknown type", withHeader(1, 1, 1, {1, 1, 7, 0, 0}), "Unsupported data item type 7."},
        {"data type 2", withHeader(1, 2, 0, {}), "Unsupported stored parameter data type 2."},
        {"element size 0", withHeader(0, 0, 0, {}), "Invalid count 0 in stored parameter."},
        {"257 groups", withHeader(1, 0, 257, {}), "Invalid count 257 in stored parameter."},
        {"huge element count", withHeader(1, 0, 1, {0x10001}), "Invalid count 65537 in stored parameter."},
        {"values missing", withHeader(1, 0, 1, {2, 0, 0}), "Premature end"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        size_t used = 0;
        CError e = kelValidateStoredParam(c.bytes, &used);
        if (!c.message) {
            EXPECT_FALSE(e) << e.text();
            EXPECT_EQ(used, c.bytes.size());
        } else {
            ASSERT_TRUE(e);
            EXPECT_EQ(e.message().utf8().rfind(c.message, 0), 0u) << e.message().utf8();
        }
    }
}

TEST(PresetFormat, BankWithTrailingBytesOrAbsurdCountIsRefused) {
    CAudioPresetBank bank("B");
    bank.add(twoRecordPreset());
    std::vector<uint8_t> bytes = bank.bytes();
    bytes.push_back(0);
    CAudioPresetBank b("kept");
    CError e = b.loadBytes(bytes);
    ASSERT_TRUE(e);
    EXPECT_EQ(e.message().utf8(), "Unexpected 1 bytes after bank 'B'.");
    EXPECT_EQ(b.name().utf8(), "kept");

    CMemoryWriter w;
    ASSERT_FALSE(w.writeString("B"));
    ASSERT_FALSE(w.writeU32(0x7FFFFFFF));
    e = b.loadBytes(w.bytes());
    ASSERT_TRUE(e);
    EXPECT_EQ(e.message().utf8(), "Invalid preset count 2147483647 in bank 'B'.");
}

}  // namespace
