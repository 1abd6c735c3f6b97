// Host parameters, the program parameter, unit information and the state
// chunk.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "Audio/Params/AudioParamChangeSet.h"
#include "Audio/Params/AudioParamCollector.h"
#include "Audio/VST/AudioWrapperVST3Parameter.h"
#include "VstTestSupport.h"
#include "public.sdk/source/common/memorystream.h"

namespace sb = Steinberg;
namespace sv = Steinberg::Vst;

namespace {

std::string utf8(const sv::TChar* s) { return vst3String(s).utf8(); }

TEST(VstParameters, RecordsFromHostParameterInfo) {
    struct Case {
        const char* name;
        bool bypass;
    };
    const Case cases[] = {{"Bypass", true}, {"InGain", false}, {"bypass", false}, {"Bypass ", false}, {"", false}};
    for (const Case& c : cases) {
        CHostParamInfo hi;
        hi.name = c.name;
        hi.units = "dB";
        hi.defaultNormalized = 0.25;
        hi.stepCount = 5;  // the host sees continuous parameters regardless
        const sv::ParameterInfo p = CAudioWrapperVST3Parameter::makeInfo(17, hi);
        EXPECT_EQ(p.id, 17u) << c.name;
        EXPECT_EQ(utf8(p.title), c.name);
        EXPECT_EQ(utf8(p.shortTitle), "");
        EXPECT_EQ(utf8(p.units), "dB");
        EXPECT_DOUBLE_EQ(p.defaultNormalizedValue, 0.25);
        EXPECT_EQ(p.unitId, 0);
        EXPECT_EQ(p.flags, c.bypass ? 0x10001 : 0x1) << c.name;
        EXPECT_EQ(p.stepCount, c.bypass ? 1 : 0) << c.name;
    }
    // Titles longer than the host's field are cut, never overrun.
    CHostParamInfo longName;
    longName.name = std::string(300, 'x');
    const sv::ParameterInfo p = CAudioWrapperVST3Parameter::makeInfo(0, longName);
    EXPECT_EQ(utf8(p.title).size(), 127u);
}

TEST(VstParameters, ProgramMappingsDivideByCountMinusOne) {
    using P = CAudioWrapperVST3ProgramParameter;
    struct Case {
        int count;
        double normalized;
        int program;
    };
    const Case cases[] = {
        {5, 0.0, 0}, {5, 0.25, 1}, {5, 0.5, 2}, {5, 1.0, 4}, {5, 0.12, 0}, {5, 0.13, 1},  // round to nearest
        {2, 0.49, 0}, {2, 0.5, 1}, {2, 1.0, 1}, {3, 1.7, 2}, {3, -0.3, 0},              // out of range clamps
        {1, 0.0, 0}, {1, 1.0, 0}, {0, 0.5, 0},                                          // a single program
    };
    for (const Case& c : cases) EXPECT_EQ(P::programAt(c.count, c.normalized), c.program) << c.count << " " << c.normalized;
    EXPECT_DOUBLE_EQ(P::indexToNormalized(5, 3), 0.75);
    EXPECT_DOUBLE_EQ(P::normalizedToIndex(5, 0.75), 3.0);
    EXPECT_DOUBLE_EQ(P::indexToNormalized(1, 0), 0.0);
    EXPECT_DOUBLE_EQ(P::normalizedToIndex(1, 1.0), 0.0);
    for (int count : {2, 3, 7, 128})
        for (int i = 0; i < count; ++i) EXPECT_EQ(P::programAt(count, P::indexToNormalized(count, i)), i);
}

class VstInstance : public vsttest::CInstanceTest {
protected:
    std::vector<double> values() {
        std::vector<double> v;
        for (int i = 0; i < p->getParameterCount(); ++i) {
            sv::ParameterInfo info{};
            p->getParameterInfo(i, info);
            v.push_back(p->getParamNormalized(info.id));
        }
        return v;
    }
};

TEST_F(VstInstance, ParametersMirrorTheCoreAndEndWithTheProgramAndRouting) {
    const int hostCount = p->hostParamCount();
    ASSERT_EQ(p->getParameterCount(), hostCount + 2);
    int bypassCount = 0;
    for (int i = 0; i < hostCount; ++i) {
        sv::ParameterInfo info{};
        ASSERT_EQ(p->getParameterInfo(i, info), sb::kResultTrue);
        const CHostParamInfo hi = p->hostParamInfo(i);
        EXPECT_EQ(info.id, sv::ParamID(i));
        EXPECT_EQ(vst3String(info.title), hi.name);
        EXPECT_EQ((info.flags & sv::ParameterInfo::kIsBypass) != 0, hi.name == "Bypass");
        bypassCount += (info.flags & sv::ParameterInfo::kIsBypass) != 0;
        EXPECT_DOUBLE_EQ(p->getParamNormalized(info.id), p->hostParamNormalized(i));
    }
    EXPECT_LE(bypassCount, 1);

    sv::ParameterInfo prog{};
    ASSERT_EQ(p->getParameterInfo(hostCount, prog), sb::kResultTrue);
    EXPECT_EQ(prog.id, 999u);
    EXPECT_EQ(utf8(prog.title), "Program");
    EXPECT_EQ(prog.flags, 0x8008);
    EXPECT_EQ(prog.unitId, 0);
    const int programs = p->programCount();
    EXPECT_EQ(prog.stepCount, std::max(programs - 1, 0));
    EXPECT_DOUBLE_EQ(prog.defaultNormalizedValue, 0.0);
    EXPECT_DOUBLE_EQ(p->getParamNormalized(999),
                     CAudioWrapperVST3ProgramParameter::indexToNormalized(programs, p->currentProgram()));
    sv::String128 text;
    ASSERT_EQ(p->getParamStringByValue(999, 0.0, text), sb::kResultTrue);
    EXPECT_EQ(vst3String(text), p->programName(0));
    sv::ParamValue v = -1.0;
    EXPECT_EQ(p->getParamValueByString(999, text, v), sb::kResultTrue);
    EXPECT_DOUBLE_EQ(v, 0.0);

    sv::ParameterInfo routing{};
    ASSERT_EQ(p->getParameterInfo(hostCount + 1, routing), sb::kResultTrue);
    EXPECT_EQ(routing.id, 998u);
    EXPECT_EQ(utf8(routing.title), "Routing");
    EXPECT_EQ(routing.flags, 0x8008);
    EXPECT_EQ(routing.unitId, 1);
    EXPECT_EQ(routing.stepCount, p->routingPresetCount());  // the presets and "Custom"

    EXPECT_EQ(p->getParameterInfo(hostCount + 2, prog), sb::kInvalidArgument);
    EXPECT_EQ(p->getParameterInfo(-1, prog), sb::kInvalidArgument);
}

// The routing presets are a program list of their own: choosing one routes
// the instance, and a routing no preset gives reads "Custom".
TEST_F(VstInstance, RoutingIsAProgramListTheHostCanChoose) {
    const int presets = p->routingPresetCount();
    ASSERT_GT(presets, 2);
    EXPECT_EQ(p->currentRoutingPreset(), 0);
    sv::String128 text;
    ASSERT_EQ(p->getParamStringByValue(998, p->getParamNormalized(998), text), sb::kResultTrue);
    EXPECT_EQ(utf8(text), "Default Stereo");

    vst3CopyString("5.1 Surround (Multi)", text, 128);
    sv::ParamValue v = -1.0;
    ASSERT_EQ(p->getParamValueByString(998, text, v), sb::kResultTrue);
    ASSERT_EQ(p->setParamNormalized(998, v), sb::kResultTrue);
    EXPECT_EQ(p->routingPresetName(p->currentRoutingPreset()).utf8(), "5.1 Surround (Multi)");

    // "Custom" changes nothing; a routing of its own reads "Custom".
    ASSERT_EQ(p->setParamNormalized(998, 1.0), sb::kResultTrue);
    EXPECT_EQ(p->routingPresetName(p->currentRoutingPreset()).utf8(), "5.1 Surround (Multi)");
    auto* collector = dynamic_cast<CAudioParamCollector*>(p->instanceRoot()->findObject("plugin.param-collector"));
    ASSERT_NE(collector, nullptr);
    CAudioParam* in = collector->findParam("plugin.modMain.io-params.in-routing");
    ASSERT_NE(in, nullptr);
    ASSERT_TRUE(kelMainParamWrite(*in, 0, 0, 0, 2.0));
    EXPECT_EQ(p->currentRoutingPreset(), -1);
}

TEST_F(VstInstance, UnitAndProgramListInformation) {
    EXPECT_EQ(p->getUnitCount(), 2);
    sv::UnitInfo unit{};
    ASSERT_EQ(p->getUnitInfo(0, unit), sb::kResultTrue);
    EXPECT_EQ(unit.id, 0);
    EXPECT_EQ(unit.parentUnitId, -1);
    EXPECT_EQ(utf8(unit.name), "Root");
    EXPECT_EQ(unit.programListId, 999);
    ASSERT_EQ(p->getUnitInfo(1, unit), sb::kResultTrue);
    EXPECT_EQ(unit.id, 1);
    EXPECT_EQ(unit.parentUnitId, 0);
    EXPECT_EQ(utf8(unit.name), "Routing");
    EXPECT_EQ(unit.programListId, 998);
    EXPECT_EQ(p->getUnitInfo(2, unit), sb::kResultFalse);
    EXPECT_EQ(p->getUnitInfo(-1, unit), sb::kResultFalse);

    EXPECT_EQ(p->getProgramListCount(), 2);
    sv::ProgramListInfo list{};
    ASSERT_EQ(p->getProgramListInfo(0, list), sb::kResultTrue);
    EXPECT_EQ(list.id, 999);
    EXPECT_EQ(utf8(list.name), "Programs");
    EXPECT_EQ(list.programCount, p->programCount());
    ASSERT_EQ(p->getProgramListInfo(1, list), sb::kResultTrue);
    EXPECT_EQ(list.id, 998);
    EXPECT_EQ(utf8(list.name), "Routing");
    EXPECT_EQ(list.programCount, p->routingPresetCount() + 1);
    EXPECT_EQ(p->getProgramListInfo(2, list), sb::kResultFalse);

    sv::String128 name;
    for (int i = 0; i < p->programCount(); ++i) {
        ASSERT_EQ(p->getProgramName(999, i, name), sb::kResultTrue);
        EXPECT_EQ(vst3String(name), p->programName(i));
    }
    EXPECT_EQ(p->getProgramName(999, p->programCount(), name), sb::kResultFalse);
    ASSERT_EQ(p->getProgramName(998, 0, name), sb::kResultTrue);
    EXPECT_EQ(utf8(name), "Default Stereo");
    ASSERT_EQ(p->getProgramName(998, p->routingPresetCount(), name), sb::kResultTrue);
    EXPECT_EQ(utf8(name), "Custom");
    EXPECT_EQ(p->getProgramName(997, 0, name), sb::kResultFalse);
    EXPECT_EQ(p->getProgramInfo(999, 0, "name", name), sb::kResultFalse);
    EXPECT_EQ(p->hasProgramPitchNames(999, 0), sb::kResultFalse);
    EXPECT_EQ(p->getProgramPitchName(999, 0, 60, name), sb::kResultFalse);
    sv::UnitID u = 5;
    EXPECT_EQ(p->getUnitByBus(sv::kAudio, sv::kInput, 0, 0, u), sb::kResultFalse);
    EXPECT_EQ(p->setUnitProgramData(999, 0, nullptr), sb::kResultFalse);

    EXPECT_EQ(p->selectUnit(2), sb::kResultFalse);
    EXPECT_EQ(p->getSelectedUnit(), 0);
    EXPECT_EQ(p->selectUnit(0), sb::kResultTrue);
}

std::vector<uint8_t> saveChunk(CAudioWrapperVST3* p) {
    sb::MemoryStream s;
    EXPECT_EQ(p->getState(&s), sb::kResultOk);
    sb::int64 size = 0;
    s.tell(&size);
    return std::vector<uint8_t>(s.getData(), s.getData() + size);
}

sb::tresult loadChunk(CAudioWrapperVST3* p, const std::vector<uint8_t>& chunk) {
    sb::MemoryStream s;
    sb::int32 n = 0;
    s.write(const_cast<uint8_t*>(chunk.data()), sb::int32(chunk.size()), &n);
    s.seek(0, sb::IBStream::kIBSeekSet, nullptr);
    return p->setState(&s);
}

uint32_t le32(const uint8_t* b) { return uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24; }

uint32_t adler32(const uint8_t* data, size_t n) {
    uint32_t a = 1, b = 0;
    for (size_t i = 0; i < n; ++i) {
        a = (a + data[i]) % 65521;
        b = (b + a) % 65521;
    }
    return b << 16 | a;
}

TEST_F(VstInstance, StateChunkRoundTripsAndRefusesForeignData) {
    const std::vector<uint8_t> chunk = saveChunk(p);
    ASSERT_GE(chunk.size(), 12u);
    EXPECT_EQ(std::string(chunk.begin(), chunk.begin() + 4), "aprs");
    EXPECT_EQ(le32(&chunk[8]), adler32(&chunk[4], 4));
    const std::vector<double> before = values();

    EXPECT_EQ(loadChunk(p, chunk), sb::kResultOk);
    EXPECT_EQ(values(), before);
    EXPECT_EQ(saveChunk(p), chunk);

    // Another product's chunk (a different id), a damaged header check, a
    // cut-off chunk and an empty stream are all refused, values untouched.
    std::vector<uint8_t> foreign = chunk;
    std::memcpy(foreign.data(), "abnk", 4);
    std::vector<uint8_t> badCrc = chunk;
    badCrc[8] ^= 0x01;
    std::vector<uint8_t> cut(chunk.begin(), chunk.begin() + 6);
    for (const std::vector<uint8_t>* bad : {&foreign, &badCrc, &cut}) {
        EXPECT_EQ(loadChunk(p, *bad), sb::kResultFalse);
        EXPECT_EQ(values(), before);
    }
    EXPECT_EQ(loadChunk(p, {}), sb::kResultFalse);
    EXPECT_EQ(p->setState(nullptr), sb::kInvalidArgument);

    // The controller side carries nothing of its own.
    sb::MemoryStream empty;
    EXPECT_EQ(p->setComponentState(&empty), sb::kResultOk);
}

}  // namespace
