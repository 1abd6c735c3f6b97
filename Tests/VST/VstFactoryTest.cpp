// The plug-in factory: class ids from "plugin-uuid", the factory and class
// information, instance creation and what an instance answers to queries.
#include <gtest/gtest.h>

#include <cstring>

#include "Audio/VST/AudioWrapperVST3.h"
#include "Audio/VST/PluginFactoryVST3.h"
#include "Core/AppErrorWindow.h"
#include "Core/Application.h"
#include "VstTestSupport.h"
#include "pluginterfaces/vst/ivstunits.h"

namespace sb = Steinberg;
namespace sv = Steinberg::Vst;

namespace {

struct ClassIdCase {
    const char* text;
    uint8_t bytes[16];
};

const ClassIdCase kClassIds[] = {
    // GUID layout: the first group and the next two are byte-reversed.
    {"5C2E7A14-93B0-4F6D-A8E1-3D7C0B94F26A",
     {0x14, 0x7A, 0x2E, 0x5C, 0xB0, 0x93, 0x6D, 0x4F, 0xA8, 0xE1, 0x3D, 0x7C, 0x0B, 0x94, 0xF2, 0x6A}},
    {"00112233-4455-6677-8899-aabbccddeeff",
     {0x33, 0x22, 0x11, 0x00, 0x55, 0x44, 0x77, 0x66, 0x88, 0x99, 0xAA, 0xBB, 0xCC, 0xDD, 0xEE, 0xFF}},
    // Only the digit positions count: separators are skipped, a tail is ignored.
    {"00112233x4455y6677z8899_aabbccddeeff}",
     {0x33, 0x22, 0x11, 0x00, 0x55, 0x44, 0x77, 0x66, 0x88, 0x99, 0xAA, 0xBB, 0xCC, 0xDD, 0xEE, 0xFF}},
    // Too short or a non-hexadecimal digit: all zeros.
    {"5C2E7A14-93B0-4F6D-A8E1-3D7C0B94F26", {}},
    {"", {}},
    {"5C2E7A14-93B0-4F6D-A8E1-3D7C0B94F26G", {}},
    {"5C2E7A1 -93B0-4F6D-A8E1-3D7C0B94F26A", {}},
    {"{5C2E7A14-93B0-4F6D-A8E1-3D7C0B94F26A}", {}},  // braces shift the digits
};

TEST(VstClassId, ParsesDigitPositionsInGuidLayout) {
    for (const ClassIdCase& c : kClassIds) {
        sb::TUID id;
        std::memset(id, 0x5A, sizeof id);
        CPluginFactoryVST3::parseClassId(c.text, id);
        EXPECT_EQ(0, std::memcmp(id, c.bytes, 16)) << c.text;
    }
}

class VstFactory : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(vsttest::startApplication()); }
    void TearDown() override { vsttest::finishApplication(); }
};

std::string str16(const sb::char16* s) {
    std::string out;
    for (; *s; ++s) out += char(*s);
    return out;
}

TEST_F(VstFactory, InformationComesFromTheProject) {
    sb::IPluginFactory* f = vst3PluginFactory();
    ASSERT_NE(f, nullptr);
    sb::IPluginFactory3* f3 = nullptr;
    ASSERT_EQ(f->queryInterface(sb::IPluginFactory3::iid, reinterpret_cast<void**>(&f3)), sb::kResultOk);

    sb::PFactoryInfo fi;
    ASSERT_EQ(f->getFactoryInfo(&fi), sb::kResultOk);
    EXPECT_STREQ(fi.vendor, "Kelvane");
    EXPECT_STREQ(fi.url, "https://www.kelvane.example/");
    EXPECT_STREQ(fi.email, "support@kelvane.example");
    EXPECT_EQ(fi.flags, 16);
    EXPECT_EQ(f->countClasses(), 1);

    sb::PClassInfo2 ci;
    ASSERT_EQ(f3->getClassInfo2(0, &ci), sb::kResultOk);
    EXPECT_EQ(ci.cardinality, 0x7FFFFFFF);
    EXPECT_STREQ(ci.category, "Audio Module Class");
    EXPECT_STREQ(ci.name, "Tamblor");
    EXPECT_EQ(ci.classFlags, 0u);
    EXPECT_STREQ(ci.subCategories, "Fx|Mastering");
    EXPECT_STREQ(ci.vendor, "");
    EXPECT_STREQ(ci.version, "4.9");
    EXPECT_STREQ(ci.sdkVersion, "VST 3.5.1");
    const uint8_t expected[16] = {0x14, 0x7A, 0x2E, 0x5C, 0xB0, 0x93, 0x6D, 0x4F,
                                  0xA8, 0xE1, 0x3D, 0x7C, 0x0B, 0x94, 0xF2, 0x6A};
    CObject* project = CApplication::sharedObject()->findChild("project");
    if (project->attr("plugin-uuid") == "5C2E7A14-93B0-4F6D-A8E1-3D7C0B94F26A") {
        EXPECT_EQ(0, std::memcmp(ci.cid, expected, 16));
    }

    sb::PClassInfoW cw;
    ASSERT_EQ(f3->getClassInfoUnicode(0, &cw), sb::kResultOk);
    EXPECT_EQ(0, std::memcmp(cw.cid, ci.cid, 16));
    EXPECT_EQ(str16(cw.name), "Tamblor");
    EXPECT_EQ(str16(cw.version), "4.9");
    EXPECT_EQ(str16(cw.sdkVersion), "VST 3.5.1");
    EXPECT_STREQ(cw.subCategories, "Fx|Mastering");

    sb::PClassInfo c1;
    EXPECT_EQ(f->getClassInfo(1, &c1), sb::kInvalidArgument);

    // Instances only for our class id.
    void* obj = nullptr;
    sb::TUID wrong = {};
    EXPECT_NE(f->createInstance(wrong, sv::IComponent::iid, &obj), sb::kResultOk);
    EXPECT_EQ(obj, nullptr);
    ASSERT_EQ(f->createInstance(ci.cid, sv::IComponent::iid, &obj), sb::kResultOk);
    auto* component = static_cast<sv::IComponent*>(obj);
    EXPECT_EQ(component->initialize(nullptr), sb::kResultOk);
    EXPECT_EQ(component->terminate(), sb::kResultOk);
    EXPECT_EQ(component->release(), 0u);

    f3->release();
    f->release();
}

TEST_F(VstFactory, NoFactoryWithoutApplication) {
    vsttest::finishApplication();
    EXPECT_EQ(vst3PluginFactory(), nullptr);
    ASSERT_TRUE(vsttest::startApplication());
}

TEST_F(VstFactory, InstanceAnswersItsClassChainAndInterfaces) {
    vsttest::CInstance inst;
    ASSERT_TRUE(inst.initialized());
    CAudioWrapperVST3* p = inst.get();
    EXPECT_STREQ(p->isA(), "CAudioWrapperVST3");
    for (const char* name : {"CAudioWrapperVST3", "SingleComponentEffect", "EditController", "ComponentBase", "FObject"})
        EXPECT_TRUE(p->isTypeOf(name)) << name;
    EXPECT_FALSE(p->isTypeOf("EditControllerEx1"));
    EXPECT_FALSE(p->isA("SingleComponentEffect"));  // exact class only

    const sb::FUID* iids[] = {&sv::IComponent::iid,         &sv::IAudioProcessor::iid,
                              &sv::IEditController::iid,    &sv::IEditController2::iid,
                              &sv::IUnitInfo::iid,          &sv::IProcessContextRequirements::iid,
                              &sv::IConnectionPoint::iid,   &sb::IPluginBase::iid,
                              &sb::FUnknown::iid};
    for (const sb::FUID* iid : iids) {
        sb::FUnknown* u = nullptr;
        ASSERT_EQ(p->queryInterface(iid->toTUID(), reinterpret_cast<void**>(&u)), sb::kResultOk);
        u->release();
    }
    sb::FUnknown* none = nullptr;
    EXPECT_EQ(p->queryInterface(sv::IMidiMapping::iid, reinterpret_cast<void**>(&none)), sb::kNoInterface);
}

TEST_F(VstFactory, InitializeFailsWithoutApplication) {
    vsttest::finishApplication();
    CAppErrorWindow::enableMessages(false);
    auto* p = new CAudioWrapperVST3();
    EXPECT_EQ(p->initialize(nullptr), sb::kResultFalse);
    p->release();
    CAppErrorWindow::enableMessages(true);
    ASSERT_TRUE(vsttest::startApplication());
}

}  // namespace
