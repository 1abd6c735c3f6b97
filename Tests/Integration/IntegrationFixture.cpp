#include "Product/ProductCreators.h"
#include "Tests/Integration/IntegrationFixture.h"

#include <chrono>
#include <cmath>
#include <cstring>
#include <thread>

#include "Audio/Params/AudioParamChangeSet.h"
#include "Audio/Viz/AudioVizData.h"
#include "Core/Application.h"
#include "Core/MemoryReader.h"
#include "Core/MemoryWriter.h"
#include "Core/Resources.h"
#include "Platform/Thread.h"
#include "Tests/Support/PumpDeliveries.h"

namespace integ {

CTestCore* Integration::s_core = nullptr;
std::string Integration::s_setupError;

namespace {
bool productDefinitionsEmbedded() {
    for (const KelResourceRow* r = g_kelResourceTable; r && r->data; ++r)
        if (std::strcmp(r->name, "SharedData.xml") == 0) return true;
    return false;
}
}  // namespace

// --- Audio blocks ----------------------------------------------------------------------------

CStereoBlock::CStereoBlock(int frames, double amplitude, double cyclesPerSample)
    : m_frames(frames),
      m_amplitude(amplitude),
      m_step(2.0 * M_PI * cyclesPerSample),
      m_in(size_t(2 * frames)),
      m_out(size_t(2 * frames)) {
    for (int c = 0; c < 2; ++c) {
        m_inPtr[c] = m_in.data() + size_t(c * frames);
        m_outPtr[c] = m_out.data() + size_t(c * frames);
    }
    m_inBus.channels = m_outBus.channels = 2;
    m_inBus.planar = m_inPtr;
    m_outBus.planar = m_outPtr;
    advance();
}

void CStereoBlock::advance() {
    for (int i = 0; i < m_frames; ++i) {
        const float v = float(m_amplitude * std::sin(m_phase));
        m_in[size_t(i)] = m_in[size_t(m_frames + i)] = v;
        m_phase = std::fmod(m_phase + m_step, 2.0 * M_PI);
    }
}

float CStereoBlock::peakOut() const {
    float peak = 0.0f;
    for (float v : m_out) peak = std::max(peak, std::fabs(v));
    return peak;
}

bool CStereoBlock::outputFinite() const {
    for (float v : m_out)
        if (!std::isfinite(v)) return false;
    return true;
}

// --- Viz data as a client receives it ---------------------------------------------------------

double CVizFrame::channelValue(uint32_t ch, const std::string& field) const {
    for (size_t f = 0; f < channelFields.size(); ++f)
        if (channelFields[f] == field) return values.at(size_t(ch) * channelFields.size() + f);
    ADD_FAILURE() << "no field " << field;
    return 0.0;
}

CVizFrame readVizFrame(const std::vector<uint8_t>& data) {
    CVizFrame out;
    CMemoryReader r(data.data(), data.size());
    uint32_t kind = 0, version = 0, flags = 0, lanes = 0;
    if (r.readU32(&kind) || r.readU32(&version) || r.readU32(&flags)) return out;
    if (kind != uint32_t(EVizKind::Meter) || !(flags & kVizFlagInfo)) return out;
    CAudioVizDataInfo info;
    if (info.load(r) || !info.globalFields.empty() || r.readU32(&lanes) || lanes == 0) return out;
    for (const CString& f : info.channelFields) out.channelFields.push_back(f.utf8());
    uint32_t group = 0, frames = 0;
    uint64_t newest = 0;
    if (r.readU32(&group) || r.readU32(&frames) || r.readU64(&newest) || frames == 0) return out;
    // Frames come oldest first: keep the last.
    for (uint32_t k = 0; k < frames; ++k) {
        if (r.readU32(&out.channels)) return out;
        out.values.assign(size_t(out.channels) * info.channelFields.size(), 0.0);
        for (double& v : out.values)
            if (r.readF64(&v)) return out;
    }
    out.valid = true;
    return out;
}

// --- The instance ----------------------------------------------------------------------------

void Integration::SetUpTestSuite() {
    s_setupError.clear();
    if (!productDefinitionsEmbedded()) {
        s_setupError = "built without the product definitions";
        return;
    }
    if (CError e = CApplication::start(kelProductStartOptions())) {
        s_setupError = "application start: " + e.message().utf8();
        return;
    }
    auto core = std::make_unique<CTestCore>();
    if (CError e = core->init()) {
        s_setupError = "init: " + e.message().utf8();
        return;
    }
    core->setSampleRate(44100.0);
    core->setMaxBlockSize(512);
    core->setIoLayout(2, 0, 2);
    core->startProcessing();
    s_core = core.release();
}

void Integration::TearDownTestSuite() {
    if (s_core) {
        s_core->stopProcessing();
        delete s_core;
        s_core = nullptr;
    }
    CApplication::finish();
}

void Integration::SetUp() {
    if (!s_core && s_setupError == "built without the product definitions") GTEST_SKIP() << s_setupError;
    ASSERT_NE(s_core, nullptr) << s_setupError;
}

void Integration::TearDown() {
    m_editors.clear();  // disconnects from the base
}

CEditor& Integration::openEditor() {
    auto e = std::make_unique<CEditor>();
    e->root = createObject("core:object");
    EXPECT_TRUE(e->root->setAttr("BaseConnectorRootPtr",
                                 CParamInterfaceUniClientConnector::rootPointerText(s_core->instanceRoot()))
                    .ok());
    auto connector = createObject("other:param-interface-client-connector-uni");
    connector->setName("interface-client-connector");
    for (const auto& [k, v] : {std::pair{"base-connector", "plugin.interface-base-connector"},
                               {"timer-tag", "ui:update-timer"},
                               {"fps", "1000"}})
        EXPECT_TRUE(connector->setAttr(k, v).ok());
    e->connector = dynamic_cast<CParamInterfaceUniClientConnector*>(connector.get());
    e->root->attachChild(std::move(connector));
    auto client = createObject("audio:interface-client");
    client->setName("interface-client");
    EXPECT_TRUE(client->setAttr("client-connector", "^interface-client-connector").ok());
    EXPECT_TRUE(client->setAttr("group-names-param", "plugin.modMain.io-params.group-names").ok());
    e->client = dynamic_cast<CAudioInterfaceClient*>(client.get());
    e->root->attachChild(std::move(client));
    const CError err = e->root->initTree();
    EXPECT_TRUE(err.ok()) << err.message().utf8();
    EXPECT_NE(e->connector, nullptr);
    EXPECT_NE(e->client, nullptr);
    m_editors.push_back(std::move(e));
    return *m_editors.back();
}

void Integration::pump() { pumpDeliveries(m_editors, std::chrono::seconds(10)); }

CObject* Integration::object(const char* path) { return s_core->instanceRoot()->findObject(path); }

CAudioParam* Integration::param(const char* fullName) {
    auto* collector = dynamic_cast<CAudioParamCollector*>(object("plugin.param-collector"));
    return collector ? collector->findParam(fullName) : nullptr;
}

CAudioParamRegistry& Integration::master() {
    auto* r = dynamic_cast<CAudioParamRegistry*>(object("plugin.param-registry"));
    EXPECT_NE(r, nullptr);
    return *r;
}

double Integration::value(const char* fullName, uint32_t g, uint32_t e) {
    const CAudioParam* p = param(fullName);
    EXPECT_NE(p, nullptr) << fullName;
    return p ? kelMainParamValue(*p, g, e) : 0.0;
}

std::vector<std::pair<std::string, std::vector<uint8_t>>> Integration::capturedValues() {
    std::vector<std::pair<std::string, std::vector<uint8_t>>> out;
    CAudioParamRegistry& r = master();
    for (size_t i = 0; i < r.paramCount(); ++i) {
        CAudioParam* p = r.param(i);
        if (!p || !r.isCaptured(*p)) continue;
        CMemoryWriter w;
        EXPECT_TRUE(kelMainParamSnapshot(*p).save(w, p->fullName()).ok());
        out.emplace_back(p->fullName().utf8(), w.take());
    }
    return out;
}

void Integration::perturbCapturedValues(double position) {
    CAudioParamRegistry& r = master();
    CAudioParamWrites writes;
    for (size_t i = 0; i < r.paramCount(); ++i) {
        CAudioParam* p = r.param(i);
        if (!p || !r.isCaptured(*p)) continue;
        CAudioParamStorage values = kelMainParamSnapshot(*p);
        const CAudioParamInfo& info = p->info();
        for (uint32_t g = 0; g < values.groupCount(); ++g)
            for (uint32_t e = 0; e < values.elementCount(g); ++e) {
                if (info.dataType() == EAudioParamDataType::Text) {
                    values.setText(g, e, CString("changed ") + CString(std::to_string(i + g + e).c_str()));
                    continue;
                }
                if (info.dataType() != EAudioParamDataType::Numeric) continue;
                for (uint32_t c = 0; c < values.elementSize(); ++c) {
                    const double pos = std::fmod(position + 0.137 * double(i) + 0.071 * e + 0.031 * g, 1.0);
                    values.setValue(g, e, c, info.denormalize(c, pos));
                }
            }
        writes.assign(*p, values);
    }
    auto* collector = dynamic_cast<CAudioParamCollector*>(object("plugin.param-collector"));
    for (CAudioParam* p : writes.commit()) collector->notifyChanged(*p);
}

std::vector<uint8_t> Integration::saveState() {
    CMemoryWriter w;
    const CError e = s_core->saveState(w);
    EXPECT_TRUE(e.ok()) << e.message().utf8();
    return w.take();
}

CError Integration::loadState(const std::vector<uint8_t>& chunk) {
    CMemoryReader r(chunk.data(), chunk.size());
    return s_core->loadState(r);
}

}  // namespace integ
