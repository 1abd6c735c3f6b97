#pragma once
// CAudioProcessStack: the runtime form of a stacked definition. It holds one
// instance per channel group; each internal channel belongs to the group
// named by the grouping parameter ("io-params.grouping", channel -> group),
// and each instance processes the channels of its group, reading its
// parameters at its group index. Instances whose group has no channels do not
// run. Outputs of instances with less latency than the slowest are delayed so
// that every channel leaves the stack aligned.

#include <vector>

#include "Audio/Graph/DelayCompensation.h"
#include "Audio/Graph/ProcessBase.h"

namespace audio {
constexpr int kMaxGroups = 8;
}

class CAudioProcessStack : public CAudioProcessBase {
public:
    CError build(const CAudioProcessDefBase& def, CAudioProcessBuild& b) override;
    CError prepare(const CProcessConfig& config) override;
    double maxLatencySeconds() const override;
    double maxOutputRate(double maxInputRate) const override;

    bool update() override;
    void setRate(double sampleRate) override;
    void process(int frames) override;
    void reset() override;

    int outputFrames(int inputFrames) const override;
    double rateFactor() const override;
    double peakRate() const override;
    double latency() const override { return m_latency; }
    int inputPortCount() const override;
    int outputPortCount() const override;
    const double* outputChannel(int port, int ch) const override;

    CAudioProcessBase* instance(int g) const { return m_instances[size_t(g)]; }
    int instanceCount() const { return int(m_instances.size()); }
    // The group of an internal channel, as last read.
    int channelGroup(int ch) const { return m_groupOf[size_t(ch)]; }

private:
    std::vector<CAudioProcessBase*> m_instances;  // owned as CObject children
    CAudioParam* m_grouping = nullptr;
    int m_groupOf[audio::kMaxChannels] = {};
    // Per group: its channels in order.
    int m_members[audio::kMaxGroups][audio::kMaxChannels] = {};
    int m_memberCount[audio::kMaxGroups] = {};
    std::vector<CAlignDelay> m_delays;  // per instance
    double m_latency = 0.0;
    int m_lastFrames = 0;
    // Output pointers per port and channel (into instance outputs or m_out).
    std::vector<const double*> m_outPtr;
    int m_outPorts = 1;
};
