#pragma once
// CWindowSharedData (tag "ui:window-shared-data", found as
// "ui.window-shared-data"): what every window of one editor shares. It
// opens the editor's own display connection (one per editor), keeps the
// list of open windows, the key-focus view, the global update-timer group
// (a child made from "update-timer-group-tag", default
// "ui:update-timer-group", ticking every "interval" seconds, default one
// frame at 30 frames per second: the frame timers fire on every tick and an
// idle editor wakes no more often than it draws)
// and the bridge for calls onto the UI thread.
//
// The UI thread is the thread that loaded the editor. Its run loop (the
// platform's) carries timer ticks and bridged calls; whoever drives the
// editor (the host adapter's run-loop handlers, a test) calls service() when
// the display's descriptor or the wake descriptor is readable, and
// periodically for hosts that never signal them. Where the system has one
// (Linux), the wake descriptor is a waker over the loop's own: it becomes
// readable when a call is posted and when the loop's next timer is due, as
// service() arms it each time, so an idle editor sleeps until its next
// timer. The group's timer is a timer of that run loop (no timer thread).

#include <functional>
#include <memory>
#include <vector>

#include "Core/Object.h"
#include "Platform/Thread.h"
#include "Platform/Window/LoopWaker.h"
#include "Platform/Window/Window.h"

KELSTR(CWindowSharedData_init_NoDisplay, "%1");
KELSTR(CWindowSharedData_init_NoTimerGroup, "Unable to create the update timer group '%1'.");

class CUpdateTimerGroup;
class CWindowRenderer;
class CView;

// A pointer value as the editor root's attributes carry it (hexadecimal,
// "0x" optional). False for text that is not one or for zero.
bool kelParsePointerText(const CString& text, uintptr_t* out);

class CWindowSharedData : public CObject {
public:
    CWindowSharedData();
    ~CWindowSharedData() override;
    static void registerEvents(CClassRecord& record);
    CError initDone() override;

    plat::CDisplay* display() const { return m_display.get(); }
    CUpdateTimerGroup* timerGroup() const { return m_timerGroup; }
    plat::RunLoopId uiLoop() const { return m_loop; }
    // The descriptors to watch: the display's and the run loop's wake-up (-1: none).
    int displayFd() const { return m_display ? m_display->fd() : -1; }
    int wakeFd() const;
    // Milliseconds until service() arms the waker to wake the loop (-1: not
    // armed, or no waker).
    int nextWakeMs() const { return m_nextWakeMs; }

    // Reads the display's events and runs the UI thread's posted calls and
    // due timers. False when the display connection broke.
    bool service();
    // Runs fn on the UI thread with its next service() (from any thread).
    // Calls still waiting when the shared data goes are dropped.
    void bridge(std::function<CError()> fn);
    // Runs an event on the UI thread later (after the current event).
    void postEvent(CObject* target, const CString& eventName, const CEventParams& params);

    // Windows of this editor, the main window first.
    void addWindow(CWindowRenderer* r);
    void removeWindow(CWindowRenderer* r);
    const std::vector<CWindowRenderer*>& windows() const { return m_windows; }
    CWindowRenderer* mainWindow() const { return m_windows.empty() ? nullptr : m_windows.front(); }

    // Key focus: the view that gets the keys (null: none).
    CView* keyFocus() const { return m_keyFocus; }
    CError changeKeyFocus(CView* view, bool isTab);
    // The key-focus view while it takes keys: it edits text (an open edit
    // box, the state "editing") or is a control of a "tab-group"; null
    // otherwise. Keys nobody takes stay the host's.
    CView* keyTaker() const;
    // A key for the key-focus view ("key-press" / "key-release"): "keycode"
    // (a character, or one of the kKey... codes; Control+letter comes as the
    // capital letter), "is-alt", "is-ctrl", "is-shift", and for text edits
    // "char" (the typed character; none with Control or Alt) or "key" (the
    // name of a key without one: "Return", "Escape", "BackSpace", "Tab",
    // "Delete", "Left", ...). Nothing happens without a focus view (but for
    // a Tab: the first member of a tab group of the main window takes the
    // focus). *taken (when given) tells whether a view used the key: its
    // handler set "is-handled" to "true", or the focus moved.
    CError sendKey(bool down, uint32_t keycode, bool alt, bool ctrl, bool shift, bool* taken = nullptr);

private:
    struct Pending;
    static void runPending(void* context);
    void runBridged();

    std::unique_ptr<plat::CDisplay> m_display;
    CUpdateTimerGroup* m_timerGroup = nullptr;
    plat::RunLoopId m_loop = 0;
    int m_wakeFd = -1;
    std::unique_ptr<plat::CLoopWaker> m_waker;
    int m_nextWakeMs = -1;
    std::vector<CWindowRenderer*> m_windows;
    CView* m_keyFocus = nullptr;
    bool m_changingFocus = false;

    // Bridged calls (any thread) and whether a run is posted to the loop.
    std::shared_ptr<Pending> m_pending;
};
