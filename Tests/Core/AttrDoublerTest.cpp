#include <gtest/gtest.h>

#include <memory>

#include "Core/AttrDoubler.h"

namespace {
const CClassRecord* doublerRecord() {
    static CClassRecord r("core:attr-doubler");
    static bool filled = (CAttrDoubler::registerEvents(r), true);
    (void)filled;
    return &r;
}

// view -> panel -> { scroller -> doubler, sibling }
struct DoublerTree {
    std::unique_ptr<CObject> view = std::make_unique<CObject>();
    CObject* panel = nullptr;
    CObject* scroller = nullptr;
    CObject* sibling = nullptr;
    CAttrDoubler* doubler = nullptr;

    DoublerTree(const char* target, const char* attr, const char* value) {
        view->setName("view");
        auto p = std::make_unique<CObject>();
        p->setName("panel");
        panel = p.get();
        auto s = std::make_unique<CObject>();
        s->setName("scroller");
        scroller = s.get();
        auto d = std::make_unique<CAttrDoubler>();
        d->setClassRecord(doublerRecord());
        d->setName("width-doubler");
        (void)d->setAttr("target", target);
        (void)d->setAttr("attr", attr);
        (void)d->setAttr("value", value);
        doubler = d.get();
        s->attachChild(std::move(d));
        auto sib = std::make_unique<CObject>();
        sib->setName("sibling");
        sibling = sib.get();
        p->attachChild(std::move(s));
        p->attachChild(std::move(sib));
        view->attachChild(std::move(p));
    }
};
}  // namespace

TEST(AttrDoubler, SetsGrandparentAttributeOnEveryChange) {
    DoublerTree t("^^", "scroller-width", "");
    ASSERT_FALSE(t.view->initTree());
    EXPECT_FALSE(t.panel->hasAttr("scroller-width"));  // empty start value is not copied
    for (const char* v : {"120", "96.5", "120"}) {
        ASSERT_FALSE(t.doubler->setAttr("value", v));
        EXPECT_EQ(t.panel->attr("scroller-width").utf8(), v);
    }
    EXPECT_FALSE(t.scroller->hasAttr("scroller-width"));
}

TEST(AttrDoubler, CopiesToEveryTargetFromTheStart) {
    DoublerTree t("^^  ^^sibling ^", "w", "64");
    ASSERT_FALSE(t.view->initTree());
    ASSERT_EQ(t.doubler->targets().size(), 3u);
    for (CObject* o : {t.panel, t.sibling, t.scroller}) EXPECT_EQ(o->attr("w").utf8(), "64");
    // The copy is literal: a value holding braces is not resolved again.
    ASSERT_FALSE(t.doubler->setAttr("value", "{w}", false));
    EXPECT_EQ(t.sibling->attr("w").utf8(), "{w}");
}

TEST(AttrDoubler, InitErrors) {
    struct Case {
        const char* target;
        const char* message;
    } cases[] = {
        {"", "No target objects specified."},
        {"   ", "No target objects specified."},
        {"^^ ^missing", "Target object '^missing' not found."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.target);
        DoublerTree t(c.target, "w", "1");
        CError e = t.view->initTree();
        ASSERT_TRUE(e);
        EXPECT_EQ(e.message().utf8(), c.message);
    }
}
