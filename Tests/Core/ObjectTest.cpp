#include <gtest/gtest.h>

#include "Core/AppErrorWindow.h"
#include "Core/Application.h"
#include "Core/Log.h"
#include "Core/Object.h"

namespace {

// A class with its own events, chained to the plain object's table.
class CCounter : public CObject {
public:
    int hits = 0;
    CString lastSender;
    static void registerEvents(CClassRecord& rec) {
        CObject::registerEvents(rec);
        rec.addEvent("hit", [](CObject* self, CEventParams& p) -> CError {
            auto* c = static_cast<CCounter*>(self);
            c->hits++;
            c->lastSender = p.get("sender");
            return {};
        });
        rec.addEvent("level", [](CObject* self, CEventParams&) -> CError {
            static_cast<CCounter*>(self)->hits += 100;
            return {};
        });
    }
};

CObject* makeCounter() { return new CCounter(); }

const CreatorRow kRows[] = {
    {"core:object", [] { return new CObject(); }, &CObject::registerEvents},
    {"test:counter", &makeCounter, &CCounter::registerEvents},
};

// Builds: root { a(x=1) { b(y=2) { c } }, counter }
struct TreeFixture : ::testing::Test {
    void SetUp() override {
        CApplication::StartOptions o;
        o.creators = kRows;
        o.sharedDefinition = nullptr;
        ASSERT_FALSE(CApplication::start(o));
        CApplication::sharedObject()->attachChild(std::make_unique<CObject>());
        project = CApplication::sharedObject()->child(0);
        project->setName("project");
        (void)project->setAttr("app-full-name", "Kelvane Tamblor");
        root = std::make_unique<CObject>();
        a = add(root.get(), "a");
        b = add(a, "b");
        c = add(b, "c");
        (void)a->setAttr("x", "1");
        (void)b->setAttr("y", "2");
    }
    void TearDown() override {
        root.reset();
        CApplication::finish();
    }
    static CObject* add(CObject* parent, const char* name, const char* tag = "core:object") {
        auto o = createObject(tag);
        o->setName(name);
        CObject* raw = o.get();
        EXPECT_FALSE(parent->addChild(std::move(o)));
        return raw;
    }
    std::unique_ptr<CObject> root;
    CObject *project = nullptr, *a = nullptr, *b = nullptr, *c = nullptr;
};

TEST_F(TreeFixture, PathsResolveFromRootParentSelfAndShared) {
    EXPECT_EQ(c->findObject("a.b.c"), c);
    EXPECT_EQ(c->findObject("^"), b);
    EXPECT_EQ(c->findObject("^^"), a);
    EXPECT_EQ(c->findObject("^^b"), b);     // a child of the grandparent
    EXPECT_EQ(b->findObject("^b.c"), c);
    EXPECT_EQ(b->findObject("."), b);
    EXPECT_EQ(a->findObject(".b.c"), c);
    EXPECT_EQ(c->findObject("shared::project"), project);
    EXPECT_EQ(c->findObject("/a.b"), b);
    EXPECT_EQ(c->findObject("a.nothing"), nullptr);
    EXPECT_EQ(c->findObject("^^^^^^"), nullptr);
    EXPECT_EQ(c->fullName().utf8(), "a.b.c");
    EXPECT_EQ(c->attr("full-name").utf8(), "a.b.c");
}

TEST_F(TreeFixture, BraceReferencesResolveInnermostFirst) {
    struct Case {
        const char* value;
        const char* expect;
    } cases[] = {
        {"plain", "plain"},
        {"{/shared::project app-full-name}", "Kelvane Tamblor"},
        {"{y}", "2"},                        // own attribute
        {"{^ x}", "1"},                      // parent's attribute, path form without slash
        {"{/^ x}-{y}", "1-2"},
        {"{missing?fallback}", "fallback"},
        {"{?-1}", "-1"},
        {"{?}", ""},
        {"{/^?Panel}", "a"},                 // the object's name
        {"{/nowhere?Panel}", "Panel"},
        {"{{z} x}", "1"},                    // inner {z} yields "^", then "{^ x}"
        {"{full-name}", "a.b"},
    };
    (void)b->setAttr("z", "^");
    for (const auto& tc : cases) {
        ASSERT_FALSE(b->setAttr("probe", tc.value)) << tc.value;
        EXPECT_EQ(b->attr("probe").utf8(), tc.expect) << tc.value;
    }
    // Without resolution the value is stored as given.
    ASSERT_FALSE(b->setAttr("raw", "{y}", false));
    EXPECT_EQ(b->attr("raw").utf8(), "{y}");
}

TEST_F(TreeFixture, TypedReadersCacheAndDefault) {
    struct Case {
        const char* value;
        bool b;
        int64_t i;
        double d;
    } cases[] = {
        {"true", true, -7, -7.5}, {"1", true, 1, 1.0},    {"0", false, 0, 0.0},
        {"false", false, -7, -7.5}, {"0.25", true, 0, 0.25}, {"yes", true, -7, -7.5},
        {"-3", true, -3, -3.0},
    };
    for (const auto& tc : cases) {
        ASSERT_FALSE(a->setAttr("v", tc.value));
        EXPECT_EQ(a->attrBool("v", true), tc.b) << tc.value;
        EXPECT_EQ(a->attrInt("v", -7), tc.i) << tc.value;
        EXPECT_DOUBLE_EQ(a->attrReal("v", -7.5), tc.d) << tc.value;
    }
    EXPECT_FALSE(a->attrBool("absent"));
    EXPECT_DOUBLE_EQ(a->attrReal("absent", 0.4), 0.4);
}

TEST_F(TreeFixture, FindCheckedReportsPathAndSearcher) {
    CCounter* out = nullptr;
    CError e = b->findObjectChecked<CCounter>("a.missing", &out);
    ASSERT_TRUE(e);
    EXPECT_EQ(e.message().utf8(), "Unable to find object 'a.missing' ('a.b')");
    e = b->findObjectChecked<CCounter>("a.b.c", &out);
    EXPECT_EQ(e.message().utf8(), "Incompatible type of object 'a.b.c' ('a.b')");

    CObject* counter = add(root.get(), "cnt", "test:counter");
    ASSERT_FALSE(b->findObjectChecked<CCounter>("cnt", &out));
    EXPECT_EQ(out, counter);

    (void)c->setAttr("target", "");
    EXPECT_EQ(c->findObjectByAttr<CCounter>("target", &out).message().utf8(),
              "Object name attribute 'target' cannot be empty.");
    (void)c->setAttr("target", "nope");
    EXPECT_EQ(c->findObjectByAttr<CCounter>("target", &out).message().utf8(),
              "Name attribute 'target' refers to a non-existent object 'nope' ('a.b.c')");
    (void)c->setAttr("target", "^");
    EXPECT_EQ(c->findObjectByAttr<CCounter>("target", &out).message().utf8(),
              "Name attribute 'target' refers to object '^' ('a.b.c') of incompatible type.");
}

TEST_F(TreeFixture, EventsListenersAndAttributeEvents) {
    auto* cnt = static_cast<CCounter*>(add(root.get(), "cnt", "test:counter"));
    EXPECT_EQ(a->runEvent("hit").message().utf8(), "Unknown event 'hit'.");
    ASSERT_FALSE(cnt->runEvent("hit"));
    EXPECT_EQ(cnt->hits, 1);

    std::vector<std::string> log;
    kelSetLogSink([&](std::string_view l) { log.emplace_back(l); });
    CObject::listenObject(a, "changed", cnt, "no-such-handler");
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log.back().substr(0, 55), "Event handler 'no-such-handler' not found in listenObje");
    kelSetLogSink({});

    CObject::listenObject(a, "changed", cnt, "hit", 7);
    ASSERT_FALSE(a->notify("changed"));
    EXPECT_EQ(cnt->hits, 2);
    EXPECT_EQ(cnt->lastSender.utf8(), "a");
    // A destroyed listener is forgotten by the server.
    a->releaseChild(b).reset();
    root->releaseChild(cnt).reset();
    EXPECT_FALSE(a->notify("changed"));

    // An attribute whose name is an event of the class runs it once initialised.
    auto* cnt2 = static_cast<CCounter*>(add(root.get(), "cnt2", "test:counter"));
    (void)cnt2->setAttr("level", "1");
    EXPECT_EQ(cnt2->hits, 0);
    ASSERT_FALSE(cnt2->initTree());
    (void)cnt2->setAttr("level", "2");
    EXPECT_EQ(cnt2->hits, 100);
    (void)cnt2->setAttr("level", "2");  // unchanged value: no event
    EXPECT_EQ(cnt2->hits, 100);
}

TEST_F(TreeFixture, ReadOnlyRefusesChildrenAndRegistryRefusesDuplicates) {
    a->setReadOnly(true);
    CError e = a->addChild(std::make_unique<CObject>());
    EXPECT_EQ(e.message().utf8(), "Error adding child to read-only object.");
    EXPECT_EQ(a->childCount(), 1u);

    auto first = CreatorRegistry::findCreator("test:counter");
    e = CreatorRegistry::registerCreator("test:counter", [] { return new CObject(); }, nullptr);
    EXPECT_EQ(e.message().utf8(), "Creator for 'test:counter' has already been registered.");
    EXPECT_EQ(CreatorRegistry::findCreator("test:counter"), first);
    // An unregistered tag still yields a plain object carrying the tag.
    auto plain = createObject("nobody:knows");
    EXPECT_EQ(typeid(*plain), typeid(CObject));
    EXPECT_EQ(plain->tag().utf8(), "nobody:knows");
}

TEST_F(TreeFixture, SharedObjectAndRootContexts) {
    CApplication* app = CApplication::instance();
    EXPECT_EQ(app->initSharedObject("").message().utf8(), "Shared object already exists.");
    EXPECT_EQ(CApplication::sharedObject()->findChild("project"), project);  // first one intact

    std::unique_ptr<CRootObject> r1, r2;
    ASSERT_FALSE(app->initRootObject("", &r1));
    ASSERT_FALSE(app->initRootObject("", &r2));
    EXPECT_EQ(r1->initState(), 3);
    EXPECT_LT(r1->context().id, r2->context().id);
    EXPECT_EQ(app->rootContextCount(), 2u);
    r1.reset();
    EXPECT_EQ(app->rootContextCount(), 1u);
}

std::string g_shownDetails;

TEST(Application, FailingStartLeavesNoApplicationAndShowsTheError) {
    CApplication::StartOptions o;
    o.creators = kRows;
    o.resources = nullptr;
    o.sharedDefinition = "no-such-definition.bin";
    CAppErrorWindow::setDisplay([](const std::string& title, const std::string&, const std::string& details) {
        g_shownDetails = title + "|" + details;
    });
    CError e = CApplication::start(o);
    CAppErrorWindow::setDisplay(nullptr);
    ASSERT_TRUE(e);
    EXPECT_EQ(CApplication::instance(), nullptr);
    EXPECT_EQ(e.message().utf8().substr(0, 42), "Unable to open file 'no-such-definition.bi");
    EXPECT_EQ(g_shownDetails.substr(0, 29), "Kelvane Application Message|U");
    EXPECT_EQ(CAppErrorWindow::details(CError()), "<no details>");
}

}  // namespace
