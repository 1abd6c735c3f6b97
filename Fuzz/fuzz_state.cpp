// The instance state chunk over arbitrary bytes, loaded into one instance of
// the product. The first byte chooses the form: 0 the bytes are the chunk
// itself; otherwise they are the chunk's content, wrapped in a well-formed
// "aprs" block, so that the preset reader beneath the compression is reached.
// Properties: a refused chunk changes nothing (the instance saves the same
// chunk as before); an accepted one saves a chunk that loads again and saves
// to itself.
#include <cstdlib>
#include <memory>
#include <vector>

#include "Product/ProductCreators.h"
#include "Audio/Plugin/AudioWrapper.h"
#include "Core/Application.h"
#include "Core/MemoryReader.h"
#include "Core/MemoryWriter.h"
#include "Fuzz/FuzzSupport.h"

namespace {
class CFuzzInstance : public CAudioWrapper {};

CFuzzInstance* g_instance = nullptr;

// The instance lives for the run and goes with the application at exit, so
// that the leak check sees only what the loads left behind.
CFuzzInstance& instance() {
    if (!g_instance) {
        FUZZ_CHECK(!CApplication::start(kelProductStartOptions()));
        g_instance = new CFuzzInstance();
        FUZZ_CHECK(!g_instance->init());
        std::atexit([] {
            delete g_instance;
            g_instance = nullptr;
            CApplication::finish();
        });
    }
    return *g_instance;
}

std::vector<uint8_t> saved(CAudioWrapper& w) {
    CMemoryWriter out;
    FUZZ_CHECK(!w.saveState(out));
    return out.take();
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    CAudioWrapper& w = instance();
    std::vector<uint8_t> chunk;
    if (data[0] == 0) {
        chunk.assign(data + 1, data + size);
    } else {
        CMemoryWriter wrapped;
        FUZZ_CHECK(!wrapped.writeCompressedData(std::span<const uint8_t>(data + 1, size - 1), kIdAprs));
        chunk = wrapped.take();
    }
    const std::vector<uint8_t> before = saved(w);
    CMemoryReader in(chunk.data(), chunk.size());
    if (w.loadState(in)) {
        FUZZ_CHECK(saved(w) == before);
        return 0;
    }
    const std::vector<uint8_t> after = saved(w);
    CMemoryReader again(after.data(), after.size());
    FUZZ_CHECK(!w.loadState(again));
    FUZZ_CHECK(saved(w) == after);
    return 0;
}
