// Editor documents over arbitrary text. The input is definition XML; what
// compiles is loaded into a fresh editor root with the product's creators,
// the editor's fonts and image sets first. Properties: a
// document either loads or returns an error record (unknown tags, broken
// references, bad attribute values, match cycles); a loaded one lays out
// and renders at two scales, and input events and attribute changes
// afterwards never fault.
#include <string>
#include <string_view>

#include "Core/Application.h"
#include "Core/Log.h"
#include "Fuzz/FuzzSupport.h"
#include "Product/ProductCreators.h"
#include "Tools/DefCompiler/DefCompiler.h"
#include "Tools/UiShot/UiShot.h"
#include "UI/Resources/ResourceStore.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool quiet = [] {
        kelSetLogSink([](std::string_view) {});
        return true;
    }();
    (void)quiet;
    const std::string_view xml(reinterpret_cast<const char*>(data), size);
    std::vector<uint8_t> doc;
    std::string err;
    if (!CDefCompiler::compileXml(xml, "fuzz.xml", &doc, &err)) return 0;
    // A whole application per input (starting one and decoding the assets
    // takes a few milliseconds), so that the leak check sees only what the
    // document left behind.
    CApplication::StartOptions start = kelProductStartOptions();
    start.sharedDefinition = nullptr;
    FUZZ_CHECK(!CApplication::start(start));
    for (double scale : {1.0, 1.5}) {
        CUiShot shot;
        CUiShot::Options o;
        o.scale = scale;
        o.workers = scale > 1 ? 2 : 0;
        if (CError e = shot.loadCompiled(doc, o)) {
            FUZZ_CHECK(!e.message().empty());
            break;
        }
        (void)shot.applyDocumentActions();
        (void)shot.render();
        for (const char* a : {"move 10 10", "press 20 20", "move 200 30", "release 5 5"}) (void)shot.apply(a);
        (void)shot.render();
    }
    UIResources::clear();
    CApplication::finish();
    return 0;
}
