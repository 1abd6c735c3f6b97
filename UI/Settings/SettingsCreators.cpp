// Creator rows of the settings pop-ups' classes.
#include "UI/Settings/SettingsCreators.h"

#include "UI/Buttons/Button.h"
#include "UI/Settings/SettingSelector.h"

namespace {
template <class T>
CObject* make() {
    return new T();
}
}  // namespace

std::span<const CreatorRow> uiSettingsCreatorRows() {
    static const CreatorRow rows[] = {
        {"ui:button-base", &make<CButtonBase>, &CButtonBase::registerEvents},
        {"ui:button-ok", &make<CButtonOk>, &CButtonOk::registerEvents},
        {"ui:selector-shared-attr", &make<CSelectorSharedAttr>, &CSelectorSharedAttr::registerEvents},
        {"ui:selector-scale", &make<CSelectorScale>, &CSelectorScale::registerEvents},
        {"ui:selector-fps", &make<CSelectorFps>, &CSelectorFps::registerEvents},
    };
    return rows;
}
