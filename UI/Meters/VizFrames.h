#pragma once
// CVizFrames: the editor's reading of one visualization source's data as
// the protocol's "viz-data" carries it (the layout is the audio side's
// published one: u32 kind, u32 layout version 1, u32 flags (bit 0: a data
// information block follows), [information: string name, u32 kind, f64 fps,
// u32 points, u32 n + n global field names, u32 m + m channel field names],
// u32 lane count, then per lane u32 channel group, u32 frame count, u64 the
// newest frame's number, and the frames oldest first: u32 channel count
// and its values (f64 for meters; f32 for spectra and scopes; u32 colours).
//
// It keeps the information (from the first block that has it) and, per
// lane, the newest frame and, when asked, every frame in arrival order up to
// a bound (graphs). A block that does not parse changes nothing and returns
// the error.

#include <cstdint>
#include <span>
#include <vector>

#include "Core/Error.h"
#include "Core/String.h"

KELSTR(CVizFrames_parse_Format, "Invalid visualization data (%1).");

class CVizFrames {
public:
    static constexpr uint32_t kMaxFields = 64, kMaxChannels = 64, kMaxLanes = 64, kMaxFrames = 1024;
    static constexpr uint32_t kMaxPoints = 1u << 16;

    struct Frame {
        uint32_t channels = 0;
        std::vector<double> values;  // global values, then channel-major
    };
    struct Lane {
        uint32_t group = 0;
        uint64_t newest = 0;  // the newest frame's number (0: none yet)
        Frame last;
        std::vector<Frame> history;  // kept frames, oldest first
    };

    // Keeps up to `frames` frames per lane besides the newest (0: none).
    void setHistory(uint32_t frames) { m_keep = frames > kMaxFrames ? kMaxFrames : frames; }
    CError parse(std::span<const uint8_t> data);

    bool hasInfo() const { return m_hasInfo; }
    uint32_t kind() const { return m_kind; }
    double fps() const { return m_fps; }
    const std::vector<CString>& globalFields() const { return m_global; }
    const std::vector<CString>& channelFields() const { return m_channel; }
    // Index of a field (-1: none).
    int channelField(const CString& name) const;
    int globalField(const CString& name) const;

    const std::vector<Lane>& lanes() const { return m_lanes; }
    // The lane of a channel group (nullptr: none).
    const Lane* lane(uint32_t group) const;
    // A channel value of a lane's newest frame (NaN: not there).
    double channelValue(const Lane& l, uint32_t channel, int field) const;
    double globalValue(const Lane& l, int field) const;
    // Replaces everything by one meter frame of a lane (previews).
    void setFrame(uint32_t group, std::vector<CString> channelFields, uint32_t channels, std::vector<double> values);
    // Takes the kept history frames of every lane.
    void clearHistory();

private:
    bool m_hasInfo = false;
    uint32_t m_kind = 0;
    double m_fps = 0;
    uint32_t m_points = 1;
    std::vector<CString> m_global, m_channel;
    std::vector<Lane> m_lanes;
    uint32_t m_keep = 0;
};
