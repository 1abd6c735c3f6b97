// Palette values and the palette cache over arbitrary bytes. Properties: a
// failed read changes nothing; what reads writes bytes that read again and
// write back the same.
#include "Core/MemoryReader.h"
#include "Core/MemoryWriter.h"
#include "Fuzz/FuzzSupport.h"
#include "Other/Palette.h"

namespace {
template <class T>
void roundTrip(const T& value) {
    CMemoryWriter w1;
    FUZZ_CHECK(!value.save(w1));
    T back;
    CMemoryReader r(w1.data(), w1.size());
    FUZZ_CHECK(!back.load(r));
    FUZZ_CHECK(r.remaining() == 0);
    CMemoryWriter w2;
    FUZZ_CHECK(!back.save(w2));
    FUZZ_CHECK(w1.bytes().size() == w2.bytes().size() &&
               std::equal(w1.data(), w1.data() + w1.size(), w2.data()));
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    {
        CPalette p;
        p.colors.push_back({"Keep", {1, 2, 3}, {}});
        CMemoryReader r(data, size);
        if (p.load(r)) {
            FUZZ_CHECK(p.colors.size() == 1 && p.colors[0].name == "Keep");
        } else {
            roundTrip(p);
            if (p.colors.size() <= 64) (void)CPaletteCache::build(p);
        }
    }
    {
        CPaletteCache c;
        c.entries.emplace_back("Keep", CDynamicColorData{});
        CMemoryReader r(data, size);
        if (c.load(r)) {
            FUZZ_CHECK(c.entries.size() == 1 && c.entries[0].first == "Keep");
        } else {
            roundTrip(c);
        }
    }
    return 0;
}
