#pragma once
// CModStatsModule: the common base of the analysis modules (meters and
// statistics). None of them changes the audio: the output port hands on the
// input unchanged (no copy).
//
// The base cuts every block at frame boundaries: a frame is
// round(rate / fps) samples ("fps" attribute; empty: kVizDefaultFps). Inside
// a frame the module's per-sample work runs segment by segment; at each frame
// end the module closes its frame and, when the instance has a
// visualization collector, writes its values into its lane's staging frame
// and publishes it. Modules find the collector as the "viz-collector" object
// next to their audio environment or next to one of their ancestors; without
// one (unit tests) they run without publishing.
//
// Virtual operations, in slot order: destruction, readAttributes, resetStats,
// updateStats, connectParams, publish, processSegment and endFrame (the two
// per-frame operations). A module with a reset slot clears its statistics
// when that slot's value rises through 0.5.
//
// Threads: build, prepare on the main thread; the rest on the audio thread
// (no allocation, locks or logging there).

#include "Audio/Graph/ProcessTerminal.h"
#include "Audio/Viz/AudioVizCollector.h"

class CModStatsModule : public CAudioProcessTerminalBase {
public:
    ~CModStatsModule() override;

    CError prepare(const CProcessConfig& config) override;
    void process(int frames) override;
    void reset() override;
    int outputPortCount() const override { return 1; }
    const double* outputChannel(int port, int ch) const override;

    double fps() const { return m_fps; }
    int frameLength() const { return m_frameLength; }
    // The lane this instance publishes into (nullptr without a collector).
    CAudioVizLane* vizLane() const { return m_lane.get(); }
    // Frames closed since the last reset.
    uint64_t frameCount() const { return m_frames; }

protected:
    // Reads the definition's attributes (the base reads "fps").
    virtual CError readAttributes();
    // Clears the running statistics.
    virtual void resetStats() = 0;
    // Converts the slot values (and the rate) into processor settings.
    virtual void updateStats() = 0;
    // Registers the parameter slots in table order.
    virtual void connectParams(CAudioProcessBuild& b) = 0;
    // Writes the frame's values (global values, then per channel) for m_channels channels.
    virtual void publish(double* frame) = 0;
    // Per-sample work on frames [offset, offset + count) of the input ports.
    virtual void processSegment(int offset, int count) = 0;
    // Closes a frame.
    virtual void endFrame() = 0;

    // Kind and fields of the published data (the base sets name and fps).
    virtual void describe(CAudioVizDataInfo& info) const = 0;
    // Allocates for the worst case of the config.
    virtual CError prepareStats(const CProcessConfig& config) = 0;

    // The slot whose rising edge clears the statistics (-1: none).
    void setResetSlot(int index) { m_resetSlot = index; }

private:
    CError moduleSetup(CAudioProcessBuild& b) final;
    void updateParams() final;

    double m_fps = kVizDefaultFps;
    int m_frameLength = 1;
    int m_framePos = 0;
    int m_resetSlot = -1;
    bool m_resetHigh = false;
    uint64_t m_frames = 0;
    CAudioVizLaneHandle m_lane;
};

// The visualization collector of the instance a module belongs to, or nullptr.
CAudioVizCollector* kelFindVizCollector(const CObject& from, const CObject* env);
