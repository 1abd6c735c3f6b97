// tamblor-uishot: renders an editor definition without a window into a PNG.
//
//   tamblor-uishot DOCUMENT OUT.png [--scale S] [--workers N] [--no-assets]
//                  [--compiled] [--dump] [--action "ACTION"]...
//   tamblor-uishot EDITOR.xml OUT.png --window main|TEMPLATE [--scale S] [--action "param BRIDGE VALUE"]...
//
// DOCUMENT is definition XML (or, with --compiled, a compiled document).
// The editor's fonts, image sets and palette are loaded first unless
// --no-assets is given; the document's own actions (a top-level object
// "uishot" with "actions") run before those given here. Tools/UiShot/UiShot.h
// lists the actions. --dump prints every view's geometry.
//
// --window draws the product's editor document (Definitions/UI/UserInterface.xml)
// on an in-process instance with its default preset: its main window, or a
// pop-up window template ("ui:win-settings") opened from it. The actions are
// then parameter settings through the document's bridges ("param BRIDGE VALUE"),
// made before the pop-up opens (Tools/UiShot/ProductShot.h).
// --compare GOLDEN.png compares the picture with another (the golden images
// of the tests): it prints "worst-difference N" (of one colour channel, 0 to
// 255) and exits 3 when N exceeds 2 or the sizes differ.

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "Core/Application.h"
#include "Core/Log.h"
#include "Product/ProductCreators.h"
#include "Tools/UiShot/PngFile.h"
#include "Tools/UiShot/ProductShot.h"
#include "Tools/UiShot/UiShot.h"

namespace {
int usage() {
    std::fprintf(stderr,
                 "usage: tamblor-uishot DOCUMENT OUT.png [--scale S] [--workers N] [--no-assets] [--compiled] [--dump]\n"
                 "                      [--action \"ACTION\"]...\n"
                 "       tamblor-uishot EDITOR.xml OUT.png --window main|TEMPLATE [--scale S]\n"
                 "                      [--action \"param BRIDGE VALUE\"]... [--compare GOLDEN.png]\n");
    return 2;
}

// 0 when the picture matches the golden one within 2 of 255 per channel, else 3.
int compare(const CBitmap32& got, const std::string& goldenPath) {
    CBitmap32 want;
    std::string err;
    if (!kelReadPng(goldenPath, &want, &err)) {
        std::fprintf(stderr, "%s\n", err.c_str());
        return 1;
    }
    const int worst = kelWorstChannelDifference(got, want);
    if (worst < 0) {
        std::printf("size %dx%d, golden %dx%d\n", got.width, got.height, want.width, want.height);
        return 3;
    }
    std::printf("worst-difference %d\n", worst);
    return worst > 2 ? 3 : 0;
}
}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> positional, actions;
    CUiShot::Options options;
    std::string window, compareWith;
    bool compiled = false, dumpGeometry = false;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--scale" && i + 1 < argc) options.scale = std::atof(argv[++i]);
        else if (a == "--workers" && i + 1 < argc) options.workers = std::atoi(argv[++i]);
        else if (a == "--action" && i + 1 < argc) actions.emplace_back(argv[++i]);
        else if (a == "--window" && i + 1 < argc) window = argv[++i];
        else if (a == "--compare" && i + 1 < argc) compareWith = argv[++i];
        else if (a == "--no-assets") options.assets = false;
        else if (a == "--compiled") compiled = true;
        else if (a == "--dump") dumpGeometry = true;
        else if (a.rfind("--", 0) == 0) return usage();
        else positional.push_back(a);
    }
    if (positional.size() != 2 || !(options.scale > 0)) return usage();
    if (!window.empty() && (compiled || dumpGeometry || !options.assets)) return usage();
    kelSetLogSink([](std::string_view line) { std::fprintf(stderr, "%.*s\n", int(line.size()), line.data()); });

    std::ifstream f(positional[0], std::ios::binary);
    if (!f) {
        std::fprintf(stderr, "%s: cannot read\n", positional[0].c_str());
        return 1;
    }
    const std::string bytes((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());

    CApplication::StartOptions start = kelProductStartOptions();
    if (window.empty()) start.sharedDefinition = nullptr;
    if (CError e = CApplication::start(start)) return 1;
    int status = 0;
    // Writes the picture (or the failure) and compares it when asked.
    auto finish = [&](const CError& e, const CBitmap32& image) {
        std::string err;
        if (e) {
            std::fprintf(stderr, "%s\n", e.text().c_str());
            return 1;
        }
        if (!kelWritePng(positional[1], image, &err)) {
            std::fprintf(stderr, "%s\n", err.c_str());
            return 1;
        }
        return compareWith.empty() ? 0 : compare(image, compareWith);
    };
    if (!window.empty()) {
        CProductShot shot;
        CError e = shot.open(bytes, positional[0], options.scale);
        for (const std::string& a : actions)
            if (!e) e = shot.apply(a);
        if (!e && window != "main") e = shot.openWindow(window);
        if (!e) e = shot.render();
        status = finish(e, shot.image());
    } else {
        CUiShot shot;
        CError e = compiled ? shot.loadCompiled({reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()}, options)
                            : shot.loadXml(bytes, positional[0], options);
        if (!e) e = shot.applyDocumentActions();
        for (const std::string& a : actions)
            if (!e) e = shot.apply(a);
        if (!e) e = shot.render();
        if (!e && dumpGeometry) std::fputs(shot.dumpGeometry().c_str(), stdout);
        status = finish(e, shot.image());
    }
    CApplication::finish();
    return status;
}
