// Banks, presets and stored parameters over arbitrary bytes. Properties: a
// failed load leaves the object as it was; what loads saves and loads again
// to an equal object; a stored parameter that the structure check accepts
// loads into a storage of its shape, consuming exactly the bytes the check
// counted (and a storage load that succeeds was accepted by the check); a
// compressed bank written from a loaded one reads back equal.
#include "Audio/Params/AudioParam.h"
#include "Audio/Registry/AudioPreset.h"
#include "Core/MemoryReader.h"
#include "Core/MemoryWriter.h"
#include "Fuzz/FuzzSupport.h"

namespace {
// Parameter information of one component: numeric, or text items.
CAudioParamInfo makeInfo(bool text) {
    CMemoryWriter w;
    FUZZ_CHECK(!w.writeU32(1));                  // version
    FUZZ_CHECK(!w.writeU32(1));                  // element size
    FUZZ_CHECK(!w.writeU32(text ? 1 : 0));       // data type
    FUZZ_CHECK(!w.writeU32(0));                  // flags
    for (int i = 0; i < 3; ++i) FUZZ_CHECK(!w.writeString(""));
    FUZZ_CHECK(!w.writeU32(1));                  // components
    FUZZ_CHECK(!w.writeString(""));
    FUZZ_CHECK(!w.writeF64(0.0));
    FUZZ_CHECK(!w.writeF64(1.0));
    FUZZ_CHECK(!w.writeU32(1));                  // one default
    if (text)
        FUZZ_CHECK(!w.writeString("x"));
    else
        FUZZ_CHECK(!w.writeF64(0.5));
    FUZZ_CHECK(!w.writeU32(0));                  // no state names
    CAudioParamInfo info;
    CMemoryReader r(w.data(), w.size());
    FUZZ_CHECK(!info.load(r, nullptr));
    return info;
}

std::vector<uint8_t> saved(const CAudioParamStorage& s) {
    CMemoryWriter w;
    FUZZ_CHECK(!s.save(w, "p"));
    return w.take();
}

void storedParam(std::span<const uint8_t> bytes) {
    size_t consumed = 0;
    CAudioStoredParamHeader header;
    const bool valid = !kelValidateStoredParam(bytes, &consumed, &header);
    static const CAudioParamInfo numeric = makeInfo(false), text = makeInfo(true);
    for (const CAudioParamInfo* info : {&numeric, &text}) {
        CAudioParamStorage s(info, 8);
        const std::vector<uint8_t> before = saved(s);
        CMemoryReader in(bytes.data(), bytes.size());
        if (CError e = s.load(in)) {
            FUZZ_CHECK(saved(s) == before);
            const bool shaped = header.esize == 1 && header.dtype == (info == &text ? 1u : 0u);
            FUZZ_CHECK(!(valid && shaped));
            continue;
        }
        FUZZ_CHECK(valid && in.position() == consumed);
        // Saved and loaded again, the values stay.
        const std::vector<uint8_t> once = saved(s);
        CAudioParamStorage again(info, 1);
        CMemoryReader r(once.data(), once.size());
        FUZZ_CHECK(!again.load(r));
        FUZZ_CHECK(saved(again) == once);
    }
}

void preset(std::span<const uint8_t> bytes) {
    CAudioPreset p("kept:name");
    const CAudioPreset before = p;
    CMemoryReader in(bytes.data(), bytes.size());
    if (p.load(in)) {
        FUZZ_CHECK(p == before);
        return;
    }
    for (const CAudioPresetRecord& r : p.records()) {
        size_t used = 0;
        FUZZ_CHECK(!kelValidateStoredParam(r.data, &used) && used == r.data.size());
    }
    CAudioPreset again;
    FUZZ_CHECK(!again.loadBytes(p.bytes()));
    FUZZ_CHECK(again == p);
}

void bank(std::span<const uint8_t> bytes) {
    CAudioPresetBank b("kept");
    const CAudioPresetBank before = b;
    if (b.loadBytes(bytes)) {
        FUZZ_CHECK(b == before);
        return;
    }
    CMemoryWriter w;
    FUZZ_CHECK(!b.saveCompressed(w, kIdAbnk));
    CAudioPresetBank again;
    CMemoryReader r(w.data(), w.size());
    FUZZ_CHECK(!again.loadCompressed(r, kIdAbnk));
    FUZZ_CHECK(again == b);
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::span<const uint8_t> input(data, size);
    storedParam(input);
    preset(input);
    bank(input);
    // The same bytes as a compressed block of a bank.
    CAudioPresetBank b("kept");
    CMemoryReader in(data, size);
    if (b.loadCompressed(in, kIdAbnk)) FUZZ_CHECK(b == CAudioPresetBank("kept"));
    return 0;
}
