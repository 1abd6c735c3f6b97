#pragma once
// CAudioWrapper: the host-neutral core of one plug-in instance. A host
// adapter derives from it, calls init() once, tells it the host facts (rate,
// block size, channel layout, offline mode, ...), feeds it audio blocks, and
// asks it to save and load the instance state. The core builds the instance's
// object tree from the "plugin" template, validates the project identity,
// instantiates the process graph and runs it in chunks of at most 512 frames
// between the host's buffers and the graph's 64-bit buffers.
//
// Threads: init, the host facts, state, parameter edits by the host and
// program changes run on the host's main thread; process() runs on the
// host's audio thread and never allocates, locks for longer than a pointer
// swap, or blocks. The callbacks to the adapter are made on the thread that
// caused them.

#include <cstdint>
#include <memory>
#include <vector>

#include "Core/Error.h"
#include "Core/Stream.h"
#include "Core/String.h"

class CAudioParam;
class CAudioPreset;
class CAudioPresetBank;
class CObject;

KELSTR(CAudioWrapper_init_NoApp, "No application object created.");
KELSTR(CAudioWrapper_init_PluginNameEmpty, "Plug-in name is empty.");
KELSTR(CAudioWrapper_init_VendorNameEmpty, "Vendor name is empty.");
KELSTR(CAudioWrapper_init_InvalidIntChannelCount, "Invalid 'plugin-intchannel-count' attribute value.");
KELSTR(CAudioWrapper_init_InvalidGroupCount, "Invalid 'plugin-group-count' attribute value.");
KELSTR(CAudioWrapper_init_InvalidOutProcessType,
       "Output process object 'shared::audio.modOutput' is not of required 'CModOutput' type.");
KELSTR(CAudioWrapper_acquirePluginCode_PluginCodeError, "Invalid plug-in code in string '%1'.");
KELSTR(CAudioWrapper_parseVersion_InvalidVersion, "Invalid version specification in string '%1'.");

// The audio of one host bus for one block.
struct CHostBus {
    int channels = 0;
    bool is64 = false;        // 64-bit samples (else 32-bit)
    bool interleaved = false; // one buffer with channels interleaved (else one buffer per channel)
    void* const* planar = nullptr;  // channels pointers (planar)
    void* data = nullptr;           // interleaved buffer
};

// One host parameter change inside a block.
struct CHostParamChange {
    int offset;      // sample offset in the block
    int index;       // host parameter index
    double value;    // normalized 0..1
};

// Description of a host-visible parameter.
struct CHostParamInfo {
    CString name;        // 1..7 characters
    CString units;
    double defaultNormalized = 0.0;
    int stepCount = 0;   // 0: continuous
    bool bound = true;   // false for an entry that names no parameter
};

class CAudioWrapper {
public:
    CAudioWrapper();
    virtual ~CAudioWrapper();
    CAudioWrapper(const CAudioWrapper&) = delete;
    CAudioWrapper& operator=(const CAudioWrapper&) = delete;

    // Builds and validates the instance. Returns 0 or the first error.
    CError init();
    bool isInitialized() const { return m_initialized; }

    // --- Identity (valid after init) --------------------------------------------
    const CString& pluginName() const { return m_pluginName; }
    const CString& vendorName() const { return m_vendorName; }
    uint32_t pluginCode() const { return m_pluginCode; }
    int versionMajor() const { return m_version[0]; }
    int versionMinor() const { return m_version[1]; }
    int versionMicro() const { return m_version[2]; }
    bool hasTail() const { return m_hasTail; }
    double tailSeconds() const { return m_tailSeconds; }
    int internalChannelCount() const { return m_intChannels; }
    int groupCount() const { return m_groupCount; }
    // The instance's object tree ("plugin" is its child); an editor hands its
    // address to its client connector ("BaseConnectorRootPtr"). Null before init.
    CObject* instanceRoot() const;

    // Helpers of init (public for their own tests).
    static CError acquirePluginCode(const CString& text, uint32_t* code);
    static CError parseVersion(const CString& text, int version[3]);

    // --- Host facts (main thread) ---------------------------------------------------
    void setSampleRate(double rate);
    void setMaxBlockSize(int frames);
    // Channel counts of the main input, the sidechain and the output.
    void setIoLayout(int inChannels, int sidechainChannels, int outChannels);
    void setHostOversamplingMode(int mode);
    void setBypass(bool bypass);
    double sampleRate() const;

    // --- Host facts that come with the blocks (audio thread) -----------------------
    void setOffline(bool offline);
    void setTempo(double bpm);
    void setRecording(bool recording);
    // Channel counts a block brings when they differ from the arrangement:
    // taken like setIoLayout, unless the main thread holds the environment's
    // lock, then false (offer them again with the next block).
    bool offerBlockLayout(int inChannels, int sidechainChannels, int outChannels);

    // --- Processing (audio thread, except start/stop) ----------------------------
    // Start and stop come from the main thread or the audio thread, as the
    // host chooses; they prime the graph on the calling thread only while no
    // block runs, otherwise the audio thread does it before its next block.
    void startProcessing();
    void stopProcessing();
    bool isProcessing() const;
    // Host parameter changes of the block, applied at their chunk.
    void setBlockParamChanges(const CHostParamChange* changes, int count);
    // Runs a block; outputs not covered by the graph come out as zeros.
    void process(const CHostBus& in, const CHostBus* sidechain, CHostBus& out, int frames);
    // Total latency in host samples.
    int latencySamples() const;
    // The host has read the latency: clears the latency-changed indication.
    void latencyAcknowledged();

    // --- State (main thread) ------------------------------------------------------------
    CError saveState(COutputStream& out);
    CError loadState(CInputStream& in);

    // --- Host parameters (main thread unless stated) -----------------------------------
    int hostParamCount() const;
    CHostParamInfo hostParamInfo(int index) const;
    double hostParamNormalized(int index) const;
    // A host edit from the main thread (delivered to the audio side at the next chunk).
    void setHostParamNormalized(int index, double value);
    CString hostParamText(int index, double normalized) const;
    bool hostParamFromText(int index, const CString& text, double* normalized) const;

    // --- Programs ---------------------------------------------------------------------------
    int programCount() const;
    CString programName(int index) const;
    int currentProgram() const;
    CError setProgram(int index);

    // --- Routing presets (main thread) ------------------------------------------------
    // The routing registry's list ("Default Stereo", "5.1 Surround (Multi)", ...).
    int routingPresetCount() const;
    CString routingPresetName(int index) const;
    // The preset the routing equals now, or -1 for a routing of its own.
    int currentRoutingPreset() const;
    CError setRoutingPreset(int index);
    // The channel count of the host's main bus. While the routing is the
    // stereo default, a wider bus gets the routing preset made for it (3:
    // "2.1 Stereo", 6: "5.1 Surround (Multi)", 8: "7.1 Surround (Multi)";
    // any other width: each channel in and out in place, linked), so that
    // every channel the host gives comes through; programs and states that
    // bring the stereo default back are followed the same way.
    void setBusWidth(int channels);

    // --- Editor size ----------------------------------------------------------------------
    int editorWidth() const { return m_editorWidth; }
    int editorHeight() const { return m_editorHeight; }
    double uiScale() const { return m_uiScale; }
    // Whether the host may resize the editor ("use-window-resizing").
    bool useWindowResizing() const;

protected:
    // Callbacks to the adapter (names are the core's own).
    virtual void onBeginEdit(int index) { (void)index; }
    virtual void onPerformEdit(int index, double normalized) {
        (void)index;
        (void)normalized;
    }
    virtual void onEndEdit(int index) { (void)index; }
    virtual void onProgramChanged() {}
    // The routing changed inside the plug-in (the editor, a routing preset):
    // the host's routing list may now name another entry.
    virtual void onRoutingChanged() {}
    virtual void onLatencyChanged() {}
    virtual void onRequestEditorSize(int width, int height) {
        (void)width;
        (void)height;
    }

private:
    struct Impl;
    friend class CProgramChangeListener;
    friend class CRoutingListener;
    void computeEditorSize();
    // Host side of the instance (AudioWrapperHost.cpp): the change queue,
    // the host parameters and the program listener, bound once the graph
    // exists, released before it goes.
    CError bindHostSide();
    void unbindHostSide();
    void reportHostEdit(CAudioParam& param);
    void reportProgramChange();
    // Routing (AudioWrapperRouting.cpp).
    CError bindRouting();
    void reportRoutingChange();
    CAudioPresetBank routingPresets() const;
    bool routingEquals(const CAudioPreset& preset) const;
    bool routingIsDefault() const;
    void followBusWidth();
    int chunkLengthAt(int offset, int frames) const;
    // Processing internals (AudioWrapperProcess.cpp).
    CError prepareGraph();
    void takePendingChanges(int frames);
    void applyLayout();
    void postLayout(int inChannels, int sidechainChannels, int outChannels);
    void runChunk(const CHostBus& in, const CHostBus* side, CHostBus& out, int offset, int frames);
    void primingStep();
    // One priming sample, then the graph back at rest; deferred to the audio
    // thread when a block is running there (the caller never waits).
    void primeGraph();
    void primeNow();
    void checkLatency(int before);
    void applyHostChanges(int offset, int frames);

    std::unique_ptr<Impl> m_impl;

    bool m_initialized = false;
    CString m_pluginName, m_vendorName;
    uint32_t m_pluginCode = 0;
    int m_version[3] = {0, 0, 0};
    bool m_hasTail = false;
    double m_tailSeconds = 0.0;
    int m_intChannels = 0, m_groupCount = 0;
    int m_editorWidth = 0, m_editorHeight = 0;
    double m_uiScale = 1.0;
};
