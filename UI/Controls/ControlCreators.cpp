// Creator rows of the parameter controls.
#include "UI/Controls/ControlCreators.h"

#include "UI/Controls/GlobalSettings.h"
#include "UI/Controls/Knob.h"
#include "UI/Controls/KnobLabels.h"
#include "UI/Controls/MinMax.h"
#include "UI/Controls/ParamBridge.h"
#include "UI/Controls/ParamGroup.h"
#include "UI/Controls/ParamSwitch.h"
#include "UI/Controls/PresetEditMark.h"
#include "UI/Controls/ReadOut.h"
#include "UI/Controls/Ruler.h"
#include "UI/Controls/SimpleSlider.h"
#include "UI/Controls/UIParam.h"
#include "UI/Controls/UIParamController.h"

namespace {
template <class T>
CObject* make() {
    return new T();
}
}  // namespace

std::span<const CreatorRow> uiControlCreatorRows() {
    static const CreatorRow rows[] = {
        {"ui:global-settings", &make<CGlobalSettings>, &CGlobalSettings::registerEvents},
        {"ui:param-bridge", &make<CParamBridge>, &CParamBridge::registerEvents},
        {"ui:ui-param", &make<CUIParam>, &CUIParam::registerEvents},
        {"ui:ui-param-controller", &make<CUIParamController>, &CUIParamController::registerEvents},
        {"ui:param-group-selector", &make<CParamGroupSelector>, &CParamGroupSelector::registerEvents},
        {"ui:param-group-controller", &make<CParamGroupController>, &CParamGroupController::registerEvents},
        {"ui:knob", &make<CKnob>, &CKnob::registerEvents},
        {"ui:readout", &make<CReadOut>, &CReadOut::registerEvents},
        {"ui:min-max", &make<CMinMax>, &CMinMax::registerEvents},
        {"ui:param-switch", &make<CParamSwitch>, &CParamSwitch::registerEvents},
        {"ui:preset-edit-mark", &make<CPresetEditMark>, &CPresetEditMark::registerEvents},
        {"ui:ruler", &make<CRuler>, &CRuler::registerEvents},
        {"ui:simple-slider", &make<CSimpleSlider>, &CSimpleSlider::registerEvents},
        {"ui:knob-labels", &make<CKnobLabels>, &CKnobLabels::registerEvents},
    };
    return rows;
}
