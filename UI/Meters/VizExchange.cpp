// The visualization exchange and its listeners.
#include "UI/Meters/VizExchange.h"

#include <algorithm>
#include <cmath>

#include "Core/Application.h"
#include "Core/Log.h"
#include "Core/Timer.h"
#include "UI/Controls/GlobalSettings.h"
#include "UI/Controls/ParamGroup.h"
#include "UI/Window/UpdateTimer.h"

namespace {
// "request-viz-data" flag: include the data information block.
constexpr uint32_t kRequestInfo = 2;
}  // namespace

CVizExchange::~CVizExchange() {
    // Listeners that outlive the exchange (declared before it) let go of it.
    for (CLevelMeterListener* l : std::vector<CLevelMeterListener*>(m_listeners)) l->detachExchange();
}

void CVizExchange::registerEvents(CClassRecord& record) {
    CObject::registerEvents(record);
    record.addEvent("client-viz-data", [](CObject* self, CEventParams& p) -> CError {
        return static_cast<CVizExchange*>(self)->onVizData(p);
    });
    record.addEvent("client-export-slot-names", [](CObject* self, CEventParams&) -> CError {
        return self->notify("export-slot-names-changed");
    });
    record.addEvent("on-update-timer", [](CObject* self, CEventParams&) -> CError {
        return static_cast<CVizExchange*>(self)->poll();
    });
}

CError CVizExchange::initLinks() {
    KEL_TRY(CObject::initLinks());
    if (!hasAttr("interface-client")) KEL_TRY(setAttr("interface-client", "ui.interface-client", false));
    KEL_TRY(findObjectByAttr("interface-client", &m_client));
    CObject::listenObject(m_client, "viz-data", this, "client-viz-data");
    CObject::listenObject(m_client, "export-slot-names", this, "client-export-slot-names");
    return {};
}

CError CVizExchange::initDone() {
    KEL_TRY(CObject::initDone());
    m_fps = 30;
    if (const CGlobalSettings* s = CGlobalSettings::find(*this)) m_fps = s->framesPerSecond();
    if (hasAttr("fps")) m_fps = attrReal("fps", m_fps);
    if (m_fps <= 0) return {};
    // Made through the creator registry: the timer's class record carries
    // the "sys-tick" its ticks arrive by (without it the first tick is lost
    // and the later ones wait for it for ever: the meters never move).
    std::unique_ptr<CObject> made = createObject("core:timer");
    m_timer = dynamic_cast<CTimerQueued*>(made.get());
    if (!m_timer) return KEL_ERROR(kelstr_CUpdateTimerGroup_init_NoTimer, CString("core:timer"));
    made->setName("update-timer");
    KEL_TRY(made->setAttr("fps", CString::number(m_fps), false));
    attachChild(std::move(made));
    listenObject(m_timer, "tick", this, "on-update-timer");
    return m_timer->initTree();
}

void CVizExchange::addListener(CLevelMeterListener* l) {
    if (std::find(m_listeners.begin(), m_listeners.end(), l) == m_listeners.end()) m_listeners.push_back(l);
}

void CVizExchange::removeListener(CLevelMeterListener* l) { std::erase(m_listeners, l); }

CError CVizExchange::poll() {
    ++m_polls;
    CError all;
    for (CLevelMeterListener* l : m_listeners)
        if (l->isActive())
            if (CError e = l->request()) kelLogError(e);
    return all;
}

CError CVizExchange::onVizData(CEventParams& p) {
    int64_t id = 0;
    if (!p.get("viz-id").toInt(&id)) return {};
    const CAudioInterfaceClient::VizMirror* m = m_client->viz(uint32_t(id));
    if (!m) return {};
    const double now = kelSecondsSinceStart();
    for (CLevelMeterListener* l : m_listeners)
        if (l->vizId() == uint32_t(id)) return l->onData(m->data, now);
    return {};
}

// --- Listener -----------------------------------------------------------------------------------

CLevelMeterListener::~CLevelMeterListener() {
    if (CError e = setActive(false)) kelLogError(e);
    if (m_exchange) m_exchange->removeListener(this);
}

void CLevelMeterListener::registerEvents(CClassRecord& record) { CObject::registerEvents(record); }

CError CLevelMeterListener::init() {
    m_vizName = attr("viz-name").trimmed();
    if (m_vizName.empty()) return KEL_ERROR(kelstr_CLevelMeterListener_init_NoVizName);
    return CObject::init();
}

CError CLevelMeterListener::initLinks() {
    KEL_TRY(CObject::initLinks());
    if (!hasAttr("exchange")) KEL_TRY(setAttr("exchange", "ui.viz-exchange", false));
    KEL_TRY(findObjectByAttr("exchange", &m_exchange));
    if (!attr("group-selector").trimmed().empty()) KEL_TRY(findObjectByAttr("group-selector", &m_selector));
    m_frames.setHistory(uint32_t(std::clamp<int64_t>(attrInt("history-frames", 0), 0, CVizFrames::kMaxFrames)));
    m_exchange->addListener(this);
    return {};
}

CError CLevelMeterListener::initDone() {
    KEL_TRY(CObject::initDone());
    KEL_TRY(applyPreview());
    // Listening starts with the listener unless its owner is hidden.
    if (!attrBool("is-inactive-at-start")) KEL_TRY(setActive(true));
    return {};
}

CError CLevelMeterListener::applyPreview() {
    const std::vector<CString> channels = splitBlanks(attr("preview-values"));
    if (channels.empty()) return {};
    std::vector<double> values;
    for (const CString& c : channels) {
        const std::vector<CString> parts = splitString(c, u':');
        double v[3] = {-HUGE_VAL, -HUGE_VAL, 0};
        for (size_t i = 0; i < parts.size() && i < 3; ++i) {
            double x = 0;
            if (parts[i] == "-inf") continue;
            if (!parts[i].toDouble(&x)) return KEL_ERROR(kelstr_CVizFrames_parse_Format, attr("preview-values"));
            v[i] = x;
        }
        values.push_back(std::pow(10.0, v[0] / 20.0));
        values.push_back(std::pow(10.0, v[1] / 20.0));
        values.push_back(v[2]);
    }
    m_frames.setFrame(group(), {CString("level"), CString("peak"), CString("clips")}, uint32_t(channels.size()),
                      std::move(values));
    return notify("values-changed");
}

CError CLevelMeterListener::setActive(bool active) {
    if (!m_exchange || !m_exchange->client()) return {};
    CAudioInterfaceClient* c = m_exchange->client();
    if (active && !m_vizId) return c->listenViz(m_vizName, 0, &m_vizId);
    if (!active && m_vizId) {
        const uint32_t id = m_vizId;
        m_vizId = 0;
        return c->unlistenViz(id);
    }
    return {};
}

CError CLevelMeterListener::request() {
    if (!m_vizId) return {};
    return m_exchange->client()->requestVizData(m_vizId, m_frames.hasInfo() && attrInt("history-frames", 0) > 0
                                                               ? uint32_t(CVizFrames::kMaxFrames) : 0,
                                                m_frames.hasInfo() ? 0 : kRequestInfo);
}

CError CLevelMeterListener::onData(const std::vector<uint8_t>& data, double now) {
    if (data.empty()) return {};
    KEL_TRY(m_frames.parse(data));
    m_lastData = now;
    ++m_updates;
    return notify("values-changed");
}

void CLevelMeterListener::detachExchange() {
    if (CError e = setActive(false)) kelLogError(e);
    m_exchange = nullptr;
}

uint32_t CLevelMeterListener::group() const { return m_selector ? uint32_t(m_selector->index()) : 0u; }

const CVizFrames::Lane* CLevelMeterListener::lane() const { return m_frames.lane(group()); }

bool CLevelMeterListener::isStale(double now) const {
    return m_lastData < 0 || now - m_lastData > attrReal("inactive-timeout", 0.25);
}
