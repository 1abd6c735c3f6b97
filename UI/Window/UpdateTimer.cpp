// Update timers of the editor: one group tick drives them all, in order.
#include "UI/Window/UpdateTimer.h"

#include <algorithm>
#include <utility>

#include "Core/Application.h"
#include "Core/Timer.h"
#include "UI/Window/WindowSharedData.h"

// --- Group ---------------------------------------------------------------------------------------

CUpdateTimerGroup::CUpdateTimerGroup() = default;

CUpdateTimerGroup::~CUpdateTimerGroup() {
    for (CUpdateTimer* t : m_timers)
        if (t) t->m_group = nullptr;
}

void CUpdateTimerGroup::registerEvents(CClassRecord& record) {
    CObject::registerEvents(record);
    record.addEvent("system-timer-tick", [](CObject* o, CEventParams&) -> CError {
        return static_cast<CUpdateTimerGroup*>(o)->tick(kelSecondsSinceStart());
    });
}

CError CUpdateTimerGroup::initDone() {
    double interval = 0;
    if (attr("interval").toDouble(&interval) && interval > 0) m_period = interval;
    const CString tag = hasAttr("timer-tag") ? attr("timer-tag") : CString("core:timer");
    std::unique_ptr<CObject> made = createObject(tag);
    auto* timer = dynamic_cast<CTimerQueued*>(made.get());
    if (!timer) return KEL_ERROR(kelstr_CUpdateTimerGroup_init_NoTimer, tag);
    made->setName("system-timer");
    KEL_TRY(made->setAttr("interval", CString::number(m_period), false));
    if (hasAttr("is-high-precision")) KEL_TRY(made->setAttr("is-high-precision", attr("is-high-precision"), false));
    KEL_TRY(addChild(std::move(made)));
    listenObject(timer, "tick", this, "system-timer-tick");
    KEL_TRY(timer->initTree());
    m_systemTimer = timer;
    return CObject::initDone();
}

void CUpdateTimerGroup::add(CUpdateTimer* t) {
    if (std::find(m_timers.begin(), m_timers.end(), t) == m_timers.end()) m_timers.push_back(t);
}

void CUpdateTimerGroup::remove(CUpdateTimer* t) {
    auto it = std::find(m_timers.begin(), m_timers.end(), t);
    if (it == m_timers.end()) return;
    if (m_ticking) *it = nullptr;
    else m_timers.erase(it);
}

size_t CUpdateTimerGroup::timerCount() const {
    return size_t(std::count_if(m_timers.begin(), m_timers.end(), [](CUpdateTimer* t) { return t != nullptr; }));
}

CError CUpdateTimerGroup::tick(double now) {
    std::vector<CUpdateTimer*> due;
    for (CUpdateTimer* t : m_timers)
        if (t && t->isDue(now, m_period)) due.push_back(t);
    std::stable_sort(due.begin(), due.end(), [](CUpdateTimer* a, CUpdateTimer* b) { return a->order() < b->order(); });
    CError err;
    ++m_ticking;
    for (CUpdateTimer* t : due) {
        // A timer that an earlier one destroyed has left the list.
        if (std::find(m_timers.begin(), m_timers.end(), t) == m_timers.end()) continue;
        if ((err = t->fire(now))) break;
    }
    if (--m_ticking == 0) m_timers.erase(std::remove(m_timers.begin(), m_timers.end(), nullptr), m_timers.end());
    return err;
}

// --- Update timer ------------------------------------------------------------------------------------

CUpdateTimer::CUpdateTimer() = default;

CUpdateTimer::~CUpdateTimer() {
    if (m_group) m_group->remove(this);
}

void CUpdateTimer::registerEvents(CClassRecord& record) {
    CObject::registerEvents(record);
    record.addEvent("own-timer-tick", [](CObject* o, CEventParams&) -> CError {
        return static_cast<CUpdateTimer*>(o)->fire(kelSecondsSinceStart());
    });
}

double CUpdateTimer::defaultPeriod() const {
    double fps = 0;
    if (!attr("fps").toDouble(&fps) || !(fps > 0)) fps = 30;
    return 1.0 / fps;
}

double CIntervalTimer::defaultPeriod() const {
    double interval = 0;
    if (!attr("interval").toDouble(&interval) || !(interval > 0)) interval = 1.0;
    return interval;
}

double CUpdateTimer::period() const {
    double interval = 0;
    if (attr("interval").toDouble(&interval) && interval > 0) return interval;
    return defaultPeriod();
}

CError CUpdateTimer::initDone() {
    auto* shared = dynamic_cast<CWindowSharedData*>(root()->findObject("ui.window-shared-data"));
    if (shared && shared->timerGroup()) join(shared->timerGroup(), kelSecondsSinceStart());
    else if (!shared) KEL_TRY(startOwnTimer());
    return CObject::initDone();
}

CError CUpdateTimer::startOwnTimer() {
    std::unique_ptr<CObject> made = createObject("core:timer");
    auto* timer = dynamic_cast<CTimerQueued*>(made.get());
    if (!timer) return KEL_ERROR(kelstr_CUpdateTimerGroup_init_NoTimer, CString("core:timer"));
    made->setName("system-timer");
    KEL_TRY(made->setAttr("interval", CString::number(period()), false));
    if (hasAttr("is-high-precision")) KEL_TRY(made->setAttr("is-high-precision", attr("is-high-precision"), false));
    KEL_TRY(addChild(std::move(made)));
    listenObject(timer, "tick", this, "own-timer-tick");
    m_ownTimer = timer;
    return timer->initTree();
}

void CUpdateTimer::join(CUpdateTimerGroup* group, double now) {
    if (m_group) m_group->remove(this);
    // The group ticks it from now on (the timer's destruction stops it).
    if (m_ownTimer) releaseChild(std::exchange(m_ownTimer, nullptr));
    m_group = group;
    m_due = now;
    group->add(this);
}

bool CUpdateTimer::isDue(double now, double groupPeriod) const { return m_due <= now + groupPeriod * 0.5; }

CError CUpdateTimer::fire(double now) {
    const double p = period();
    m_due += p;
    if (m_due <= now) m_due = now + p;  // fell behind: no catching up
    ++m_fired;
    return onTick();
}

CError CUpdateTimer::onTick() {
    KEL_TRY(notify("tick"));
    CObject* target = parent();
    if (!target) return {};
    const CString event = hasAttr("event") ? attr("event") : name();
    if (target->hasEvent(event)) return target->runEvent(event);
    if (target->hasEvent("tick")) return target->runEvent("tick");
    return {};
}
