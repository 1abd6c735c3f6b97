#pragma once
// CAudioVizCollector (audio:viz-collector, object "plugin.viz-collector"):
// the visualization sources of one plug-in instance, their listeners and the
// export slots.
//
// Attributes: "env" (the audio environment, "^audio-env"), "param-collector"
// ("^param-collector"), "export-slot-param" and "export-color-param" (full
// names of the parameters that assign export slots and their colours; empty:
// slots are assigned only in code), "param-enable-template" (the template of
// the enable parameters, default "shared::audio.param-enable-viz"),
// "instance-name-param" and "group-names-param" (the texts of the export slot
// names, defaults "plugin.modMain.instance-name" and
// "plugin.modMain.io-params.group-names").
//
// Sources. Modules register at build time with their description and channel
// group and receive a lane (one per module instance). The first registration
// of a name creates the source and its enable parameter "<name>-enable" from
// the template (registered with the parameter collector; a parameter of that
// name declared elsewhere is used instead). A source lives while it has
// lanes; the listeners of a name outlive it, so a rebuilt graph starts with
// the right enable value.
//
// Listeners. A listener id is the u32 of "listen-viz"; its upper 16 bits
// name the client connection. listen counts the listener on its source in
// total and for its kind (0 ... 7); unlisten uncounts it (clamped at 0). The
// enable parameter becomes 1 when the total leaves 0 and 0 when it returns to
// 0; it is written through its storage, which advances its change counter,
// so the graph's viz bypass states follow at the next chunk, and the
// parameter collector's listeners are informed.
//
// "viz-data" block: u32 listener id, the source name as a stream string, u32
// byte count and that many bytes of source data (layout: AudioVizData.h).
// The 8 request bytes of "request-viz-data" are CVizDataRequest.
//
// Threads: every operation runs under the collector's lock, on the main
// thread or the protocol side; the audio thread only publishes into its lanes.

#include <map>
#include <memory>
#include <vector>

#include "Audio/Viz/AudioVizData.h"
#include "Audio/Viz/AudioVizSlotManager.h"
#include "Core/Object.h"
#include "Platform/Sync.h"

class CAudioEnv;
class CAudioParam;
class CAudioParamCollector;
class CAudioParamDef;

KELSTR(CAudioVizCollector_registerSource_LayoutMismatch,
       "Visualization data '%1' is already registered with a different layout.");
KELSTR(CAudioVizCollector_registerSource_NoEnableTemplate, "Enable parameter template '%1' not found.");
KELSTR(CAudioVizCollector_listen_InvalidKind, "Invalid visualization listener kind %1.");
KELSTR(CAudioVizCollector_writeVizData_UnknownListener, "Unknown visualization listener %1.");

// The 8 bytes of "request-viz-data": u32 most frames per lane (0: only the
// newest frame), u32 flags.
struct CVizDataRequest {
    static constexpr uint32_t kAlways = 1;  // answer even when no lane has a new frame
    static constexpr uint32_t kInfo = 2;    // include the data information block
    uint32_t maxFrames = 0;
    uint32_t flags = 0;

    CError write(COutputStream& out) const;
    CError read(CInputStream& in);
};

class CAudioVizCollector;

// A module's hold on its lane: removes the lane from the collector when
// released or destroyed (and does nothing once the collector is gone).
class CAudioVizLaneHandle {
public:
    CAudioVizLaneHandle() = default;
    ~CAudioVizLaneHandle() { reset(); }
    CAudioVizLaneHandle(const CAudioVizLaneHandle&) = delete;
    CAudioVizLaneHandle& operator=(const CAudioVizLaneHandle&) = delete;

    CAudioVizLane* get() const { return m_lane.get(); }
    explicit operator bool() const { return m_lane != nullptr; }
    void reset();

private:
    friend class CAudioVizCollector;
    std::shared_ptr<CAudioVizLane> m_lane;
};

class CAudioVizCollector : public CObject {
public:
    static constexpr uint32_t kClientShift = 16;

    CAudioVizCollector();
    ~CAudioVizCollector() override;

    CError initLinks() override;
    static void registerEvents(CClassRecord& record);

    CAudioEnv* env() const { return m_env; }
    CAudioParamCollector* paramCollector() const { return m_paramCollector; }
    // Binds the parameter collector directly (instances built in code).
    void setParamCollector(CAudioParamCollector* c) { m_paramCollector = c; }

    // --- Producers (main thread) -------------------------------------------------------
    // Registers a lane of the source info.name for a channel group.
    CError registerSource(const CAudioVizDataInfo& info, int group, CAudioVizLaneHandle* handle);
    // Sizes a lane for maxChannels (while its producer does not run).
    void allocateLane(CAudioVizLane& lane, int maxChannels);
    void removeLane(CAudioVizLane* lane);

    // --- Protocol side --------------------------------------------------------------------
    CError listen(uint32_t listenerId, const CString& sourceName, uint32_t kind);
    // Unknown ids are ignored.
    void unlisten(uint32_t listenerId);
    // Drops every listener of a client connection.
    void removeClient(uint32_t client);
    // Drops every listener ("stop-viz"): all enable parameters return to 0.
    void reset();
    // Writes the "viz-data" block for a listener. *written is false when there
    // is nothing to send (no source, or no new frame and no kAlways).
    CError writeVizData(uint32_t listenerId, const CVizDataRequest& request, COutputStream& out, bool* written);
    // Writes the export slot name block (the assignment is refreshed from the
    // export parameters when they are set).
    CError writeExportSlotNames(COutputStream& out);

    CAudioVizSlotManager& slotManager() { return m_slots; }

    // --- Introspection ----------------------------------------------------------------------
    // The source of a name, or nullptr (main thread; not while sources change).
    CAudioVizData* findSource(const CString& name) const;
    size_t sourceCount() const;
    size_t listenerCount() const;

private:
    struct Listener {
        CString source;
        uint32_t kind = 0;
        bool infoSent = false;
        std::vector<std::pair<uint64_t, uint64_t>> seen;  // lane id -> newest frame sent
    };

    CError createEnableParam(CAudioVizData& source);
    void countListener(const Listener& l, int delta, std::vector<CAudioParam*>* changed);
    static void setEnable(CAudioVizData& source, bool on, std::vector<CAudioParam*>* changed);
    void notifyChanged(const std::vector<CAudioParam*>& changed);
    CError writeSourceData(CAudioVizData& source, Listener& l, const CVizDataRequest& request,
                           COutputStream& out, bool* anyFrame);

    mutable plat::CCritSec m_lock{4000};
    CAudioEnv* m_env = nullptr;
    CAudioParamCollector* m_paramCollector = nullptr;
    std::map<CString, std::unique_ptr<CAudioVizData>> m_sources;
    std::map<uint32_t, Listener> m_listeners;
    CAudioVizSlotManager m_slots;
    uint64_t m_nextLaneId = 1;
    std::vector<double> m_frame;  // consumer-side frame copy
};
