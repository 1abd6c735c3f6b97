#include "Product/ProductCreators.h"

#include <vector>

#include "Audio/Filters/FilterCreators.h"
#include "Audio/Graph/GraphCreators.h"
#include "Audio/Interface/InterfaceCreators.h"
#include "Audio/Params/AudioCreators.h"
#include "Audio/Processes/ModuleCreators.h"
#include "Audio/Registry/RegistryCreators.h"
#include "Audio/Viz/VizCreators.h"
#include "Core/CoreCreators.h"
#include "UI/Colors/ColorCreators.h"
#include "UI/Controls/ControlCreators.h"
#include "UI/Decor/DecorCreators.h"
#include "UI/Lists/ListCreators.h"
#include "UI/Meters/MeterCreators.h"
#include "UI/Panels/PanelCreators.h"
#include "UI/Presets/PresetCreators.h"
#include "UI/Resources/ResourceObjects.h"
#include "UI/Routing/RoutingCreators.h"
#include "UI/Scroll/ScrollCreators.h"
#include "UI/Settings/SettingsCreators.h"
#include "UI/View/ViewCreators.h"
#include "UI/Window/WindowCreators.h"

// Each area of the system contributes its rows; the table is their
// concatenation in this order.
std::span<const CreatorRow> kelProductCreatorTable() {
    static const std::vector<CreatorRow> table = [] {
        std::vector<CreatorRow> t;
        for (std::span<const CreatorRow> part :
             {kelCoreCreatorRows(), audioParamCreatorRows(), audioGraphCreatorRows(), audioFilterCreatorRows(),
              audioModuleCreatorRows(), audioVizCreatorRows(), audioRegistryCreatorRows(),
              audioInterfaceCreatorRows(), uiResourceCreatorRows(), uiViewCreatorRows(),
              uiControlCreatorRows(), uiMeterCreatorRows(), uiPanelCreatorRows(), uiWindowCreatorRows(),
              uiPresetCreatorRows(), uiRoutingCreatorRows(), uiListCreatorRows(), uiSettingsCreatorRows(),
              uiScrollCreatorRows(), uiColorCreatorRows(),
              uiDecorCreatorRows()})
            t.insert(t.end(), part.begin(), part.end());
        return t;
    }();
    return table;
}

CApplication::StartOptions kelProductStartOptions() {
    CApplication::StartOptions o;
    o.creators = kelProductCreatorTable();
    return o;
}
