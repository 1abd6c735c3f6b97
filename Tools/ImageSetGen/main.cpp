// tamblor-isgen: draws every image set of the asset source into its ".is" file.
//
//     tamblor-isgen ASSETS.xml OUTDIR
//
// Writes OUTDIR/<file>.is for each <image-set> of the source.
#include <cstdio>
#include <string>

#include "Core/MemoryWriter.h"
#include "Tools/ImageSetGen/AssetSource.h"
#include "Tools/ImageSetGen/Recipes.h"
#include "Tools/ImageSetGen/WriteFile.h"

// A build-time tool: FreeType, cairo and fontconfig keep their caches to the
// end of the process, and so does our block allocator; sanitized builds must
// not fail the build over them.
extern "C" const char* __lsan_default_options() { return "detect_leaks=0"; }

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: tamblor-isgen ASSETS.xml OUTDIR\n");
        return 2;
    }
    AssetSource src;
    std::string error;
    if (!src.load(argv[1], &error)) {
        std::fprintf(stderr, "tamblor-isgen: error: %s\n", error.c_str());
        return 1;
    }
    for (const AssetImageSet& set : src.imageSets) {
        std::vector<DrawnImage> images;
        std::vector<CImageSet::Group> groups;
        for (const AssetGroup& g : set.groups) {
            if (!drawGroup(g, &images, &error)) {
                std::fprintf(stderr, "tamblor-isgen: error: %s: image set '%s', group '%s': %s\n", argv[1],
                             set.name.c_str(), g.name.c_str(), error.c_str());
                return 1;
            }
            const int count = g.recipe == "box" || g.recipe == "shadow" ? 8 : g.frames;
            groups.push_back({g.name, g.first, g.first + count - 1});
        }
        const CImageSet packed = packImageSet(std::move(images), groups);
        CMemoryWriter w;
        if (CError e = packed.save(w)) {
            std::fprintf(stderr, "tamblor-isgen: error: %s\n", e.text().c_str());
            return 1;
        }
        if (!kelWriteGenerated(std::string(argv[2]) + "/" + set.file + ".is", w.bytes(), "tamblor-isgen")) return 1;
    }
    return 0;
}
