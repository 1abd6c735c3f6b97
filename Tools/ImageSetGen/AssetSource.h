#pragma once
// The editor's asset source (Definitions/UI/Assets.xml): fonts, the
// character set, the palette and the image sets with their groups. The
// generators build the embedded resources from it and the resource tests
// check the embedded resources against it.

#include <cstdint>
#include <map>
#include <string>
#include <vector>

struct AssetGroup {
    std::string name;
    std::string recipe;
    int first = 0;       // first image index
    int frames = 1;
    int mode = 0;        // layer mode
    std::map<std::string, std::string> attrs;  // every attribute as written

    double num(const std::string& key, double def) const;
};

struct AssetImageSet {
    std::string name;
    std::string file;  // resource file name without ".is"
    std::vector<AssetGroup> groups;
};

struct AssetFont {
    std::string name;
    std::string face;
    double size = 11.0;
};

struct AssetColor {
    std::string name;
    std::string rgb;
    std::map<std::string, std::string> attrs;
};

struct AssetSource {
    std::vector<uint32_t> charset;  // sorted code points
    std::vector<AssetFont> fonts;
    std::map<std::string, std::string> paletteAttrs;
    std::vector<AssetColor> colors;
    std::vector<AssetImageSet> imageSets;

    // Reads the source; on failure returns false with a message naming the problem.
    bool load(const std::string& path, std::string* error);
    const AssetImageSet* findSet(const std::string& name) const;
};

// Resource names of the embedded assets.
inline std::string kelFontResourceName(const std::string& font) { return "../../../Gfx/Fonts/" + font + ".fnt"; }
inline std::string kelImageSetResourceName(const std::string& file) {
    return "../../../Gfx/Imagesets/" + file + ".is";
}
