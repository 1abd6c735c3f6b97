// Image-set and font objects, and image references.
#include "UI/Resources/ResourceObjects.h"

#include "UI/Resources/DynamicColor.h"
#include "UI/Resources/ResourceStore.h"

CError CImageSetObject::init() {
    KEL_TRY(CObject::init());
    const CString file = attr("file");
    if (file.empty()) return KEL_ERROR(kelstr_CImageSetObject_init_NoFile, fullName());
    KEL_TRY(UIResources::imageSet(file, &m_set));
    return {};
}

void CImageSetObject::registerEvents(CClassRecord& record) { CObject::registerEvents(record); }

CError CFontObject::init() {
    KEL_TRY(CObject::init());
    const CString file = attr("file");
    if (file.empty()) return KEL_ERROR(kelstr_CFontObject_init_NoFile, fullName());
    KEL_TRY(UIResources::font(file, &m_font));
    return {};
}

void CFontObject::registerEvents(CClassRecord& record) { CObject::registerEvents(record); }

bool CImageRef::parse(std::string_view text, CImageRef* out) {
    const size_t hash = text.find('#');
    if (hash == std::string_view::npos) return false;
    CImageRef r;
    r.setPath = std::string(text.substr(0, hash));
    std::string_view rest = text.substr(hash + 1);
    const size_t colon = rest.find(':');
    r.group = std::string(rest.substr(0, colon));
    if (colon != std::string_view::npos) r.colorName = std::string(rest.substr(colon + 1));
    *out = std::move(r);
    return true;
}

CError kelResolveImage(const CObject& from, const CImageRef& ref, CResolvedImage* out) {
    *out = {};
    auto* obj = dynamic_cast<CImageSetObject*>(from.findObject(CString(ref.setPath)));
    if (!obj || !obj->imageSet()) return KEL_ERROR(kelstr_CImageSetObject_resolveImage_NoSet, CString(ref.setPath));
    out->set = obj->imageSet();
    out->group = out->set->findGroup(ref.group);
    if (out->group) out->image = out->set->image(size_t(std::max(out->group->first, 0)));
    return {};
}

namespace {
template <class T>
CObject* make() {
    return new T();
}

const CreatorRow kRows[] = {
    {"imageset", &make<CImageSetObject>, &CImageSetObject::registerEvents},
    {"font", &make<CFontObject>, &CFontObject::registerEvents},
    {"ui:dynamic-palette", &make<CDynamicPalette>, &CDynamicPalette::registerEvents},
    {"ui:dynamic-color", &make<CDynamicColor>, &CDynamicColor::registerEvents},
    {"ui:style", &make<CStyle>, &CStyle::registerEvents},
};
}  // namespace

std::span<const CreatorRow> uiResourceCreatorRows() { return kRows; }
