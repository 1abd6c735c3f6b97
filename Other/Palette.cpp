// The palette, its cache, and the style switches.
#include "Other/Palette.h"

#include <algorithm>

namespace {
CString num(int64_t v) { return CString::number(v); }
constexpr uint32_t kMaxColors = 4096;

CError readName(CInputStream& in, std::string* s) {
    CString c;
    KEL_TRY(in.readString(&c));
    *s = c.utf8();
    return {};
}

CError readSettings(CInputStream& in, CColorSettings* s) {
    KEL_TRY(in.readF64(&s->brightness));
    KEL_TRY(in.readF64(&s->contrast));
    KEL_TRY(in.readF64(&s->opacity));
    KEL_TRY(in.readU32(&s->tone));
    KEL_TRY(in.readU32(&s->tone2));
    KEL_TRY(in.readU32(&s->tone3));
    return {};
}

CError writeSettings(COutputStream& out, const CColorSettings& s) {
    KEL_TRY(out.writeF64(s.brightness));
    KEL_TRY(out.writeF64(s.contrast));
    KEL_TRY(out.writeF64(s.opacity));
    KEL_TRY(out.writeU32(s.tone));
    KEL_TRY(out.writeU32(s.tone2));
    KEL_TRY(out.writeU32(s.tone3));
    return {};
}

std::string fmt(double v) { return CString::number(v).utf8(); }
}  // namespace

const CPalette::Entry* CPalette::find(std::string_view name) const {
    for (const Entry& e : colors)
        if (e.name == name) return &e;
    return nullptr;
}

CDynamicColorData CPalette::compute(const Entry& e) const {
    CDynamicColorData d;
    const CColorSettings s = e.settings.combined(global);
    d.settings = s;
    d.tables.push_back(kelComputeColor(e.base, s));
    CColorSettings hover = s;
    hover.brightness += 0.12;
    d.hover = kelComputeColor(e.base, hover);
    return d;
}

CError CPalette::load(CInputStream& in) {
    CPalette p;
    KEL_TRY(readSettings(in, &p.global));
    uint32_t count = 0;
    KEL_TRY(in.readU32(&count));
    if (count > kMaxColors) return KEL_ERROR(kelstr_CDynamicPalette_load_Count, num(count));
    for (uint32_t i = 0; i < count; ++i) {
        Entry e;
        KEL_TRY(readName(in, &e.name));
        KEL_TRY(in.read(&e.base, 3));
        KEL_TRY(readSettings(in, &e.settings));
        p.colors.push_back(std::move(e));
    }
    *this = std::move(p);
    return {};
}

CError CPalette::save(COutputStream& out) const {
    KEL_TRY(writeSettings(out, global));
    KEL_TRY(out.writeU32(uint32_t(colors.size())));
    for (const Entry& e : colors) {
        KEL_TRY(out.writeString(CString(e.name)));
        KEL_TRY(out.write(&e.base, 3));
        KEL_TRY(writeSettings(out, e.settings));
    }
    return {};
}

CPaletteCache CPaletteCache::build(const CPalette& palette) {
    CPaletteCache c;
    for (const CPalette::Entry& e : palette.colors) c.entries.emplace_back(e.name, palette.compute(e));
    return c;
}

const CDynamicColorData* CPaletteCache::find(std::string_view name) const {
    for (const auto& [n, d] : entries)
        if (n == name) return &d;
    return nullptr;
}

CError CPaletteCache::load(CInputStream& in) {
    CPaletteCache c;
    uint32_t count = 0;
    KEL_TRY(in.readU32(&count));
    if (count > kMaxColors) return KEL_ERROR(kelstr_CDynamicPalette_load_Count, num(count));
    for (uint32_t i = 0; i < count; ++i) {
        std::pair<std::string, CDynamicColorData> e;
        KEL_TRY(readName(in, &e.first));
        KEL_TRY(e.second.load(in));
        c.entries.push_back(std::move(e));
    }
    *this = std::move(c);
    return {};
}

CError CPaletteCache::save(COutputStream& out) const {
    KEL_TRY(out.writeU32(uint32_t(entries.size())));
    for (const auto& [n, d] : entries) {
        KEL_TRY(out.writeString(CString(n)));
        KEL_TRY(d.save(out));
    }
    return {};
}

std::vector<std::pair<std::string, std::string>> kelStyleAttributes(const CStyleSwitches& s) {
    const bool flat = s.flatPanels;
    std::vector<std::pair<std::string, std::string>> a;
    a.emplace_back("is-global-light-hidden", s.spotlight ? "false" : "true");
    a.emplace_back("is-shadow-hidden", s.shadows ? "false" : "true");
    a.emplace_back("title-frame-spread", flat ? "1" : "0");
    a.emplace_back("title-frame-caption-border", flat ? "B6" : "B4");
    a.emplace_back("title-frame-spread-overlays", flat ? "-1" : "-2");
    a.emplace_back("overlay-gradient-opacity", fmt(flat ? 0.0 : s.spotlight ? 0.66 : 1.0));
    a.emplace_back("scroller-shadow-opacity", fmt(s.shadows ? 0.33 : 0.0));
    a.emplace_back("overlay-texture-opacity", fmt(s.textures ? (flat ? 0.75 : 1.0) : (flat ? 0.0 : 0.33)));
    a.emplace_back("panel-color", s.textures || flat ? "Panel" : "RealisticPanel");
    a.emplace_back("panel-gradient-color", s.textures ? "PanelGradient" : "RealisticPanelGradient");
    return a;
}
