#pragma once
// Visualization data: what the analysis modules publish for the editor's
// meters and graphs. A source (CAudioVizData) is named after the module that
// publishes it ("plugin.modMain.modMeterOut"); every runtime instance of that
// module (one per channel group inside stacks) feeds one lane of the source.
//
// Handover without locks: each lane owns a ring of kRingFrames frame slots.
// The audio thread fills the lane's staging frame and publishes it; the
// protocol side copies frames out by their number. Each slot carries a stamp
// (2n-1 while frame n is written, 2n when it is complete); a reader accepts a
// copy only when the stamp read before and after copying is 2n, so a frame
// overwritten while it was copied is dropped, never delivered torn. The
// producer never waits.
//
// Frame values are 64-bit numbers: first the source's global values, then
// per channel its channel values (channel-major). A frame records how many
// channels it holds.
//
// Serialised data of a source (the sub-buffer of a "viz-data" block; all
// integers little-endian):
//   u32 kind (1 meter, 2 RGB, 3 spectrum, 4 vscope), u32 layout version (1),
//   u32 flags (bit 0: a data information block follows),
//   [data information, see CAudioVizDataInfo::save],
//   u32 lane count, then per lane:
//     u32 channel group, u32 frame count N, u64 number of the lane's newest
//     published frame (frames are numbered from 1), then N frames, oldest
//     first, each: u32 channel count C, then G + C * V values
//     (G global values, V values per channel) encoded by the kind:
//       meter    f64 each (levels as linear amplitude factors, dB = 20 log10 v,
//                counts as plain numbers; the field names say which)
//       RGB      u32 each, a colour 0x00RRGGBB
//       spectrum f32 each, linear magnitudes, `points` bins per channel field
//       vscope   f32 each, `points` points per channel field (waveform
//                extremes: the field names pair minima and maxima)
//
// Threads: creation, allocation and removal of lanes on the main thread (the
// collector's lock guards them against the protocol side); publish on the
// audio thread; readFrame on the protocol side.

#include <atomic>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "Core/Error.h"
#include "Core/Stream.h"
#include "Core/String.h"

class CAudioParam;
class CAudioVizCollector;

KELSTR(CAudioVizDataInfo_load_KindError, "Unsupported visualization data kind %1.");
KELSTR(CAudioVizDataInfo_load_CountError, "Invalid count %1 in visualization data information.");

enum class EVizKind : uint32_t { Meter = 1, RGB = 2, Spectrum = 3, VScope = 4 };

// Frame rate of a source whose module names none.
inline constexpr double kVizDefaultFps = 30.0;
// Version of the serialised source data.
inline constexpr uint32_t kVizLayoutVersion = 1;
// Flag bit of the serialised source data: the information block follows.
inline constexpr uint32_t kVizFlagInfo = 1;

// Describes a source to clients.
// Serialised: string name, u32 kind, f64 fps, u32 points, u32 global field
// count, that many strings, u32 channel field count, that many strings.
class CAudioVizDataInfo {
public:
    CString name;
    EVizKind kind = EVizKind::Meter;
    double fps = kVizDefaultFps;
    std::vector<CString> globalFields;   // values once per frame
    std::vector<CString> channelFields;  // values per channel (each `points` times)
    uint32_t points = 1;                 // spectrum bins or scope points per channel field

    uint32_t globalCount() const { return uint32_t(globalFields.size()); }
    uint32_t valuesPerChannel() const { return uint32_t(channelFields.size()) * points; }
    uint32_t frameValues(int channels) const { return globalCount() + uint32_t(channels) * valuesPerChannel(); }
    // Same kind, fields and points (the name and rate may differ).
    bool sameLayout(const CAudioVizDataInfo& other) const;

    CError save(COutputStream& out) const;
    CError load(CInputStream& in);
};

// One producer's frames: a ring of stamped slots.
class CAudioVizLane {
public:
    static constexpr uint32_t kRingFrames = 64;

    CAudioVizLane(uint64_t id, int group, uint32_t globalValues, uint32_t valuesPerChannel);
    CAudioVizLane(const CAudioVizLane&) = delete;
    CAudioVizLane& operator=(const CAudioVizLane&) = delete;

    uint64_t id() const { return m_id; }
    int group() const { return m_group; }
    int maxChannels() const { return m_maxChannels; }
    // Values of a frame with every channel (the staging size).
    uint32_t capacityValues() const { return m_globals + uint32_t(m_maxChannels) * m_perChannel; }
    uint32_t frameValues(int channels) const { return m_globals + uint32_t(channels) * m_perChannel; }

    // Main thread, while neither side runs: room for maxChannels, no frames.
    void allocate(int maxChannels);

    // --- Producer (audio thread) ---------------------------------------------
    // The frame being built (capacityValues() values).
    double* staging() { return m_staging.data(); }
    // Publishes the staging frame with `channels` channels (clamped to the
    // allocated count). Never blocks or allocates.
    void publish(int channels);

    // --- Consumer ---------------------------------------------------------------
    // Number of frames published so far (the newest frame's number).
    uint64_t published() const { return m_published.load(std::memory_order_acquire); }
    // Copies frame `number` into out (capacityValues() values) and returns
    // its channel count; -1 when that frame is not (or no longer) in the ring
    // or was overwritten while being copied.
    int readFrame(uint64_t number, double* out) const;

    // The collector that holds the lane (nullptr once it is gone).
    CAudioVizCollector* collector() const { return m_collector; }
    void setCollector(CAudioVizCollector* c) { m_collector = c; }

private:
    size_t slotWords() const { return 2 + capacityValues(); }

    uint64_t m_id;
    int m_group;
    uint32_t m_globals, m_perChannel;
    int m_maxChannels = 0;
    std::vector<double> m_staging;
    // kRingFrames slots of: stamp, channel count, capacityValues() value bits.
    std::unique_ptr<std::atomic<uint64_t>[]> m_ring;
    std::atomic<uint64_t> m_published{0};
    uint64_t m_count = 0;  // producer's own copy of the frame number
    CAudioVizCollector* m_collector = nullptr;
};

// A source: its description, the listener counts, its lanes and the enable
// parameter that switches the producing modules on. The kinds differ in how
// values are written.
class CAudioVizData {
public:
    static constexpr uint32_t kListenerKinds = 8;

    explicit CAudioVizData(CAudioVizDataInfo info);
    virtual ~CAudioVizData();
    CAudioVizData(const CAudioVizData&) = delete;
    CAudioVizData& operator=(const CAudioVizData&) = delete;

    // The kind's object for a description.
    static std::unique_ptr<CAudioVizData> create(CAudioVizDataInfo info);

    const CString& name() const { return m_info.name; }
    EVizKind kind() const { return m_info.kind; }
    const CAudioVizDataInfo& info() const { return m_info; }

    // Listener counts (total and per listener kind); changed by the collector.
    uint32_t listenerCount() const { return m_total.load(std::memory_order_relaxed); }
    uint32_t listenerCount(uint32_t kind) const {
        return kind < kListenerKinds ? m_perKind[kind].load(std::memory_order_relaxed) : 0;
    }
    // Adds (delta > 0) or removes listeners of a kind, clamped at 0. Returns
    // the new total.
    uint32_t addListeners(uint32_t kind, int delta);
    void clearListeners();

    const std::vector<std::shared_ptr<CAudioVizLane>>& lanes() const { return m_lanes; }
    void addLane(std::shared_ptr<CAudioVizLane> lane) { m_lanes.push_back(std::move(lane)); }
    // Forgets a lane; returns false when it was not one of this source's.
    bool removeLane(const CAudioVizLane* lane);

    // The enable parameter (owned when the source created it).
    CAudioParam* enableParam() const { return m_enable; }
    void setEnableParam(CAudioParam* p, std::unique_ptr<CAudioParam> owned);

    // One frame: u32 channel count, then its values.
    CError writeFrame(COutputStream& out, const double* values, int channels) const;

protected:
    virtual CError writeValue(COutputStream& out, double v) const = 0;

private:
    CAudioVizDataInfo m_info;
    std::atomic<uint32_t> m_total{0};
    std::atomic<uint32_t> m_perKind[kListenerKinds] = {};
    std::vector<std::shared_ptr<CAudioVizLane>> m_lanes;
    CAudioParam* m_enable = nullptr;
    std::unique_ptr<CAudioParam> m_ownedEnable;
};

// Levels and counts as f64.
class CAudioVizDataMeter : public CAudioVizData {
public:
    using CAudioVizData::CAudioVizData;

protected:
    CError writeValue(COutputStream& out, double v) const override { return out.writeF64(v); }
};

// Colours 0x00RRGGBB as u32 (values rounded and clamped to 24 bits).
class CAudioVizDataRGB : public CAudioVizData {
public:
    using CAudioVizData::CAudioVizData;

protected:
    CError writeValue(COutputStream& out, double v) const override;
};

// Magnitude bins as f32.
class CAudioVizDataSpectrum : public CAudioVizData {
public:
    using CAudioVizData::CAudioVizData;

protected:
    CError writeValue(COutputStream& out, double v) const override { return out.writeF32(float(v)); }
};

// Waveform points as f32.
class CAudioVizDataVScope : public CAudioVizData {
public:
    using CAudioVizData::CAudioVizData;

protected:
    CError writeValue(COutputStream& out, double v) const override { return out.writeF32(float(v)); }
};
