// Preset and bank files ("cpf", "cbf") and bank lists over arbitrary
// bytes. Properties: refused data leave the output as they were; what reads
// back writes to data of the same form that read back equal.
#include "Audio/Interface/PresetFiles.h"
#include "Core/MemoryWriter.h"
#include "Fuzz/FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::span<const uint8_t> input(data, size);
    CAudioPreset preset("kept:name");
    if (PresetFiles::parsePreset(input, "fuzz.cpf", &preset)) {
        FUZZ_CHECK(preset == CAudioPreset("kept:name"));
    } else {
        CMemoryWriter w;
        FUZZ_CHECK(!w.writeCompressedData(preset.bytes(), kIdAprs));
        CAudioPreset again;
        FUZZ_CHECK(!PresetFiles::parsePreset(std::span<const uint8_t>(w.data(), w.size()), "again.cpf", &again));
        FUZZ_CHECK(again == preset);
    }
    CAudioPresetBank bank("kept");
    if (PresetFiles::parseBank(input, &bank)) {
        FUZZ_CHECK(bank == CAudioPresetBank("kept"));
    } else {
        CMemoryWriter w;
        FUZZ_CHECK(!bank.saveCompressed(w, kIdAbnk));
        CAudioPresetBank again;
        FUZZ_CHECK(!PresetFiles::parseBank(std::span<const uint8_t>(w.data(), w.size()), &again));
        FUZZ_CHECK(again == bank);
    }
    std::vector<CAudioPresetBank> list(1, CAudioPresetBank("kept"));
    if (PresetFiles::parseBankList(input, &list)) {
        FUZZ_CHECK(list.size() == 1 && list[0] == CAudioPresetBank("kept"));
    } else {
        const std::vector<uint8_t> bytes = PresetFiles::bankListBytes(list);
        std::vector<CAudioPresetBank> again;
        FUZZ_CHECK(!PresetFiles::parseBankList(bytes, &again));
        FUZZ_CHECK(again == list);
    }
    return 0;
}
