// tamblor-editor: a small editor host. It loads the bundle, makes an
// instance, creates its editor view and embeds it in a top-level X window
// as a DAW does, running a poll()-based run loop.
//
//   tamblor-editor [--bundle DIR] [--frames N] [--screenshot FILE] [--script FILE]
//                  [--scale S] [--scale-after S] [--probe-view] [--no-run-loop]
//                  [--parent ID] [--fd-never-signalled] [--timer-floor MS]
//                  [--refuse-second-handler] [--refuse-zero-timers]
//                  [--attach-cycles N] [--instance-cycles N] [--unset-display] [--idle S] [--music]
//                  [--no-audio]
//
// --no-audio processes no blocks (a stopped host: the meters stay unfed, as
// in the golden images the windowless tests draw).
// --frames N runs the loop N frame periods (1/30 s) after attaching; the
// screenshot is taken then. --scale sends a content scale before attaching,
// --scale-after once attached. --parent gives the view another parent id
// than the host window's. Script lines (positions in the host window):
//   move X Y | press [B] | release [B] | click X Y | dblclick X Y
//   drag X1 Y1 X2 Y2 | wheel up|down | host-wheel D | key NAME (a keysym
//   name, or a chord: Shift_L+Tab)
//   wait MS | screenshot FILE | automate TITLE VALUE | param TITLE
//   automate-id ID VALUE | param-id ID (by parameter id)
//   param-ids (prints "param-id-of TITLE ID" for every parameter)
//   param-text TITLE (prints "param-text TITLE TEXT": the value as the
//   plug-in displays it)
//   music on|off (the instance plays the demo programme in a loop, or
//   silence; --music starts with it on); play MS (runs the loop until MS
//   of audio went through the instance, however long that takes)
//   levels (prints "levels IN-PEAK OUT-PEAK IN-RMS OUT-RMS", dBFS over the
//   blocks processed since the last "levels" or the start of the script;
//   the input taken as late as the reported latency)
//   await-windows N NAME | await-file PATH | await-edits N | await-focus
//   (runs the loop until N top-level windows of that name exist, then prints
//   "windows NAME COUNT"; until a file exists; until the view made N
//   edits; until the editor asked for the keyboard; at most 10 s each)
//   host-key NAME (onKeyDown/onKeyUp of a character or Return, Escape,
//   BackSpace; prints "host-key NAME 1" when the view took it, else 0)
//   unfocus (the keyboard goes elsewhere in the host: XEMBED_FOCUS_OUT)
//   windows NAME (prints the count of top-level windows of that name)
//   click-window X Y NAME (a click into another top-level window;
//   dblclick-window a double click)
//   screenshot-window FILE NAME (the pixels of another top-level window)
//   position NAME (prints "position X Y" of a top-level window)
//   drag-window X1 Y1 X2 Y2 NAME (a drag that starts in another window)
// --idle S measures the process's processor time over S seconds of an
// open editor without audio ("idle-cpu-percent", of one core); --busy S the
// same with music playing, less the time of the process calls
// ("busy-editor-cpu-percent"; "busy-audio-cpu-percent" is theirs); the report
// also has "rss-added-kb" (memory the open editor added).
// --attach-cycles N attaches and removes the view N + 1 times,
// --instance-cycles N makes and destroys N + 1 instances with open editors;
// both report the resources after the first cycle, after half of the rest
// and after the last (memory that allocators keep settles in the first
// half; what keeps growing in the second is leaked);
// --no-editor makes the instances without opening their editors (the
// baseline of the memory figures).
// The report on standard output has one fact per line: "attach 0|1",
// "attach-ms", "first-pixels-ms", the edits the view made ("begin ID",
// "perform ID V", "end ID"), "edited ID VALUE INITIAL" (each parameter the
// view edited: its value in the plug-in now and at the start), "resize W H", "error-window N" (after a
// refused attach: the application error windows on the screen), "param TITLE V", "handlers N",
// "timers N", "threads N", "fds N", "rss-kb N", "children N", and after a
// script "focus-requests N" (XEmbed focus requests of the editor) and
// "keys-forwarded N" (keys the host window handed on to it).

#include <dirent.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "Host/Module.h"
#include "Host/PluginInstance.h"
#include "Tools/Editor/AudioFeed.h"
#include "Tools/Editor/EditorHost.h"
#include "Tools/Editor/HostWindow.h"
#include "pluginterfaces/gui/iplugviewcontentscalesupport.h"

using namespace Steinberg;
using namespace editorhost;

namespace {
struct Options {
    std::string bundle = TAMBLOR_EDITOR_DEFAULT_BUNDLE;
    int frames = 10;
    std::string screenshot, script;
    double scale = 0, scaleAfter = 0;
    bool probeView = false, noRunLoop = false, unsetDisplay = false, noEditor = false, music = false, noAudio = false;
    long long parent = -1;
    int attachCycles = 0, instanceCycles = 0;
    double idleSeconds = 0, busySeconds = 0;
    CHostQuirks quirks;
};

int countEntries(const char* dir) {
    int n = 0;
    if (DIR* d = opendir(dir)) {
        while (dirent* e = readdir(d))
            if (e->d_name[0] != '.') ++n;
        closedir(d);
    }
    return n;
}

long rssKb() {
    std::ifstream f("/proc/self/statm");
    long pages = 0, rss = 0;
    f >> pages >> rss;
    return rss * (sysconf(_SC_PAGESIZE) / 1024);
}

double threadCpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

double cpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) * 1e-6;
}

bool allBlack(const std::vector<uint32_t>& px) {
    for (uint32_t p : px)
        if ((p & 0xFFFFFF) != 0) return false;
    return true;
}

class CSession {
public:
    CSession(const Options& o, CHostWindow& window) : m_o(o), m_window(window), m_frame(o.quirks) {
        m_frame.answerWithoutRunLoop = o.noRunLoop;
        m_frame.onResize = [this](int w, int h) {
            std::printf("resize %d %d\n", w, h);
            m_window.resize(w, h);
        };
    }

    // Runs the loop for ms milliseconds; the instance processes a block
    // every 10 ms as in a playing host (silence, or music), so that changes
    // reach its audio side.
    void run(double ms) {
        const double end = nowMs() + ms;
        while (nowMs() < end) {
            m_frame.runOnce(int(std::clamp(end - nowMs(), 1.0, m_audioPaused ? 1000.0 : 10.0)));
            m_window.drain();
            if (m_feed && !m_audioPaused && nowMs() - m_lastBlock >= 10) {
                m_lastBlock = nowMs();
                processBlock();
            }
        }
    }

    void processBlock() {
        const double cpu0 = threadCpuSeconds();
        m_feed->processBlock();
        m_audioCpu += threadCpuSeconds() - cpu0;
        // As a DAW does: a latency restart is answered by asking for the new
        // latency (which the plug-in takes as the host having applied it).
        if (m_inst->takeRestartFlags() & Steinberg::Vst::kLatencyChanged) m_feed->setLatency(m_inst->latency());
    }

    bool open(host::CPluginInstance& inst, bool report) {
        m_inst = &inst;
        m_feed = std::make_unique<CAudioFeed>(inst);
        m_feed->setMusic(m_o.music);
        m_audioPaused = m_o.noAudio;
        m_feed->setLatency(int(inst.processor()->getLatencySamples()));
        Vst::IEditController* c = inst.controller();
        if (m_o.probeView)
            if (IPlugView* probe = c->createView("editor")) probe->release();
        m_view = c->createView("editor");
        if (!m_view) {
            std::fprintf(stderr, "the plug-in offers no editor view\n");
            return false;
        }
        m_view->setFrame(&m_frame);
        m_frame.view = m_view;
        if (m_o.scale > 0) setScale(m_o.scale);
        ViewRect r;
        if (m_view->getSize(&r) == kResultOk) m_window.resize(r.getWidth(), r.getHeight());
        const uint32_t parent = m_o.parent >= 0 ? uint32_t(m_o.parent) : m_window.id();
        const long rssBefore = rssKb();
        const double t0 = nowMs();
        const tresult result = m_view->attached(reinterpret_cast<void*>(uintptr_t(parent)), "X11EmbedWindowID");
        const double attachMs = nowMs() - t0;
        if (report) std::printf("attach %d\nattach-ms %.1f\n", result == kResultOk ? 1 : 0, attachMs);
        if (result != kResultOk) return false;
        // The first pixels that are not black in the host's window.
        double firstPixels = -1;
        while (nowMs() - t0 < 2000) {
            run(2);
            int w = 0, h = 0;
            if (!allBlack(m_window.capture(&w, &h))) {
                firstPixels = nowMs() - t0;
                break;
            }
        }
        if (report) std::printf("first-pixels-ms %.1f\nrss-added-kb %ld\n", firstPixels, rssKb() - rssBefore);
        if (m_o.scaleAfter > 0) setScale(m_o.scaleAfter);
        return true;
    }

    void close() {
        m_inst = nullptr;
        m_feed.reset();
        if (!m_view) return;
        m_view->removed();
        m_view->setFrame(nullptr);
        m_view->release();
        m_view = nullptr;
    }

    void setScale(double s) {
        IPlugViewContentScaleSupport* cs = nullptr;
        if (m_view->queryInterface(IPlugViewContentScaleSupport::iid, reinterpret_cast<void**>(&cs)) == kResultOk && cs) {
            cs->setContentScaleFactor(float(s));
            cs->release();
        }
    }

    bool screenshot(const std::string& file) {
        int w = 0, h = 0;
        std::vector<uint32_t> px = m_window.capture(&w, &h);
        std::string err;
        if (px.empty() || !writePng(file, px, w, h, &err)) {
            std::fprintf(stderr, "screenshot: %s\n", err.empty() ? "no image" : err.c_str());
            return false;
        }
        return true;
    }

    bool script(const std::string& file, host::CPluginInstance& inst);
    void pauseAudio(bool on) { m_audioPaused = on; }
    // Processor time spent in the instance's process calls so far.
    double audioCpuSeconds() const { return m_audioCpu; }
    void setMusic(bool on) { m_feed->setMusic(on); }
    CEditorFrame& frame() { return m_frame; }
    IPlugView* view() const { return m_view; }

private:
    const Options& m_o;
    CHostWindow& m_window;
    CEditorFrame m_frame;
    IPlugView* m_view = nullptr;
    host::CPluginInstance* m_inst = nullptr;
    bool m_audioPaused = false;
    double m_lastBlock = 0;
    double m_audioCpu = 0;
    std::unique_ptr<CAudioFeed> m_feed;
};

bool CSession::script(const std::string& file, host::CPluginInstance& inst) {
    std::ifstream in(file);
    if (!in) {
        std::fprintf(stderr, "%s: cannot read\n", file.c_str());
        return false;
    }
    std::string line;
    const double settle = 40;  // ms for the editor to take each input
    const double kAwaitMs = 10000;  // the deadline of the await verbs
    if (m_feed) m_feed->take();       // "levels" counts from here
    while (std::getline(in, line)) {
        std::istringstream s(line);
        std::string verb;
        if (!(s >> verb) || verb[0] == '#') continue;
        int x = 0, y = 0, x2 = 0, y2 = 0, b = 1;
        if (verb == "move" && s >> x >> y) m_window.moveMouse(x, y);
        else if (verb == "windows") {
            std::string name;
            std::getline(s >> std::ws, name);
            std::printf("windows %s %d\n", name.c_str(), m_window.topLevelWindowsNamed(name));
            continue;
        } else if (verb == "position") {
            std::string name;
            std::getline(s >> std::ws, name);
            int px = 0, py = 0;
            if (!m_window.windowPosition(m_window.findTopLevel(name), &px, &py)) {
                std::fprintf(stderr, "no window '%s'\n", name.c_str());
                return false;
            }
            std::printf("position %d %d\n", px, py);
            continue;
        } else if (verb == "drag-window" && s >> x >> y >> x2 >> y2) {
            std::string name;
            std::getline(s >> std::ws, name);
            if (!m_window.moveMouseInto(name, x, y)) {
                std::fprintf(stderr, "no window '%s'\n", name.c_str());
                return false;
            }
            int sx = 0, sy = 0;
            m_window.windowPosition(m_window.findTopLevel(name), &sx, &sy);
            run(settle), m_window.button(1, true), run(settle);
            // Positions on the screen from the window's place at the start.
            for (int i = 1; i <= 8; ++i)
                m_window.moveMouseOnScreen(sx + x + (x2 - x) * i / 8, sy + y + (y2 - y) * i / 8), run(15);
            m_window.button(1, false);
        } else if ((verb == "click-window" || verb == "dblclick-window") && s >> x >> y) {
            std::string name;
            std::getline(s >> std::ws, name);
            if (!m_window.moveMouseInto(name, x, y)) {
                std::fprintf(stderr, "no window '%s'\n", name.c_str());
                return false;
            }
            if (verb == "click-window") {
                run(settle), m_window.button(1, true), run(settle), m_window.button(1, false);
            } else {
                run(settle);
                for (int i = 0; i < 2; ++i) m_window.button(1, true), run(20), m_window.button(1, false), run(20);
            }
        }
        else if (verb == "press") s >> b, m_window.button(b, true);
        else if (verb == "release") s >> b, m_window.button(b, false);
        else if (verb == "click" && s >> x >> y) {
            m_window.moveMouse(x, y), run(settle), m_window.button(1, true), run(settle), m_window.button(1, false);
        } else if (verb == "dblclick" && s >> x >> y) {
            m_window.moveMouse(x, y), run(settle);
            for (int i = 0; i < 2; ++i) m_window.button(1, true), run(20), m_window.button(1, false), run(20);
        } else if (verb == "drag" && s >> x >> y >> x2 >> y2) {
            m_window.moveMouse(x, y), run(settle), m_window.button(1, true), run(settle);
            for (int i = 1; i <= 8; ++i) m_window.moveMouse(x + (x2 - x) * i / 8, y + (y2 - y) * i / 8), run(15);
            m_window.button(1, false);
        } else if (verb == "wheel") {
            std::string dir;
            s >> dir;
            const int button = dir == "down" ? 5 : 4;
            m_window.button(button, true), m_window.button(button, false);
        } else if (verb == "host-wheel") {
            float d = 0;
            s >> d;
            m_view->onWheel(d);
        } else if (verb == "key") {
            // A key, or a chord such as Shift_L+Tab: pressed in order, released in reverse.
            std::string name;
            s >> name;
            std::vector<std::string> chord;
            for (size_t from = 0;;) {
                const size_t plus = name.find('+', from + 1);
                chord.push_back(name.substr(from, plus == std::string::npos ? std::string::npos : plus - from));
                if (plus == std::string::npos) break;
                from = plus + 1;
            }
            bool known = true;
            for (const std::string& k : chord) known = m_window.key(k, true) && known;
            for (auto k = chord.rbegin(); k != chord.rend(); ++k) known = m_window.key(*k, false) && known;
            if (!known) std::fprintf(stderr, "key %s: unknown\n", name.c_str());
        } else if (verb == "host-key") {
            // A key the host hands over: a character, or Return, Escape, BackSpace.
            std::string name;
            s >> name;
            char16 ch = 0;
            int16 code = 0;
            if (name == "Return") code = 4;
            else if (name == "Escape") code = 6;
            else if (name == "BackSpace") code = 1;
            else if (name.size() == 1) ch = char16(name[0]);
            const bool taken = m_view->onKeyDown(ch, code, 0) == kResultTrue;
            m_view->onKeyUp(ch, code, 0);
            std::printf("host-key %s %d\n", name.c_str(), taken ? 1 : 0);
        } else if (verb == "await-windows" || verb == "await-file" || verb == "await-edits" ||
                   verb == "await-focus") {
            // A condition instead of a fixed wait: the loop runs until it holds
            // or the deadline passes (the script goes on either way; what the
            // test reads afterwards tells).
            int n = 0;
            std::string arg;
            if (verb == "await-windows" || verb == "await-edits") s >> n;
            std::getline(s >> std::ws, arg);
            auto holds = [&] {
                if (verb == "await-windows") return m_window.topLevelWindowsNamed(arg) == n;
                if (verb == "await-file") return access(arg.c_str(), R_OK) == 0;
                if (verb == "await-focus") return m_window.focusRequests() > 0;
                int performs = 0;
                for (const std::string& call : inst.handler().calls()) performs += call.rfind("perform ", 0) == 0;
                return performs >= n;
            };
            const double deadline = nowMs() + kAwaitMs;
            while (!holds() && nowMs() < deadline) run(10);
            if (verb == "await-windows") std::printf("windows %s %d\n", arg.c_str(), m_window.topLevelWindowsNamed(arg));
        } else if (verb == "unfocus") {
            m_window.releaseKeyFocus();
        } else if (verb == "wait") {
            double ms = 0;
            s >> ms;
            run(ms);
            continue;
        } else if (verb == "screenshot-window") {
            std::string f, name;
            s >> f;
            std::getline(s >> std::ws, name);
            int w = 0, h = 0;
            std::vector<uint32_t> px = m_window.captureWindow(m_window.findTopLevel(name), &w, &h);
            std::string err;
            if (px.empty() || !writePng(f, px, w, h, &err)) {
                std::fprintf(stderr, "no window '%s' to capture\n", name.c_str());
                return false;
            }
            continue;
        } else if (verb == "screenshot") {
            std::string f;
            s >> f;
            if (!screenshot(f)) return false;
            continue;
        } else if (verb == "automate-id" || verb == "param-id") {
            unsigned id = 0;
            s >> id;
            if (verb == "automate-id") {
                double v = 0;
                s >> v;
                inst.queueChange(Vst::ParamID(id), v);
            } else {
                std::printf("param-id %u %.6f\n", id, inst.parameterValue(Vst::ParamID(id)));
                continue;
            }
        } else if (verb == "music") {
            std::string on;
            s >> on;
            if (on != "on" && on != "off") {
                std::fprintf(stderr, "bad script line: %s\n", line.c_str());
                return false;
            }
            m_feed->setMusic(on == "on");
        } else if (verb == "param-ids") {
            for (const host::CPluginParam& p : inst.parameters()) std::printf("param-id-of %s %u\n", p.title.c_str(), unsigned(p.id));
            continue;
        } else if (verb == "play") {
            double ms = 0;
            s >> ms;
            const long target = m_feed->processed() + std::lround(ms / 10);
            const double deadline = nowMs() + ms + kAwaitMs;
            while (m_feed->processed() < target && nowMs() < deadline) run(5);
            continue;
        } else if (verb == "levels") {
            const CLevels l = m_feed->take();
            std::printf("levels %.2f %.2f %.2f %.2f\n", l.inPeakDb, l.outPeakDb, l.inRmsDb, l.outRmsDb);
            continue;
        } else if (verb == "automate" || verb == "param" || verb == "param-text") {
            std::string title;
            s >> title;
            Vst::ParamID id = 0;
            if (!inst.findParameter(title, &id).empty()) {
                std::fprintf(stderr, "no parameter '%s'\n", title.c_str());
                return false;
            }
            if (verb == "automate") {
                double v = 0;
                s >> v;
                inst.queueChange(id, v);
            } else if (verb == "param") {
                std::printf("param %s %.6f\n", title.c_str(), inst.parameterValue(id));
            } else {
                std::printf("param-text %s %s\n", title.c_str(), inst.parameterText(id, inst.parameterValue(id)).c_str());
                continue;
            }
        } else {
            std::fprintf(stderr, "bad script line: %s\n", line.c_str());
            return false;
        }
        run(settle);
    }
    return true;
}

host::CHostSetup hostSetup() {
    host::CHostSetup setup;
    setup.offline = false;  // a host playing in real time
    return setup;
}

int usage() {
    std::fprintf(stderr, "usage: see the head of Tools/Editor/main.cpp\n");
    return 2;
}

void reportResources(CHostWindow& w, const CEditorFrame* frame) {
    if (frame) std::printf("handlers %zu\ntimers %zu\n", frame->handlerCount(), frame->timerCount());
    std::printf("threads %d\nfds %d\nrss-kb %ld\nchildren %d\n", countEntries("/proc/self/task"),
                countEntries("/proc/self/fd"), rssKb(), w.childWindowCount());
}
}  // namespace

int main(int argc, char** argv) {
    Options o;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto next = [&]() -> const char* { return i + 1 < argc ? argv[++i] : nullptr; };
        const char* v = nullptr;
        if (a == "--bundle" && (v = next())) o.bundle = v;
        else if (a == "--frames" && (v = next())) o.frames = std::atoi(v);
        else if (a == "--screenshot" && (v = next())) o.screenshot = v;
        else if (a == "--script" && (v = next())) o.script = v;
        else if (a == "--scale" && (v = next())) o.scale = std::atof(v);
        else if (a == "--scale-after" && (v = next())) o.scaleAfter = std::atof(v);
        else if (a == "--parent" && (v = next())) o.parent = std::strtoll(v, nullptr, 0);
        else if (a == "--timer-floor" && (v = next())) o.quirks.timerFloorMs = std::atoi(v);
        else if (a == "--attach-cycles" && (v = next())) o.attachCycles = std::atoi(v);
        else if (a == "--idle" && (v = next())) o.idleSeconds = std::atof(v);
        else if (a == "--busy" && (v = next())) o.busySeconds = std::atof(v);
        else if (a == "--instance-cycles" && (v = next())) o.instanceCycles = std::atoi(v);
        else if (a == "--probe-view") o.probeView = true;
        else if (a == "--no-run-loop") o.noRunLoop = true;
        else if (a == "--unset-display") o.unsetDisplay = true;
        else if (a == "--no-editor") o.noEditor = true;
        else if (a == "--music") o.music = true;
        else if (a == "--no-audio") o.noAudio = true;
        else if (a == "--fd-never-signalled") o.quirks.fdNeverSignalled = true;
        else if (a == "--refuse-second-handler") o.quirks.refuseSecondHandlerOnFd = true;
        else if (a == "--refuse-zero-timers") o.quirks.refuseZeroTimers = true;
        else return usage();
    }
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    CHostWindow window;
    std::string err;
    if (!window.open(400, 300, "Tamblor [VST3]", &err)) {
        std::fprintf(stderr, "%s\n", err.c_str());
        return 1;
    }
    // The plug-in finds no display (ours stays open).
    if (o.unsetDisplay) unsetenv("DISPLAY");
    host::CModule module;
    if (!(err = module.load(o.bundle)).empty()) {
        std::fprintf(stderr, "%s\n", err.c_str());
        return 1;
    }
    const double frameMs = 1000.0 / 30;
    int status = 0;

    // Instances with open editors made and destroyed. The first cycle warms
    // up what lives as long as the module (timer thread, fonts); the
    // resources are reported after it and after the rest.
    if (o.instanceCycles > 0) {
        for (int i = 0; i <= o.instanceCycles && status == 0; ++i) {
            if (i == 1 || i == o.instanceCycles / 2 + 1) reportResources(window, nullptr);
            host::CPluginInstance inst(true);
            if (!(err = inst.create(module.factory())).empty() || !(err = inst.prepare(hostSetup())).empty()) {
                std::fprintf(stderr, "%s\n", err.c_str());
                return 1;
            }
            CSession s(o, window);
            if (!o.noEditor && !s.open(inst, false)) status = 1;
            s.run(3 * frameMs);
            s.close();
            inst.close();
        }
        reportResources(window, nullptr);
        return status;
    }

    host::CPluginInstance inst(true);
    if (!(err = inst.create(module.factory())).empty() || !(err = inst.prepare(hostSetup())).empty()) {
        std::fprintf(stderr, "%s\n", err.c_str());
        return 1;
    }
    inst.latency();  // a DAW asks once the instance is active, to compensate
    {
        CSession s(o, window);
        if (o.attachCycles > 0) {
            for (int i = 0; i <= o.attachCycles && status == 0; ++i) {
                if (i == 1 || i == o.attachCycles / 2 + 1) reportResources(window, &s.frame());
                if (!s.open(inst, false)) status = 1;
                s.run(2 * frameMs);
                s.close();
            }
            s.run(frameMs);
            reportResources(window, &s.frame());
            inst.close();
            return status;
        }
        if (!s.open(inst, true)) {
            // The host survives a refused editor; the error window shows.
            const double t = nowMs();
            int shown = 0;
            while (nowMs() - t < 2000 && (shown = window.topLevelWindowsNamed("Kelvane Application Message")) == 0)
                usleep(20000);
            std::printf("error-window %d\n", shown);
            s.close();
            reportResources(window, &s.frame());
            inst.close();
            return 3;
        }
        std::map<Vst::ParamID, double> initial;
        for (const host::CPluginParam& p : inst.parameters()) initial[p.id] = inst.parameterValue(p.id);
        s.run(o.frames * frameMs);
        if (o.idleSeconds > 0) {
            // The open editor alone: no audio blocks, only the run loop.
            s.pauseAudio(true);
            s.run(500);
            const double cpu0 = cpuSeconds(), t0 = nowMs();
            s.run(o.idleSeconds * 1000);
            std::printf("idle-cpu-percent %.3f\n", 100.0 * (cpuSeconds() - cpu0) / ((nowMs() - t0) / 1000.0));
            s.pauseAudio(false);
        }
        if (o.busySeconds > 0) {
            // The open editor with music playing (meters, statistics and
            // read-outs moving): the process's time less the process calls'.
            s.setMusic(true);
            s.run(500);
            const double cpu0 = cpuSeconds(), audio0 = s.audioCpuSeconds(), t0 = nowMs();
            s.run(o.busySeconds * 1000);
            const double seconds = (nowMs() - t0) / 1000.0, audio = s.audioCpuSeconds() - audio0;
            std::printf("busy-editor-cpu-percent %.3f\nbusy-audio-cpu-percent %.3f\n",
                        100.0 * (cpuSeconds() - cpu0 - audio) / seconds, 100.0 * audio / seconds);
            s.setMusic(o.music);
        }
        if (!o.script.empty()) {
            if (!s.script(o.script, inst)) status = 1;
            std::printf("focus-requests %d\nkeys-forwarded %d\n", window.focusRequests(), window.keysForwarded());
        }
        if (!o.screenshot.empty() && !s.screenshot(o.screenshot)) status = 1;
        std::set<Vst::ParamID> edited;
        for (const std::string& call : inst.handler().calls()) {
            std::printf("%s\n", call.c_str());
            unsigned id = 0;
            if (std::sscanf(call.c_str(), "perform %u", &id) == 1) edited.insert(Vst::ParamID(id));
        }
        // What the edits left on the plug-in's side, and where they started.
        for (Vst::ParamID id : edited) std::printf("edited %u %.6f %.6f\n", unsigned(id), inst.parameterValue(id), initial[id]);
        s.close();
        reportResources(window, &s.frame());
    }
    inst.close();
    return status;
}
