// The editor's reading of visualization data over arbitrary bytes, as blocks
// arriving one after the other. Properties: a block that fails to read
// changes nothing; every kept frame holds the values its channel count and
// the known fields call for; lookups never read outside a frame.
#include <cmath>

#include "Fuzz/FuzzSupport.h"
#include "UI/Meters/VizFrames.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    CVizFrames f;
    f.setHistory(4);
    // The input is split into blocks at every byte pair 0xFF 0xFE.
    size_t start = 0;
    for (size_t i = 0; i <= size; ++i) {
        const bool end = i == size || (i + 1 < size && data[i] == 0xFF && data[i + 1] == 0xFE);
        if (!end) continue;
        const std::vector<CVizFrames::Lane> before = f.lanes();
        const size_t fields = f.channelFields().size();
        if (f.parse({data + start, i - start})) {
            FUZZ_CHECK(f.lanes().size() == before.size());
            FUZZ_CHECK(f.channelFields().size() == fields);
        }
        for (const CVizFrames::Lane& l : f.lanes()) {
            FUZZ_CHECK(l.last.channels <= CVizFrames::kMaxChannels);
            FUZZ_CHECK(l.history.size() <= 4);
            for (uint32_t ch = 0; ch <= l.last.channels; ++ch)
                for (int field = -1; field <= int(f.channelFields().size()); ++field) (void)f.channelValue(l, ch, field);
            for (int field = -1; field <= int(f.globalFields().size()); ++field) (void)f.globalValue(l, field);
        }
        start = i + 2;
        ++i;
    }
    return 0;
}
