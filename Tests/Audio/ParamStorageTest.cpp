#include <cstring>

#include "Core/MemoryReader.h"
#include "Tests/Audio/ParamFixture.h"

namespace {
// Expected stored-parameter bytes, little-endian.
struct Bytes {
    std::vector<uint8_t> b;
    Bytes& u32(uint32_t v) {
        for (int i = 0; i < 4; ++i) b.push_back(uint8_t(v >> (8 * i)));
        return *this;
    }
    Bytes& f64(double v) {
        uint64_t u;
        std::memcpy(&u, &v, 8);
        for (int i = 0; i < 8; ++i) b.push_back(uint8_t(u >> (8 * i)));
        return *this;
    }
    Bytes& str(const char* s) {
        u32(uint32_t(std::strlen(s)));
        b.insert(b.end(), s, s + std::strlen(s));
        return *this;
    }
};

std::vector<uint8_t> saved(const CAudioParam& p, int group = -1) {
    CByteWriter w;
    EXPECT_TRUE(p.storage().save(w, p.fullName(), group).ok());
    return w.bytes;
}

CError loadInto(CAudioParam& p, const std::vector<uint8_t>& bytes, int group = -1) {
    CMemoryReaderStatic r(bytes.data(), bytes.size());
    return p.storage().load(r, nullptr, group);
}

const Attrs kReal = {{"converter", "shared::audio.paramcvt.real"}, {"min-values", "-10"}, {"max-values", "10"},
                     {"def-values", "5,6,7"}};
}  // namespace

TEST_F(ParamTest, StoredNumericParameterBytes) {
    ASSERT_TRUE(makeDef({{"converter", "shared::audio.paramcvt.time-log"}, {"min-values", "1"}, {"max-values", "300.0"},
                         {"def-values", "10"}, {"is-storable", "true"}})
                    .ok());
    auto p = CAudioParam::create(*def, "audio.modMain.modTamblor.release", 8);
    EXPECT_EQ(p->name().utf8(), "release");
    EXPECT_NEAR(p->value(7, 0), 0.01, 1e-17);
    Bytes want;
    want.str("audio.modMain.modTamblor.release").u32(1).u32(1).u32(0).u32(8);
    for (int g = 0; g < 8; ++g) want.u32(1).f64(p->info().defaultValue(0));
    EXPECT_EQ(saved(*p), want.b);
}

TEST_F(ParamTest, StoredTextParameterBytesAndRoundTrip) {
    ASSERT_TRUE(makeDef({{"data-type", "str"}, {"converter", "shared::audio.paramcvt.text"}, {"def-values", " "},
                         {"is-persistent", "true"}, {"is-single-group", "true"}})
                    .ok());
    auto p = CAudioParam::create(*def, "audio.modMain.instance-name", 8);
    EXPECT_EQ(p->storage().text(3, 0).utf8(), " ");
    p->storage().setText(5, 0, "MASTER BUS");  // single group: lands in group 0
    // Only the item in use is written, numbered from 1.
    Bytes want;
    want.str("audio.modMain.instance-name").u32(1).u32(1).u32(1).u32(1);
    want.u32(1).u32(1).u32(1).str("MASTER BUS");
    want.u32(1).u32(1);
    EXPECT_EQ(saved(*p), want.b);

    auto q = CAudioParam::create(*def, "x", 8);
    ASSERT_TRUE(loadInto(*q, want.b).ok());
    EXPECT_EQ(q->storage().text(0, 0).utf8(), "MASTER BUS");
    EXPECT_EQ(q->valueText(2, 0).utf8(), "MASTER BUS");

    // Many edits do not pile up items.
    for (int i = 0; i < 200; ++i) q->storage().setText(0, 0, CString::number(int64_t(i)));
    EXPECT_LT(q->storage().data().count(), 20u);
    EXPECT_EQ(q->storage().text(0, 0).utf8(), "199");
}

TEST_F(ParamTest, RawAndMultiElementTextRoundTrip) {
    ASSERT_TRUE(makeDef({{"data-type", "string"}, {"converter", "shared::audio.paramcvt.text"},
                         {"def-values", "L,R,IN3,IN4"}, {"is-single-group", "true"}})
                    .ok());
    auto names = CAudioParam::create(*def, "io.names", 8);
    names->storage().setText(0, 2, "Kick");
    auto back = CAudioParam::create(*def, "io.names", 8);
    ASSERT_TRUE(loadInto(*back, saved(*names)).ok());
    EXPECT_EQ(back->storage().text(0, 2).utf8(), "Kick");
    EXPECT_EQ(back->storage().text(0, 1).utf8(), "R");
    EXPECT_EQ(back->storage().text(0, 9).utf8(), "L");  // beyond the defaults: the first

    ASSERT_TRUE(makeDef({{"data-type", "raw"}, {"converter", "shared::audio.paramcvt.real"}, {"min-values", "0"},
                         {"max-values", "1"}, {"def-values", "0"}})
                    .ok());
    auto raw = CAudioParam::create(*def, "palette", 1);
    EXPECT_TRUE(raw->storage().raw(0, 0).empty());
    const uint8_t bytes[] = {0, 255, 7, 0};
    raw->storage().setRaw(0, 0, bytes);
    auto rawBack = CAudioParam::create(*def, "palette", 1);
    ASSERT_TRUE(loadInto(*rawBack, saved(*raw)).ok());
    ASSERT_EQ(rawBack->storage().raw(0, 0).size(), 4u);
    EXPECT_EQ(std::memcmp(rawBack->storage().raw(0, 0).data(), bytes, 4), 0);
}

TEST_F(ParamTest, LoadFailuresLeaveTheValues) {
    ASSERT_TRUE(makeDef(kReal).ok());
    auto p = CAudioParam::create(*def, "p", 2);
    p->storage().setValue(1, 0, 0, -3.0);
    const std::vector<uint8_t> good = saved(*p);

    ASSERT_TRUE(makeDef({{"data-type", "str"}, {"converter", "shared::audio.paramcvt.text"}, {"def-values", "a"}}).ok());
    auto text = CAudioParam::create(*def, "t", 1);
    EXPECT_FALSE(text->storage().assign(p->storage()));  // another kind of data

    struct Case {
        CAudioParam* target;
        std::vector<uint8_t> bytes;
        const char* message;  // nullptr: a stream error
    };
    std::vector<uint8_t> version = good, truncated(good.begin(), good.end() - 3);
    version[4 + 1] = 2;  // after the 1-character name
    std::vector<Case> cases = {
        {p.get(), version, "Unsupported data set version 2."},
        {text.get(), good, "Unsupported storage format (esize=1, dtype=0; should be: esize=1, dtype=1)."},
        {p.get(), truncated, nullptr},
    };
    for (Case& k : cases) {
        p->storage().setValue(1, 0, 0, 4.0);
        CError e = loadInto(*k.target, k.bytes);
        ASSERT_TRUE(e);
        if (k.message) {
            EXPECT_EQ(e.message().utf8(), k.message);
        }
        EXPECT_EQ(p->value(1, 0), 4.0);
        EXPECT_EQ(text->storage().text(0, 0).utf8(), "a");
    }
}

// Missing groups and elements read the defaults; beyond the defaults the
// first default, never the last.
TEST_F(ParamTest, LookupRuleOverLoadedData) {
    Bytes rec;
    rec.str("p").u32(1).u32(1).u32(0).u32(2);
    rec.u32(3).f64(1).f64(2).f64(3);
    rec.u32(1).f64(9);
    struct Case {
        const char* flag;
        uint32_t g, e;
        double want;
    } cases[] = {
        {nullptr, 0, 2, 3}, {nullptr, 1, 0, 9}, {nullptr, 1, 1, 6}, {nullptr, 1, 2, 7}, {nullptr, 1, 4, 5},
        {nullptr, 6, 0, 5}, {nullptr, 6, 1, 6}, {"is-single-group", 1, 0, 1}, {"is-single-group", 5, 1, 2},
        {"is-single-element", 0, 2, 1},      {"is-single-element", 1, 3, 9},
    };
    for (const Case& k : cases) {
        std::vector<std::pair<const char*, const char*>> attrs(kReal.begin(), kReal.end());
        ASSERT_TRUE(k.flag ? makeDef({attrs[0], attrs[1], attrs[2], attrs[3], {k.flag, "true"}}).ok()
                           : makeDef(kReal).ok());
        auto p = CAudioParam::create(*def, "p", 8);
        ASSERT_TRUE(loadInto(*p, rec.b).ok());
        EXPECT_EQ(p->storage().groupCount(), 2u);
        EXPECT_EQ(p->value(k.g, k.e), k.want) << (k.flag ? k.flag : "") << " g=" << k.g << " e=" << k.e;
    }
}

TEST_F(ParamTest, WritesShapesAndChangeCounter) {
    ASSERT_TRUE(makeDef(kReal).ok());
    auto p = CAudioParam::create(*def, "p", 2);
    CAudioParamStorage& s = p->storage();
    uint32_t n = p->changeCount();
    EXPECT_TRUE(s.writeValue(1, 2, 0, -1.0));
    EXPECT_EQ(p->changeCount(), n + 1);
    EXPECT_TRUE(s.writeValue(1, 2, 0, -1.0));  // same value: no change
    EXPECT_EQ(p->changeCount(), n + 1);
    EXPECT_FALSE(s.writeValue(3, 0, 0, 1.0));  // not held: refused without growing
    EXPECT_EQ(s.groupCount(), 2u);
    // Growing keeps what was read before in every new slot.
    s.setValue(3, 4, 0, 8.0);
    EXPECT_EQ(s.groupCount(), 4u);
    EXPECT_EQ(s.elementCount(2), 0u);
    EXPECT_EQ(s.value(3, 4), 8.0);
    EXPECT_EQ(s.value(3, 3), 5.0);
    EXPECT_EQ(s.value(3, 1), 6.0);
    EXPECT_EQ(s.value(1, 2), -1.0);
    EXPECT_GT(p->changeCount(), n + 1);

    // A whole matrix is copied in only when the shapes match.
    auto q = CAudioParam::create(*def, "q", 2);
    q->storage().writeValue(0, 1, 0, 0.25);
    auto r = CAudioParam::create(*def, "r", 2);
    const uint32_t before = r->changeCount();
    EXPECT_TRUE(r->storage().copyValuesFrom(q->storage()));
    EXPECT_EQ(r->value(0, 1), 0.25);
    EXPECT_EQ(r->changeCount(), before + 1);
    EXPECT_FALSE(r->storage().copyValuesFrom(s));
    EXPECT_EQ(r->value(0, 1), 0.25);
    EXPECT_TRUE(r->storage().assign(s));
    EXPECT_TRUE(r->storage().sameShape(s));
    EXPECT_EQ(r->value(3, 4), 8.0);
}

TEST_F(ParamTest, SingleGroupSaveAndLoad) {
    ASSERT_TRUE(makeDef(kReal).ok());
    auto a = CAudioParam::create(*def, "p", 8);
    a->storage().setValue(2, 1, 0, -2.0);
    auto b = CAudioParam::create(*def, "p", 8);
    b->storage().setValue(0, 0, 0, 1.5);
    ASSERT_TRUE(loadInto(*b, saved(*a, 2), 5).ok());
    EXPECT_EQ(b->value(5, 1), -2.0);
    EXPECT_EQ(b->value(2, 1), 6.0);
    EXPECT_EQ(b->value(0, 0), 1.5);
    EXPECT_EQ(b->storage().groupCount(), 8u);
}
