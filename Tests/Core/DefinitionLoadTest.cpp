#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <typeinfo>
#include <vector>

#include "Core/Application.h"
#include "Core/Log.h"
#include "Core/Object.h"
#include "Core/XMLData.h"
#include "Tools/DefCompiler/DefCompiler.h"

namespace {

// A registered class, to see which creator a node went through.
class CProbe : public CObject {
public:
    int inits = 0;
    CError init() override {
        ++inits;
        return CObject::init();
    }
};

const CreatorRow kLoadRows[] = {
    {"core:object", [] { return new CObject(); }, &CObject::registerEvents},
    {"test:probe", [] { return static_cast<CObject*>(new CProbe()); }, &CObject::registerEvents},
};

std::vector<uint8_t> compileDoc(const std::string& xml) {
    std::vector<uint8_t> out;
    std::string err;
    EXPECT_TRUE(CDefCompiler::compileXml(xml, "test.xml", &out, &err)) << err;
    return out;
}

// A resource datum: u32 little-endian length, then the bytes.
std::vector<uint8_t> datum(const std::vector<uint8_t>& bytes) {
    const uint32_t n = uint32_t(bytes.size());
    std::vector<uint8_t> d = {uint8_t(n), uint8_t(n >> 8), uint8_t(n >> 16), uint8_t(n >> 24)};
    d.insert(d.end(), bytes.begin(), bytes.end());
    return d;
}

std::vector<std::string> g_log;

struct DefinitionLoad : ::testing::Test {
    void SetUp() override {
        g_log.clear();
        kelSetLogSink([](std::string_view line) { g_log.emplace_back(line); });
        embedded = datum(compileDoc("<definitions><core:object name='from-table'/></definitions>"));
        table[0] = {embedded.data(), "in-table.def"};
        CApplication::StartOptions o;
        o.creators = kLoadRows;
        o.resources = table;
        o.sharedDefinition = nullptr;
        ASSERT_FALSE(CApplication::start(o));
        root = std::make_unique<CObject>();
    }
    void TearDown() override {
        root.reset();
        CApplication::finish();
        kelSetLogSink({});
    }
    CError load(const std::vector<uint8_t>& doc) { return kelLoadCompiledDefinition(root.get(), doc); }
    size_t logCount(const std::string& text) const {
        size_t n = 0;
        for (const auto& l : g_log) n += l.find(text) != std::string::npos;
        return n;
    }

    std::vector<uint8_t> embedded;
    KelResourceRow table[2] = {{nullptr, nullptr}, {nullptr, nullptr}};
    std::unique_ptr<CObject> root;
};

// The loaded objects against the compiler's tree (templates are not created).
void expectSameTree(const CDefNode& def, const CObject& obj) {
    SCOPED_TRACE("object '" + obj.fullName().utf8() + "'");
    EXPECT_EQ(obj.tag().utf8(), def.tag);
    EXPECT_EQ(obj.name().utf8(), def.name);
    const auto attrs = obj.attributes();
    ASSERT_EQ(attrs.size(), def.attrs.size());
    for (size_t i = 0; i < attrs.size(); ++i) {
        EXPECT_EQ(attrs[i].name.utf8(), def.attrs[i].first);
        EXPECT_EQ(attrs[i].value.utf8(), def.attrs[i].second);
    }
    std::vector<const CDefNode*> objects;
    for (const CDefNode& c : def.children)
        if (!c.isTemplate) objects.push_back(&c);
    ASSERT_EQ(obj.childCount(), objects.size());
    for (size_t i = 0; i < objects.size(); ++i) expectSameTree(*objects[i], *obj.child(i));
}

TEST_F(DefinitionLoad, CompiledTreeLoadsAsWritten) {
    const std::string xml = R"(<definitions>
      <core:object name="whatsnew" version="4.9" date="2024-04-16">
        <core:object name="p">First &amp; "quoted" text</core:object>
      </core:object>
      <core:object name="whatsnew" version="4.8" date="">
        <core:object name="p">Caf&#233; &#8364;</core:object>
      </core:object>
      <template name="row" base-tag="test:probe"><test:probe kind="row" z="" a="1"/></template>
      <core:object name="project" z-last="z" a-first="a" m-middle="&#x6F22;">
        <row name="r1" a="2"><core:object name="leaf"/></row>
        <test:probe/>
      </core:object>
    </definitions>)";
    CDefNode expected;
    std::string err;
    ASSERT_TRUE(CDefCompiler::parseXml(xml, "test.xml", &expected, &err)) << err;
    ASSERT_FALSE(load(compileDoc(xml)));
    expectSameTree(expected, *root);  // the target object stands for the root node
    // Creation went through the registry and the init phases ran.
    auto* r1 = dynamic_cast<CProbe*>(root->findObject("project.r1"));
    ASSERT_NE(r1, nullptr);
    EXPECT_EQ(r1->inits, 1);
    EXPECT_EQ(r1->initState(), 3);
}

TEST_F(DefinitionLoad, TemplateIsRecordedAndInstantiatedOnRequest) {
    const std::string xml = R"(<definitions>
      <core:object name="before"/>
      <template name="gadget" base-tag="test:probe">
        <core:object name="body" a="1" b="">
          <core:object name="inner" c="3"/>
          <template name="nested"><core:object name="n"/></template>
        </core:object>
      </template>
      <core:object name="after" z="9"/>
    </definitions>)";
    CSharedObject* shared = CApplication::sharedObject();
    ASSERT_FALSE(kelLoadCompiledDefinition(shared, compileDoc(xml)));
    // Nothing is created for the template and the next sibling starts right after its body.
    ASSERT_EQ(shared->childCount(), 2u);
    EXPECT_EQ(shared->child(1)->name().utf8(), "after");
    EXPECT_EQ(shared->child(1)->attr("z").utf8(), "9");
    const CRunTimeTemplate* t = shared->findTemplate("gadget");
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(t->baseTag.utf8(), "test:probe");
    EXPECT_EQ(shared->findTemplate("nested"), nullptr);  // recorded only when the body is read

    CObject* made = nullptr;
    ASSERT_FALSE(root->createChild("gadget", "inst", &made));
    auto* probe = dynamic_cast<CProbe*>(made);
    ASSERT_NE(probe, nullptr);
    EXPECT_EQ(probe->tag().utf8(), "test:probe");
    EXPECT_EQ(probe->name().utf8(), "inst");
    EXPECT_EQ(probe->parent(), root.get());
    EXPECT_EQ(probe->attr("a").utf8(), "1");
    EXPECT_TRUE(probe->hasAttr("b"));
    EXPECT_EQ(root->findObject("inst.inner")->attr("c").utf8(), "3");
    EXPECT_EQ(probe->inits, 1);
    EXPECT_EQ(probe->initState(), 3);
    EXPECT_NE(shared->findTemplate("nested"), nullptr);

    CError e = root->createChild("gizmo", "x");
    EXPECT_EQ(e.message().utf8(), "Run-time template 'gizmo' does not exist.");
    EXPECT_EQ(root->childCount(), 1u);
}

TEST_F(DefinitionLoad, ContentTextIsStoredExactly) {
    ASSERT_FALSE(load(compileDoc(
        "<definitions>"
        "<core:object name='wide'>He said \"l\xC3\xA0\" \xE2\x80\x94 'ok' \xE6\xBC\xA2 \xF0\x9F\x8E\xB5</core:object>"
        "<core:object name='narrow'>Gr\xC3\xB6\xC3\x9F" "e \"&lt;x&gt;\"</core:object>"
        "</definitions>")));
    const CObject* wide = root->findObject("wide.content");
    ASSERT_NE(wide, nullptr);
    EXPECT_EQ(wide->tag().utf8(), "content");
    const CString value = wide->attr("value");
    EXPECT_TRUE(value.isWide());
    EXPECT_EQ(value.utf8(), "He said \"l\xC3\xA0\" \xE2\x80\x94 'ok' \xE6\xBC\xA2 \xF0\x9F\x8E\xB5");
    const CString narrow = root->findObject("narrow.content")->attr("value");
    EXPECT_FALSE(narrow.isWide());
    EXPECT_EQ(narrow.utf8(), "Gr\xC3\xB6\xC3\x9F" "e \"<x>\"");
}

TEST_F(DefinitionLoad, EmptyDocumentLoadsIntoNoObjects) {
    EXPECT_FALSE(load(compileDoc("<definitions/>")));
    EXPECT_EQ(root->childCount(), 0u);
}

TEST_F(DefinitionLoad, UnregisteredTagBecomesPlainObjectAndIsLogged) {
    ASSERT_FALSE(load(compileDoc(
        "<definitions><vendor:gizmo name='g' size='3'/>"
        "<core:object name='p'>text</core:object>"
        "<template name='t'><other:thing/></template></definitions>")));
    CObject* g = root->findObject("g");
    ASSERT_NE(g, nullptr);
    EXPECT_EQ(typeid(*g), typeid(CObject));
    EXPECT_EQ(g->tag().utf8(), "vendor:gizmo");
    EXPECT_EQ(g->attrInt("size"), 3);
    EXPECT_EQ(logCount("Creating CObject 'g' (tag 'vendor:gizmo')"), 1u);
    // Neither text nor templates are announced; the registered tag is not either.
    EXPECT_EQ(logCount("Creating CObject"), 1u);
}

struct Corruption {
    const char* what;
    void (*mutate)(std::vector<uint8_t>& doc, size_t nodeStart);
    const char* message;  // start of the expected message
};

void put16(std::vector<uint8_t>& d, size_t pos, uint16_t v) {
    d[pos] = uint8_t(v);
    d[pos + 1] = uint8_t(v >> 8);
}
void put32(std::vector<uint8_t>& d, size_t pos, uint32_t v) {
    for (int i = 0; i < 4; ++i) d[pos + size_t(i)] = uint8_t(v >> (8 * i));
}

TEST_F(DefinitionLoad, MalformedDocumentsFailWithoutHarm) {
    // Top level: "first" (2 attributes, 1 content child), then a template.
    const std::vector<uint8_t> good = compileDoc(
        "<definitions><core:object name='first' a='1' b='2'>words</core:object>"
        "<template name='t' base-tag='test:probe'><core:object x='1'/></template></definitions>");
    ASSERT_FALSE(load(good));
    const size_t nodeStart = 8 + size_t(good[4]) + size_t(good[5]) * 256;
    const size_t first = nodeStart + 9;  // the first top-level node, after the root's 9 bytes

    const Corruption cases[] = {
        {"string index out of range", [](auto& d, size_t s) { put16(d, s + 9 + 2, uint16_t(d[0])); },
         "Invalid string index"},
        {"node kind", [](auto& d, size_t s) { d[s + 9 + 4] = 7; }, "Invalid node kind 7."},
        {"root kind", [](auto& d, size_t s) { d[s + 4] = 1; }, "Invalid node kind 1."},
        {"trailing bytes", [](auto& d, size_t) { d.push_back(0); }, "Unexpected data after the root node (1 bytes)."},
        {"string offset past the block", [](auto& d, size_t) { put32(d, 12, uint32_t(d[4])); },
         "Invalid string block"},
        {"offset table larger than the block", [](auto& d, size_t) { put32(d, 0, 0x10000); }, "Invalid string block"},
        {"string block past the end", [](auto& d, size_t) { put32(d, 4, 0x7FFFFFF0); },
         "Premature end of memory resource while reading"},
        // The template is last: its body (13 bytes) is preceded by the size field.
        {"template body past the end", [](auto& d, size_t) { put32(d, d.size() - 13 - 4, 0x1000); },
         "Premature end of memory resource while reading"},
    };
    for (const Corruption& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<uint8_t> doc = good;
        c.mutate(doc, nodeStart);
        root = std::make_unique<CObject>();
        CError e = load(doc);
        ASSERT_TRUE(e);
        EXPECT_EQ(e.message().utf8().rfind(c.message, 0), 0u) << e.message().utf8();
        EXPECT_GE(e.lines().size(), 2u);  // the message, then location lines
    }

    // Every truncation fails; objects created before the failure stay attached.
    for (size_t len = 0; len < good.size(); ++len) {
        root = std::make_unique<CObject>();
        EXPECT_TRUE(kelLoadCompiledDefinition(root.get(), std::span(good.data(), len))) << len;
        EXPECT_EQ(root->childCount(), len >= first + 5 ? 1u : 0u) << len;
    }
    // Any single damaged byte is either accepted or reported, never a crash.
    for (size_t i = 0; i < good.size(); ++i) {
        std::vector<uint8_t> doc = good;
        doc[i] ^= 0xFF;
        root = std::make_unique<CObject>();
        (void)load(doc);
    }
}

TEST_F(DefinitionLoad, NamesOutsideTheTableFallThroughToFiles) {
    ASSERT_FALSE(root->loadXMLData("in-table.def"));
    EXPECT_NE(root->findObject("from-table"), nullptr);
    EXPECT_EQ(logCount("loadXMLData \"in-table.def\" init time: "), 1u);

    const auto path =
        std::filesystem::temp_directory_path() / ("tamblor-def-" + std::to_string(std::random_device{}()) + ".def");
    {
        const auto bytes = compileDoc("<definitions><core:object name='from-file'/></definitions>");
        std::ofstream out(path, std::ios::binary);
        out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    }
    CError fromFile = root->loadXMLData(CString(path.string()));
    std::filesystem::remove(path);
    ASSERT_FALSE(fromFile) << fromFile.text();
    EXPECT_NE(root->findObject("from-file"), nullptr);

    CError missing = root->loadXMLData("mode-presets");
    EXPECT_EQ(missing.message().utf8().rfind("Unable to open file 'mode-presets' for reading", 0), 0u)
        << missing.message().utf8();
}

}  // namespace
