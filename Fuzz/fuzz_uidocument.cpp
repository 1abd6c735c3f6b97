// Editor documents over arbitrary text. The input is definition XML; what
// compiles is loaded into a fresh editor root with the product's creators,
// the editor's fonts and image sets in the shared object. Properties: a
// document either loads or returns an error record (unknown tags, broken
// references, bad attribute values, match cycles); a loaded one lays out
// and renders at two scales, and input events and attribute changes
// afterwards never fault.
#include <string>
#include <string_view>

#include "Core/Application.h"
#include "Core/Log.h"
#include "Core/XMLData.h"
#include "Fuzz/FuzzSupport.h"
#include "Product/ProductCreators.h"
#include "Tools/DefCompiler/DefCompiler.h"
#include "Tools/UiShot/UiShot.h"
#include "UI/Render/WindowRenderer.h"

namespace {
bool start() {
    kelSetLogSink([](std::string_view) {});
    CApplication::StartOptions o = kelProductStartOptions();
    o.sharedDefinition = nullptr;
    FUZZ_CHECK(!CApplication::start(o));
    // The assets once, in the shared object: documents find them by path.
    std::vector<uint8_t> doc;
    std::string err;
    FUZZ_CHECK(CDefCompiler::compileXml("<definitions>" + kelUiShotAssets() + "</definitions>", "assets", &doc, &err));
    FUZZ_CHECK(!kelLoadCompiledDefinition(CApplication::sharedObject(), doc));
    return true;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool started = start();
    (void)started;
    const std::string_view xml(reinterpret_cast<const char*>(data), size);
    std::vector<uint8_t> doc;
    std::string err;
    if (!CDefCompiler::compileXml(xml, "fuzz.xml", &doc, &err)) return 0;
    for (double scale : {1.0, 1.5}) {
        CUiShot shot;
        CUiShot::Options o;
        o.scale = scale;
        o.assets = false;
        o.workers = scale > 1 ? 2 : 0;
        if (CError e = shot.loadCompiled(doc, o)) {
            FUZZ_CHECK(!e.message().empty());
            return 0;
        }
        (void)shot.applyDocumentActions();
        (void)shot.render();
        for (const char* a : {"move 10 10", "press 20 20", "move 200 30", "release 5 5"}) (void)shot.apply(a);
        (void)shot.render();
    }
    return 0;
}
