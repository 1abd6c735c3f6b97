// The product's editor document through a real instance: every bridge on a
// declared parameter, every reference resolving, the disabling rules, the
// panels' own classes, and a layout where nothing overlaps or is cut.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <optional>
#include <string>

#include "Audio/Interface/ParamInterfaceUni.h"
#include "Core/AppData.h"
#include "Core/Application.h"
#include "Core/XMLData.h"
#include "Tests/UI/EditorDocumentFixture.h"
#include "Tests/Support/PumpDeliveries.h"
#include "Tests/UI/UiTestSupport.h"
#include "Tools/DefCompiler/DefCompiler.h"
#include "Tools/UiShot/PngFile.h"
#include "Tools/UiShot/UiShot.h"
#include "UI/Controls/ParamBridge.h"
#include "UI/Controls/ParamSwitch.h"
#include "UI/Controls/ReadOut.h"
#include "UI/Meters/LevelMeter.h"
#include "UI/Panels/ControlArray.h"
#include "UI/Panels/Frame.h"
#include "UI/Panels/StatusLineController.h"
#include "UI/Panels/UIEventBridge.h"
#include "UI/Presets/ButtonAB.h"
#include "UI/Presets/History.h"
#include "UI/Presets/ItemList.h"
#include "UI/Presets/PresetManager.h"
#include "UI/Presets/QuickPresetSelector.h"
#include "UI/Buttons/Button.h"
#include "UI/Scroll/WhatsNewList.h"
#include "UI/Window/WindowOpener.h"
#include "UI/Render/WindowRenderer.h"
#include "UI/View/View.h"
#include "Tests/Support/ScratchDataFolders.h"

namespace {

using uitest::expectMatchesGolden;
using uitest::expectNothingOverlapsOrIsCut;
using uitest::forEachObject;

class MainWindow : public uitest::EditorDocument {};

TEST_F(MainWindow, EveryBridgeNamesADeclaredParameterAndEveryControlReachesABridge) {
    const CError e = open();
    ASSERT_FALSE(e) << e.text();
    auto* ui = dynamic_cast<CUIEventBridge*>(m_ui->root->findObject("ui"));
    ASSERT_NE(ui, nullptr);
    EXPECT_EQ(ui->modName(), "plugin.modMain.modTamblor");

    int bridges = 0, controls = 0;
    forEachObject(m_ui->root.get(), [&](CObject* o) {
        if (auto* b = dynamic_cast<CParamBridge*>(o)) {
            ++bridges;
            const std::string name = b->paramName().utf8();
            EXPECT_NE(param(name.c_str()), nullptr) << o->fullName().utf8() << " names " << name;
            EXPECT_TRUE(b->isReady()) << name << " is not known to the audio side";
        }
        const CString path = o->attr("bridge").trimmed();
        if (path.empty() || dynamic_cast<CParamBridge*>(o)) return;
        ++controls;
        EXPECT_NE(dynamic_cast<CParamBridge*>(o->findObject(path)), nullptr)
            << o->fullName().utf8() << " -> " << path.utf8();
    });
    EXPECT_EQ(bridges, 61);
    EXPECT_GT(controls, 25);
}

TEST_F(MainWindow, AControlOnAMissingBridgeFailsTheWindow) {
    const CError e = open(1.0, documentText([](std::string& t) {
        const std::string from = "bridge=\"ui.release-bridge\" disabled-color";
        const size_t at = t.find(from);
        ASSERT_NE(at, std::string::npos);
        t.replace(at, from.size(), "bridge=\"ui.relase-bridge\" disabled-color");
    }));
    ASSERT_TRUE(e);
    EXPECT_NE(e.text().find("ui.relase-bridge"), std::string::npos) << e.text();
}

TEST_F(MainWindow, SwitchesDisableTheControlsTheyGate) {
    ASSERT_FALSE(open());
    struct Rule {
        const char* bridge;
        std::vector<const char*> views;
    };
    const Rule rules[] = {
        {"release-enable-bridge",
         {"title-frame.knobs.release-column.release", "title-frame.knobs.release-column.readout"}},
        {"dcfilter-enable-bridge",
         {"stages.dcfilter.freq-row.freq", "stages.dcfilter.freq-row.freq-side.readout", "stages.dcfilter.type"}},
        {"dither-enable-bridge",
         {"stages.dither.bits-row.bits", "stages.dither.noise-row.noise", "stages.dither.shaping-row.shaping"}},
    };
    for (const Rule& r : rules) {
        for (double on : {0.0, 1.0}) {
            setParam(r.bridge, on);
            for (const char* v : r.views) {
                CView* view = this->view(v);
                ASSERT_NE(view, nullptr) << v;
                EXPECT_EQ(view->isBlocked(), on == 0.0) << r.bridge << " = " << on << ": " << v;
            }
        }
    }
    // Other controls stay enabled whatever the switches say.
    EXPECT_FALSE(view("title-frame.knobs.ingain-column.in-gain")->isBlocked());
}

TEST_F(MainWindow, EvalShowsItsAlarmWhileOn) {
    ASSERT_FALSE(open());
    CView* eval = view("title-frame.top-row.eval");
    ASSERT_NE(eval, nullptr);
    setParam("eval-enable-bridge", 1);
    EXPECT_TRUE(eval->stateSet().isSet("alarm"));
    EXPECT_EQ(eval->attr("color"), "Alarm");
    setParam("eval-enable-bridge", 0);
    EXPECT_FALSE(eval->stateSet().isSet("alarm"));
}

// The instance name is free text of a useful length, unlike the number read-outs.
TEST_F(MainWindow, InstanceNameTakesWords) {
    ASSERT_FALSE(open());
    auto* name = view<CReadOut>("window-title.instance-name");
    ASSERT_NE(name, nullptr);
    ASSERT_FALSE(name->openEditBox());
    ASSERT_FALSE(name->setEditText("Drum bus, take 2"));
    EXPECT_TRUE(name->commitEditBox());
    pumpUi();
    EXPECT_EQ(bridge("instance-name-bridge")->text(0, 0).utf8(), "Drum bus, take 2");
}

TEST_F(MainWindow, OversamplingSelectorHasOneChoicePerSettingAndSetsIt) {
    ASSERT_FALSE(open());
    auto* row = view<CControlArray>("window-title.quality-selector");
    ASSERT_NE(row, nullptr);
    ASSERT_EQ(row->itemCount(), 5u);
    const char* labels[] = {"1X", "2X", "4X", "8X", "Auto"};
    for (size_t i = 0; i < 5; ++i) EXPECT_EQ(row->item(i)->attr("text"), labels[i]);
    // "Auto" is the parameter's first state; "4X" its fourth.
    auto* autoItem = dynamic_cast<CParamSwitch*>(row->item(4));
    auto* x4 = dynamic_cast<CParamSwitch*>(row->item(2));
    ASSERT_NE(autoItem, nullptr);
    ASSERT_NE(x4, nullptr);
    ASSERT_FALSE(x4->select(x4->attrReal("switch-value")));
    pumpUi();
    EXPECT_EQ(value("plugin.modMain.oversampling"), 3);
    EXPECT_TRUE(x4->isOn());
    EXPECT_FALSE(autoItem->isOn());
    ASSERT_FALSE(autoItem->select(autoItem->attrReal("switch-value")));
    pumpUi();
    EXPECT_EQ(value("plugin.modMain.oversampling"), 0);
    EXPECT_TRUE(autoItem->isOn());
}

TEST_F(MainWindow, FramesCarryTheirCaptionFirstAndHintsFollowTheSwitch) {
    ASSERT_FALSE(open());
    auto* limiter = view<CFrame>("title-frame");
    ASSERT_NE(limiter, nullptr);
    ASSERT_NE(limiter->caption(), nullptr);
    EXPECT_EQ(limiter->childViews().front(), limiter->caption());
    EXPECT_EQ(limiter->caption()->attr("text"), "Limiter");
    EXPECT_LE(limiter->caption()->area().total.bottom(), limiter->childViews()[1]->area().total.y);

    auto* hints = dynamic_cast<CStatusLineController*>(
        m_ui->root->findObject("ui.main-window.hint-line-controller"));
    ASSERT_NE(hints, nullptr);
    CView* knob = view("title-frame.knobs.ingain-column.in-gain");
    EXPECT_TRUE(hints->hintFor(knob).startsWith("Input gain parameter (dB)."));
    // A view without a hint shows its nearest ancestor's; "%s" takes the view's argument.
    EXPECT_EQ(hints->hintFor(view("title-frame.knobs.ingain-column.caption")), "Limiter parameters.");
    EXPECT_EQ(hints->hintFor(view("title-frame.meters.out-column.out-channels")),
              "Channels on the level meter: L R");
    // The line shows what is under the mouse.
    CEventParams move{{"x", "311"}, {"y", "351"}};
    ASSERT_FALSE(m_ui->renderer->runEvent("mouse-move", move));
    ASSERT_FALSE(hints->runEvent("update"));
    EXPECT_TRUE(view("hint-line")->attr("text").startsWith("Input gain parameter (dB)."))
        << view("hint-line")->attr("text").utf8();
    auto* hintsSwitch = view<CParamSwitch>("window-title.hints");
    ASSERT_TRUE(hintsSwitch->isOn());
    ASSERT_FALSE(hintsSwitch->select(0));
    ASSERT_FALSE(hintsSwitch->isOn());
    EXPECT_EQ(hints->hintFor(knob), "");
}


const char* const kMode = "plugin.modMain.modTamblor.mode-params.mode";

TEST_F(MainWindow, PresetsButtonOpensTheManagerWhoseFactoryPresetsLoad) {
    // The values a preset sets, to see that one was loaded.
    auto limiterValues = [] {
        std::vector<double> v;
        for (const char* name : {"plugin.modMain.modTamblor.ingain", "plugin.modMain.modTamblor.outgain",
                                 "plugin.modMain.modTamblor.release", "plugin.modMain.modTamblor.release-enable", kMode})
            v.push_back(value(name));
        return v;
    };
    ASSERT_TRUE(master().activateDefaultPreset().ok());
    ASSERT_FALSE(open());
    CEventParams none;
    ASSERT_FALSE(view("buttons.presets")->runEvent("mouse-release", none));
    auto* opener = dynamic_cast<CWindowOpener*>(m_ui->root->findObject("ui.window-shared-data.window-opener"));
    ASSERT_NE(opener, nullptr);
    CObject* popup = opener->findPopup("ui:win-preset-manager");
    ASSERT_NE(popup, nullptr) << "the button opens the manager";
    auto* manager = dynamic_cast<CPresetManager*>(popup->findObject(".window-renderer.root"));
    ASSERT_NE(manager, nullptr);
    pumpUi();

    const std::vector<double> before = limiterValues();
    ASSERT_FALSE(manager->selectBank(CPresetManager::kFactoryBank));
    const std::vector<CString> rows = manager->presetList()->rows();
    ASSERT_GE(rows.size(), 2u);
    // The first preset that differs from the defaults.
    size_t row = 0;
    for (; row < rows.size(); ++row) {
        ASSERT_FALSE(manager->selectPreset(int(row)));
        ASSERT_FALSE(manager->activatePreset());
        pumpUi();
        if (limiterValues() != before) break;
    }
    ASSERT_LT(row, rows.size()) << "no factory preset changes the limiter";
    // The title bar's selector names what was loaded.
    EXPECT_EQ(view("window-title.instance-preset.preset-name")->attr("text"), rows[row]);

    // The first factory preset again, for the tests after.
    ASSERT_FALSE(manager->selectPreset(0));
    ASSERT_FALSE(manager->activatePreset());
    pumpUi();
    EXPECT_EQ(view("window-title.instance-preset.preset-name")->attr("text"), rows[0]);

    // The button toggles: a second press closes the manager.
    ASSERT_FALSE(view("buttons.presets")->runEvent("mouse-release", none));
    EXPECT_EQ(opener->findPopup("ui:win-preset-manager"), nullptr);
}

TEST_F(MainWindow, ModeSelectorSetsTheModeUndoAndABBringItBack) {
    ASSERT_TRUE(master().activateDefaultPreset().ok());
    ASSERT_FALSE(open());
    auto* mode = view<CQuickPresetSelector>("title-frame.top-row.mode");
    ASSERT_NE(mode, nullptr);
    ASSERT_GE(mode->items().size(), 2u) << "the mode presets are embedded";
    const double m0 = value(kMode);
    const CString t0 = mode->attr("text");
    EXPECT_FALSE(t0.empty());
    // Another mode than the current one.
    size_t k = 0;
    while (k < mode->items().size() && mode->items()[k].title == t0) ++k;
    ASSERT_LT(k, mode->items().size());
    const CString t1 = mode->items()[k].title;
    const CError sel = mode->select(t1);
    ASSERT_FALSE(sel) << sel.text();
    pumpUi();
    const double m1 = value(kMode);
    EXPECT_NE(m1, m0);
    EXPECT_EQ(mode->attr("text"), t1);

    // Undo and redo through the button row's history.
    CEventParams none;
    ASSERT_FALSE(view("buttons.history.button-undo")->runEvent("mouse-release", none));
    pumpUi();
    EXPECT_EQ(value(kMode), m0);
    EXPECT_EQ(mode->attr("text"), t0);
    ASSERT_FALSE(view("buttons.history.button-redo")->runEvent("mouse-release", none));
    pumpUi();
    EXPECT_EQ(value(kMode), m1);

    // A/B: B starts as A; a change in B stays in B.
    auto* ab = view<CButtonAB>("buttons.ab");
    ASSERT_NE(ab, nullptr);
    ASSERT_FALSE(ab->runEvent("on-ab", none));
    pumpUi();
    EXPECT_TRUE(ab->isB());
    EXPECT_EQ(value(kMode), m1);
    EXPECT_TRUE(view("buttons.ab-copy")->attr("text").startsWith("B"));
    ASSERT_FALSE(mode->select(t0));
    pumpUi();
    ASSERT_EQ(value(kMode), m0);
    ASSERT_FALSE(ab->runEvent("on-ab", none));
    pumpUi();
    EXPECT_FALSE(ab->isB());
    EXPECT_EQ(value(kMode), m1);
    EXPECT_EQ(mode->attr("text"), t1);
    ASSERT_FALSE(ab->runEvent("on-ab", none));
    pumpUi();
    EXPECT_EQ(value(kMode), m0);
    // Back to A for the tests after.
    ASSERT_FALSE(ab->runEvent("on-ab", none));
    pumpUi();
    EXPECT_FALSE(ab->isB());
}

TEST_F(MainWindow, DraggingTheInputMeterSetsInGainAsOneUndoStepAndZonesFollowTheirParameters) {
    ASSERT_TRUE(master().activateDefaultPreset().ok());
    ASSERT_FALSE(open());
    auto* in = view<CLevelMeter>("title-frame.meters.in-column.in-meter");
    ASSERT_NE(in, nullptr);
    const char* const ingain = "plugin.modMain.modTamblor.ingain";
    const double g0 = value(ingain);
    const double h = in->area().total.h;
    auto mouse = [&](const char* event, double y) {
        CEventParams p{{"x", "10"}, {"y", CString::number(y)}};
        ASSERT_FALSE(in->runEvent(event, p)) << event;
        pumpUi();
    };
    mouse("mouse-press", h * 0.8);
    const double low = value(ingain);
    mouse("mouse-move", h * 0.3);
    const double high = value(ingain);
    mouse("mouse-release", h * 0.3);
    EXPECT_LT(high, low) << "a higher threshold is less gain";
    EXPECT_NEAR(high, std::clamp(-in->dbAt(1.0 - (h * 0.3 - (in->area().inner.y - in->area().total.y)) /
                                              in->area().inner.h),
                                 param(ingain)->info().minValue(0), param(ingain)->info().maxValue(0)),
                0.2);
    CEventParams none;
    ASSERT_FALSE(view("buttons.history.button-undo")->runEvent("mouse-release", none));
    pumpUi();
    EXPECT_EQ(value(ingain), g0) << "the drag is one undo step";

    auto* out = view<CLevelMeter>("title-frame.meters.out-column.out-meter");
    ASSERT_NE(out, nullptr);
    setParam("outmeter-zred-bridge", -3);
    setParam("outmeter-zyellow-bridge", -9);
    EXPECT_DOUBLE_EQ(out->zoneRed(), -3);
    EXPECT_DOUBLE_EQ(out->zoneYellow(), -9);
}

TEST_F(MainWindow, NothingOverlapsOrIsCutFromScaleOneToTwo) {
    for (double scale : {1.0, 1.25, 1.5, 2.0}) {
        const CError e = open(scale);
        ASSERT_FALSE(e) << e.text();
        CView* root = view("window-title")->rootView();
        EXPECT_NEAR(root->area().total.w, 590 * scale, 1);
        EXPECT_NEAR(root->area().total.h, 444 * scale, 1);
        int checked = 0;
        uitest::expectNothingOverlapsOrIsCut(root, scale, &checked);
        EXPECT_GT(checked, 100);
        m_ui.reset();
    }
}

}  // namespace

namespace {

// The main window as drawn at 1.0 and 2.0 against its golden images
// (main-window@SCALE.png).
TEST_F(MainWindow, MatchesItsGoldenImages) {
    ASSERT_TRUE(master().activateDefaultPreset().ok());
    for (const char* scale : {"1.0", "2.0"}) {
        ASSERT_FALSE(open(std::stod(scale)));
        // The settings the picture shows, whatever the tests before left:
        // 4X, every stage on, Eval off, and the latency taken by the host
        // (as a DAW does at once; this instance has no host to ask).
        const std::pair<const char*, double> settings[] = {
            {"quality-bridge", 3},        {"eval-enable-bridge", 0},     {"release-enable-bridge", 1},
            {"dcfilter-enable-bridge", 1}, {"dither-enable-bridge", 1}, {"host-latency-change-bridge", 0}};
        for (const auto& [name, v] : settings) setParam(name, v);
        ASSERT_FALSE(m_ui->renderer->render());
        uitest::expectMatchesGolden(m_ui->renderer->backBuffer(), std::string("main-window@") + scale + ".png");
        m_ui.reset();
    }
}

// --- The settings pop-ups ----------------------------------------------------------------

// With the application data stores in a folder of their own: the stored
// editor settings start from their defaults and nothing of the user's is read
// or written.
class SettingsWindow : public MainWindow {
protected:
    void SetUp() override {
        m_folders.emplace("settings");
        MainWindow::SetUp();
    }
    void TearDown() override {
        MainWindow::TearDown();
        m_folders.reset();
    }

    // Opens the editor at a scale and presses its settings button.
    void openSettings(double scale = 1.0) {
        ASSERT_FALSE(open(scale));
        m_opener = dynamic_cast<CWindowOpener*>(m_ui->root->findObject("ui.window-shared-data.window-opener"));
        ASSERT_NE(m_opener, nullptr);
        CEventParams none;
        ASSERT_FALSE(view("buttons.settings")->runEvent("mouse-release", none));
        m_settings = m_opener->findPopup("ui:win-settings");
        ASSERT_NE(m_settings, nullptr) << "the settings button opens the settings window";
        pumpUi();
    }
    // Clicks a button of the settings window ("body.NAME").
    void click(CObject* popup, const std::string& path) {
        auto* b = dynamic_cast<CButtonBase*>(popup->findObject(CString(".window-renderer.root.body." + path)));
        ASSERT_NE(b, nullptr) << path;
        ASSERT_FALSE(b->click()) << path;
        pumpUi();
    }

    std::optional<CScratchDataFolders> m_folders;
    CWindowOpener* m_opener = nullptr;
    CObject* m_settings = nullptr;
};

TEST_F(SettingsWindow, TheSettingsButtonOpensItAndTogglesIt) {
    openSettings();
    CWindowRenderer* r = kelFindRenderer(m_settings);
    ASSERT_NE(r, nullptr);
    EXPECT_TRUE(r->attrBool("is-popup-window"));
    // The read-outs reach the instance's meter settings.
    for (const char* name : {"rms", "release", "peak", "scheme"}) {
        auto* v = dynamic_cast<CView*>(m_settings->findObject(CString(".window-renderer.root.body.") + name));
        ASSERT_NE(v, nullptr) << name;
        EXPECT_FALSE(v->attr("text").trimmed().empty()) << name << " shows no value";
    }
    CEventParams none;
    ASSERT_FALSE(view("buttons.settings")->runEvent("mouse-release", none));
    EXPECT_EQ(m_opener->findPopup("ui:win-settings"), nullptr);
}

TEST_F(SettingsWindow, WhatsNewListsEveryVersionOfTheSharedHistory) {
    size_t entries = 0, paragraphs = 0;
    for (const auto& c : CApplication::sharedObject()->children()) {
        if (!(c->name() == "whatsnew")) continue;
        ++entries;
        for (const auto& p : c->children()) paragraphs += p->name() == "p";
    }
    ASSERT_GE(entries, 2u);
    openSettings();
    click(m_settings, "buttons.whatsnew");
    CObject* history = m_opener->findPopup("ui:win-whatsnew");
    ASSERT_NE(history, nullptr) << "What's New opens the history";
    auto* list = dynamic_cast<CDynListWhatsNew*>(history->findObject(".window-renderer.root.body.history.list"));
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(list->entryCount(), entries);
    EXPECT_EQ(list->paragraphCount(), paragraphs);
    // Its OK closes it and leaves the settings window open.
    click(history, "buttons.ok");
    EXPECT_EQ(m_opener->findPopup("ui:win-whatsnew"), nullptr);
    EXPECT_NE(m_opener->findPopup("ui:win-settings"), nullptr);
}

TEST_F(SettingsWindow, EditOpensTheColourEditorAndGlobalOpensTheGlobalSettings) {
    openSettings();
    click(m_settings, "colors");
    CObject* colors = m_opener->findPopup("ui:uicolor-editor");
    ASSERT_NE(colors, nullptr) << "Edit opens the colour editor";
    EXPECT_NE(colors->findObject(".window-renderer.root.body.picker-box.picker"), nullptr);
    click(m_settings, "buttons.global");
    CObject* global = m_opener->findPopup("ui:win-global-settings");
    ASSERT_NE(global, nullptr) << "Global... opens the global settings";
    auto* knob = dynamic_cast<CView*>(global->findObject(".window-renderer.root.body.knob"));
    ASSERT_NE(knob, nullptr);
    EXPECT_EQ(knob->attr("text").utf8(), "Vertical");
}

// The settings window as drawn at 1.0 and 2.0 (settings-window@SCALE.png).
TEST_F(SettingsWindow, MatchesItsGoldenImages) {
    ASSERT_TRUE(master().activateDefaultPreset().ok());
    for (const char* scale : {"1.0", "2.0"}) {
        openSettings(std::stod(scale));
        CWindowRenderer* r = kelFindRenderer(m_settings);
        ASSERT_NE(r, nullptr);
        ASSERT_FALSE(r->render());
        uitest::expectMatchesGolden(r->backBuffer(), std::string("settings-window@") + scale + ".png");
        m_ui.reset();
    }
}
}  // namespace
