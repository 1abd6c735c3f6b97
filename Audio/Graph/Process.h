#pragma once
// CAudioProcess: a runtime container built from a container definition. It
// owns one runtime process per child definition, evaluates its bypass states,
// orders its children from the automatic chain and the explicit links, moves
// blocks between ports, combines several links at one input port, and aligns
// paths of different latency where they meet (the earlier paths are delayed).
// Its own latency is that of its longest path to the output.
//
// Threads: build/prepare on the main thread; update/process on the audio thread.

#include <array>
#include <memory>
#include <vector>

#include "Audio/Graph/DelayCompensation.h"
#include "Audio/Graph/ProcessBase.h"

class CAudioProcessDef;
class CAudioProcessBypassStateDef;
class CAudioParamFilter;

KELSTR(CAudioProcess_addProcess_DupeName, "Duplicate audio process name '%1'.");
KELSTR(CAudioProcess_init_ProcessDefClassInvalid, "Audio process def of invalid class supplied.");

class CAudioProcess : public CAudioProcessBase {
public:
    CAudioProcess();
    ~CAudioProcess() override;

    CError build(const CAudioProcessDefBase& def, CAudioProcessBuild& b) override;
    CError prepare(const CProcessConfig& config) override;
    double maxLatencySeconds() const override { return m_maxLatencySeconds; }
    double maxOutputRate(double maxInputRate) const override;
    int maxOutputChannels(int maxInputChannels) const override;

    bool update() override;
    void setRate(double sampleRate) override;
    void setChannels(int channels) override;
    void process(int frames) override;
    void reset() override;

    int outputFrames(int inputFrames) const override;
    double rateFactor() const override { return m_rateFactor; }
    double peakRate() const override { return m_peakRate; }
    int outputChannels() const override { return m_outChannels; }
    // The channels of the last block: the container's own buffers, or the
    // buffers its outputs were handed on from (valid until the next block).
    const double* outputChannel(int port, int ch) const override;
    double latency() const override { return m_latency; }
    int inputPortCount() const override { return m_inPortCount; }
    int outputPortCount() const override { return m_outPortCount; }

    // Adds a child record for a child definition (fails on a duplicate name).
    CError addProcess(const CAudioProcessDefBase& def, const CString& name, CAudioProcessBuild& b);

    // Introspection (tests, the plug-in core).
    size_t childCount() const { return m_children.size(); }
    CAudioProcessBase* childProcess(size_t i) const { return m_children[i].process; }
    CAudioProcessBase* findProcess(const CString& name) const;
    // Names of the children in processing order.
    std::vector<CString> sequenceNames() const;
    bool bypassState(int id) const;
    // Latency at a child's output, in samples at its output rate.
    double childLatency(const CString& name) const;
    // Forces the sequence to be rebuilt on the next update.
    void markSequenceDirty() { m_sequenceDirty = true; }

private:
    struct LinkRef {
        int src = -1, srcPort = 0;  // -1: the container's input
        int dst = -1, dstPort = 0;  // -1: the container's output
        std::vector<int> bypassIds;
    };
    struct InLink {
        int src, srcPort;
        int delay = 0;  // alignment delay in samples at the destination's rate
    };
    struct InPort {
        std::vector<InLink> links;          // active links (capacity reserved)
        std::vector<CAlignDelay> delays;    // one per possible simultaneous link
        CPortStorage gather;                // combination / alignment buffer
    };
    struct Child {
        CString name;
        const CAudioProcessDefBase* def = nullptr;
        CAudioProcessBase* process = nullptr;  // owned as a CObject child
        bool active = true;
        bool isNode = false;
        bool isTerminal = false;    // a leaf module (not a container)
        bool inSequence = false;
        bool bypassed = false;      // its bypass state holds and the child is ready for it
        bool needsGather = false;   // more than one link may meet at its inputs
        int comboMode = 0;
        int maxLinksPerPort = 1;
        std::vector<InPort> ports;
        double inRate = 0.0, outRate = 0.0;
        int outFrames = 0;
        double outLatency = 0.0;
    };
    struct Filter {
        const CAudioParamFilter* def;
        std::vector<const CAudioParam*> src;
        std::vector<CAudioParam*> dst;
        std::vector<uint32_t> seen;
    };
    struct Bypass {
        const CAudioProcessBypassStateDef* def;
        CAudioParam* p = nullptr;
        CAudioParam* q = nullptr;
        bool state = false;
    };

    void rebuildSequence();
    void addActiveLink(int src, int srcPort, int dst, int dstPort);
    void computeRatesAndLatency();
    void setupInputs(Child& c, int childIndex);
    // Aligns and combines the links meeting at a port; result[ch] receives
    // where each channel's samples are (dst[ch] or a buffer handed on).
    void combineLinks(InPort& port, int comboMode, int channels, int frames, double* const* dst,
                      const double** result);
    const double* sourceChannel(int src, int srcPort, int ch) const;
    int sourceChannels(int src) const;
    double sourceLatency(int src) const;
    int sourceFrames(int src) const;
    double sourceRate(int src) const;
    bool linkDropped(const LinkRef& l) const;
    // The children that may feed port p of child i in some state of the
    // bypasses (-1: the container's input), and whether that port's link is
    // the latest at the child in every state, so that it is never delayed
    // (ProcessAlignment.cpp).
    void possibleSources(int i, int p, std::vector<int>& out) const;
    bool neverDelayed(int i, int p) const;

    std::vector<Child> m_children;
    std::vector<LinkRef> m_links;     // explicit links
    std::vector<Bypass> m_bypass;
    std::vector<Filter> m_filters;
    std::vector<int> m_sequence;      // capacity reserved at prepare
    std::vector<int> m_scratch;
    std::vector<InPort> m_outPorts;
    std::vector<std::array<const double*, audio::kMaxChannels>> m_outCh;  // per output port, after process
    int m_inPortCount = 1, m_outPortCount = 1;
    int m_outChannels = 0;
    int m_inFrames = 0;
    double m_rateFactor = 1.0;
    double m_peakRate = 0.0;  // the highest rate among the children in the sequence
    double m_latency = 0.0;
    double m_maxLatencySeconds = 0.0;
    bool m_sequenceDirty = true;
    bool m_playing = false;  // audio processed since prepare or reset
    bool m_ratesDirty = true;
    CSampleBuffer m_zero;             // silence for unlinked ports (never written)
};
