// Creator rows of the colour editor's views.
#include "UI/Colors/ColorCreators.h"

#include "UI/Colors/ColorPicker.h"
#include "UI/Colors/ColorViews.h"

namespace {
template <class T>
CObject* make() {
    return new T();
}
}  // namespace

std::span<const CreatorRow> uiColorCreatorRows() {
    static const CreatorRow rows[] = {
        {"ui:color-picker", &make<CColorPicker>, &CColorPicker::registerEvents},
        {"ui:color-swatch", &make<CColorSwatch>, &CColorSwatch::registerEvents},
        {"ui:gradient-base", &make<CGradientBase>, &CGradientBase::registerEvents},
        {"ui:color-fill", &make<CColorFill>, &CColorFill::registerEvents},
    };
    return rows;
}
