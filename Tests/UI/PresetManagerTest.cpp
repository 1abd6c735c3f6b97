// The preset-manager window on a real instance: preset and bank files saved
// and loaded back, damaged and foreign files refused, undo and redo through
// the history view, A/B swaps and copies, and the quick selectors.
#include <cmath>

#include "Core/MemoryWriter.h"
#include "Tests/UI/PresetsFixture.h"
#include "UI/Controls/ParamBridge.h"
#include "UI/Presets/ButtonAB.h"
#include "UI/Presets/History.h"
#include "UI/Presets/ItemList.h"
#include "UI/Presets/QuickPresetSelector.h"

namespace uitest {
namespace {

constexpr const char* kInGain = "plugin.modMain.modTamblor.ingain";
constexpr const char* kRoot = "ui.main-window.window-renderer.root";

// Adds a command to a view as the definitions would: on `event` it sets
// the view's attribute "shown" to `value`.
void addCommand(CView* view, const char* event, const char* value) {
    std::unique_ptr<CObject> c = createObject("ui:view-command");
    ASSERT_FALSE(c->setAttr("on-event", event, false));
    ASSERT_FALSE(c->setAttr("set-attr", "shown", false));
    ASSERT_FALSE(c->setAttr("set-attr-value", value, false));
    CObject* made = c.get();
    ASSERT_FALSE(view->addChild(std::move(c)));
    ASSERT_FALSE(made->initTree());
}

TEST_F(UiPresets, PresetAndBankFilesComeBackWithEveryParameter) {
    ASSERT_FALSE(m_manager->registryId().empty());
    perturbCapturedValues(0.3);
    pumpUi();
    const auto saved = capturedValues();
    // The session bank's current program is the live state.
    ASSERT_FALSE(m_manager->selectBank(CPresetManager::kSessionBank));
    ASSERT_FALSE(manager("perform-preset-save", at("Tamblor_Mine.cpf")));
    ASSERT_FALSE(manager("perform-bank-save", at("Tamblor_Session.cbf")));
    pumpUi();
    ASSERT_TRUE(std::filesystem::exists(file("Tamblor_Mine.cpf")));
    ASSERT_TRUE(std::filesystem::exists(file("Tamblor_Session.cbf")));
    EXPECT_TRUE(m_manager->attr("last-error").empty()) << m_manager->attr("last-error").utf8();

    // A different state, then the preset file.
    ASSERT_TRUE(master().activateDefaultPreset().ok());
    perturbCapturedValues(0.8);
    pumpUi();
    ASSERT_NE(capturedValues(), saved);
    ASSERT_FALSE(manager("perform-preset-load", at("Tamblor_Mine.cpf")));
    EXPECT_EQ(capturedValues(), saved);

    // Again, then the bank: it becomes a user bank, and its entry of the
    // current program holds the same state.
    ASSERT_TRUE(master().activateDefaultPreset().ok());
    perturbCapturedValues(0.55);
    pumpUi();
    ASSERT_NE(capturedValues(), saved);
    const uint32_t program = m_ui->client->registry(m_manager->registryHandle())->currentProgram;
    ASSERT_FALSE(manager("perform-bank-load", at("Tamblor_Session.cbf")));
    ASSERT_EQ(m_manager->userBanks().size(), 1u);
    EXPECT_EQ(m_manager->bankList()->selected(), CPresetManager::kFirstUserBank);
    EXPECT_EQ(m_manager->bankList()->rows().back().utf8(), "Session Bank 2") << "a bank name is never taken twice";
    ASSERT_FALSE(m_manager->presetList()->select(int(program)));
    ASSERT_FALSE(manager("preset-activate"));
    EXPECT_EQ(capturedValues(), saved);
    EXPECT_TRUE(m_manager->attr("last-error").empty()) << m_manager->attr("last-error").utf8();
}

TEST_F(UiPresets, DamagedAndForeignFilesAreRefusedAndChangeNothing) {
    perturbCapturedValues(0.4);
    pumpUi();
    ASSERT_FALSE(manager("perform-preset-save", at("good.cpf")));
    ASSERT_FALSE(manager("perform-bank-save", at("good.cbf")));
    pumpUi();
    CAudioPreset good;
    ASSERT_FALSE(PresetFiles::readPreset(CString(file("good.cpf")), &good));
    addCommand(m_manager, "error-preset-load", "preset-load");
    addCommand(m_manager, "error-preset-type", "preset-type");
    addCommand(m_manager, "error-bank-load", "bank-load");

    // Damaged files: cut short, another block id, bytes that are no block.
    std::vector<uint8_t> bytes;
    {
        std::ifstream in(file("good.cpf"), std::ios::binary);
        bytes.assign(std::istreambuf_iterator<char>(in), {});
    }
    auto put = [&](const char* name, std::span<const uint8_t> b) {
        std::ofstream out(file(name), std::ios::binary);
        out.write(reinterpret_cast<const char*>(b.data()), std::streamsize(b.size()));
    };
    put("short.cpf", std::span(bytes).first(bytes.size() / 2));
    put("short.cbf", std::span(bytes).first(bytes.size() / 2));
    put("bank-as-preset.cpf", [&] {
        std::ifstream in(file("good.cbf"), std::ios::binary);
        return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
    }());
    const uint8_t junk[] = {'j', 'u', 'n', 'k', 1, 2, 3, 4, 5, 6, 7, 8};
    put("junk.cbf", junk);

    ASSERT_TRUE(master().activateDefaultPreset().ok());
    perturbCapturedValues(0.9);
    pumpUi();
    const auto before = capturedValues();
    struct Case {
        const char* event;
        const char* file;
        const char* errorEvent;
        const char* message;  // the start of the message shown
    };
    const Case cases[] = {
        {"perform-preset-load", "short.cpf", "error-preset-load", ""},
        {"perform-preset-load", "bank-as-preset.cpf", "error-preset-load", "Invalid ID encountered"},
        {"perform-preset-load", "missing.cpf", "error-preset-load", "Unable to open file"},
        {"perform-bank-load", "short.cbf", "error-bank-load", ""},
        {"perform-bank-load", "junk.cbf", "error-bank-load", "Invalid ID encountered"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        ASSERT_FALSE(m_manager->setAttr("shown", "", false));
        ASSERT_FALSE(m_manager->setAttr("last-error", "", false));
        ASSERT_FALSE(manager(c.event, at(c.file))) << "failures are shown, not returned";
        EXPECT_EQ(m_manager->attr("last-error-event").utf8(), c.errorEvent);
        EXPECT_EQ(m_manager->attr("shown").utf8(), std::string(c.errorEvent).substr(6));
        EXPECT_FALSE(m_manager->attr("last-error").empty());
        EXPECT_EQ(m_manager->attr("last-error").utf8().rfind(c.message, 0), 0u) << m_manager->attr("last-error").utf8();
        EXPECT_EQ(capturedValues(), before);
        EXPECT_TRUE(m_manager->userBanks().empty());
    }

    // A preset of a registry id listed as compatible loads; an unlisted one
    // does not.
    CAudioPreset older = good;
    older.setName("v86x:Older");
    ASSERT_FALSE(PresetFiles::writePreset(CString(file("older.cpf")), older));
    ASSERT_FALSE(manager("perform-preset-load", at("older.cpf")));
    EXPECT_EQ(m_manager->attr("shown").utf8(), "preset-load");
    EXPECT_EQ(m_manager->attr("last-error").utf8(),
              "The preset '" + file("older.cpf") + "' does not belong to this plug-in.");
    EXPECT_EQ(capturedValues(), before);
    ASSERT_FALSE(m_manager->setAttr("preset-id-compat", "KLIO v86x", false));
    ASSERT_FALSE(m_manager->setAttr("shown", "", false));
    ASSERT_FALSE(manager("perform-preset-load", at("older.cpf")));
    EXPECT_TRUE(m_manager->attr("shown").empty());
    ASSERT_TRUE(master().activateDefaultPreset().ok());
    ASSERT_FALSE(manager("perform-preset-load", at("good.cpf")));
    const auto good1 = capturedValues();
    ASSERT_FALSE(manager("perform-preset-load", at("older.cpf")));
    EXPECT_EQ(capturedValues(), good1);

    // A well-formed preset whose record the parameter cannot take: the
    // registry refuses it ("error-preset-type") before anything changes.
    CMemoryWriter w;
    ASSERT_FALSE(w.writeString("audio.modMain.modTamblor.ingain"));
    for (uint32_t v : {1u, 2u, 0u, 1u, 1u}) ASSERT_FALSE(w.writeU32(v));  // version, esize 2, dtype, G, k
    ASSERT_FALSE(w.writeF64(3.0));
    ASSERT_FALSE(w.writeF64(3.0));
    CAudioPreset odd("v87u:Odd");
    odd.addRecord({"modTamblor.ingain", std::vector<uint8_t>(w.data(), w.data() + w.size())});
    ASSERT_FALSE(PresetFiles::writePreset(CString(file("odd.cpf")), odd));
    perturbCapturedValues(0.15);
    const auto now = capturedValues();
    ASSERT_FALSE(manager("perform-preset-load", at("odd.cpf")));
    EXPECT_EQ(m_manager->attr("shown").utf8(), "preset-type");
    EXPECT_EQ(capturedValues(), now);
}

// A click on a list row as the window delivers it (y relative to the view).
CError clickRow(CItemList* list, int row, bool dbl = false) {
    // A frame lays out what changed since the last one.
    KEL_TRY(list->renderer()->render());
    const int line = row - list->firstRow();
    if (line < 0 || size_t(line) >= list->lineTops().size())
        return KEL_ERROR(kelstr_CObject_runEvent_UnknownEvent, "row not shown");
    const double y = list->area().inner.y - list->area().total.y + list->lineTops()[size_t(line)] + 1;
    CEventParams p{{"x", "5"}, {"y", CString::number(y)}, {"is-double-click", dbl ? "true" : "false"}};
    return list->runEvent("mouse-press", p);
}

TEST_F(UiPresets, UserBanksTakeAddedReplacedRenamedAndDeletedPresets) {
    ASSERT_FALSE(manager("bank-add"));
    ASSERT_EQ(m_manager->userBanks().size(), 1u);
    EXPECT_EQ(m_manager->bankList()->selected(), CPresetManager::kFirstUserBank);
    EXPECT_EQ(m_manager->bankList()->selectedText().utf8(), "Bank");

    perturbCapturedValues(0.2);
    const auto first = capturedValues();
    ASSERT_FALSE(manager("preset-add"));
    pumpUi();
    ASSERT_FALSE(manager("preset-add"));
    pumpUi();
    EXPECT_EQ(m_manager->presetList()->rows(), (std::vector<CString>{"Preset", "Preset 2"}));
    EXPECT_EQ(m_manager->userBanks()[0].preset(0).name().utf8(), "v87u:Preset");
    EXPECT_EQ(m_manager->presetList()->selected(), 1) << "the new preset is selected";

    perturbCapturedValues(0.6);
    const auto second = capturedValues();
    ASSERT_FALSE(clickRow(m_manager->presetList(), 0));
    ASSERT_FALSE(manager("preset-replace"));
    pumpUi();
    CEventParams ask;
    ASSERT_FALSE(m_manager->runEvent("preset-can-rename", ask));
    EXPECT_EQ(ask.get("result").utf8(), "true");
    ASSERT_FALSE(manager("preset-rename", CEventParams{{"text", " Loud "}}));
    EXPECT_EQ(m_manager->presetList()->rows(), (std::vector<CString>{"Loud", "Preset 2"}));
    EXPECT_EQ(m_manager->userBanks()[0].preset(0).name().utf8(), "v87u:Loud");

    // A double click activates; each preset holds the state it was given.
    ASSERT_FALSE(clickRow(m_manager->presetList(), 1, true));
    EXPECT_EQ(capturedValues(), first);
    ASSERT_FALSE(clickRow(m_manager->presetList(), 0, true));
    EXPECT_EQ(capturedValues(), second);

    auto* deleteButton = uiObject(std::string(kRoot) + ".c.presets.buttons.delete");
    EXPECT_FALSE(deleteButton->attrBool("is-disabled"));
    ASSERT_FALSE(manager("preset-delete"));
    EXPECT_EQ(m_manager->presetList()->rows(), std::vector<CString>{"Preset 2"});

    ASSERT_FALSE(manager("bank-rename", CEventParams{{"text", "Mine"}}));
    EXPECT_EQ(m_manager->bankList()->rows().back().utf8(), "Mine");
    // The factory bank: read-only, its presets cannot be renamed or deleted.
    ASSERT_FALSE(clickRow(m_manager->bankList(), CPresetManager::kFactoryBank));
    EXPECT_GE(m_manager->presetList()->rows().size(), 20u);
    ASSERT_FALSE(clickRow(m_manager->presetList(), 1));
    CEventParams ask2;
    ASSERT_FALSE(m_manager->runEvent("preset-can-rename", ask2));
    EXPECT_EQ(ask2.get("result").utf8(), "false");
    EXPECT_TRUE(deleteButton->attrBool("is-disabled"));
    ASSERT_FALSE(manager("preset-delete"));
    EXPECT_GE(m_manager->presetList()->rows().size(), 20u);
    ASSERT_FALSE(manager("preset-activate"));
    EXPECT_NE(capturedValues(), second) << "the factory preset is active";

    // Twenty factory presets do not fit: the wheel scrolls, a selection
    // scrolls into view, and clicks find the rows where they are shown.
    CItemList* presets = m_manager->presetList();
    ASSERT_FALSE(renderer().render());
    const int visible = presets->visibleRows();
    ASSERT_LT(visible, int(presets->rows().size()));
    EXPECT_EQ(presets->firstRow(), 0);
    ASSERT_FALSE(input(presets, "mouse-wheel", {{"delta", "-1"}}));
    EXPECT_EQ(presets->firstRow(), 3);
    ASSERT_FALSE(input(presets, "mouse-wheel", {{"delta", "1"}}));
    ASSERT_FALSE(input(presets, "mouse-wheel", {{"delta", "1"}}));
    EXPECT_EQ(presets->firstRow(), 0) << "stops at the top";
    const int last = int(presets->rows().size()) - 1;
    ASSERT_FALSE(presets->select(last));
    EXPECT_EQ(presets->firstRow(), last + 1 - visible);
    ASSERT_FALSE(clickRow(presets, last - 1));
    EXPECT_EQ(presets->selected(), last - 1);
    for (int i = 0; i < 10; ++i) ASSERT_FALSE(input(presets, "mouse-wheel", {{"delta", "-1"}}));
    EXPECT_EQ(presets->firstRow(), last + 1 - visible) << "stops at the bottom";

    ASSERT_FALSE(clickRow(m_manager->bankList(), CPresetManager::kFirstUserBank));
    ASSERT_FALSE(manager("bank-delete"));
    EXPECT_TRUE(m_manager->userBanks().empty());
    EXPECT_EQ(m_manager->bankList()->rows().size(), 2u);
}

TEST_F(UiPresets, UndoAndRedoWalkThroughTwentyEdits) {
    auto* bridge = uiObject<CParamBridge>("ui.ingain-bridge");
    auto* history = uiObject<CHistory>(std::string(kRoot) + ".tools.history");
    ASSERT_NE(bridge, nullptr);
    ASSERT_NE(history, nullptr);
    ASSERT_TRUE(bridge->isReady());
    pumpUi();
    std::vector<double> values{value(kInGain)};
    for (int i = 0; i < 20; ++i) {
        ASSERT_FALSE(bridge->beginGesture("In Gain", -1));
        ASSERT_FALSE(bridge->setNormalized(0, 0, 0.05 + 0.04 * i));
        ASSERT_FALSE(bridge->endGesture());
        values.push_back(value(kInGain));
    }
    pumpUi();
    // The history may hold earlier entries of the instance (at most 32 in all).
    const int n = int(history->list()->rows().size());
    ASSERT_GE(n, 21);
    const int before = n - 21;  // the entry before the first edit
    EXPECT_EQ(history->list()->rows().back().utf8(), "In Gain");
    EXPECT_EQ(history->list()->selected(), n - 1);
    auto* undoButton = uiObject(std::string(kRoot) + ".tools.history.button-undo");
    auto* redoButton = uiObject(std::string(kRoot) + ".tools.history.button-redo");
    EXPECT_TRUE(redoButton->attrBool("is-disabled"));

    // Back through all twenty (one click after the other, before the
    // history returns), then forward again.
    for (int i = 19; i >= 0; --i) {
        ASSERT_FALSE(run(std::string(kRoot) + ".tools.history", "undo-clicked"));
        EXPECT_DOUBLE_EQ(value(kInGain), values[size_t(i)]) << "undo to " << i;
    }
    pumpUi();
    EXPECT_EQ(history->list()->selected(), before);
    EXPECT_FALSE(redoButton->attrBool("is-disabled"));
    for (int i = 1; i <= 20; ++i) {
        ASSERT_FALSE(run(std::string(kRoot) + ".tools.history", "redo-clicked"));
        EXPECT_DOUBLE_EQ(value(kInGain), values[size_t(i)]) << "redo to " << i;
    }
    ASSERT_FALSE(run(std::string(kRoot) + ".tools.history", "redo-clicked")) << "at the end: nothing";
    EXPECT_DOUBLE_EQ(value(kInGain), values[20]);
    pumpUi();
    EXPECT_TRUE(redoButton->attrBool("is-disabled"));
    EXPECT_FALSE(undoButton->attrBool("is-disabled"));

    // Picking an entry of the list jumps there.
    ASSERT_FALSE(history->list()->select(before + 5));
    EXPECT_DOUBLE_EQ(value(kInGain), values[5]);
    pumpUi();
    EXPECT_EQ(history->list()->selected(), before + 5);
}

TEST_F(UiPresets, ABSwapsBothStatesExactlyAndCopiesOneOverTheOther) {
    auto* ab = uiObject<CButtonAB>(std::string(kRoot) + ".tools.ab");
    ASSERT_NE(ab, nullptr);
    pumpUi();
    EXPECT_FALSE(ab->isB());
    ASSERT_FALSE(renderer().render());
    EXPECT_EQ(ab->attr("text").utf8(), "A");
    EXPECT_EQ(ab->lines().size(), 1u) << "the label is laid out";
    {
        const CRectD& r = ab->area().total;
        int bright = 0;
        for (int y = int(r.y); y < int(r.bottom()); ++y)
            for (int x = int(r.x); x < int(r.right()); ++x) {
                const uint32_t px = renderer().backBuffer().at(x, y);
                if ((px >> 16 & 255) > 170 && (px >> 8 & 255) > 170) ++bright;
            }
        EXPECT_GT(bright, 4) << "the label is drawn";
    }
    perturbCapturedValues(0.25);
    const auto a = capturedValues();
    // The first swap starts B as a copy of A.
    ASSERT_FALSE(ab->runEvent("on-ab"));
    EXPECT_TRUE(ab->isB());
    EXPECT_EQ(value("plugin.modMain.ab-state"), 1.0);
    EXPECT_TRUE(ab->stateSet().isSet("b"));
    EXPECT_EQ(uiObject(std::string(kRoot) + ".tools.ab-copy")->attr("text").utf8(), "B > A");
    EXPECT_EQ(capturedValues(), a);
    perturbCapturedValues(0.65);
    const auto b = capturedValues();
    ASSERT_NE(a, b);
    for (int round = 0; round < 2; ++round) {
        ASSERT_FALSE(ab->runEvent("on-ab"));
        EXPECT_FALSE(ab->isB());
        EXPECT_EQ(capturedValues(), a) << "round " << round;
        ASSERT_FALSE(ab->runEvent("on-ab"));
        EXPECT_TRUE(ab->isB());
        EXPECT_EQ(capturedValues(), b) << "round " << round;
    }
    // Copy B over A (the copy button's command), then A is B.
    ASSERT_FALSE(run(std::string(kRoot) + ".tools.ab-copy", "mouse-release"));
    ASSERT_FALSE(ab->runEvent("on-ab"));
    EXPECT_FALSE(ab->isB());
    EXPECT_EQ(capturedValues(), b);
    pumpUi();
    EXPECT_EQ(value("plugin.modMain.ab-state"), 0.0);

    // The plug-in control's reset brings the defaults back.
    ASSERT_FALSE(run("ui.main-window.plugin-control", "on-reset"));
    EXPECT_DOUBLE_EQ(value(kInGain), param(kInGain)->info().defaultValue(0));
}

TEST_F(UiPresets, SelectorsNeedATitleAndStepThroughThePrograms) {
    std::unique_ptr<CObject> s = createObject("ui:instance-preset-selector");
    s->setName("selector");
    ASSERT_FALSE(s->setAttr("font-name", "font.base", false));
    ASSERT_FALSE(s->setAttr("width", "120", false));
    ASSERT_FALSE(s->setAttr("height", "20", false));
    auto* sel = static_cast<CInstancePresetSelector*>(s.get());
    CView* tools = uiView(std::string("tools"));
    ASSERT_NE(tools, nullptr);
    ASSERT_FALSE(tools->addChild(std::move(s)));
    ASSERT_FALSE(sel->initTree());
    pumpUi();
    CEventParams none;
    CError e = sel->runEvent("popup-result", none);
    EXPECT_EQ(e.message().utf8(), "No 'title' parameter.");
    e = sel->runEvent("next-preset", none);
    EXPECT_EQ(e.message().utf8(), "No 'title' parameter.");
    e = sel->runEvent("prev-preset", none);
    EXPECT_EQ(e.message().utf8(), "No 'title' parameter.");

    const auto* r = m_ui->client->registry(m_manager->registryHandle());
    ASSERT_TRUE(r && r->programs.size() >= 3);
    ASSERT_EQ(sel->items().size(), r->programs.size());
    CEventParams first{{"title", r->programs[0]}};
    ASSERT_FALSE(sel->runEvent("popup-result", first));
    EXPECT_EQ(master().currentProgram(), 0);
    ASSERT_FALSE(sel->runEvent("next-preset", first));
    EXPECT_EQ(master().currentProgram(), 1);
    ASSERT_FALSE(sel->runEvent("prev-preset", first));
    EXPECT_EQ(master().currentProgram(), int(r->programs.size()) - 1) << "wraps at the start";
}

}  // namespace
}  // namespace uitest
