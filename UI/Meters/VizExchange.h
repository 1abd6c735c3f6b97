#pragma once
// The editor's side of the visualization exchange.
//
// CVizExchange (tag "ui:viz-exchange", object "ui.viz-exchange"): polls the
// protocol client ("interface-client", default "ui.interface-client") for
// the data of every listener that listens, on its own update timer at "fps"
// (default: the global "frames-per-second", 30; "0": no timer, poll() by
// hand). A poll asks once per listener ("request-viz-data"); the answers
// arrive with the client connector's next delivery and go to their
// listener. It notifies "export-slot-names-changed" when the audio side
// announces new export slot names. A listener that got no data for
// "inactive-timeout" seconds (1.0) counts as inactive.
//
// CLevelMeterListener (tag "ui:level-meter-listener"): subscribes to one
// source ("viz-name", such as "plugin.modMain.modMeterOut"; required) while
// it is active, so that the audio side runs the tap only while some view
// shows it; setActive(false) (a hidden meter) and destruction unsubscribe.
// It keeps the newest values (CVizFrames) and notifies "values-changed"
// when new ones arrived. "group-selector" names the channel group whose
// lane it reads (group 0 without one); "history-frames" keeps frames for
// graphs; "exchange" is the exchange's path ("ui.viz-exchange").
// "preview-values" shows fixed values until data arrive (tamblor-uishot
// renders of editor definitions): per channel "LEVEL:PEAK[:CLIPS]", levels
// in dB, blank separated.
//
// Threads: the UI thread; nothing here touches the audio side but through
// protocol messages.

#include <vector>

#include "Audio/Interface/AudioInterfaceClient.h"
#include "Core/Object.h"
#include "UI/Meters/VizFrames.h"

KELSTR(CLevelMeterListener_init_NoVizName, "Visual object name is not defined.");

class CLevelMeterListener;
class CParamGroupSelector;
class CTimerQueued;

class CVizExchange : public CObject {
public:
    ~CVizExchange() override;
    static void registerEvents(CClassRecord& record);
    CError initLinks() override;
    CError initDone() override;

    CAudioInterfaceClient* client() const { return m_client; }
    void addListener(CLevelMeterListener* l);
    void removeListener(CLevelMeterListener* l);
    // Asks for the data of every active listener.
    CError poll();
    uint64_t polls() const { return m_polls; }
    double fps() const { return m_fps; }

private:
    CError onVizData(CEventParams& p);
    CAudioInterfaceClient* m_client = nullptr;
    std::vector<CLevelMeterListener*> m_listeners;
    CTimerQueued* m_timer = nullptr;
    double m_fps = 30;
    uint64_t m_polls = 0;
};

class CLevelMeterListener : public CObject {
public:
    ~CLevelMeterListener() override;
    static void registerEvents(CClassRecord& record);
    CError init() override;
    CError initLinks() override;
    CError initDone() override;

    const CString& vizName() const { return m_vizName; }
    // Subscribes (true) or unsubscribes the source.
    CError setActive(bool active);
    bool isActive() const { return m_vizId != 0; }
    uint32_t vizId() const { return m_vizId; }
    // The exchange goes away: unsubscribe and forget it.
    void detachExchange();
    // Asks for new data (the exchange's poll).
    CError request();
    // Data of the source arrived.
    CError onData(const std::vector<uint8_t>& data, double now);

    const CVizFrames& frames() const { return m_frames; }
    CVizFrames& frames() { return m_frames; }
    // The lane of the selected channel group (nullptr: no data yet).
    const CVizFrames::Lane* lane() const;
    uint32_t group() const;
    // No data for "inactive-timeout" seconds.
    bool isStale(double now) const;
    uint64_t updates() const { return m_updates; }

private:
    CError applyPreview();
    CString m_vizName;
    CVizExchange* m_exchange = nullptr;
    CParamGroupSelector* m_selector = nullptr;
    uint32_t m_vizId = 0;
    uint64_t m_updates = 0;
    double m_lastData = -1;
    CVizFrames m_frames;
};
