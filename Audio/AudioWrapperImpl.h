#pragma once
// Private state of CAudioWrapper shared by its source files.

#include <atomic>
#include <vector>

#include "Audio/AudioEnv.h"
#include "Audio/AudioWrapper.h"
#include "Audio/Process.h"
#include "Core/Application.h"

class CAudioParam;
class CAudioParamCollector;
class CModOutput;

struct CAudioWrapper::Impl {
    // Object tree of the instance.
    std::unique_ptr<CRootObject> root;
    CObject* plugin = nullptr;
    CObject* project = nullptr;
    CAudioEnv* env = nullptr;
    CAudioParamCollector* collector = nullptr;
    CObject* vizCollector = nullptr;
    CObject* interfaceBase = nullptr;
    CObject* extParamList = nullptr;
    CObject* ccTable = nullptr;
    CObject* registry = nullptr;
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
    std::atomic<bool> latencyChanged{false};

    // 64-bit buffers between the host and the graph: inputs (main then
    // sidechain), one chunk each.
    std::vector<double> inBuf;
    double* inPtr[audio::kMaxChannels] = {};
    uint64_t frameCounter = 0;

    // Host parameter changes of the current block.
    const CHostParamChange* blockChanges = nullptr;
    int blockChangeCount = 0;
};
