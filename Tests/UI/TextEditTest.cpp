// Edit boxes: the editing model's keys and filters, and text views edited
// through their events as the window sends them (caret, selection by mouse
// and keys, clipboard, commit and cancel, tab groups, on-screen keys).
#include <gtest/gtest.h>

#include "Platform/Window/Window.h"
#include "Tests/UI/UiTestSupport.h"
#include "UI/Window/WindowSharedData.h"
#include "UI/Text/TextEdit.h"
#include "UI/Text/TextView.h"
#include "UI/Text/VirtualKey.h"

#include <fstream>
#include <sstream>

namespace {

using A = CTextEdit::Action;

void type(CTextEdit& e, std::u16string_view s) {
    for (char16_t c : s) e.key(c, false, false);
}

TEST(TextEdit, CaretMovesSelectsAndErasesByCharacterAndWord) {
    CTextEdit e;
    e.reset(u"gain 12 dB", false);
    EXPECT_EQ(e.caret(), 10u);
    e.key(plat::kKeyLeft, true, false);  // to "dB"
    EXPECT_EQ(e.caret(), 8u);
    e.key(plat::kKeyLeft, true, true);  // extends over "12 "
    EXPECT_EQ(e.selectedText(), u"12 ");
    e.key(plat::kKeyLeft, false, false);  // collapses to the selection's start
    EXPECT_FALSE(e.hasSelection());
    EXPECT_EQ(e.caret(), 5u);
    e.key(plat::kKeyEnd, false, true);
    EXPECT_EQ(e.selectedText(), u"12 dB");
    e.key(plat::kKeyBackspace, false, false);
    EXPECT_EQ(e.text(), u"gain ");
    e.key(plat::kKeyHome, false, false);
    e.key(plat::kKeyDelete, true, false);  // the word and its blank
    EXPECT_EQ(e.text(), u"");
    e.reset(u"abc", false);
    e.key(plat::kKeyBackspace, false, false);
    e.key(plat::kKeyHome, false, false);
    e.key(plat::kKeyBackspace, false, false);  // nothing before the caret
    e.key(plat::kKeyDelete, false, false);
    EXPECT_EQ(e.text(), u"b");
    e.key(plat::kKeyRight, false, false);
    e.key(plat::kKeyRight, false, false);  // stays at the end
    EXPECT_EQ(e.caret(), 1u);
}

TEST(TextEdit, FiltersHoldTypedAndPastedTextToTheAcceptedCharactersAndLength) {
    CTextEdit e;
    e.setAcceptChars(u"0123456789.,-");
    e.setMaxLength(5);
    e.reset(u"", false);
    type(e, u"-1x2 .a5");
    EXPECT_EQ(e.text(), u"-12.5") << "letters and blanks refused";
    type(e, u"9");
    EXPECT_EQ(e.text(), u"-12.5") << "full";
    e.selectAll();
    EXPECT_TRUE(e.insert(u"1234567"));
    EXPECT_EQ(e.text(), u"12345") << "a paste keeps its leading part";
    e.selectAll();
    EXPECT_TRUE(e.insert(u"abc")) << "nothing taken, but the selection went";
    EXPECT_EQ(e.text(), u"");
    EXPECT_FALSE(e.insert(u"\t\n")) << "control characters are never text";
    EXPECT_EQ(e.key(plat::kKeyEscape, false, false), A::Cancel);
}

TEST(TextEdit, KeysAskTheOwnerForClipboardCommitAndFocus) {
    CTextEdit e;
    e.reset(u"value", true);
    EXPECT_EQ(e.key('C', true, false), A::Copy);
    EXPECT_EQ(e.key('x', true, false), A::Cut);
    EXPECT_EQ(e.key('V', true, false), A::Paste);
    EXPECT_EQ(e.key(plat::kKeyInsert, false, true), A::Paste);
    EXPECT_EQ(e.key(plat::kKeyTab, false, false), A::FocusNext);
    EXPECT_EQ(e.key(plat::kKeyTab, false, true), A::FocusPrev);
    EXPECT_EQ(e.text(), u"value") << "none of them changed the text";
    e.key(plat::kKeyRight, false, false);
    EXPECT_EQ(e.key('A', true, false), A::Handled);
    EXPECT_EQ(e.selectedText(), u"value");
    e.setAcceptEnter(false);
    EXPECT_EQ(e.key(plat::kKeyEnter, false, false), A::None) << "not the box's key";
    e.setAcceptEnter(true);
    EXPECT_EQ(e.key(plat::kKeyEnter, false, false), A::Commit);
    EXPECT_EQ(e.key(plat::kKeyPageUp, false, false), A::None);
}

// Records the notifications it listens to.
struct CRecorder : CObject {
    static CClassRecord& record() {
        static CClassRecord r("test:recorder");
        if (!r.eventCount())
            r.addEvent("record", [](CObject* self, CEventParams& p) -> CError {
                static_cast<CRecorder*>(self)->seen.push_back(p);
                return {};
            });
        return r;
    }
    std::vector<CEventParams> seen;
};

struct UiTextEdit : UiFixture {
    CTextView* field = nullptr;
    CRecorder* rec = nullptr;

    CError key(CView* v, uint32_t code, bool ctrl = false, bool shift = false) {
        CEventParams p{{"keycode", CString::number(int64_t(code))},
                       {"is-ctrl", ctrl ? "true" : "false"},
                       {"is-shift", shift ? "true" : "false"}};
        return v->runEvent("key-press", p);
    }
    CError typeText(CView* v, const char* s) {
        for (const char* c = s; *c; ++c) KEL_TRY(key(v, uint8_t(*c)));
        return {};
    }
    void listen(CView* v) {
        if (!rec) {
            auto r = std::make_unique<CRecorder>();
            r->setClassRecord(&CRecorder::record());
            rec = r.get();
            shot->root()->attachChild(std::move(r));
        }
        for (const char* e : {"paragraph-text-changed", "editbox-text-changed"}) CObject::listenObject(v, e, rec, "record");
    }
};

TEST_F(UiTextEdit, FieldEditsWithCaretSelectionAndCommitsOrCancels) {
    ASSERT_FALSE(load(R"(<ui:textview name="f" font-name="font.base" width="150" height="20" is-read-only="false"
                                      is-accept-enter="true" text="Mix A"/>
                         <ui:textview name="g" font-name="font.base" width="150" height="20" text="label"
                                      is-editbox-on-dblclick="true" editbox-empty-value="none given"/>)"));
    auto* f = dynamic_cast<CTextView*>(view("f"));
    ASSERT_NE(f, nullptr);
    listen(f);
    ASSERT_FALSE(renderer().render());
    // A click opens the field with the caret where it landed: at the end.
    const CRectD& in = f->area().inner;
    CEventParams press{{"x", CString::number(in.x + in.w - 1)}, {"y", CString::number(in.y + 2)}};
    ASSERT_FALSE(f->runEvent("mouse-press", press));
    ASSERT_TRUE(f->isEditing());
    EXPECT_EQ(f->edit().caret(), 5u);
    EXPECT_TRUE(f->isCaretShown());
    // The caret blinks on the cursor timer's ticks.
    ASSERT_FALSE(f->runEvent("cursor-tick"));
    EXPECT_FALSE(f->isCaretShown());
    ASSERT_FALSE(f->runEvent("cursor-tick"));
    EXPECT_TRUE(f->isCaretShown());
    // A drag from the start of "A" back to the start selects "Mix ".
    const double xA = in.x + f->caretX(4);
    CEventParams down{{"x", CString::number(xA)}, {"y", "5"}};
    ASSERT_FALSE(f->runEvent("mouse-press", down));
    EXPECT_EQ(f->edit().caret(), 4u);
    CEventParams drag{{"x", CString::number(in.x)}, {"y", "5"}, {"is-button-l", "true"}};
    ASSERT_FALSE(f->runEvent("mouse-move", drag));
    EXPECT_EQ(f->edit().selectedText(), u"Mix ");
    ASSERT_FALSE(typeText(f, "Bus "));
    EXPECT_EQ(f->editText().utf8(), "Bus A");
    EXPECT_GT(f->caretX(5), f->caretX(4)) << "the caret advances with the text";
    ASSERT_FALSE(key(f, plat::kKeyEnter));
    EXPECT_FALSE(f->isEditing());
    EXPECT_EQ(f->attr("text").utf8(), "Bus A");
    ASSERT_EQ(rec->seen.size(), 2u);
    EXPECT_EQ(rec->seen[0].get("text").utf8(), "Bus A");
    EXPECT_EQ(rec->seen[0].get("paragraph-index").utf8(), "0");
    EXPECT_EQ(rec->seen[0].get("is-cancelled").utf8(), "false");

    // Escape cancels: the text stays, the result says so.
    ASSERT_FALSE(f->openEditBox());
    ASSERT_FALSE(typeText(f, "zzz"));
    ASSERT_FALSE(key(f, plat::kKeyEscape));
    EXPECT_EQ(f->attr("text").utf8(), "Bus A");
    ASSERT_EQ(rec->seen.size(), 4u);
    EXPECT_EQ(rec->seen[2].get("is-cancelled").utf8(), "true");
    EXPECT_EQ(rec->seen[3].get("text").utf8(), "Bus A");

    // A read-only label opens its box on a double click only; an empty result
    // stands for "editbox-empty-value".
    auto* g = dynamic_cast<CTextView*>(view("g"));
    CEventParams single{{"x", "5"}, {"y", "5"}};
    ASSERT_FALSE(g->runEvent("mouse-press", single));
    EXPECT_FALSE(g->isEditing());
    CEventParams dbl{{"x", "5"}, {"y", "5"}, {"is-double-click", "true"}};
    ASSERT_FALSE(g->runEvent("mouse-press", dbl));
    ASSERT_TRUE(g->isEditing());
    EXPECT_EQ(g->edit().selectedText(), u"label") << "a box opens with its text selected";
    ASSERT_FALSE(key(g, plat::kKeyDelete));
    ASSERT_FALSE(key(g, plat::kKeyEnter)) << "Enter is not accepted here";
    EXPECT_TRUE(g->isEditing());
    ASSERT_FALSE(g->runEvent("blur"));  // leaving commits
    EXPECT_FALSE(g->isEditing());
    EXPECT_EQ(g->attr("text").utf8(), "none given");
}

// The editor's shared window data without a display: enough for the key focus.
CWindowSharedData* addSharedData(CObject& top) {
    CObject* ui = top.findObject("ui");
    std::unique_ptr<CObject> made = createObject("ui:window-shared-data");
    auto* shared = dynamic_cast<CWindowSharedData*>(made.get());
    made->setName("window-shared-data");
    if (!ui || ui->addChild(std::move(made))) return nullptr;
    return shared;
}

TEST_F(UiTextEdit, ReadOnlyViewsEditInABoxViewOfTheirOwn) {
    ASSERT_FALSE(load(R"(<ui:textview name="g" font-name="font.base" width="150" height="20" inner-border="LR4"
                                      text-alignment="right" is-editbox-on-click="true" text="label"/>
                         <ui:textview name="h" font-name="font.base" width="150" height="20" text="tmpl"
                                      text-alignment="right" editbox-text-alignment="center"
                                      editbox-placement="full" editbox-popup-tag="test-editbox"
                                      is-editbox-on-click="true"/>)",
                      1.0, "", 200, 100,
                      R"(<template name="test-editbox" base-tag="ui:textview">
                           <ui:textview font-name="font.compact" color="EditBox" inner-border="2"/>
                         </template>)"));
    auto* g = dynamic_cast<CTextView*>(view("g"));
    auto* h = dynamic_cast<CTextView*>(view("h"));
    ASSERT_TRUE(g && h);
    listen(g);
    for (const char* e : {"editbox-shown", "editbox-hidden"}) CObject::listenObject(g, e, rec, "record");
    ASSERT_FALSE(renderer().render());

    // Over the view, aligned like it, with the text selected.
    ASSERT_FALSE(g->openEditBox());
    CTextView* box = g->editBox();
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->name().utf8(), "temp-editbox");
    EXPECT_EQ(box->parentView(), g);
    EXPECT_EQ(box->editBoxOwner(), g);
    EXPECT_EQ(box->attr("text-alignment").utf8(), "right") << "inherit takes the view's";
    EXPECT_EQ(g->edit().selectedText(), u"label");
    ASSERT_FALSE(renderer().render());
    EXPECT_EQ(box->area().total, g->area().total);
    EXPECT_EQ(box->area().inner, g->area().inner);
    EXPECT_EQ(renderer().viewAt(g->area().total.x + 5, g->area().total.y + 5), box);
    ASSERT_EQ(rec->seen.size(), 1u);
    EXPECT_EQ(rec->seen[0].get("event-name").utf8(), "editbox-shown");

    // The view's keys go to the box; Escape cancels and the box goes.
    ASSERT_FALSE(typeText(g, "xy"));
    EXPECT_EQ(box->editText().utf8(), "xy");
    EXPECT_EQ(g->editText().utf8(), "xy");
    ASSERT_FALSE(key(g, plat::kKeyEscape));
    EXPECT_EQ(g->editBox(), nullptr);
    EXPECT_FALSE(g->isEditing());
    EXPECT_EQ(g->attr("text").utf8(), "label");
    ASSERT_FALSE(renderer().render());
    EXPECT_EQ(g->findChild("temp-editbox"), nullptr) << "released with the cancel";
    EXPECT_EQ(renderer().pendingDestroyCount(), 0u);
    ASSERT_EQ(rec->seen.size(), 4u);
    EXPECT_EQ(rec->seen[1].get("is-cancelled").utf8(), "true");
    EXPECT_EQ(rec->seen[3].get("event-name").utf8(), "editbox-hidden");

    // Enter inside the box's own key handler commits and releases it; the
    // box lives until the frame after.
    ASSERT_FALSE(g->setAttr("is-accept-enter", "true"));
    ASSERT_FALSE(g->openEditBox());
    box = g->editBox();
    ASSERT_FALSE(typeText(box, "new"));
    ASSERT_FALSE(key(box, plat::kKeyEnter));
    EXPECT_EQ(g->attr("text").utf8(), "new");
    EXPECT_EQ(g->editBox(), nullptr);
    EXPECT_EQ(renderer().pendingDestroyCount(), 1u);
    EXPECT_TRUE(box->childViews().empty()) << "still there while its handler unwinds";
    ASSERT_FALSE(renderer().render());
    EXPECT_EQ(renderer().pendingDestroyCount(), 0u);

    // From a template, placed and aligned by the view's box attributes.
    ASSERT_FALSE(h->openEditBox());
    CTextView* made = h->editBox();
    ASSERT_NE(made, nullptr);
    EXPECT_EQ(made->attr("color").utf8(), "EditBox");
    EXPECT_EQ(made->attr("text-alignment").utf8(), "center");
    EXPECT_EQ(made->attr("placement").utf8(), "full");
    ASSERT_FALSE(renderer().render());
    EXPECT_EQ(made->area().total, h->area().inner);
    EXPECT_EQ(made->area().inner.x, h->area().inner.x + 2);
    ASSERT_FALSE(h->runEvent("blur"));
    EXPECT_EQ(h->editBox(), nullptr);
}

TEST_F(UiTextEdit, PressesMoveTheFocusAndCloseOpenBoxes) {
    ASSERT_FALSE(load(R"(<ui:textview name="f" font-name="font.base" width="80" height="20" is-read-only="false"
                                      text="12"/>
                         <ui:textview name="g" font-name="font.base" width="80" height="20" text="label"
                                      is-editbox-on-dblclick="true" accept-chars="abc"/>
                         <ui:view name="plain" width="80" height="20" is-new-inline-row="true"/>
                         <ui:view name="focusable" width="80" height="20" is-focusable="true"/>)"));
    CWindowSharedData* shared = addSharedData(*shot->root());
    ASSERT_NE(shared, nullptr);
    auto* f = dynamic_cast<CTextView*>(view("f"));
    auto* g = dynamic_cast<CTextView*>(view("g"));
    ASSERT_FALSE(renderer().render());
    auto press = [&](CView* v, bool dbl = false) {
        const CRectD& a = v->area().total;
        CEventParams p{{"x", CString::number(a.x + a.w - 2)}, {"y", CString::number(a.y + 3)}, {"button", "L"},
                       {"is-button-down", "true"}};
        if (dbl) p.set("is-double-click", "true");
        CError e = renderer().runEvent("mouse-button", p);
        p.set("is-button-down", "false");
        if (!e) e = renderer().runEvent("mouse-button", p);
        return e;
    };
    // A field takes the focus and edits; a press on a view that does not
    // take the focus commits it and clears the focus.
    ASSERT_FALSE(press(f));
    EXPECT_EQ(shared->keyFocus(), f);
    ASSERT_TRUE(f->isEditing());
    ASSERT_FALSE(typeText(f, "3"));
    ASSERT_FALSE(press(view("plain")));
    EXPECT_FALSE(f->isEditing());
    EXPECT_EQ(f->attr("text").utf8(), "123");
    EXPECT_EQ(shared->keyFocus(), nullptr);
    ASSERT_FALSE(press(view("focusable")));
    EXPECT_EQ(shared->keyFocus(), view("focusable"));

    // A read-only view's box: a press inside it keeps it open and the focus
    // with the view it edits; one outside commits it.
    ASSERT_FALSE(press(g, true));
    ASSERT_NE(g->editBox(), nullptr);
    EXPECT_EQ(shared->keyFocus(), g);
    ASSERT_FALSE(renderer().render());
    ASSERT_FALSE(press(g->editBox()));
    ASSERT_NE(g->editBox(), nullptr) << "a press in the box stays in it";
    EXPECT_EQ(shared->keyFocus(), g);
    ASSERT_FALSE(key(g, 'A', true));
    ASSERT_FALSE(typeText(g, "cab"));
    ASSERT_FALSE(press(view("focusable")));
    EXPECT_EQ(g->editBox(), nullptr);
    EXPECT_EQ(g->attr("text").utf8(), "cab");
    EXPECT_EQ(shared->keyFocus(), view("focusable"));

    // Opened without the focus (by an event), the box closes on a press
    // outside too.
    ASSERT_FALSE(g->runEvent("open-editbox"));
    ASSERT_FALSE(g->setEditText(""));
    ASSERT_FALSE(g->setAttr("editbox-empty-value", "zzz"));
    ASSERT_FALSE(press(view("plain")));
    EXPECT_EQ(g->editBox(), nullptr);
    EXPECT_EQ(g->attr("text").utf8(), "zzz") << "an empty text stands for the empty value";
    ASSERT_FALSE(renderer().render());
    EXPECT_EQ(g->findChild("temp-editbox"), nullptr);
}

TEST_F(UiTextEdit, ClipboardCopiesCutsAndPastesOneLine) {
    ASSERT_FALSE(load(R"(<ui:textview name="a" font-name="font.base" width="150" height="20" is-read-only="false"
                                      text="-14.5 LUFS"/>
                         <ui:textview name="b" font-name="font.base" width="150" height="20" is-read-only="false"
                                      accept-chars="0123456789.-" max-paragraph-length="4" text=""/>
                         <ui:textview name="p" font-name="font.base" width="150" height="20" is-read-only="false"
                                      is-password="true" text="secret"/>)"));
    auto* a = dynamic_cast<CTextView*>(view("a"));
    auto* b = dynamic_cast<CTextView*>(view("b"));
    auto* pw = dynamic_cast<CTextView*>(view("p"));
    ASSERT_FALSE(a->openEditBox());
    ASSERT_FALSE(key(a, plat::kKeyHome));
    for (int i = 0; i < 5; ++i) ASSERT_FALSE(key(a, plat::kKeyRight, false, true));
    ASSERT_FALSE(key(a, 'C', true));
    CString clip;
    ASSERT_TRUE(CTextView::clipboard(*a, &clip));
    EXPECT_EQ(clip.utf8(), "-14.5");
    ASSERT_FALSE(key(a, 'X', true));
    EXPECT_EQ(a->editText().utf8(), " LUFS");
    // Pasted into a number field: the filter and the length apply.
    ASSERT_TRUE(CTextView::setClipboard(*a, "x-3.25 dB\nsecond line"));
    ASSERT_FALSE(b->openEditBox());
    ASSERT_FALSE(key(b, 'V', true));
    EXPECT_EQ(b->editText().utf8(), "-3.2");
    // A password field shows stars and copies nothing.
    ASSERT_FALSE(pw->openEditBox());
    ASSERT_FALSE(key(pw, 'C', true));
    ASSERT_TRUE(CTextView::clipboard(*a, &clip));
    EXPECT_EQ(clip.utf8(), "x-3.25 dB\nsecond line");
}

TEST_F(UiTextEdit, TabMovesThroughTheGroupSkippingHiddenViews) {
    ASSERT_FALSE(load(R"(<ui:textview name="one" font-name="font.base" width="40" height="20" is-read-only="false"
                                      tab-group="g" text="1"/>
                         <ui:textview name="two" font-name="font.base" width="40" height="20" is-read-only="false"
                                      tab-group="g" text="2" is-hidden="true"/>
                         <ui:textview name="three" font-name="font.base" width="40" height="20"
                                      is-read-only="false" tab-group="g" text="3"/>
                         <ui:textview name="other" font-name="font.base" width="40" height="20"
                                      is-read-only="false" tab-group="h" text="4"/>)"));
    auto* one = dynamic_cast<CTextView*>(view("one"));
    auto* three = dynamic_cast<CTextView*>(view("three"));
    EXPECT_EQ(one->tabNeighbour(true), three);
    CObject* list = renderer().findChild("tab-group-value-list-g");
    ASSERT_NE(list, nullptr) << "the helper list of the group";
    EXPECT_EQ(list->children().size(), 3u);
    EXPECT_EQ(one->tabNeighbour(false), three) << "wraps around";
    ASSERT_FALSE(one->openEditBox());
    ASSERT_FALSE(typeText(one, "0"));
    ASSERT_FALSE(key(one, plat::kKeyTab));
    EXPECT_FALSE(one->isEditing());
    EXPECT_EQ(one->attr("text").utf8(), "10") << "leaving by Tab commits";
    EXPECT_TRUE(three->isEditing()) << "the next field takes the keys";
    EXPECT_EQ(dynamic_cast<CTextView*>(view("other"))->tabNeighbour(true), nullptr) << "alone in its group";
}

// Views of any kind join a tab group. The keys of a member that edits no
// text: Tab walks the group (a Tab with no focus is the way in), Space and
// Enter click, Escape gives the focus up; an edit box keeps its own Enter,
// Tab and Escape.
TEST_F(UiTextEdit, AnyViewOfATabGroupTakesTabSpaceEnterAndEscape) {
    ASSERT_FALSE(load(R"(<ui:view name="dial" width="40" height="20" tab-group="k"/>
                         <ui:textview name="gone" font-name="font.base" width="40" height="20" text="x"
                                      tab-group="k" is-hidden="true"/>
                         <ui:textview name="button" font-name="font.base" width="60" height="20" text="Go"
                                      tab-group="k">
                           <ui:view-command on-event="mouse-release" set-state="lit"/>
                         </ui:textview>
                         <ui:textview name="number" font-name="font.base" width="60" height="20" text="1"
                                      accept-chars="0123456789" is-accept-enter="true" is-editbox-on-click="true"
                                      tab-group="k"/>)"));
    CWindowSharedData* shared = addSharedData(*shot->root());
    ASSERT_NE(shared, nullptr);
    shared->addWindow(&renderer());
    ASSERT_FALSE(renderer().render());
    auto* button = dynamic_cast<CTextView*>(view("button"));
    auto* number = dynamic_cast<CTextView*>(view("number"));
    bool taken = false;
    auto send = [&](uint32_t code, bool shift = false) {
        ASSERT_FALSE(shared->sendKey(true, code, false, false, shift, &taken));
        ASSERT_FALSE(shared->sendKey(false, code, false, false, shift));
    };
    send(plat::kKeyTab);
    EXPECT_EQ(shared->keyFocus(), view("dial")) << "the way in";
    EXPECT_TRUE(taken);
    EXPECT_EQ(shared->keyTaker(), view("dial")) << "a control in a group takes the keys";
    send('5');
    EXPECT_FALSE(taken) << "a key nobody uses stays the host's";
    send(plat::kKeyTab);
    EXPECT_EQ(shared->keyFocus(), button) << "past the hidden member";
    send(' ');
    EXPECT_TRUE(button->stateSet().isSet("lit")) << "Space clicks";
    EXPECT_TRUE(taken);
    ASSERT_FALSE(button->unsetState("lit"));
    send(plat::kKeyEnter);
    EXPECT_TRUE(button->stateSet().isSet("lit")) << "so does Enter";
    send(plat::kKeyTab);
    ASSERT_EQ(shared->keyFocus(), number);
    EXPECT_TRUE(number->isEditing()) << "a read-out reached by Tab edits at once";
    send('7');
    send(plat::kKeyEnter);
    EXPECT_FALSE(number->isEditing());
    EXPECT_EQ(number->attr("text").utf8(), "7");
    EXPECT_EQ(shared->keyFocus(), number) << "the box's Enter commits and clicks nothing";
    send(plat::kKeyTab);
    EXPECT_EQ(shared->keyFocus(), view("dial")) << "wraps";
    send(plat::kKeyTab, true);
    EXPECT_EQ(shared->keyFocus(), number) << "Shift+Tab walks back";
    ASSERT_TRUE(number->isEditing());
    send(plat::kKeyEscape);
    EXPECT_FALSE(number->isEditing()) << "the box's Escape cancels it";
    EXPECT_EQ(shared->keyFocus(), number);
    send(plat::kKeyEscape);
    EXPECT_EQ(shared->keyFocus(), nullptr) << "then Escape gives the keys up";
    EXPECT_EQ(shared->keyTaker(), nullptr);
}

TEST_F(UiTextEdit, OnScreenKeysTypeIntoTheBox) {
    ASSERT_FALSE(load(R"(<ui:textview name="f" font-name="font.base" width="150" height="20" is-read-only="false"
                                      is-accept-enter="true" text=""/>)"));
    auto* f = dynamic_cast<CTextView*>(view("f"));
    ASSERT_FALSE(f->openEditBox());
    for (const char* c : {"4", "2"}) {
        CEventParams p{{"char", c}};
        ASSERT_FALSE(f->runEvent("virtual-key", p));
    }
    CEventParams back{{"keycode", CString::number(int64_t(plat::kKeyBackspace))}};
    ASSERT_FALSE(f->runEvent("virtual-key", back));
    EXPECT_EQ(f->editText().utf8(), "4");
}

// The on-screen keyboards of the test document, drawn in place and aimed
// at its boxes.
TEST_F(UiTextEdit, OnScreenKeyboardsTypeCapitalsEraseCommitAndCancel) {
    std::ifstream in(uiTestData("editbox.xml"));
    std::stringstream doc;
    doc << in.rdbuf();
    CUiShot::Options o;
    o.workers = 0;
    ASSERT_FALSE(shot->loadXml(doc.str(), "editbox.xml", o));
    ASSERT_FALSE(renderer().render());
    auto* field = dynamic_cast<CTextView*>(view("field"));
    auto* number = dynamic_cast<CTextView*>(view("number"));
    ASSERT_TRUE(field && number);
    // A key of a panel by what it types or names.
    auto press = [&](const char* panel, const char* what) {
        CView* p = view(panel);
        ASSERT_NE(p, nullptr) << panel;
        for (CView* k : p->childViews()) {
            auto* key = dynamic_cast<CVirtualKey*>(k);
            if (key && (key->attr("key") == what || (!key->hasAttr("key") && key->attr("text") == what))) {
                ASSERT_FALSE(key->press()) << what;
                return;
            }
        }
        FAIL() << "no key " << what << " on " << panel;
    };
    ASSERT_FALSE(field->openEditBox());
    press("keyboard", "Bkspace");
    press("keyboard", "Bkspace");
    press("keyboard", "CAPS");
    press("keyboard", "a");
    press("keyboard", "CAPS");
    press("keyboard", "b");
    press("keyboard", "Left");
    press("keyboard", "Space");
    EXPECT_EQ(field->editText().utf8(), "Master A b");
    press("keyboard", "Enter");
    EXPECT_FALSE(field->isEditing());
    EXPECT_EQ(field->attr("text").utf8(), "Master A b");

    ASSERT_FALSE(number->openEditBox());
    for (const char* k : {"1", "2", ".", "5", "k"}) press("freq", k);
    EXPECT_EQ(number->editText().utf8(), "12.5") << "the box refuses what it does not accept";
    press("digital", "Cancel");
    EXPECT_FALSE(number->isEditing());
    EXPECT_EQ(number->attr("text").utf8(), "-14.25");
}


// The on-screen keyboard as an edit box opens it: a pop-up from the window
// opener (windowless here), aimed at the edited view, typing into its box.
TEST_F(UiTextEdit, BoxOpensTheKeyboardPopUpThatTypesIntoIt) {
    std::ifstream in(uiTestData("editbox.xml"));
    std::stringstream doc;
    doc << in.rdbuf();
    CUiShot::Options o;
    o.workers = 0;
    ASSERT_FALSE(shot->loadXml(doc.str(), "editbox.xml", o));
    CWindowSharedData* shared = addSharedData(*shot->root());
    ASSERT_NE(shared, nullptr);
    for (const char* tag : {"ui:window-opener", "ui:window-closer"}) {
        std::unique_ptr<CObject> t = createObject(tag);
        t->setName(CString(tag).substr(3));
        ASSERT_FALSE(shared->addChild(std::move(t)));
    }
    std::unique_ptr<CObject> settings = createObject("core:object");
    settings->setName("global-settings");
    ASSERT_FALSE(settings->setAttr("show-virtual-keyboard", "true", false));
    ASSERT_FALSE(shot->root()->findObject("ui")->addChild(std::move(settings)));
    auto* label = dynamic_cast<CTextView*>(view("label"));
    ASSERT_NE(label, nullptr);
    ASSERT_FALSE(label->setAttr("is-virtual-keyboard-allowed", "true"));

    ASSERT_FALSE(label->openEditBox());
    ASSERT_NE(label->editBox(), nullptr);
    CObject* popup = shot->root()->findObject("ui.popup-ui:virtual-keyboard");
    ASSERT_NE(popup, nullptr) << "opened by the window opener";
    EXPECT_EQ(popup->attr("virtual-keyboard-target"), label->fullName());
    CView* keys = dynamic_cast<CView*>(popup->findObject(".window-renderer.root.keys"));
    ASSERT_NE(keys, nullptr);
    auto press = [&](const char* what) {
        for (CView* k : keys->childViews())
            if (auto* key = dynamic_cast<CVirtualKey*>(k);
                key && (key->attr("key") == what || (!key->hasAttr("key") && key->attr("text") == what)))
                return key->press();
        ADD_FAILURE() << "no key " << what;
        return CError();
    };
    for (const char* k : {"CAPS", "l", "CAPS", "p"}) ASSERT_FALSE(press(k)) << k;
    EXPECT_EQ(label->editBox()->editText().utf8(), "Lp");
    ASSERT_FALSE(press("Enter"));
    EXPECT_EQ(label->editBox(), nullptr);
    EXPECT_EQ(label->attr("text").utf8(), "Lp");
    ASSERT_FALSE(renderer().render());
    EXPECT_EQ(label->findChild("temp-editbox"), nullptr);
}

}  // namespace
