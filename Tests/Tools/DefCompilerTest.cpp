#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "Core/XMLData.h"
#include "Tools/DefCompiler/DefCompiler.h"

static_assert(kDefMaxDepth == kMaxDefinitionDepth, "the compiler must enforce the loader's nesting limit");

namespace {

uint32_t u32At(const std::vector<uint8_t>& b, size_t pos) {
    return uint32_t(b[pos]) | uint32_t(b[pos + 1]) << 8 | uint32_t(b[pos + 2]) << 16 | uint32_t(b[pos + 3]) << 24;
}

// The string block of a compiled document, decoded.
struct StringBlock {
    std::vector<std::string> byIndex;   // in offset-table order
    std::vector<std::string> poolOrder;  // in pool order
};

StringBlock readStrings(const std::vector<uint8_t>& doc) {
    StringBlock s;
    const uint32_t n = u32At(doc, 0), p = u32At(doc, 4);
    const char* block = reinterpret_cast<const char*>(doc.data() + 8);
    for (uint32_t i = 0; i < n; ++i) s.byIndex.emplace_back(block + u32At(doc, 8 + 4 * i));
    for (size_t off = 4 * n; off < p; off += std::strlen(block + off) + 1) s.poolOrder.emplace_back(block + off);
    return s;
}

std::vector<uint8_t> compile(const std::string& xml) {
    std::vector<uint8_t> out;
    std::string err;
    EXPECT_TRUE(CDefCompiler::compileXml(xml, "test.xml", &out, &err)) << err;
    return out;
}

CDefNode parse(const std::string& xml) {
    CDefNode root;
    std::string err;
    EXPECT_TRUE(CDefCompiler::parseXml(xml, "test.xml", &root, &err)) << err;
    return root;
}

using Attrs = std::vector<std::pair<std::string, std::string>>;

TEST(DefCompiler, EmptyDocumentIsTheSmallestValidForm) {
    const std::vector<uint8_t> expected = {1, 0, 0, 0, 5, 0, 0, 0,  // N = 1, P = 5
                                           4, 0, 0, 0, 0,           // offset of "", then ""
                                           0, 0, 0, 0, 0, 0, 0, 0, 0};  // root: tag, name, kind, A, C
    EXPECT_EQ(compile("<?xml version='1.0'?>\n<!-- nothing -->\n<definitions>\n</definitions>"), expected);
}

TEST(DefCompiler, PoolIsSortedByBytesAndOffsetsFollowFirstUse) {
    const auto doc = compile(
        "<definitions>"
        "  <core:object name='zeta' b='\xC3\xA9t\xC3\xA9' a='Zeta'>"
        "    <core:object name='alpha' a='zeta'/>"
        "  </core:object>"
        "</definitions>");
    const StringBlock s = readStrings(doc);
    const std::vector<std::string> firstUse = {"", "core:object", "zeta", "b", "\xC3\xA9t\xC3\xA9", "a", "Zeta",
                                               "alpha"};
    EXPECT_EQ(s.byIndex, firstUse);
    // Each string once, ascending by unsigned byte value ("Z" < "a" < "z" < 0xC3).
    const std::vector<std::string> pool = {"", "Zeta", "a", "alpha", "b", "core:object", "zeta", "\xC3\xA9t\xC3\xA9"};
    EXPECT_EQ(s.poolOrder, pool);
}

TEST(DefCompiler, TextBecomesContentNodesInDocumentOrder) {
    const CDefNode root = parse(
        "<definitions><core:object name='p'>He said \"Gr&#246;&#223;e\" \xE2\x80\x94 'ok' &amp; \xE6\xBC\xA2\n"
        "<core:object name='x'/>  <![CDATA[<raw>]]> tail</core:object></definitions>");
    ASSERT_EQ(root.children.size(), 1u);
    const CDefNode& p = root.children[0];
    ASSERT_EQ(p.children.size(), 3u);
    EXPECT_EQ(p.children[0].tag, "content");
    EXPECT_EQ(p.children[0].name, "content");
    const std::string text = "He said \"Gr\xC3\xB6\xC3\x9F" "e\" \xE2\x80\x94 'ok' & \xE6\xBC\xA2\n";
    EXPECT_EQ(p.children[0].attrs, (Attrs{{"value", text}}));
    EXPECT_EQ(p.children[1].name, "x");
    // Adjacent character data and CDATA form one text, blanks kept.
    EXPECT_EQ(p.children[2].attrs, (Attrs{{"value", "  <raw> tail"}}));
}

TEST(DefCompiler, TemplatesExpandWhereUsedAfterTheirDefinition) {
    const CDefNode root = parse(R"(<definitions>
      <ui:button name="early"/>
      <template name="ui:button" base-tag="ui:button-base">
        <ui:button-base name="button" width="20" text="" style="plain"><core:object name="face"/></ui:button-base>
      </template>
      <ui:button name="ok" hint="Confirm" text="OK"><core:object name="extra"/></ui:button>
      <ui:button/>
      <template name="ui:button-ok">
        <ui:button name="okbase" style="bold"/>
      </template>
      <ui:button-ok name="yes" width="30"/>
    </definitions>)");
    ASSERT_EQ(root.children.size(), 6u);
    const CDefNode& early = root.children[0];
    EXPECT_EQ(early.tag, "ui:button");  // not yet defined: stays as written
    EXPECT_TRUE(early.attrs.empty());

    const CDefNode& tmpl = root.children[1];
    EXPECT_TRUE(tmpl.isTemplate);
    EXPECT_EQ(tmpl.baseTag, "ui:button-base");
    ASSERT_EQ(tmpl.children.size(), 1u);

    const CDefNode& ok = root.children[2];
    EXPECT_EQ(ok.tag, "ui:button-base");
    EXPECT_EQ(ok.name, "ok");
    EXPECT_EQ(ok.attrs, (Attrs{{"width", "20"}, {"text", "OK"}, {"style", "plain"}, {"hint", "Confirm"}}));
    ASSERT_EQ(ok.children.size(), 2u);
    EXPECT_EQ(ok.children[0].name, "face");
    EXPECT_EQ(ok.children[1].name, "extra");

    const CDefNode& bare = root.children[3];
    EXPECT_EQ(bare.name, "button");
    EXPECT_EQ(bare.attrs, (Attrs{{"width", "20"}, {"text", ""}, {"style", "plain"}}));

    // A template built on another: base tag from the expanded body, overrides stack.
    const CDefNode& chained = root.children[4];
    EXPECT_EQ(chained.baseTag, "ui:button-base");
    const CDefNode& yes = root.children[5];
    EXPECT_EQ(yes.tag, "ui:button-base");
    EXPECT_EQ(yes.name, "yes");
    EXPECT_EQ(yes.attrs, (Attrs{{"width", "30"}, {"text", ""}, {"style", "bold"}}));
    EXPECT_EQ(yes.children.size(), 1u);
}

struct BadXml {
    const char* what;
    std::string xml;
    const char* expected;  // part of the message
};

TEST(DefCompiler, MalformedSourcesFailWithLocatedMessages) {
    std::string deep = "<definitions>";
    for (int i = 0; i < kDefMaxDepth + 1; ++i) deep += "<a>";
    for (int i = 0; i < kDefMaxDepth + 1; ++i) deep += "</a>";
    deep += "</definitions>";
    const BadXml cases[] = {
        {"unclosed element", "<definitions>\n<a>\n</definitions>", "test.xml:3:"},
        {"not xml", "no markup", "test.xml:1:10: error: malformed XML: No document element"},
        {"top-level text", "<definitions>words</definitions>", "text directly inside <definitions>"},
        {"attribute twice", "<definitions><a x='1' x='2'/></definitions>", "'x'"},
        {"unnamed template", "<definitions><template><a/></template></definitions>", "non-empty 'name'"},
        {"empty base tag", "<definitions><template name='t' base-tag=''><a/></template></definitions>",
         "empty 'base-tag'"},
        {"template without body", "<definitions><template name='t'/></definitions>", "has no body element"},
        {"template with two bodies", "<definitions><template name='t'><a/><b/></template></definitions>",
         "more than one body element"},
        {"template text", "<definitions><template name='t'>x<a/></template></definitions>", "text outside its body"},
        {"template redefined",
         "<definitions>\n<template name='t'><a/></template>\n<template name='t'><b/></template></definitions>",
         "test.xml:3:1: error: template 't' is already defined (line 2)"},
        {"too deep", deep, "deeper than 200 levels"},
    };
    for (const BadXml& c : cases) {
        std::vector<uint8_t> out;
        std::string err;
        EXPECT_FALSE(CDefCompiler::compileXml(c.xml, "test.xml", &out, &err)) << c.what;
        EXPECT_NE(err.find(c.expected), std::string::npos) << c.what << ": " << err;
    }
}

TEST(DefCompiler, SixteenBitLimitsAreEnforcedAtTheirBoundaries) {
    // "", "t", "a" and one value per child: exactly 65536 strings fit.
    auto build = [](size_t children) {
        CDefNode root;
        root.children.resize(children);
        for (size_t i = 0; i < children; ++i) {
            root.children[i].tag = "t";
            root.children[i].attrs = {{"a", std::to_string(i)}};
        }
        return root;
    };
    std::vector<uint8_t> out;
    std::string err;
    EXPECT_TRUE(CDefCompiler::writeBinary(build(65533), &out, &err)) << err;
    EXPECT_EQ(u32At(out, 0), 65536u);
    EXPECT_FALSE(CDefCompiler::writeBinary(build(65534), &out, &err));
    EXPECT_NE(err.find("more than 65536 distinct strings"), std::string::npos) << err;

    CDefNode wide;
    wide.children.assign(65536, CDefNode{"t", "", false, "", {}, {}, 0});
    EXPECT_FALSE(CDefCompiler::writeBinary(wide, &out, &err));
    EXPECT_NE(err.find("65536 children (at most 65535)"), std::string::npos) << err;

    CDefNode bad;
    bad.children.resize(1);
    bad.children[0].tag = "t";
    bad.children[0].attrs = {{"v", std::string("a\0b", 3)}};
    EXPECT_FALSE(CDefCompiler::writeBinary(bad, &out, &err));
    EXPECT_NE(err.find("NUL"), std::string::npos) << err;
    bad.children[0].attrs = {{"v", "\xC3("}};
    EXPECT_FALSE(CDefCompiler::writeBinary(bad, &out, &err));
    EXPECT_NE(err.find("not valid UTF-8"), std::string::npos) << err;
}

}  // namespace
