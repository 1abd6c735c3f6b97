#include "Audio/Viz/AudioVizData.h"

#include <algorithm>
#include <bit>
#include <cmath>

#include "Audio/Params/AudioParam.h"

namespace {
// Bounds accepted when loading a description, against corrupt data.
constexpr uint32_t kMaxLoadFields = 256;
constexpr uint32_t kMaxLoadPoints = 1u << 16;

CError writeNames(COutputStream& out, const std::vector<CString>& names) {
    KEL_TRY(out.writeU32(uint32_t(names.size())));
    for (const CString& n : names) KEL_TRY(out.writeString(n));
    return {};
}

CError readNames(CInputStream& in, std::vector<CString>* names) {
    uint32_t count = 0;
    KEL_TRY(in.readU32(&count));
    if (count > kMaxLoadFields)
        return KEL_ERROR(kelstr_CAudioVizDataInfo_load_CountError, CString::number(int64_t(count)));
    names->assign(count, CString());
    for (CString& n : *names) KEL_TRY(in.readString(&n));
    return {};
}
}  // namespace

// --- CAudioVizDataInfo ---------------------------------------------------------------

bool CAudioVizDataInfo::sameLayout(const CAudioVizDataInfo& other) const {
    return kind == other.kind && points == other.points && globalFields == other.globalFields &&
           channelFields == other.channelFields;
}

CError CAudioVizDataInfo::save(COutputStream& out) const {
    KEL_TRY(out.writeString(name));
    KEL_TRY(out.writeU32(uint32_t(kind)));
    KEL_TRY(out.writeF64(fps));
    KEL_TRY(out.writeU32(points));
    KEL_TRY(writeNames(out, globalFields));
    KEL_TRY(writeNames(out, channelFields));
    return {};
}

CError CAudioVizDataInfo::load(CInputStream& in) {
    CAudioVizDataInfo t;
    uint32_t k = 0;
    KEL_TRY(in.readString(&t.name));
    KEL_TRY(in.readU32(&k));
    if (k < uint32_t(EVizKind::Meter) || k > uint32_t(EVizKind::VScope))
        return KEL_ERROR(kelstr_CAudioVizDataInfo_load_KindError, CString::number(int64_t(k)));
    t.kind = EVizKind(k);
    KEL_TRY(in.readF64(&t.fps));
    KEL_TRY(in.readU32(&t.points));
    if (t.points > kMaxLoadPoints)
        return KEL_ERROR(kelstr_CAudioVizDataInfo_load_CountError, CString::number(int64_t(t.points)));
    KEL_TRY(readNames(in, &t.globalFields));
    KEL_TRY(readNames(in, &t.channelFields));
    *this = std::move(t);
    return {};
}

// --- CAudioVizLane ---------------------------------------------------------------------

CAudioVizLane::CAudioVizLane(uint64_t id, int group, uint32_t globalValues, uint32_t valuesPerChannel)
    : m_id(id), m_group(group), m_globals(globalValues), m_perChannel(valuesPerChannel) {
    allocate(0);
}

void CAudioVizLane::allocate(int maxChannels) {
    m_maxChannels = std::max(0, maxChannels);
    m_staging.assign(capacityValues(), 0.0);
    const size_t words = size_t(kRingFrames) * slotWords();
    m_ring.reset(new std::atomic<uint64_t>[words]());
    m_published.store(0, std::memory_order_release);
    m_count = 0;
}

void CAudioVizLane::publish(int channels) {
    channels = std::clamp(channels, 0, m_maxChannels);
    const uint64_t number = m_count + 1;
    std::atomic<uint64_t>* slot = m_ring.get() + size_t(number % kRingFrames) * slotWords();
    slot[0].store(2 * number - 1, std::memory_order_relaxed);
    std::atomic_thread_fence(std::memory_order_release);
    slot[1].store(uint64_t(channels), std::memory_order_relaxed);
    const uint32_t n = frameValues(channels);
    const double* src = m_staging.data();
    for (uint32_t i = 0; i < n; ++i) slot[2 + i].store(std::bit_cast<uint64_t>(src[i]), std::memory_order_relaxed);
    slot[0].store(2 * number, std::memory_order_release);
    m_count = number;
    m_published.store(number, std::memory_order_release);
}

int CAudioVizLane::readFrame(uint64_t number, double* out) const {
    if (number == 0 || number > published()) return -1;
    const std::atomic<uint64_t>* slot = m_ring.get() + size_t(number % kRingFrames) * slotWords();
    const uint64_t before = slot[0].load(std::memory_order_acquire);
    if (before != 2 * number) return -1;
    const uint64_t channels = std::min<uint64_t>(slot[1].load(std::memory_order_relaxed), uint64_t(m_maxChannels));
    const uint32_t n = frameValues(int(channels));
    for (uint32_t i = 0; i < n; ++i) out[i] = std::bit_cast<double>(slot[2 + i].load(std::memory_order_relaxed));
    std::atomic_thread_fence(std::memory_order_acquire);
    if (slot[0].load(std::memory_order_relaxed) != before) return -1;
    return int(channels);
}

// --- CAudioVizData -------------------------------------------------------------------------

CAudioVizData::CAudioVizData(CAudioVizDataInfo info) : m_info(std::move(info)) {}
CAudioVizData::~CAudioVizData() = default;

std::unique_ptr<CAudioVizData> CAudioVizData::create(CAudioVizDataInfo info) {
    switch (info.kind) {
        case EVizKind::RGB: return std::make_unique<CAudioVizDataRGB>(std::move(info));
        case EVizKind::Spectrum: return std::make_unique<CAudioVizDataSpectrum>(std::move(info));
        case EVizKind::VScope: return std::make_unique<CAudioVizDataVScope>(std::move(info));
        case EVizKind::Meter: break;
    }
    return std::make_unique<CAudioVizDataMeter>(std::move(info));
}

uint32_t CAudioVizData::addListeners(uint32_t kind, int delta) {
    if (kind < kListenerKinds) {
        const int64_t k = int64_t(m_perKind[kind].load(std::memory_order_relaxed)) + delta;
        m_perKind[kind].store(uint32_t(std::max<int64_t>(0, k)), std::memory_order_relaxed);
    }
    const int64_t t = int64_t(m_total.load(std::memory_order_relaxed)) + delta;
    m_total.store(uint32_t(std::max<int64_t>(0, t)), std::memory_order_relaxed);
    return m_total.load(std::memory_order_relaxed);
}

void CAudioVizData::clearListeners() {
    m_total.store(0, std::memory_order_relaxed);
    for (auto& k : m_perKind) k.store(0, std::memory_order_relaxed);
}

bool CAudioVizData::removeLane(const CAudioVizLane* lane) {
    auto it = std::find_if(m_lanes.begin(), m_lanes.end(), [lane](const auto& l) { return l.get() == lane; });
    if (it == m_lanes.end()) return false;
    m_lanes.erase(it);
    return true;
}

void CAudioVizData::setEnableParam(CAudioParam* p, std::unique_ptr<CAudioParam> owned) {
    m_ownedEnable = std::move(owned);
    m_enable = p;
}

CError CAudioVizData::writeFrame(COutputStream& out, const double* values, int channels) const {
    KEL_TRY(out.writeU32(uint32_t(channels)));
    const uint32_t n = m_info.frameValues(channels);
    for (uint32_t i = 0; i < n; ++i) KEL_TRY(writeValue(out, values[i]));
    return {};
}

CError CAudioVizDataRGB::writeValue(COutputStream& out, double v) const {
    const double c = std::isfinite(v) ? std::clamp(std::round(v), 0.0, double(0xFFFFFF)) : 0.0;
    return out.writeU32(uint32_t(c));
}
