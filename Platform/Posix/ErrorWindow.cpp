// POSIX backend of the error window: the texts on standard error, and where
// an X display is reachable a window of its own as well. The window has its
// own connection and thread, so that a host's UI thread is not blocked; it
// closes on a click, a key or the window manager's close, and at the
// latest when the module unloads.
#include "Platform/ErrorWindow.h"

#include <xcb/xcb.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace plat {

namespace {
std::vector<std::string> splitLines(const std::string& text) {
    std::vector<std::string> out;
    std::string line;
    for (char c : text) {
        if (c == '\r') continue;
        if (c == '\n') {
            out.push_back(line);
            line.clear();
        } else {
            line += c;
        }
    }
    if (!line.empty()) out.push_back(line);
    return out;
}

class CErrorWindowThread {
public:
    ~CErrorWindowThread() { stop(); }

    void show(const ErrorWindowContent& c) {
        std::lock_guard g(m_mutex);
        if (m_running.load()) return;  // one window at a time
        if (m_thread.joinable()) m_thread.join();
        const char* display = std::getenv("DISPLAY");
        if (!display || !*display) return;
        m_stop = false;
        m_running = true;
        m_thread = std::thread([this, c] {
            run(c);
            m_running = false;
        });
    }

    void stop() {
        std::lock_guard g(m_mutex);
        m_stop = true;
        if (m_thread.joinable()) m_thread.join();
    }

private:
    void run(const ErrorWindowContent& content) {
        xcb_connection_t* conn = xcb_connect(nullptr, nullptr);
        if (xcb_connection_has_error(conn)) {
            xcb_disconnect(conn);
            return;
        }
        xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(conn)).data;
        std::vector<std::string> lines = splitLines(content.text);
        lines.emplace_back();
        for (std::string& l : splitLines(content.details)) lines.push_back(std::move(l));
        lines.emplace_back();
        lines.emplace_back("(click or press a key to close)");
        size_t longest = 0;
        for (const std::string& l : lines) longest = std::max(longest, l.size());
        const int lineHeight = 14, charWidth = 6, margin = 12;
        const int width = std::min(1000, int(longest) * charWidth + 2 * margin);
        const int height = std::min(700, int(lines.size()) * lineHeight + 2 * margin);

        const uint32_t window = xcb_generate_id(conn);
        const uint32_t values[2] = {screen->white_pixel, XCB_EVENT_MASK_EXPOSURE | XCB_EVENT_MASK_BUTTON_PRESS |
                                                             XCB_EVENT_MASK_KEY_PRESS | XCB_EVENT_MASK_STRUCTURE_NOTIFY};
        xcb_create_window(conn, XCB_COPY_FROM_PARENT, window, screen->root, int16_t((screen->width_in_pixels - width) / 2),
                          int16_t((screen->height_in_pixels - height) / 3), uint16_t(width), uint16_t(height), 1,
                          XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual, XCB_CW_BACK_PIXEL | XCB_CW_EVENT_MASK, values);
        xcb_change_property(conn, XCB_PROP_MODE_REPLACE, window, XCB_ATOM_WM_NAME, XCB_ATOM_STRING, 8,
                            uint32_t(content.title.size()), content.title.data());
        xcb_change_property(conn, XCB_PROP_MODE_REPLACE, window, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 8,
                            uint32_t(content.windowClass.size()), content.windowClass.data());
        auto atom = [conn](const char* name) {
            xcb_intern_atom_reply_t* r =
                xcb_intern_atom_reply(conn, xcb_intern_atom(conn, 0, uint16_t(std::strlen(name)), name), nullptr);
            const uint32_t a = r ? r->atom : 0;
            std::free(r);
            return a;
        };
        const uint32_t protocols = atom("WM_PROTOCOLS"), deleteWindow = atom("WM_DELETE_WINDOW");
        xcb_change_property(conn, XCB_PROP_MODE_REPLACE, window, protocols, XCB_ATOM_ATOM, 32, 1, &deleteWindow);
        const uint32_t font = xcb_generate_id(conn);
        xcb_open_font(conn, font, 5, "fixed");
        const uint32_t gc = xcb_generate_id(conn);
        const uint32_t gcValues[3] = {screen->black_pixel, screen->white_pixel, font};
        xcb_create_gc(conn, gc, window, XCB_GC_FOREGROUND | XCB_GC_BACKGROUND | XCB_GC_FONT, gcValues);
        xcb_map_window(conn, window);
        xcb_flush(conn);

        bool open = true;
        while (open && !m_stop.load()) {
            xcb_generic_event_t* ev = xcb_poll_for_event(conn);
            if (!ev) {
                if (xcb_connection_has_error(conn)) break;
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
                continue;
            }
            switch (ev->response_type & 0x7F) {
                case XCB_EXPOSE:
                    for (size_t i = 0; i < lines.size(); ++i) {
                        const std::string& l = lines[i];
                        xcb_image_text_8(conn, uint8_t(std::min<size_t>(l.size(), 255)), window, gc, int16_t(margin),
                                         int16_t(margin + 10 + int(i) * lineHeight), l.c_str());
                    }
                    xcb_flush(conn);
                    break;
                case XCB_BUTTON_PRESS:
                case XCB_KEY_PRESS:
                    open = false;
                    break;
                case XCB_CLIENT_MESSAGE:
                    if (reinterpret_cast<xcb_client_message_event_t*>(ev)->data.data32[0] == deleteWindow) open = false;
                    break;
                default:
                    break;
            }
            std::free(ev);
        }
        xcb_free_gc(conn, gc);
        xcb_close_font(conn, font);
        xcb_destroy_window(conn, window);
        xcb_disconnect(conn);
    }

    std::mutex m_mutex;
    std::thread m_thread;
    std::atomic<bool> m_running{false};
    std::atomic<bool> m_stop{false};
};

// Stopped (and joined) when the module unloads.
CErrorWindowThread g_errorWindow;
}  // namespace

void showErrorWindow(const ErrorWindowContent& c) {
    std::fprintf(stderr, "%s\n%s\n%s", c.title.c_str(), c.text.c_str(), c.details.c_str());
    g_errorWindow.show(c);
}

}  // namespace plat
