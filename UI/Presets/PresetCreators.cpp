// Creator rows of the preset views.
#include "UI/Presets/PresetCreators.h"

#include "UI/Presets/ButtonAB.h"
#include "UI/Presets/DynListPresets.h"
#include "UI/Presets/FileDialog.h"
#include "UI/Presets/FileDialogPanel.h"
#include "UI/Presets/History.h"
#include "UI/Presets/ItemList.h"
#include "UI/Presets/PresetManager.h"
#include "UI/Presets/QuickPresetSelector.h"
#include "UI/Presets/TextField.h"

namespace {
template <class T>
CObject* make() {
    return new T();
}
}  // namespace

std::span<const CreatorRow> uiPresetCreatorRows() {
    static const CreatorRow rows[] = {
        {"ui:item-list", &make<CItemList>, &CItemList::registerEvents},
        {"ui:dynlist-presets", &make<CDynListPresets>, &CDynListPresets::registerEvents},
        {"ui:text-field", &make<CTextField>, &CTextField::registerEvents},
        {"ui:file-dialog", &make<CFileDialog>, &CFileDialog::registerEvents},
        {"ui:file-dialog-panel", &make<CFileDialogPanel>, &CFileDialogPanel::registerEvents},
        {"ui:preset-manager", &make<CPresetManager>, &CPresetManager::registerEvents},
        {"ui:quick-preset-selector", &make<CQuickPresetSelector>, &CQuickPresetSelector::registerEvents},
        {"ui:instance-preset-selector", &make<CInstancePresetSelector>, &CInstancePresetSelector::registerEvents},
        {"ui:history", &make<CHistory>, &CHistory::registerEvents},
        {"ui:button-ab", &make<CButtonAB>, &CButtonAB::registerEvents},
        {"ui:plugin-control", &make<CPluginControl>, &CPluginControl::registerEvents},
    };
    return rows;
}
