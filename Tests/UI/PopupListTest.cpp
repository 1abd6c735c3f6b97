// Drop-down lists, saving and renaming presets, and the global settings,
// on the product's editor document through a real instance: the quick
// selectors open their pop-up list, a choice reaches the instance, Escape,
// a press elsewhere and the toggle close it; a preset saved from the quick
// selector is in the preset manager's user bank at once; presets rename in
// place and a duplicate name is refused; the knob mode and drag precision
// of the global settings change how a drag moves a knob.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>

#include "Core/AppData.h"
#include "Core/SharedAttribute.h"
#include "Platform/Window/Window.h"
#include "Tests/UI/EditorDocumentFixture.h"
#include "UI/Controls/Knob.h"
#include "UI/Controls/ParamBridge.h"
#include "UI/Lists/PopupList.h"
#include "UI/Presets/ItemList.h"
#include "UI/Presets/PresetManager.h"
#include "UI/Presets/QuickPresetSelector.h"
#include "UI/Render/WindowRenderer.h"
#include "UI/Window/WindowOpener.h"
#include "Tests/Support/ScratchDataFolders.h"

namespace {

const char* const kRoot = uitest::kMainRoot;
const char* const kList = "ui:window-app-popup-list";
const char* const kMode = "plugin.modMain.modTamblor.mode-params.mode";
const char* const kInGain = "plugin.modMain.modTamblor.ingain";

// The product document (EditorDocumentFixture.h) on a data folder of its own.
class PopupLists : public uitest::EditorDocument {
protected:
    void SetUp() override {
        m_folders.emplace("poplist");
        EditorDocument::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        ASSERT_TRUE(master().activateDefaultPreset().ok());
        const CError e = open();
        ASSERT_FALSE(e) << e.text();
        m_opener = dynamic_cast<CWindowOpener*>(m_ui->root->findObject("ui.window-shared-data.window-opener"));
        ASSERT_NE(m_opener, nullptr);
    }
    void TearDown() override {
        EditorDocument::TearDown();
        m_folders.reset();
    }

    // Clicks a selector (its release opens or closes its list) and returns
    // the list laid out, or nullptr when none is open.
    CPopupList* toggle(const std::string& selector) {
        CEventParams none;
        EXPECT_FALSE(view(selector)->runEvent("mouse-release", none));
        return openList();
    }
    CPopupList* openList() {
        CObject* popup = m_opener->findPopup(kList);
        if (!popup) return nullptr;
        CWindowRenderer* r = kelFindRenderer(popup);
        EXPECT_FALSE(r->render());
        return dynamic_cast<CPopupList*>(popup->findObject(".window-renderer.root.list"));
    }
    // Lets the main window run what the list posted (its closing).
    void settle() {
        EXPECT_FALSE(m_ui->renderer->runPostedEvents());
        pumpUi();
    }
    // A press on a row of a laid out list, as the window sends it.
    static CError pressRow(CItemList* list, int row) {
        const int line = row - list->firstRow();
        EXPECT_GE(line, 0);
        EXPECT_LT(size_t(line), list->lines().size());
        const double y = list->area().inner.y - list->area().total.y + list->lineTops()[size_t(line)] + 1;
        CEventParams p{{"x", "10"}, {"y", CString::number(y)}};
        return list->runEvent("mouse-press", p);
    }
    // A key as the window sends it.
    static CError key(CView* v, const char* name) {
        const std::pair<const char*, uint32_t> codes[] = {
            {"Return", plat::kKeyEnter}, {"Escape", plat::kKeyEscape}, {"Up", plat::kKeyUp},
            {"Down", plat::kKeyDown},    {"Home", plat::kKeyHome},     {"End", plat::kKeyEnd}};
        CEventParams p{{"key", name}};
        for (const auto& [n, code] : codes)
            if (std::string(n) == name) p.set("keycode", CString::number(int64_t(code)));
        p.set("is-ctrl", "false");
        p.set("is-shift", "false");
        return v->runEvent("key-press", p);
    }

    std::optional<CScratchDataFolders> m_folders;
    CWindowOpener* m_opener = nullptr;
    double m_change = 0;
};

TEST_F(PopupLists, QuickPresetListOffersTheFactoryPresetsAndAClickLoadsOne) {
    auto* quick = view<CQuickPresetSelector>("buttons.presets-quick");
    ASSERT_NE(quick, nullptr);
    ASSERT_GE(quick->items().size(), 2u) << "the factory presets";
    CPopupList* list = toggle("buttons.presets-quick");
    ASSERT_NE(list, nullptr) << "the arrow opens the list";
    EXPECT_EQ(list->opener(), quick);
    // The presets, then the file entries.
    const std::vector<CString>& rows = list->rows();
    ASSERT_EQ(rows.size(), quick->items().size() + 3);
    for (size_t i = 0; i < quick->items().size(); ++i) EXPECT_EQ(rows[i], quick->items()[i].title);
    EXPECT_EQ(rows.back().utf8(), "Save As...");
    EXPECT_EQ(list->selected(), quick->indexOf(quick->title())) << "the current preset is highlighted";
    // Twelve rows shown at most: the rest scrolls.
    EXPECT_LE(list->visibleRows(), 12);
    EXPECT_GE(list->area().total.w, 150.0);
    // The keys pass over the rule; a click on it chooses nothing.
    const int presets = int(quick->items().size());
    ASSERT_FALSE(key(list, "End"));
    ASSERT_FALSE(key(list, "Up"));
    ASSERT_FALSE(key(list, "Up"));
    EXPECT_EQ(list->selected(), presets - 1);
    ASSERT_FALSE(list->scrollTo(presets));
    ASSERT_FALSE(kelFindRenderer(m_opener->findPopup(kList))->render());
    ASSERT_FALSE(pressRow(list, presets));
    EXPECT_FALSE(list->isClosing());

    // Two presets that set In Gain apart: the first loaded, the other clicked.
    std::vector<double> gains;
    for (size_t i = 0; i < quick->items().size(); ++i) {
        ASSERT_FALSE(quick->selectIndex(int(i)));
        pumpUi();
        gains.push_back(value(kInGain));
    }
    int row = 1;
    while (row < int(gains.size()) && gains[size_t(row)] == gains[0]) ++row;
    ASSERT_LT(row, int(gains.size())) << "every factory preset sets the same In Gain";
    ASSERT_FALSE(quick->selectIndex(0));
    pumpUi();
    ASSERT_EQ(value(kInGain), gains[0]);
    const double wanted = gains[size_t(row)];
    ASSERT_FALSE(list->scrollTo(row));
    ASSERT_FALSE(kelFindRenderer(m_opener->findPopup(kList))->render());
    ASSERT_FALSE(pressRow(list, row));
    settle();
    EXPECT_EQ(value(kInGain), wanted) << "the click loads the preset into the instance";
    EXPECT_EQ(m_opener->findPopup(kList), nullptr) << "a choice closes the list";
}

// The routing arrow drops down the routing presets; a click routes the instance.
TEST_F(PopupLists, RoutingListChoosesARoutingPreset) {
    auto* quick = view<CQuickPresetSelector>("buttons.routing-quick");
    ASSERT_NE(quick, nullptr);
    CPopupList* list = toggle("buttons.routing-quick");
    ASSERT_NE(list, nullptr) << "the routing arrow opens the list";
    ASSERT_EQ(list->rows().size(), quick->items().size());
    int row = -1;
    for (size_t i = 0; i < list->rows().size(); ++i)
        if (list->rows()[i].utf8() == "5.1 Surround (Multi)") row = int(i);
    ASSERT_GE(row, 0);
    ASSERT_FALSE(list->scrollTo(row));
    ASSERT_FALSE(kelFindRenderer(m_opener->findPopup(kList))->render());
    ASSERT_FALSE(pressRow(list, row));
    settle();
    EXPECT_EQ(m_opener->findPopup(kList), nullptr);
    for (uint32_t e = 0; e < 6; ++e)
        EXPECT_EQ(value("plugin.modMain.io-params.in-routing", 0, e), double(e + 1)) << "input of channel " << e;
}

TEST_F(PopupLists, EscapeAPressElsewhereAndTheToggleCloseWithoutChange) {
    const double mode = value(kMode);
    auto* closer = m_ui->root->findObject("ui.window-shared-data.window-closer");
    ASSERT_NE(closer, nullptr);

    CPopupList* list = toggle("title-frame.top-row.mode");
    ASSERT_NE(list, nullptr);
    ASSERT_FALSE(key(list, "Down"));
    ASSERT_FALSE(key(list, "Escape"));
    settle();
    EXPECT_EQ(m_opener->findPopup(kList), nullptr) << "Escape closes";

    // A press on another view of the main window closes it; one on the
    // selector leaves the toggle to the selector.
    list = toggle("title-frame.top-row.mode");
    ASSERT_NE(list, nullptr);
    CEventParams own{{"window", m_ui->renderer->fullName()}, {"view", CString(kRoot) + "title-frame.top-row.mode"}};
    ASSERT_FALSE(closer->runEvent("close-menus", own));
    EXPECT_NE(m_opener->findPopup(kList), nullptr);
    CEventParams elsewhere{{"window", m_ui->renderer->fullName()}, {"view", CString(kRoot) + "buttons.ab"}};
    ASSERT_FALSE(closer->runEvent("close-menus", elsewhere));
    EXPECT_EQ(m_opener->findPopup(kList), nullptr) << "a press elsewhere closes";

    // The selector's second click closes its list; another selector's click
    // swaps the list for its own.
    ASSERT_NE(toggle("title-frame.top-row.mode"), nullptr);
    list = toggle("buttons.presets-quick");
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(list->opener(), view("buttons.presets-quick"));
    EXPECT_EQ(toggle("buttons.presets-quick"), nullptr);
    pumpUi();
    EXPECT_EQ(value(kMode), mode) << "nothing was chosen";
}

TEST_F(PopupLists, KeysMoveTheHighlightAndEnterChooses) {
    auto* mode = view<CQuickPresetSelector>("title-frame.top-row.mode");
    ASSERT_NE(mode, nullptr);
    ASSERT_GE(mode->items().size(), 3u);
    CPopupList* list = toggle("title-frame.top-row.mode");
    ASSERT_NE(list, nullptr);
    // As wide as the selector, with the inner border it asks for.
    EXPECT_NEAR(list->area().total.w, mode->area().total.w - 4, 1.0);
    EXPECT_EQ(list->attr("inner-border").utf8(), "LR6");
    const int start = list->selected();
    ASSERT_GE(start, 0);
    ASSERT_FALSE(key(list, "Home"));
    EXPECT_EQ(list->selected(), 0);
    ASSERT_FALSE(key(list, "Up"));
    EXPECT_EQ(list->selected(), 0) << "Up stops at the top";
    ASSERT_FALSE(key(list, "End"));
    EXPECT_EQ(list->selected(), int(list->rows().size()) - 1);
    ASSERT_FALSE(key(list, "Down"));
    EXPECT_EQ(list->selected(), int(list->rows().size()) - 1) << "Down stops at the end";
    // Another mode than the current one, by keys.
    const int target = start == 0 ? 1 : 0;
    ASSERT_FALSE(key(list, "Home"));
    for (int i = 0; i < target; ++i) ASSERT_FALSE(key(list, "Down"));
    const double before = value(kMode);
    ASSERT_FALSE(key(list, "Return"));
    settle();
    EXPECT_NE(value(kMode), before);
    EXPECT_EQ(mode->attr("text"), mode->items()[size_t(target)].title);
    EXPECT_EQ(m_opener->findPopup(kList), nullptr);
}

TEST_F(PopupLists, SavedFromTheQuickSelectorThePresetIsInTheUserBankAtOnce) {
    auto* quick = view<CQuickPresetSelector>("buttons.presets-quick");
    ASSERT_NE(quick, nullptr);
    const size_t factory = quick->items().size();
    // The manager open beside it, to see it follow.
    CEventParams none;
    ASSERT_FALSE(view("buttons.presets")->runEvent("mouse-release", none));
    auto* manager = dynamic_cast<CPresetManager*>(
        m_opener->findPopup("ui:win-preset-manager")->findObject(".window-renderer.root"));
    ASSERT_NE(manager, nullptr);
    pumpUi();
    const size_t banks = manager->bankList()->rows().size();

    ASSERT_FALSE(quick->saveFile(CString((m_folders->dir() / "My Master.cpf").string())));
    pumpUi();
    EXPECT_TRUE(std::filesystem::exists(m_folders->dir() / "My Master.cpf"));
    ASSERT_EQ(quick->items().size(), factory + 1);
    EXPECT_EQ(quick->items().back().title.utf8(), "My Master");
    ASSERT_EQ(manager->bankList()->rows().size(), banks + 1) << "the manager shows the new user bank";
    EXPECT_EQ(manager->bankList()->rows().back().utf8(), "User");
    ASSERT_FALSE(manager->selectBank(int(banks)));
    ASSERT_EQ(manager->presetList()->rows().size(), 1u);
    EXPECT_EQ(manager->presetList()->rows()[0].utf8(), "My Master");
}

TEST_F(PopupLists, PresetsRenameInPlaceAndADuplicateNameIsRefused) {
    CEventParams none;
    ASSERT_FALSE(view("buttons.presets")->runEvent("mouse-release", none));
    CObject* popup = m_opener->findPopup("ui:win-preset-manager");
    ASSERT_NE(popup, nullptr);
    auto* manager = dynamic_cast<CPresetManager*>(popup->findObject(".window-renderer.root"));
    ASSERT_NE(manager, nullptr);
    pumpUi();
    // A user bank with two presets.
    ASSERT_FALSE(manager->addBank());
    ASSERT_FALSE(manager->addPreset());
    pumpUi();
    ASSERT_FALSE(manager->addPreset());
    pumpUi();
    CItemList* presets = manager->presetList();
    ASSERT_EQ(presets->rows().size(), 2u);
    ASSERT_FALSE(kelFindRenderer(popup)->render());

    // Factory presets keep their names: no box.
    const int userBank = manager->bankList()->selected();
    ASSERT_FALSE(manager->selectBank(CPresetManager::kFactoryBank));
    ASSERT_FALSE(presets->select(0));
    EXPECT_FALSE(presets->canRenameSelected());
    ASSERT_FALSE(presets->renameSelected());
    EXPECT_EQ(presets->editBox(), nullptr);

    // A second click on the selected row opens the box after the delay,
    // unless the click was the first of a double click.
    ASSERT_FALSE(manager->selectBank(userBank));
    ASSERT_FALSE(kelFindRenderer(popup)->render());
    ASSERT_FALSE(pressRow(presets, 0));
    ASSERT_FALSE(pressRow(presets, 0));
    EXPECT_TRUE(presets->isRenamePending());
    ASSERT_FALSE(presets->renameTick(kelSecondsSinceStart() + 1.0));
    CTextView* box = presets->editBox();
    ASSERT_NE(box, nullptr) << "the click again opens the box";
    ASSERT_FALSE(kelFindRenderer(popup)->render());
    const double rowTop = presets->area().inner.y + presets->lineTops()[0];
    EXPECT_NEAR(box->area().total.y, rowTop - 1, 1.5) << "the box lies over the row";
    EXPECT_LT(box->area().total.h, presets->area().total.h / 2);
    EXPECT_EQ(presets->editText(), presets->rows()[0]);
    ASSERT_FALSE(presets->setEditText("Loud Master"));
    ASSERT_FALSE(key(presets, "Return"));
    EXPECT_EQ(presets->editBox(), nullptr);
    EXPECT_EQ(presets->rows()[0].utf8(), "Loud Master");
    ASSERT_GE(manager->userBanks().size(), 1u);
    EXPECT_EQ(manager->userBanks().back().preset(0).displayName().utf8(), "Loud Master") << "the entry is renamed";

    // The other preset may not take that name, nor an empty one; Escape changes nothing.
    const CString second = presets->rows()[1];
    ASSERT_FALSE(presets->select(1));
    for (const char* bad : {"Loud Master", "  "}) {
        ASSERT_FALSE(presets->renameSelected());
        ASSERT_NE(presets->editBox(), nullptr);
        ASSERT_FALSE(presets->setEditText(bad));
        ASSERT_FALSE(key(presets, "Return"));
        EXPECT_EQ(presets->rows()[1], second) << bad;
        EXPECT_EQ(manager->userBanks().back().preset(1).displayName(), second) << bad;
    }
    EXPECT_EQ(manager->attr("last-error-event").utf8(), "error-preset-rename");
    CObject* error = m_opener->findPopup("ui:win-error-message");
    ASSERT_NE(error, nullptr) << "the refusal shows its message";
    EXPECT_EQ(error->findObject(".window-renderer.root.body.message")->attr("text").utf8(), "A preset needs a name.");
    ASSERT_FALSE(presets->renameSelected());
    ASSERT_FALSE(presets->setEditText("Another"));
    ASSERT_FALSE(key(presets, "Escape"));
    EXPECT_EQ(presets->rows()[1], second);
    // The duplicate's own message.
    ASSERT_FALSE(manager->renamePreset("Loud Master"));
    EXPECT_EQ(manager->attr("last-error").utf8(), "There is already a preset named 'Loud Master' in this bank.");
}

TEST_F(PopupLists, TheGlobalKnobModeAndPrecisionChangeHowADragMovesAKnob) {
    auto* knob = view<CKnob>("title-frame.knobs.ingain-column.in-gain");
    ASSERT_NE(knob, nullptr);
    auto* radial = dynamic_cast<CSharedAttribute*>(m_ui->root->findObject("ui.global-data.radial-knob-mode"));
    auto* precision = dynamic_cast<CSharedAttribute*>(m_ui->root->findObject("ui.global-data.drag-precision"));
    ASSERT_NE(radial, nullptr);
    ASSERT_NE(precision, nullptr);
    // A drag from a point on the knob by (dx, dy); the change of In Gain's normalised position.
    auto* bridge = dynamic_cast<CParamBridge*>(m_ui->root->findObject("ui.ingain-bridge"));
    ASSERT_NE(bridge, nullptr);
    auto drag = [&](double x, double y, double dx, double dy) {
        ASSERT_TRUE(master().activateDefaultPreset().ok());
        pumpUi();
        const double before = bridge->normalized(0, 0);
        CEventParams press{{"x", CString::number(x)}, {"y", CString::number(y)}};
        EXPECT_FALSE(knob->runEvent("mouse-press", press));
        CEventParams move{{"x", CString::number(x + dx)}, {"y", CString::number(y + dy)}};
        EXPECT_FALSE(knob->runEvent("mouse-move", move));
        EXPECT_FALSE(knob->runEvent("mouse-release", move));
        pumpUi();
        m_change = bridge->normalized(0, 0) - before;
    };
    const double cx = knob->area().total.w / 2, top = 4;
    // Vertical: a drag up raises the value, a drag across does nothing.
    ASSERT_FALSE(radial->setValue("false"));
    drag(cx, top, 0, -20);
    const double up = m_change;
    EXPECT_GT(up, 0);
    drag(cx, top, 20, 0);
    EXPECT_EQ(m_change, 0);
    // Circular, as the Global Settings window sets it: across the top, clockwise, raises it.
    ASSERT_FALSE(radial->setValue("true"));
    drag(cx - 10, top, 20, 0);
    EXPECT_GT(m_change, 0);
    // Finer precision moves half as far.
    ASSERT_FALSE(radial->setValue("false"));
    ASSERT_FALSE(precision->setValue("0.4"));
    drag(cx, top, 0, -20);
    EXPECT_NEAR(m_change, up / 2, std::abs(up) * 0.02);
    ASSERT_FALSE(precision->setValue("0.8"));
}

}  // namespace
