// Dynamic palette, dynamic colours and styles.
#include "UI/Resources/DynamicColor.h"

#include "Core/AppData.h"
#include "Core/Application.h"
#include "Core/Log.h"
#include "Core/MemoryReader.h"
#include "Platform/System.h"

namespace {
CColorSettings settingsOf(const CObject& o, const CColorSettings& def) {
    CColorSettings s = def;
    s.brightness = o.attrReal("brightness", def.brightness);
    s.contrast = o.attrReal("contrast", def.contrast);
    s.opacity = o.attrReal("opacity", def.opacity);
    s.tone = uint32_t(o.attrInt("tone", def.tone));
    s.tone2 = uint32_t(o.attrInt("tone2", def.tone2));
    s.tone3 = uint32_t(o.attrInt("tone3", def.tone3));
    return s;
}

// A data item of the local store, or its embedded default.
bool readLocal(const char* item, const char* resource, uint32_t id, std::vector<uint8_t>* out) {
    bool found = false;
    if (CError e = CAppData::local().readData(item, id, out, &found, resource)) {
        kelLogError(e);
        return false;
    }
    return found;
}
}  // namespace

// --- Palette ---------------------------------------------------------------------------------

void CDynamicPalette::registerEvents(CClassRecord& record) { CObject::registerEvents(record); }

CError CDynamicPalette::init() {
    KEL_TRY(CObject::init());
    const int64_t t0 = plat::perfCounter();
    CPalette p;
    const std::string list = attr("color-list").utf8();
    if (list.empty()) {
        std::vector<uint8_t> bytes;
        if (readLocal("uicolor-palette", "AppDataLocal_uicolor-palette", kIdAdat, &bytes)) {
            CMemoryReader r(bytes.data(), bytes.size());
            if (CError e = p.load(r)) kelLogError(e);
        }
    } else {
        size_t pos = 0;
        while (pos < list.size()) {
            const size_t end = list.find_first_of("; \t\r\n", pos);
            const std::string item = list.substr(pos, end == std::string::npos ? std::string::npos : end - pos);
            pos = end == std::string::npos ? list.size() : end + 1;
            if (item.empty()) continue;
            const size_t eq = item.find('=');
            const auto rgb = eq == std::string::npos ? std::nullopt : CRgb::parse(item.substr(eq + 1));
            if (!rgb) return KEL_ERROR(kelstr_CDynamicPalette_init_BadColor, CString(item), fullName());
            p.colors.push_back({item.substr(0, eq), *rgb, {}});
        }
    }
    p.global = settingsOf(*this, p.global);
    m_palette = std::move(p);
    const int64_t t1 = plat::perfCounter();
    kelLogf("Dynamic palette init time 1: %.4f s @ %.4f s", plat::perfSeconds(t0, t1), kelSecondsSinceStart());

    std::vector<uint8_t> bytes;
    CPaletteCache stored;
    bool haveStored = false;
    if (readLocal("ui-palette-cache", "AppDataLocal_ui-palette-cache", kIdAdat, &bytes)) {
        CMemoryReader r(bytes.data(), bytes.size());
        if (CError e = stored.load(r)) kelLogError(e);
        else haveStored = true;
    }
    compute(haveStored ? &stored : nullptr);
    kelLogf("Dynamic palette init time 2: %.4f s @ %.4f s", plat::perfSeconds(t1, plat::perfCounter()),
            kelSecondsSinceStart());
    return {};
}

void CDynamicPalette::compute(const CPaletteCache* stored) {
    // A stored record serves when it was computed under the same settings
    // (the colour's own combined with the palette's); a palette whose base
    // colours change goes through setPalette, which computes afresh.
    CPaletteCache cache;
    for (const CPalette::Entry& e : m_palette.colors) {
        const CDynamicColorData* s = stored ? stored->find(e.name) : nullptr;
        if (s && !s->tables.empty() && s->settings == e.settings.combined(m_palette.global))
            cache.entries.emplace_back(e.name, *s);
        else
            cache.entries.emplace_back(e.name, m_palette.compute(e));
    }
    m_cache = std::move(cache);
}

const CDynamicColorData* CDynamicPalette::colorData(std::string_view name) const {
    const CDynamicColorData* d = m_cache.find(name);
    if (!d) kelLogf("Color not found: '%s'", std::string(name).c_str());
    return d;
}

void CDynamicPalette::setPalette(CPalette palette) {
    m_palette = std::move(palette);
    // Views keep pointers to the computed colours: a palette with the same
    // colour names in the same order is recomputed in place.
    bool sameNames = m_cache.entries.size() == m_palette.colors.size();
    for (size_t i = 0; sameNames && i < m_palette.colors.size(); ++i)
        sameNames = m_cache.entries[i].first == m_palette.colors[i].name;
    if (!sameNames) return compute(nullptr);
    for (size_t i = 0; i < m_palette.colors.size(); ++i)
        m_cache.entries[i].second = m_palette.compute(m_palette.colors[i]);
}

// --- Colour ---------------------------------------------------------------------------------

void CDynamicColor::registerEvents(CClassRecord& record) { CObject::registerEvents(record); }

CError CDynamicColor::initLinks() {
    KEL_TRY(CObject::initLinks());
    if (attrBool("is-copy-parent-color")) {
        auto* parentColor = dynamic_cast<CDynamicColor*>(parent());
        if (!parentColor) return KEL_ERROR(kelstr_CDynamicColor_init_NoParentColor);
        // Children link before their parent: take the parent's palette path.
        m_palette = parentColor->m_palette;
        if (!m_palette) KEL_TRY(parentColor->findObjectByAttr<CDynamicPalette>("palette", &m_palette));
    }
    if (!m_palette) KEL_TRY(findObjectByAttr<CDynamicPalette>("palette", &m_palette));
    return update();
}

CError CDynamicColor::update() {
    if (!m_palette) return {};
    CString colorName = attr("color");
    const CObject* source = this;
    if (attrBool("is-copy-parent-color")) source = parent();
    if (colorName.empty()) colorName = source->attr("color");
    if (colorName.empty()) colorName = source == this ? name() : source->name();
    const CPalette::Entry* e = m_palette->palette().find(colorName.utf8());
    if (!e) {
        m_palette->colorData(colorName.utf8());  // logs the missing colour
        return {};
    }
    const CColorSettings own = settingsOf(*source, e->settings);
    const CColorSettings s = own.combined(m_palette->palette().global);
    CDynamicColorData d;
    d.settings = own;
    const int64_t n = std::clamp<int64_t>(attrInt("gradient-size", 1), 1, 256);
    for (int64_t i = 0; i < n; ++i) {
        CColorSettings step = s;
        if (n > 1) step.brightness += -0.15 + 0.3 * double(i) / double(n - 1);
        d.tables.push_back(kelComputeColor(e->base, step));
    }
    if (auto* hover = dynamic_cast<CDynamicColor*>(findChild("Hover"))) {
        KEL_TRY(hover->update());
        d.hover = hover->table();
    } else {
        CColorSettings h = s;
        h.brightness += 0.12;
        d.hover = kelComputeColor(e->base, h);
    }
    m_data = std::move(d);
    return {};
}

// --- Style ---------------------------------------------------------------------------------

void CStyle::registerEvents(CClassRecord& record) { CObject::registerEvents(record); }

CStyleSwitches CStyle::switches() const {
    CStyleSwitches s;
    s.flatPanels = attrBool("ui-flat-panels", s.flatPanels);
    s.shadows = attrBool("ui-shadows", s.shadows);
    s.spotlight = attrBool("ui-spotlight", s.spotlight);
    s.textures = attrBool("ui-textures", s.textures);
    return s;
}

CError CStyle::apply(CObject& target) const {
    for (const auto& [name, value] : kelStyleAttributes(switches()))
        KEL_TRY(target.setAttr(CString(name), CString(value), false));
    return {};
}
