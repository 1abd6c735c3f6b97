#pragma once
// CAudioInterfaceBase (tag audio:interface-base, object
// "plugin.interface-base"): the parameter interface base with the audio
// part: visualization data and the facts of the audio side.
//
// Attribute "viz-collector" ("^viz-collector"; optional) names the
// visualization collector (Audio/Viz/AudioVizCollector.h).
//
// Client -> base messages of the audio part (fields after the name):
//   listen-viz                      u32 viz listener id, string viz data name,
//                                   u32 listener kind
//   unlisten-viz                    u32 viz listener id
//   request-viz-data                u32 viz listener id, 8 bytes (the
//                                   CVizDataRequest) -> "viz-data" when there
//                                   is something to send
//   request-export-slot-names       u32 listener id -> "export-slot-names"
//   request-internal-channel-count  u32 listener id -> "update-internal-channel-count"
//   request-group-count             u32 listener id -> "update-group-count"
//   request-io-channel-counts       u32 listener id -> "update-io-channel-counts"
//   request-sample-rate             u32 listener id -> "update-sample-rate"
//   import-channel-labels           -> the base notifies "import-channel-labels"
// The listener id of a request only names the client that gets the answer.
// Base -> client:
//   start-viz, stop-viz, clear-client  (no fields)
//   update-internal-channel-count   u32 count
//   update-group-count              u32 count
//   update-io-channel-counts        u32 inputs, u32 sidechain inputs, u32 outputs
//   update-sample-rate              u32 total latency in samples, f64 sample rate
//   viz-data                        the collector's viz data block
//   export-slot-names               the collector's export slot name block
//
// The plug-in core reports the audio side's facts through the send
// operations below; each keeps the value (requests are answered from it) and
// tells every connected client.

#include "Audio/Interface/ParamInterfaceBase.h"

class CAudioVizCollector;

KELSTR(CAudioInterfaceBase_noVizCollector, "No visualization collector defined.");
KELSTR(CAudioInterfaceBase_onViz_UnknownListener, "Unknown visualization listener %1.");

class CAudioInterfaceBase : public CParamInterfaceBase {
public:
    CError initLinks() override;
    static void registerEvents(CClassRecord& record) { CParamInterfaceBase::registerEvents(record); }

    CAudioVizCollector* vizCollector() const { return m_viz; }
    void setVizCollector(CAudioVizCollector* viz) { m_viz = viz; }

    // --- Sent to every client (the plug-in core calls these) -----------------------
    CError sendStartViz();
    CError sendStopViz();
    CError sendClearClient();
    CError sendInternalChannelCount(int count);
    CError sendGroupCount(int count);
    CError sendIoChannelCounts(int inputs, int sidechain, int outputs);
    CError sendSampleRate(double sampleRate, int latency);

    // The facts as last reported.
    int internalChannelCount() const;
    int groupCount() const;
    double sampleRate() const;

protected:
    bool handleMessage(uint32_t client, CParamMessageReader& in, CError* err) override;
    void releaseClient(uint32_t client, ClientState& state) override;
    // A client that connects while visualization runs receives "start-viz".
    void welcomeClient(uint32_t client) override;

private:
    struct Facts {
        uint32_t internalChannels = 0, groups = 0;
        uint32_t inputs = 0, sidechain = 0, outputs = 0;
        uint32_t latency = 0;
        double sampleRate = 0.0;
        bool vizActive = false;  // between "start-viz" and "stop-viz"
    };

    CError onListenViz(uint32_t client, CParamMessageReader& in);
    CError onUnlistenViz(uint32_t client, CParamMessageReader& in);
    CError onRequestVizData(uint32_t client, CParamMessageReader& in);
    CError onRequest(uint32_t client, CParamMessageReader& in);
    // The message of a fact, for one client (client != 0) or for all.
    CError sendFact(std::string_view name, uint32_t client);

    CAudioVizCollector* m_viz = nullptr;
    Facts m_facts;  // guarded by m_lock
};
