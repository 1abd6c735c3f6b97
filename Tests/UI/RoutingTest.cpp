// Channel routing in the editor through a real instance: the routing
// window's selectors, the routing presets and the quick routing selector,
// channel labels, the button row's group selector with Copy to, and a
// 6-channel host bus that comes through once "5.1 Surround (Multi)" is
// chosen in the editor.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <optional>

#include "Core/AppData.h"
#include "Platform/Window/Window.h"
#include "Tests/UI/EditorDocumentFixture.h"
#include "UI/Buttons/Button.h"
#include "UI/Controls/ParamGroup.h"
#include "UI/Panels/StatusLineController.h"
#include "UI/Presets/ItemList.h"
#include "UI/Presets/PresetManager.h"
#include "UI/Presets/QuickPresetSelector.h"
#include "UI/Routing/GroupSelector.h"
#include "UI/Routing/RoutingSelector.h"
#include "UI/Text/TextView.h"
#include "Tests/Support/ScratchDataFolders.h"

namespace {

constexpr const char* kBody = ".window-renderer.root.body.";
constexpr const char* kOpener = "ui.main-window.window-renderer.root.buttons.routing";

// Six planar channels of sines, each with its own whole number of cycles per
// block, so that one block's DFT reads every channel's tone exactly.
class SixChannels {
public:
    static constexpr int kFrames = 512;
    static constexpr int kCycles[6] = {8, 13, 19, 24, 31, 37};

    SixChannels() : m_in(size_t(6 * kFrames)), m_out(size_t(6 * kFrames)) {
        for (int c = 0; c < 6; ++c) {
            m_inPtr[c] = m_in.data() + size_t(c * kFrames);
            m_outPtr[c] = m_out.data() + size_t(c * kFrames);
            for (int i = 0; i < kFrames; ++i)
                m_in[size_t(c * kFrames + i)] = float(0.1 * std::sin(2.0 * M_PI * kCycles[c] * i / kFrames));
        }
        m_inBus.channels = m_outBus.channels = 6;
        m_inBus.planar = m_inPtr;
        m_outBus.planar = m_outPtr;
    }
    // Runs enough blocks for the latency to pass; the last block stays.
    void run(CAudioWrapper& core) {
        for (int b = 0; b < 24; ++b) core.process(m_inBus, nullptr, m_outBus, kFrames);
    }
    // Amplitude of tone `tone` in output channel `out`.
    double level(int out, int tone) const {
        double re = 0, im = 0;
        for (int i = 0; i < kFrames; ++i) {
            const double v = m_out[size_t(out * kFrames + i)];
            re += v * std::cos(2.0 * M_PI * kCycles[tone] * i / kFrames);
            im += v * std::sin(2.0 * M_PI * kCycles[tone] * i / kFrames);
        }
        return 2.0 * std::hypot(re, im) / kFrames;
    }

private:
    std::vector<float> m_in, m_out;
    void* m_inPtr[6] = {};
    void* m_outPtr[6] = {};
    CHostBus m_inBus, m_outBus;
};

// With the application data stores in a folder of their own, and the
// instance's routing back at the stereo default afterwards.
class Routing : public uitest::EditorDocument {
protected:
    void SetUp() override {
        m_folders.emplace("routing");
        EditorDocument::SetUp();
        if (core()) {
            ASSERT_FALSE(core()->setRoutingPreset(0));
        }
    }
    void TearDown() override {
        if (core()) {
            (void)core()->setRoutingPreset(0);
            if (m_sixChannels) {
                core()->stopProcessing();
                core()->setIoLayout(2, 0, 2);
                core()->startProcessing();
            }
        }
        EditorDocument::TearDown();
        m_folders.reset();
    }

    void useSixChannels() {
        core()->stopProcessing();
        core()->setIoLayout(6, 0, 6);
        core()->startProcessing();
        m_sixChannels = true;
    }
    // Presses a button of the main window's button row.
    void press(const std::string& path) {
        CView* v = view(path);
        ASSERT_NE(v, nullptr) << path;
        CEventParams none;
        ASSERT_FALSE(v->runEvent("mouse-release", none)) << path;
        pumpUi();
    }
    // Opens the channel routing window from the button row.
    CObject* openRouting() {
        press("buttons.routing");
        CObject* w = opener()->findPopup("ui:win-channel-routing");
        EXPECT_NE(w, nullptr) << "Routing opens the channel routing window";
        return w;
    }
    // Clicks a pop-up button ("body.PATH").
    void click(CObject* popup, const std::string& path) {
        auto* b = dynamic_cast<CButtonBase*>(popup->findObject(CString(kBody + path)));
        ASSERT_NE(b, nullptr) << path;
        ASSERT_FALSE(b->click()) << path;
        pumpUi();
    }
    static std::vector<std::string> texts(CObject* popup, const std::string& column) {
        std::vector<std::string> out;
        for (int i = 0; i < 8; ++i) {
            auto* v = dynamic_cast<CView*>(popup->findObject(CString(kBody + column + ".item" + std::to_string(i))));
            out.push_back(v ? v->attr("text").utf8() : "(missing)");
        }
        return out;
    }
    static std::vector<double> values(const char* param) {
        std::vector<double> v;
        for (uint32_t e = 0; e < 8; ++e) v.push_back(value(param, 0, e));
        return v;
    }

    std::optional<CScratchDataFolders> m_folders;
    bool m_sixChannels = false;
};

TEST_F(Routing, FiveOneChosenInTheRoutingPresetsBringsSixChannelsThrough) {
    useSixChannels();
    SixChannels audio;
    audio.run(*core());
    // The stereo default: two channels through, four outputs silent.
    for (int out = 0; out < 6; ++out) {
        if (out < 2) EXPECT_NEAR(audio.level(out, out), 0.1, 0.02) << "output " << out;
        else EXPECT_LT(audio.level(out, out), 1e-4) << "output " << out;
    }

    ASSERT_FALSE(open());
    CObject* routing = openRouting();
    ASSERT_NE(routing, nullptr);
    using Texts = std::vector<std::string>;
    EXPECT_EQ(texts(routing, "grid.in"), (Texts{"L", "R", "Off", "Off", "Off", "Off", "Off", "Off"}));
    click(routing, "buttons.presets");
    CObject* presets = opener()->findPopup("ui:win-preset-manager-routing");
    ASSERT_NE(presets, nullptr) << "Presets... opens the routing presets";
    auto* manager = dynamic_cast<CPresetManager*>(presets->findObject(".window-renderer.root"));
    ASSERT_NE(manager, nullptr);
    pumpUi();
    EXPECT_EQ(manager->registryId().utf8(), "KLIO");
    // The system list is the bank it opens on.
    EXPECT_EQ(manager->bankList()->selected(), CPresetManager::kFactoryBank);
    const std::vector<CString> rows = manager->presetList()->rows();
    ASSERT_EQ(rows.size(), 12u);
    int fiveOne = -1;
    for (size_t i = 0; i < rows.size(); ++i)
        if (rows[i] == "5.1 Surround (Multi)") fiveOne = int(i);
    ASSERT_GE(fiveOne, 0);
    ASSERT_FALSE(manager->selectPreset(fiveOne));
    CEventParams none;
    auto* activate = dynamic_cast<CView*>(manager->findObject(".c.presets.buttons.activate"));
    ASSERT_NE(activate, nullptr);
    ASSERT_FALSE(activate->runEvent("mouse-release", none));
    pumpUi();

    EXPECT_EQ(values("plugin.modMain.io-params.in-routing"), (std::vector<double>{1, 2, 3, 4, 5, 6, 0, 0}));
    EXPECT_EQ(core()->routingPresetName(core()->currentRoutingPreset()), "5.1 Surround (Multi)");
    // The routing window shows it.
    EXPECT_EQ(texts(routing, "grid.in"), (Texts{"L", "R", "IN3", "IN4", "IN5", "IN6", "Off", "Off"}));
    EXPECT_EQ(texts(routing, "grid.groups"), (Texts{"1", "1", "1", "1", "1", "1", "4", "4"}));
    EXPECT_EQ(texts(routing, "grid.out"), (Texts{"Ch 1", "Ch 2", "Ch 3", "Ch 4", "Ch 5", "Ch 6", "Off", "Off"}));

    // Each input comes out on its own output, and only there.
    audio.run(*core());
    for (int out = 0; out < 6; ++out)
        for (int tone = 0; tone < 6; ++tone) {
            if (tone == out) EXPECT_NEAR(audio.level(out, tone), 0.1, 0.02) << "output " << out;
            else EXPECT_LT(audio.level(out, tone), 1e-4) << "tone " << tone << " leaks into output " << out;
        }
}

TEST_F(Routing, SelectorsStepThroughTheChannelsTheyOfferAndShowTheirNames) {
    ASSERT_FALSE(open());
    CObject* routing = openRouting();
    ASSERT_NE(routing, nullptr);
    auto* third = dynamic_cast<CRoutingSelector*>(routing->findObject(CString(kBody) + "grid.in.item2"));
    ASSERT_NE(third, nullptr);
    auto input = [] { return value("plugin.modMain.io-params.in-routing", 0, 2); };
    CEventParams left, right{{"is-shift", "false"}};
    // Off -> the first input, named.
    ASSERT_FALSE(third->runEvent("mouse-release", left));
    pumpUi();
    EXPECT_EQ(input(), 1);
    EXPECT_EQ(third->attr("text").utf8(), "L");
    EXPECT_TRUE(third->stateSet().isSet("on"));
    // Back to Off, and on back to the last input the plug-in has (not the range's 16).
    ASSERT_FALSE(third->runEvent("mouse-release-r", right));
    ASSERT_FALSE(third->runEvent("mouse-release-r", right));
    pumpUi();
    EXPECT_EQ(input(), 8);
    EXPECT_EQ(third->attr("text").utf8(), "IN8");
    CEventParams up{{"keycode", CString::number(int64_t(plat::kKeyUp))}};
    ASSERT_FALSE(third->runEvent("key-press", up));
    pumpUi();
    EXPECT_EQ(input(), 0) << "wraps to Off";
    EXPECT_EQ(third->attr("text").utf8(), "Off");
    EXPECT_FALSE(third->stateSet().isSet("on"));

    // A group by its name; the last of the eight wraps to the first.
    auto* group = dynamic_cast<CRoutingSelector*>(routing->findObject(CString(kBody) + "grid.groups.item1"));
    ASSERT_NE(group, nullptr);
    EXPECT_EQ(group->valueText(7), "8");
    for (int i = 0; i < 8; ++i) ASSERT_FALSE(group->stepBy(1));
    pumpUi();
    EXPECT_EQ(value("plugin.modMain.io-params.grouping", 0, 1), 0) << "eight steps come round";

    // An input renamed in the channel labels shows in the routing.
    click(routing, "buttons.labels");
    CObject* labels = opener()->findPopup("ui:win-channel-label-setup");
    ASSERT_NE(labels, nullptr) << "Labels... opens the channel labels";
    auto rename = [&](const char* name) {
        auto* first = dynamic_cast<CTextView*>(labels->findObject(CString(kBody) + "items.item0.value"));
        ASSERT_NE(first, nullptr);
        ASSERT_FALSE(first->openEditBox());
        CTextView* box = first->editBox();
        ASSERT_NE(box, nullptr);
        for (const char* c = name; *c; ++c) {
            CEventParams key{{"keycode", CString::number(int64_t(uint8_t(*c)))}};
            ASSERT_FALSE(box->runEvent("key-press", key));
        }
        CEventParams enter{{"keycode", CString::number(int64_t(plat::kKeyEnter))}};
        ASSERT_FALSE(box->runEvent("key-press", enter));
        pumpUi();
    };
    rename("Kick");
    EXPECT_EQ(texts(routing, "grid.in")[0], "Kick");
    rename("L");
    EXPECT_EQ(texts(routing, "grid.in")[0], "L");
}

TEST_F(Routing, QuickSelectorListsTheRoutingsAndTheGroupSelectorFollowsThem) {
    ASSERT_FALSE(open());
    auto* quick = view<CQuickPresetSelector>("buttons.routing-quick");
    ASSERT_NE(quick, nullptr);
    ASSERT_EQ(quick->items().size(), 12u);
    EXPECT_EQ(quick->items()[0].title, "Default Stereo");
    EXPECT_EQ(quick->attr("text"), "[IMG=is.button#ArrowSm]");

    auto* groups = view<CGroupSelectorMinimal>("buttons.group-selector");
    ASSERT_NE(groups, nullptr);
    ASSERT_EQ(groups->itemCount(), 8u);
    EXPECT_EQ(groups->shownGroups(), std::vector<int>{0}) << "stereo: one group carries signal";
    EXPECT_EQ(groups->attr("hint-arg"), "L, R");
    // The hint line names them over a group's button (with the hints switch on, as it starts).
    auto* hints = object<CStatusLineController>("ui.main-window.hint-line-controller");
    ASSERT_NE(hints, nullptr);
    EXPECT_EQ(hints->hintFor(groups->item(0)).utf8(), "Channel group selector. Channels in the current group: L, R");

    ASSERT_FALSE(quick->select("5.1 Surround (Groups)"));
    pumpUi();
    EXPECT_EQ(values("plugin.modMain.io-params.grouping"), (std::vector<double>{0, 0, 1, 2, 3, 3, 3, 3}));
    EXPECT_EQ(groups->shownGroups(), (std::vector<int>{0, 1, 2, 3}));
    EXPECT_TRUE(groups->item(4)->attrBool("is-hidden"));

    // Choosing a group moves the controls and the persistent selection there.
    CEventParams none;
    ASSERT_FALSE(groups->item(3)->runEvent("mouse-release", none));
    pumpUi();
    EXPECT_EQ(value("plugin.modMain.groupsel"), 3);
    ASSERT_NE(object<CParamGroupSelector>("ui.groupsel"), nullptr);
    EXPECT_EQ(object<CParamGroupSelector>("ui.groupsel")->index(), 3);
    EXPECT_EQ(groups->selected(), 3);
    EXPECT_EQ(groups->attr("hint-arg"), "IN5, IN6");

    // Five groups carry signal in 7.1 (Groups); four fit the row, around the current one.
    ASSERT_FALSE(quick->select("7.1 Surround (Groups)"));
    pumpUi();
    EXPECT_EQ(groups->shownGroups(), (std::vector<int>{0, 1, 2, 3, 4}));
    EXPECT_EQ(groups->visibleGroups(), (std::vector<int>{1, 2, 3, 4}));
    EXPECT_TRUE(groups->item(0)->attrBool("is-hidden"));
    int checked = 0;
    uitest::expectNothingOverlapsOrIsCut(view("buttons"), 1.0, &checked);
    ASSERT_FALSE(groups->item(1)->runEvent("mouse-release", none));
    pumpUi();
    EXPECT_EQ(groups->visibleGroups(), (std::vector<int>{0, 1, 2, 3})) << "the edge moves the window on";

    // Copy to: the current group's settings go to the group chosen next.
    ASSERT_FALSE(groups->item(3)->runEvent("mouse-release", none));
    pumpUi();
    const char* ingain = "plugin.modMain.modTamblor.ingain";
    ASSERT_FALSE(bridge("ingain-bridge")->setValue(3, 0, 4.5));
    pumpUi();
    ASSERT_NE(value(ingain, 1), 4.5);
    press("buttons.group-selector.copy-to");
    EXPECT_TRUE(groups->isCopying());
    EXPECT_TRUE(view("buttons.group-selector.copy-to")->stateSet().isSet("copying"));
    ASSERT_FALSE(groups->item(1)->runEvent("mouse-release", none));
    pumpUi();
    EXPECT_NEAR(value(ingain, 1), 4.5, 1e-9);
    EXPECT_EQ(groups->selected(), 1);
    EXPECT_FALSE(groups->isCopying());
    // A second press gives up.
    press("buttons.group-selector.copy-to");
    press("buttons.group-selector.copy-to");
    EXPECT_FALSE(groups->isCopying());

    for (uint32_t g : {1u, 3u}) ASSERT_FALSE(bridge("ingain-bridge")->setValue(g, 0, 0.0));
    ASSERT_FALSE(groups->item(0)->runEvent("mouse-release", none));
    pumpUi();
}

// Every pop-up template of the document builds its window without a lookup
// error and draws.
// The routing windows as drawn at 1.0 and 2.0 (NAME@SCALE.png), nothing in
// them overlapping or cut.
TEST_F(Routing, WindowsMatchTheirGoldenImagesAndNothingOverlaps) {
    const std::pair<const char*, const char*> windows[] = {{"ui:win-channel-routing", "channel-routing"},
                                                          {"ui:win-preset-manager-routing", "routing-presets"},
                                                          {"ui:win-channel-label-setup", "channel-labels"},
                                                          {"ui:win-group-name-setup", "group-names"}};
    for (const char* scale : {"1.0", "2.0"}) {
        ASSERT_FALSE(open(std::stod(scale)));
        for (const auto& [tmpl, file] : windows) {
            ASSERT_FALSE(opener()->openWindow(tmpl, kOpener, false));
            pumpUi();
            CWindowRenderer* r = kelFindRenderer(opener()->findPopup(tmpl));
            ASSERT_NE(r, nullptr) << tmpl;
            ASSERT_FALSE(r->render());
            int checked = 0;
            const auto* root = dynamic_cast<CView*>(r->findObject(".root"));
            ASSERT_NE(root, nullptr);
            uitest::expectNothingOverlapsOrIsCut(root, std::stod(scale), &checked);
            EXPECT_GT(checked, 10) << tmpl;
            uitest::expectMatchesGolden(r->backBuffer(), std::string(file) + "@" + scale + ".png");
        }
        m_ui.reset();
    }
}

}  // namespace
