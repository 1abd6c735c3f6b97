#pragma once
// CAudioInterfaceClient (tag audio:interface-client): the parameter
// interface client with the audio part: visualization listeners and the
// facts of the audio side (fields in Audio/Interface/AudioInterfaceBase.h).
//
// Mirrors: whether visualization runs ("start-viz" / "stop-viz"), the
// internal channel count, the group count, the I/O channel counts, the
// sample rate and latency, the newest data of each viz listener and the
// export slot names.
//
// Events notified after a mirror changed (besides those of
// CParamInterfaceClient): "start-viz", "stop-viz", "clear-client",
// "update-internal-channel-count" ("count"), "update-group-count" ("count"),
// "update-io-channel-counts" ("inputs", "sidechain", "outputs"),
// "update-sample-rate" ("sample-rate", "latency"), "viz-data" ("viz-id",
// "viz-name"), "export-slot-names".

#include "Audio/Interface/ParamInterfaceClient.h"

class CAudioInterfaceClient : public CParamInterfaceClient {
public:
    struct VizMirror {
        CString name;
        uint32_t kind = 0;
        std::vector<uint8_t> data;  // the source's serialised data (Audio/Viz/AudioVizData.h)
        uint64_t updates = 0;       // "viz-data" messages received
    };

    static void registerEvents(CClassRecord& record) { CParamInterfaceClient::registerEvents(record); }

    // --- Audio part ------------------------------------------------------------------------
    CError listenViz(const CString& vizName, uint32_t kind, uint32_t* id);
    CError unlistenViz(uint32_t id);
    // The 8 request bytes: most frames per lane (0: the newest only) and flags
    // (CVizDataRequest).
    CError requestVizData(uint32_t id, uint32_t maxFrames = 0, uint32_t flags = 0);
    CError requestExportSlotNames();
    CError requestInternalChannelCount();
    CError requestGroupCount();
    CError requestIoChannelCounts();
    CError requestSampleRate();
    CError importChannelLabels();

    // --- Mirrors -----------------------------------------------------------------------------
    bool isVizActive() const { return m_vizActive; }
    int internalChannelCount() const { return m_internalChannels; }
    int groupCount() const { return m_groups; }
    int inputChannelCount() const { return m_io[0]; }
    int sidechainChannelCount() const { return m_io[1]; }
    int outputChannelCount() const { return m_io[2]; }
    double sampleRate() const { return m_sampleRate; }
    int latency() const { return m_latency; }
    const VizMirror* viz(uint32_t id) const;
    const std::vector<CString>& exportSlotNames() const { return m_slotNames; }

protected:
    bool handleMessage(CParamMessageReader& in, CError* err) override;
    void resubscribe() override;

private:
    CError sendListenViz(uint32_t id);
    CError sendRequest(std::string_view name);
    CError onVizData(CParamMessageReader& in);
    CError onExportSlotNames(CParamMessageReader& in);
    CError onFact(CParamMessageReader& in);

    bool m_vizActive = false;
    int m_internalChannels = 0, m_groups = 0;
    int m_io[3] = {0, 0, 0};
    double m_sampleRate = 0.0;
    int m_latency = 0;
    std::map<uint32_t, VizMirror> m_viz;
    std::vector<CString> m_slotNames;
};
