#include "Tools/ImageSetGen/PaletteSource.h"

#include <cstdlib>

namespace {
void settingsFrom(const std::map<std::string, std::string>& a, CColorSettings* s) {
    auto get = [&](const char* k, double def) {
        auto it = a.find(k);
        return it == a.end() ? def : std::strtod(it->second.c_str(), nullptr);
    };
    s->brightness = get("brightness", 0);
    s->contrast = get("contrast", 0);
    s->opacity = get("opacity", 1);
    s->tone = uint32_t(get("tone", 0));
    s->tone2 = uint32_t(get("tone2", 100));
    s->tone3 = uint32_t(get("tone3", 100));
}
}  // namespace

bool kelPaletteFromSource(const AssetSource& src, CPalette* out, std::string* error) {
    CPalette p;
    settingsFrom(src.paletteAttrs, &p.global);
    for (const AssetColor& c : src.colors) {
        const auto rgb = CRgb::parse(c.rgb);
        if (!rgb) {
            *error = "colour '" + c.name + "': '" + c.rgb + "' is not #RRGGBB";
            return false;
        }
        CPalette::Entry e{c.name, *rgb, {}};
        settingsFrom(c.attrs, &e.settings);
        p.colors.push_back(std::move(e));
    }
    *out = std::move(p);
    return true;
}
