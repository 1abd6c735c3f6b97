// Reading visualization data blocks.
#include "UI/Meters/VizFrames.h"

#include <cmath>
#include <limits>

#include "Core/MemoryReader.h"

namespace {
constexpr uint32_t kKindMeter = 1, kKindRgb = 2, kKindVScope = 4, kLayoutVersion = 1, kFlagInfo = 1;

CError bad(const char* what) { return KEL_ERROR(kelstr_CVizFrames_parse_Format, CString(what)); }

CError readNames(CInputStream& in, std::vector<CString>* out) {
    uint32_t n = 0;
    KEL_TRY(in.readU32(&n));
    if (n > CVizFrames::kMaxFields) return bad("field count");
    out->resize(n);
    for (CString& s : *out) KEL_TRY(in.readString(&s));
    return {};
}

CError readValue(CInputStream& in, uint32_t kind, double* v) {
    if (kind == kKindMeter) return in.readF64(v);
    if (kind == kKindRgb) {
        uint32_t c = 0;
        KEL_TRY(in.readU32(&c));
        *v = double(c);
        return {};
    }
    float f = 0;
    KEL_TRY(in.readF32(&f));
    *v = double(f);
    return {};
}
}  // namespace

CError CVizFrames::parse(std::span<const uint8_t> data) {
    CMemoryReader in(data.data(), data.size());
    uint32_t kind = 0, version = 0, flags = 0;
    KEL_TRY(in.readU32(&kind));
    KEL_TRY(in.readU32(&version));
    KEL_TRY(in.readU32(&flags));
    if (kind < kKindMeter || kind > kKindVScope) return bad("kind");
    if (version != kLayoutVersion) return bad("version");
    // Work on copies: a block that fails leaves everything as it was.
    bool hasInfo = m_hasInfo;
    uint32_t points = m_points;
    double fps = m_fps;
    std::vector<CString> global = m_global, channel = m_channel;
    if (flags & kFlagInfo) {
        CString name;
        uint32_t infoKind = 0;
        KEL_TRY(in.readString(&name));
        KEL_TRY(in.readU32(&infoKind));
        KEL_TRY(in.readF64(&fps));
        KEL_TRY(in.readU32(&points));
        if (infoKind != kind) return bad("kind of the information");
        if (points == 0 || points > kMaxPoints) return bad("points");
        KEL_TRY(readNames(in, &global));
        KEL_TRY(readNames(in, &channel));
        hasInfo = true;
    } else if (!hasInfo || kind != m_kind) {
        return bad("no information");
    }
    const uint64_t perChannel = uint64_t(channel.size()) * points;
    uint32_t laneCount = 0;
    KEL_TRY(in.readU32(&laneCount));
    if (laneCount > kMaxLanes) return bad("lane count");
    std::vector<Lane> lanes = m_lanes;
    for (uint32_t l = 0; l < laneCount; ++l) {
        uint32_t group = 0, frames = 0;
        uint64_t newest = 0;
        KEL_TRY(in.readU32(&group));
        KEL_TRY(in.readU32(&frames));
        KEL_TRY(in.readU64(&newest));
        if (frames > kMaxFrames) return bad("frame count");
        Lane* lane = nullptr;
        for (Lane& x : lanes)
            if (x.group == group) lane = &x;
        if (!lane) {
            lanes.push_back({});
            lane = &lanes.back();
            lane->group = group;
        }
        for (uint32_t f = 0; f < frames; ++f) {
            Frame fr;
            KEL_TRY(in.readU32(&fr.channels));
            if (fr.channels > kMaxChannels) return bad("channel count");
            const uint64_t n = global.size() + perChannel * fr.channels;
            if (n * 4 > in.remaining()) return bad("frame size");
            fr.values.resize(size_t(n));
            for (double& v : fr.values) KEL_TRY(readValue(in, kind, &v));
            if (m_keep) {
                lane->history.push_back(fr);
                if (lane->history.size() > m_keep) lane->history.erase(lane->history.begin());
            }
            lane->last = std::move(fr);
        }
        if (frames) lane->newest = newest;
    }
    if (in.remaining() != 0) return bad("trailing bytes");
    m_hasInfo = hasInfo;
    m_kind = kind;
    m_fps = fps;
    m_points = points;
    m_global = std::move(global);
    m_channel = std::move(channel);
    m_lanes = std::move(lanes);
    return {};
}

int CVizFrames::channelField(const CString& name) const {
    for (size_t i = 0; i < m_channel.size(); ++i)
        if (m_channel[i] == name) return int(i);
    return -1;
}

int CVizFrames::globalField(const CString& name) const {
    for (size_t i = 0; i < m_global.size(); ++i)
        if (m_global[i] == name) return int(i);
    return -1;
}

const CVizFrames::Lane* CVizFrames::lane(uint32_t group) const {
    for (const Lane& l : m_lanes)
        if (l.group == group) return &l;
    return nullptr;
}

double CVizFrames::channelValue(const Lane& l, uint32_t ch, int field) const {
    if (field < 0 || ch >= l.last.channels) return std::numeric_limits<double>::quiet_NaN();
    const size_t at = m_global.size() + (size_t(ch) * m_channel.size() + size_t(field)) * m_points;
    return at < l.last.values.size() ? l.last.values[at] : std::numeric_limits<double>::quiet_NaN();
}

double CVizFrames::globalValue(const Lane& l, int field) const {
    if (field < 0 || size_t(field) >= l.last.values.size()) return std::numeric_limits<double>::quiet_NaN();
    return l.last.values[size_t(field)];
}

void CVizFrames::setFrame(uint32_t group, std::vector<CString> fields, uint32_t channels, std::vector<double> values) {
    m_hasInfo = true;
    m_kind = kKindMeter;
    m_points = 1;
    m_global.clear();
    m_channel = std::move(fields);
    m_lanes.assign(1, Lane{});
    m_lanes[0].group = group;
    m_lanes[0].newest = 1;
    m_lanes[0].last.channels = channels;
    m_lanes[0].last.values = std::move(values);
}

void CVizFrames::clearHistory() {
    for (Lane& l : m_lanes) l.history.clear();
}
