#pragma once
// Timers of the editor's UI thread.
//
// CUpdateTimerGroup (tag "ui:update-timer-group"): one per editor, owned by
// the window shared data. It makes one core timer child "system-timer"
// ("timer-tag", default "core:timer") with the group's "interval" (seconds)
// and on each of its ticks runs the update timers that are due, in
// ascending "order-asc"; timers of equal order run in the order they joined.
// A timer is due when its next time lies within half a group period; a
// timer that fell behind fires once and then keeps its rhythm from now (no
// catching up).
//
// CUpdateTimer (tag "ui:update-timer"): joins the group of its editor
// ("ui.window-shared-data") and on each of its periods notifies "tick" to
// its listeners and runs an event on its parent: the one named by "event"
// (default the timer's own name, e.g. "render-timer"), else "tick". The
// period is "interval" seconds when given, else 1 / "fps" (default 30). A
// timer made before its editor's group joins when the group is made; one
// in a tree without window shared data (so far) ticks by itself, with a
// core timer child "system-timer" ("is-high-precision" passed on), until it
// joins a group.
//
// CIntervalTimer (tag "ui:interval-timer"): an update timer whose period is
// "interval" (default 1.0 s).
//
// UI thread only.

#include <vector>

#include "Core/Object.h"

class CUpdateTimer;
class CTimerQueued;

KELSTR(CUpdateTimerGroup_init_NoTimer, "Tag '%1' does not make a timer.");

class CUpdateTimerGroup : public CObject {
public:
    CUpdateTimerGroup();
    ~CUpdateTimerGroup() override;
    static void registerEvents(CClassRecord& record);
    CError initDone() override;

    void add(CUpdateTimer* t);
    void remove(CUpdateTimer* t);
    size_t timerCount() const;
    // The group period in seconds.
    double period() const { return m_period; }
    // One tick of the group at a time in seconds (the system timer's ticks
    // come with the application's clock).
    CError tick(double now);
    CTimerQueued* systemTimer() const { return m_systemTimer; }

private:
    std::vector<CUpdateTimer*> m_timers;  // entries are null while a tick runs and a timer leaves
    int m_ticking = 0;
    double m_period = 0.015;
    CTimerQueued* m_systemTimer = nullptr;
};

class CUpdateTimer : public CObject {
public:
    CUpdateTimer();
    ~CUpdateTimer() override;
    static void registerEvents(CClassRecord& record);
    CError initDone() override;

    double period() const;
    int order() const { return int(attrInt("order-asc", 0)); }
    double nextDue() const { return m_due; }
    // The group ticks: runs the timer when due at now (one group period given).
    bool isDue(double now, double groupPeriod) const;
    CError fire(double now);
    uint64_t fireCount() const { return m_fired; }
    // Joins a group directly (tests); initDone joins the editor's, and the
    // shared data adopts timers that were made before its group.
    void join(CUpdateTimerGroup* group, double now);
    bool hasGroup() const { return m_group != nullptr; }

protected:
    virtual double defaultPeriod() const;
    // What one period does: "tick" to the listeners and the parent's event.
    virtual CError onTick();

private:
    friend class CUpdateTimerGroup;
    CError startOwnTimer();
    CUpdateTimerGroup* m_group = nullptr;
    CObject* m_ownTimer = nullptr;
    double m_due = 0;
    uint64_t m_fired = 0;
};

class CIntervalTimer : public CUpdateTimer {
protected:
    double defaultPeriod() const override;
};
