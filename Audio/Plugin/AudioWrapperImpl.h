#pragma once
// Private state of CAudioWrapper shared by its source files.

#include <atomic>
#include <vector>

#include "Audio/Plugin/AudioEnv.h"
#include "Audio/Params/AudioParamChangeSet.h"
#include "Audio/Params/AudioParamCollector.h"
#include "Audio/Plugin/AudioWrapper.h"
#include "Audio/Graph/Process.h"
#include "Core/Application.h"

class CAudioParam;
class CAudioExtParamHostBridge;
class CAudioInterfaceBase;
class CAudioParamRegistry;
class CAudioVizCollector;
class CModOutput;

// Tells the core when the master registry's program changes (on the thread
// that changed it, the main thread).
class CProgramChangeListener : public CObject {
public:
    explicit CProgramChangeListener(CAudioWrapper* core) : m_core(core) {}
    CError dispatchEvent(const CString& eventName, CEventParams& params) override;

private:
    CAudioWrapper* m_core;
};

struct CAudioWrapper::Impl {
    // Object tree of the instance.
    std::unique_ptr<CRootObject> root;
    CObject* plugin = nullptr;
    CObject* project = nullptr;
    CAudioEnv* env = nullptr;
    CAudioParamCollector* collector = nullptr;
    CAudioVizCollector* vizCollector = nullptr;
    CAudioInterfaceBase* interfaceBase = nullptr;
    CObject* extParamList = nullptr;
    CObject* ccTable = nullptr;
    CAudioParamRegistry* registry = nullptr;
    CAudioParamRegistry* ioRegistry = nullptr;  // the routing presets' registry (with use-routing)
    CAudioParam* routing[3] = {};                // in-routing, out-routing, grouping
    int busWidth = 2;                            // channels of the host's main bus
    CAudioExtParamHostBridge* bridge = nullptr;  // of the ext-param list
    CAudioProcess* main = nullptr;       // plugin.modMain
    CModOutput* output = nullptr;        // plugin.modOutput

    // Bound parameters (nullptr when the definitions do not declare them).
    CAudioParam* hostOversampling = nullptr;
    CAudioParam* hostOffline = nullptr;
    CAudioParam* hostLatencyChange = nullptr;
    CAudioParam* bypassEnable = nullptr;
    CAudioParam* hostBpm = nullptr;
    CAudioParam* hostRec = nullptr;
    CAudioParam* mainWindowSize = nullptr;

    // Flags of the project.
    int autoOversamplingRtMode = 1;
    bool vizAlwaysActive = false, symmetricIo = true, useHostBpm = false, useHostRecording = false;
    bool useWindowResizing = false, useSidechain = false, useRouting = false, useMidSide = false;
    int oversamplingLevel = 1;
    bool force2ch = false;

    // Host facts. The layout requested by the host side waits here until the
    // audio side takes it at the next chunk (under the environment's lock).
    double sampleRate = 44100.0;
    int maxBlock = 512;
    int pendingLayout[3] = {1, 0, 1};
    bool layoutPending = true;
    int inChannels = 1, sideChannels = 0, outChannels = 1;
    bool prepared = false;
    double preparedRate = 0.0;
    std::atomic<bool> processing{false};
    // The graph belongs to one thread at a time: the audio thread while it
    // runs a block, the thread of startProcessing/stopProcessing while it
    // primes the graph. primePending: a priming that found a block running,
    // done by the audio thread before its next block.
    std::atomic<bool> graphBusy{false};
    std::atomic<bool> primePending{false};
    std::atomic<bool> latencyChanged{false};

    // 64-bit buffers between the host and the graph: inputs (main then
    // sidechain), one chunk each.
    std::vector<double> inBuf;
    double* inPtr[audio::kMaxChannels] = {};
    uint64_t frameCounter = 0;
    // Longest chunk of the current block: short enough for the graph's
    // fastest part to stay within audio::kMaxInnerFrames.
    int chunkCap = audio::kMaxHostFrames;

    // Main-thread changes on their way to the audio thread.
    CAudioParamChangeQueue changeQueue;
    // Program changes and edits of host-visible parameters made inside the
    // plug-in (editor, presets) reported to the host.
    std::unique_ptr<CProgramChangeListener> programListener;
    std::unique_ptr<CAudioParamListener> editListener;
    std::unique_ptr<CAudioParamListener> routingListener;  // the routing parameters (with use-routing)
    int hostEditDepth = 0;  // > 0 while the host's own change is applied

    // Host parameter changes of the current block.
    const CHostParamChange* blockChanges = nullptr;
    int blockChangeCount = 0;
};
