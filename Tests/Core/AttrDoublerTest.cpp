#include <gtest/gtest.h>

#include <memory>

#include "Core/AttrDoubler.h"

namespace {
// view -> panel -> { scroller -> doubler, sibling }
struct DoublerTree {
    std::unique_ptr<CObject> view = std::make_unique<CObject>();
    CObject *panel, *scroller, *sibling;
    CAttrDoubler* doubler;

    DoublerTree(const char* target, const char* value) {
        static CClassRecord rec("core:attr-doubler");
        if (!rec.eventCount()) CAttrDoubler::registerEvents(rec);
        auto add = [](CObject* parent, std::unique_ptr<CObject> o, const char* name) {
            o->setName(name);
            CObject* raw = o.get();
            parent->attachChild(std::move(o));
            return raw;
        };
        panel = add(view.get(), std::make_unique<CObject>(), "panel");
        scroller = add(panel, std::make_unique<CObject>(), "scroller");
        sibling = add(panel, std::make_unique<CObject>(), "sibling");
        doubler = static_cast<CAttrDoubler*>(add(scroller, std::make_unique<CAttrDoubler>(), "doubler"));
        doubler->setClassRecord(&rec);
        (void)doubler->setAttr("target", target);
        (void)doubler->setAttr("attr", "scroller-width");
        (void)doubler->setAttr("value", value);
    }
};
}  // namespace

TEST(AttrDoubler, SetsTargetsOnEveryChange) {
    DoublerTree t("^^", "");
    ASSERT_FALSE(t.view->initTree());
    EXPECT_FALSE(t.panel->hasAttr("scroller-width"));  // an empty start value is not copied
    for (const char* v : {"120", "96.5", "{w}"}) {  // copied literally, braces too
        ASSERT_FALSE(t.doubler->setAttr("value", v, false));
        EXPECT_EQ(t.panel->attr("scroller-width").utf8(), v);
    }
    EXPECT_FALSE(t.scroller->hasAttr("scroller-width"));

    DoublerTree many("^^  ^^sibling ^", "64");
    ASSERT_FALSE(many.view->initTree());
    for (CObject* o : {many.panel, many.sibling, many.scroller}) EXPECT_EQ(o->attr("scroller-width").utf8(), "64");
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
        DoublerTree t(c.target, "1");
        CError e = t.view->initTree();
        ASSERT_TRUE(e) << c.target;
        EXPECT_EQ(e.message().utf8(), c.message);
    }
}
