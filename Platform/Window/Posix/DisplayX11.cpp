// The X11 backend: connection, windows, input, blits, monitors and the clipboard.
#include "Platform/Window/Posix/DisplayX11.h"
#include "Platform/Window/Posix/InputX11.h"

#include <sys/ipc.h>
#include <sys/shm.h>
#include <xcb/randr.h>
#include <xcb/shm.h>
#include <xcb/xcb.h>
#include <xkbcommon/xkbcommon-x11.h>
#include <xkbcommon/xkbcommon.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace plat {

namespace {
constexpr uint32_t kXEmbedMapped = 1;
constexpr uint32_t kXEmbedWindowActivate = 1;
constexpr uint32_t kXEmbedWindowDeactivate = 2;
constexpr uint32_t kXEmbedRequestFocus = 3;
constexpr uint32_t kXEmbedFocusIn = 4;
constexpr uint32_t kXEmbedFocusOut = 5;

// Glyphs of the standard cursor font.
uint16_t cursorGlyph(CursorShape s) {
    switch (s) {
        case CursorShape::Hand: return 60;
        case CursorShape::SizeAll: return 52;
        case CursorShape::SizeHorizontal: return 108;
        case CursorShape::SizeVertical: return 116;
        case CursorShape::Text: return 152;
        default: return 68;
    }
}
}  // namespace

// --- Window ---------------------------------------------------------------------------------------

class CX11Window final : public CSystemWindow {
public:
    CX11Window(CX11Display& display, CWindowListener* listener, uint32_t id, bool embedded, uint32_t parent)
        : m_display(display), m_listener(listener), m_id(id), m_embedded(embedded), m_parent(parent) {}
    ~CX11Window() override {
        xcb_connection_t* c = m_display.connection();
        releaseShm();
        if (m_gc) xcb_free_gc(c, m_gc), m_display.countResource(-1);
        if (m_captured) xcb_ungrab_pointer(c, XCB_CURRENT_TIME);
        xcb_destroy_window(c, m_id);
        m_display.countResource(-1);
        m_display.forget(this);
        xcb_flush(c);
    }

    uintptr_t handle() const override { return m_id; }
    CWindowListener* listener() const { return m_listener; }
    bool embedded() const { return m_embedded; }
    uint32_t parent() const { return m_parent; }

    void show(bool visible) override {
        xcb_connection_t* c = m_display.connection();
        if (visible) xcb_map_window(c, m_id);
        else xcb_unmap_window(c, m_id);
        if (m_embedded) {
            const uint32_t info[2] = {0, visible ? kXEmbedMapped : 0};
            xcb_change_property(c, XCB_PROP_MODE_REPLACE, m_id, m_display.atom(CX11Display::XEmbedInfo),
                                m_display.atom(CX11Display::XEmbedInfo), 32, 2, info);
        }
        xcb_flush(c);
    }
    void setSize(int width, int height) override {
        const uint32_t v[2] = {uint32_t(std::max(1, width)), uint32_t(std::max(1, height))};
        xcb_configure_window(m_display.connection(), m_id, XCB_CONFIG_WINDOW_WIDTH | XCB_CONFIG_WINDOW_HEIGHT, v);
        xcb_flush(m_display.connection());
    }
    void move(int x, int y) override {
        const int32_t v[2] = {x, y};
        xcb_configure_window(m_display.connection(), m_id, XCB_CONFIG_WINDOW_X | XCB_CONFIG_WINDOW_Y, v);
        xcb_flush(m_display.connection());
    }
    void screenPosition(int* x, int* y) override {
        xcb_connection_t* c = m_display.connection();
        Reply<xcb_translate_coordinates_reply_t> r(xcb_translate_coordinates_reply(
            c, xcb_translate_coordinates(c, m_id, m_display.screen()->root, 0, 0), nullptr));
        *x = r ? r->dst_x : 0;
        *y = r ? r->dst_y : 0;
    }
    void setTitle(std::string_view title) override {
        xcb_connection_t* c = m_display.connection();
        xcb_change_property(c, XCB_PROP_MODE_REPLACE, m_id, m_display.atom(CX11Display::NetWmName),
                            m_display.atom(CX11Display::Utf8String), 8, uint32_t(title.size()), title.data());
        xcb_change_property(c, XCB_PROP_MODE_REPLACE, m_id, XCB_ATOM_WM_NAME, XCB_ATOM_STRING, 8,
                            uint32_t(title.size()), title.data());
    }
    void setCursor(CursorShape shape) override {
        const uint32_t cursor = m_display.cursor(shape);
        xcb_change_window_attributes(m_display.connection(), m_id, XCB_CW_CURSOR, &cursor);
        xcb_flush(m_display.connection());
    }
    void captureMouse(bool on) override {
        xcb_connection_t* c = m_display.connection();
        if (on == m_captured) return;
        m_captured = on;
        if (on) {
            xcb_grab_pointer(c, 1, m_id,
                             XCB_EVENT_MASK_BUTTON_PRESS | XCB_EVENT_MASK_BUTTON_RELEASE | XCB_EVENT_MASK_POINTER_MOTION,
                             XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC, XCB_NONE, XCB_NONE, XCB_CURRENT_TIME);
        } else {
            xcb_ungrab_pointer(c, XCB_CURRENT_TIME);
        }
        xcb_flush(c);
    }
    void moveMouse(int screenX, int screenY) override {
        xcb_warp_pointer(m_display.connection(), XCB_NONE, m_display.screen()->root, 0, 0, 0, 0, int16_t(screenX),
                         int16_t(screenY));
        xcb_flush(m_display.connection());
    }
    void takeKeyFocus() override {
        xcb_connection_t* c = m_display.connection();
        if (m_embedded) {
            // Ask the embedder (XEmbed); it forwards the keys to us.
            xcb_client_message_event_t ev{};
            ev.response_type = XCB_CLIENT_MESSAGE;
            ev.format = 32;
            ev.window = m_parent;
            ev.type = m_display.atom(CX11Display::XEmbed);
            ev.data.data32[0] = XCB_CURRENT_TIME;
            ev.data.data32[1] = kXEmbedRequestFocus;
            xcb_send_event(c, 0, m_parent, XCB_EVENT_MASK_NO_EVENT, reinterpret_cast<const char*>(&ev));
        } else {
            xcb_set_input_focus(c, XCB_INPUT_FOCUS_PARENT, m_id, XCB_CURRENT_TIME);
        }
        xcb_flush(c);
    }

    void blit(const uint32_t* pixels, int width, int height, int x, int y, int w, int h) override {
        x = std::max(0, x), y = std::max(0, y);
        w = std::min(w, width - x), h = std::min(h, height - y);
        if (w <= 0 || h <= 0 || !pixels) return;
        xcb_connection_t* c = m_display.connection();
        if (!m_gc) {
            m_gc = xcb_generate_id(c);
            const uint32_t noExposures = 0;
            xcb_create_gc(c, m_gc, m_id, XCB_GC_GRAPHICS_EXPOSURES, &noExposures);
            m_display.countResource(1);
        }
        const uint8_t depth = m_display.screen()->root_depth;
        if (m_display.shmUsable() && ensureShm(size_t(width) * size_t(height) * 4)) {
            auto* dst = static_cast<uint32_t*>(m_shmAddr);
            for (int row = y; row < y + h; ++row)
                std::memcpy(dst + size_t(row) * size_t(width) + size_t(x), pixels + size_t(row) * size_t(width) + size_t(x),
                            size_t(w) * 4);
            // Checked: the reply also tells that the server has read the
            // segment, so the next frame may write it.
            xcb_void_cookie_t ck = xcb_shm_put_image_checked(c, m_id, m_gc, uint16_t(width), uint16_t(height),
                                                             uint16_t(x), uint16_t(y), uint16_t(w), uint16_t(h),
                                                             int16_t(x), int16_t(y), depth, XCB_IMAGE_FORMAT_Z_PIXMAP,
                                                             0, m_shmSeg, 0);
            if (xcb_generic_error_t* e = xcb_request_check(c, ck)) {
                std::free(e);
                releaseShm();
                m_display.shmFailed();
            } else {
                return;
            }
        }
        // Plain requests, as many rows as fit into one.
        const size_t rowBytes = size_t(w) * 4;
        const int rowsPerRequest = std::max<int>(1, int((m_display.maxRequestBytes() - 64) / rowBytes));
        std::vector<uint32_t> chunk;
        for (int row = y; row < y + h; row += rowsPerRequest) {
            const int rows = std::min(rowsPerRequest, y + h - row);
            chunk.resize(size_t(w) * size_t(rows));
            for (int r = 0; r < rows; ++r)
                std::memcpy(chunk.data() + size_t(r) * size_t(w), pixels + size_t(row + r) * size_t(width) + size_t(x),
                            rowBytes);
            xcb_put_image(c, XCB_IMAGE_FORMAT_Z_PIXMAP, m_id, m_gc, uint16_t(w), uint16_t(rows), int16_t(x),
                          int16_t(row), 0, depth, uint32_t(chunk.size() * 4), reinterpret_cast<const uint8_t*>(chunk.data()));
        }
        xcb_flush(c);
    }

private:
    bool ensureShm(size_t bytes) {
        if (m_shmAddr && m_shmBytes >= bytes) return true;
        releaseShm();
        const int id = shmget(IPC_PRIVATE, bytes, IPC_CREAT | 0600);
        if (id < 0) return false;
        void* addr = shmat(id, nullptr, 0);
        if (addr == reinterpret_cast<void*>(-1)) {
            shmctl(id, IPC_RMID, nullptr);
            return false;
        }
        xcb_connection_t* c = m_display.connection();
        const uint32_t seg = xcb_generate_id(c);
        xcb_generic_error_t* e = xcb_request_check(c, xcb_shm_attach_checked(c, seg, uint32_t(id), 0));
        // Marked for removal now: it goes away once both sides detach.
        shmctl(id, IPC_RMID, nullptr);
        if (e) {
            std::free(e);
            shmdt(addr);
            m_display.shmFailed();
            return false;
        }
        m_shmAddr = addr, m_shmBytes = bytes, m_shmSeg = seg;
        m_display.countResource(1);
        return true;
    }
    void releaseShm() {
        if (!m_shmAddr) return;
        xcb_shm_detach(m_display.connection(), m_shmSeg);
        shmdt(m_shmAddr);
        m_shmAddr = nullptr, m_shmBytes = 0, m_shmSeg = 0;
        m_display.countResource(-1);
    }

    CX11Display& m_display;
    CWindowListener* m_listener;
    uint32_t m_id;
    bool m_embedded;
    uint32_t m_parent;
    uint32_t m_gc = 0;
    bool m_captured = false;
    void* m_shmAddr = nullptr;
    size_t m_shmBytes = 0;
    uint32_t m_shmSeg = 0;
};

// --- Display --------------------------------------------------------------------------------------

std::unique_ptr<CDisplay> CDisplay::open(std::string* error) {
    auto d = std::make_unique<CX11Display>();
    if (!d->connect(error)) return nullptr;
    return d;
}

bool CX11Display::connect(std::string* error) {
    const char* name = std::getenv("DISPLAY");
    if (!name || !*name) {
        *error = "No X display (DISPLAY is not set).";
        return false;
    }
    int screenIndex = 0;
    m_conn = xcb_connect(name, &screenIndex);
    if (xcb_connection_has_error(m_conn)) {
        *error = std::string("Unable to open X display '") + name + "'.";
        return false;
    }
    xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(m_conn));
    for (int i = 0; i < screenIndex && it.rem; ++i) xcb_screen_next(&it);
    m_screen = it.data;
    if (!m_screen || m_screen->root_depth < 24) {
        *error = "The X screen has no 24-bit visual.";
        return false;
    }
    static const char* const kNames[AtomCount] = {
        "WM_PROTOCOLS", "WM_DELETE_WINDOW", "_XEMBED_INFO", "_XEMBED", "_NET_WM_NAME", "UTF8_STRING",
        "_NET_WM_WINDOW_TYPE", "_NET_WM_WINDOW_TYPE_DIALOG", "_NET_WM_WINDOW_TYPE_POPUP_MENU", "WM_TRANSIENT_FOR",
        "CLIPBOARD", "TARGETS", "image/png"};
    xcb_intern_atom_cookie_t cookies[AtomCount];
    for (int i = 0; i < AtomCount; ++i) cookies[i] = xcb_intern_atom(m_conn, 0, uint16_t(std::strlen(kNames[i])), kNames[i]);
    for (int i = 0; i < AtomCount; ++i) {
        Reply<xcb_intern_atom_reply_t> r(xcb_intern_atom_reply(m_conn, cookies[i], nullptr));
        m_atoms[i] = r ? r->atom : 0;
    }
    Reply<xcb_shm_query_version_reply_t> shm(xcb_shm_query_version_reply(m_conn, xcb_shm_query_version(m_conn), nullptr));
    m_shm = shm != nullptr && std::getenv("TAMBLOR_NO_SHM") == nullptr;
    m_maxRequestBytes = std::min<uint32_t>(xcb_get_maximum_request_length(m_conn), 1u << 20) * 4u;

    // Keys: without the keyboard extension only characters of the core map are lost.
    if (xkb_x11_setup_xkb_extension(m_conn, XKB_X11_MIN_MAJOR_XKB_VERSION, XKB_X11_MIN_MINOR_XKB_VERSION,
                                    XKB_X11_SETUP_XKB_EXTENSION_NO_FLAGS, nullptr, nullptr, nullptr, nullptr)) {
        m_xkbContext = xkb_context_new(XKB_CONTEXT_NO_FLAGS);
        const int32_t device = xkb_x11_get_core_keyboard_device_id(m_conn);
        if (m_xkbContext && device >= 0) {
            m_keymap = xkb_x11_keymap_new_from_device(m_xkbContext, m_conn, device, XKB_KEYMAP_COMPILE_NO_FLAGS);
            if (m_keymap) m_keyState = xkb_x11_state_new_from_device(m_keymap, m_conn, device);
        }
    }
    return true;
}

CX11Display::~CX11Display() {
    forgetClipboard();
    for (void* ev : m_deferred) std::free(ev);
    if (m_conn) {
        if (m_clipboardWindow) xcb_destroy_window(m_conn, m_clipboardWindow);
        for (auto& [shape, cursor] : m_cursors) xcb_free_cursor(m_conn, cursor);
        if (m_cursorFont) xcb_close_font(m_conn, m_cursorFont);
        xcb_disconnect(m_conn);
    }
    if (m_keyState) xkb_state_unref(m_keyState);
    if (m_keymap) xkb_keymap_unref(m_keymap);
    if (m_xkbContext) xkb_context_unref(m_xkbContext);
}

int CX11Display::fd() const { return m_conn ? xcb_get_file_descriptor(m_conn) : -1; }
void CX11Display::flush() { xcb_flush(m_conn); }
int CX11Display::resourceCount() const { return m_resources; }
void CX11Display::forget(CX11Window* w) { m_windows.erase(uint32_t(w->handle())); }

CX11Window* CX11Display::find(uint32_t window) const {
    auto it = m_windows.find(window);
    return it == m_windows.end() ? nullptr : it->second;
}

std::unique_ptr<CSystemWindow> CX11Display::createWindow(const WindowOptions& o, CWindowListener* listener,
                                                         std::string* error) {
    const bool embedded = o.kind == WindowKind::Embedded;
    const uint32_t parent = embedded ? uint32_t(o.parent) : m_screen->root;
    if (embedded && !parent) {
        *error = "Unable to locate parent window.";
        return nullptr;
    }
    const uint32_t id = xcb_generate_id(m_conn);
    const uint32_t mask = XCB_CW_BACK_PIXMAP | XCB_CW_BORDER_PIXEL | XCB_CW_OVERRIDE_REDIRECT | XCB_CW_EVENT_MASK |
                          XCB_CW_COLORMAP;
    const uint32_t values[5] = {
        XCB_BACK_PIXMAP_NONE, 0, o.kind == WindowKind::Menu ? 1u : 0u,
        XCB_EVENT_MASK_EXPOSURE | XCB_EVENT_MASK_BUTTON_PRESS | XCB_EVENT_MASK_BUTTON_RELEASE |
            XCB_EVENT_MASK_POINTER_MOTION | XCB_EVENT_MASK_LEAVE_WINDOW | XCB_EVENT_MASK_KEY_PRESS |
            XCB_EVENT_MASK_KEY_RELEASE | XCB_EVENT_MASK_FOCUS_CHANGE | XCB_EVENT_MASK_STRUCTURE_NOTIFY,
        m_screen->default_colormap};
    xcb_void_cookie_t ck = xcb_create_window_checked(
        m_conn, m_screen->root_depth, id, parent, int16_t(o.x), int16_t(o.y), uint16_t(std::max(1, o.width)),
        uint16_t(std::max(1, o.height)), 0, XCB_WINDOW_CLASS_INPUT_OUTPUT, m_screen->root_visual, mask, values);
    if (xcb_generic_error_t* e = xcb_request_check(m_conn, ck)) {
        *error = e->error_code == XCB_WINDOW ? "Unable to locate parent window."
                                             : "Unable to create window (error " + std::to_string(e->error_code) + ").";
        std::free(e);
        return nullptr;
    }
    ++m_resources;
    auto w = std::make_unique<CX11Window>(*this, listener, id, embedded, parent);
    m_windows[id] = w.get();
    if (!embedded) {
        const uint32_t del = m_atoms[WmDeleteWindow];
        xcb_change_property(m_conn, XCB_PROP_MODE_REPLACE, id, m_atoms[WmProtocols], XCB_ATOM_ATOM, 32, 1, &del);
        const uint32_t type = o.kind == WindowKind::Menu ? m_atoms[NetWmWindowTypePopupMenu] : m_atoms[NetWmWindowTypeDialog];
        xcb_change_property(m_conn, XCB_PROP_MODE_REPLACE, id, m_atoms[NetWmWindowType], XCB_ATOM_ATOM, 32, 1, &type);
        if (o.owner) {
            const uint32_t owner = uint32_t(o.owner);
            xcb_change_property(m_conn, XCB_PROP_MODE_REPLACE, id, XCB_ATOM_WM_TRANSIENT_FOR, XCB_ATOM_WINDOW, 32, 1,
                                &owner);
        }
    }
    if (!o.title.empty()) w->setTitle(o.title);
    xcb_flush(m_conn);
    return w;
}

uint32_t CX11Display::cursor(CursorShape shape) {
    auto it = m_cursors.find(int(shape));
    if (it != m_cursors.end()) return it->second;
    const uint32_t cursor = xcb_generate_id(m_conn);
    if (shape == CursorShape::Hidden) {
        const uint32_t pixmap = xcb_generate_id(m_conn);
        xcb_create_pixmap(m_conn, 1, pixmap, m_screen->root, 1, 1);
        xcb_create_cursor(m_conn, cursor, pixmap, pixmap, 0, 0, 0, 0, 0, 0, 0, 0);
        xcb_free_pixmap(m_conn, pixmap);
    } else {
        if (!m_cursorFont) {
            m_cursorFont = xcb_generate_id(m_conn);
            xcb_open_font(m_conn, m_cursorFont, 6, "cursor");
        }
        const uint16_t g = cursorGlyph(shape);
        xcb_create_glyph_cursor(m_conn, cursor, m_cursorFont, m_cursorFont, g, uint16_t(g + 1), 0, 0, 0, 0xFFFF, 0xFFFF,
                                0xFFFF);
    }
    m_cursors[int(shape)] = cursor;
    return cursor;
}

MonitorInfo CX11Display::primaryMonitor() {
    Reply<xcb_randr_get_monitors_reply_t> r(
        xcb_randr_get_monitors_reply(m_conn, xcb_randr_get_monitors(m_conn, m_screen->root, 1), nullptr));
    if (r) {
        MonitorInfo first{};
        bool any = false;
        for (auto it = xcb_randr_get_monitors_monitors_iterator(r.get()); it.rem; xcb_randr_monitor_info_next(&it)) {
            const MonitorInfo m{it.data->x, it.data->y, it.data->width, it.data->height};
            if (it.data->primary) return m;
            if (!any) first = m, any = true;
        }
        if (any) return first;
    }
    return {0, 0, m_screen->width_in_pixels, m_screen->height_in_pixels};
}

MonitorInfo CX11Display::monitorAt(int x, int y) {
    Reply<xcb_randr_get_monitors_reply_t> r(
        xcb_randr_get_monitors_reply(m_conn, xcb_randr_get_monitors(m_conn, m_screen->root, 1), nullptr));
    if (r)
        for (auto it = xcb_randr_get_monitors_monitors_iterator(r.get()); it.rem; xcb_randr_monitor_info_next(&it))
            if (x >= it.data->x && y >= it.data->y && x < it.data->x + it.data->width && y < it.data->y + it.data->height)
                return {it.data->x, it.data->y, it.data->width, it.data->height};
    return primaryMonitor();
}

bool CX11Display::setClipboardPng(std::span<const uint8_t> png) {
    if (png.size() + 64 > m_maxRequestBytes) return false;  // no incremental transfers
    clipboardWindow();
    m_clipboardPng.assign(png.begin(), png.end());
    m_clipboardText.clear();
    xcb_set_selection_owner(m_conn, m_clipboardWindow, m_atoms[Clipboard], XCB_CURRENT_TIME);
    Reply<xcb_get_selection_owner_reply_t> r(
        xcb_get_selection_owner_reply(m_conn, xcb_get_selection_owner(m_conn, m_atoms[Clipboard]), nullptr));
    return r && r->owner == m_clipboardWindow;
}

void CX11Display::answerSelection(const void* request) {
    const auto* req = static_cast<const xcb_selection_request_event_t*>(request);
    xcb_selection_notify_event_t ev{};
    ev.response_type = XCB_SELECTION_NOTIFY;
    ev.time = req->time;
    ev.requestor = req->requestor;
    ev.selection = req->selection;
    ev.target = req->target;
    ev.property = XCB_NONE;
    const uint32_t property = req->property ? req->property : req->target;
    if (answerTextSelection(req, property)) {
        ev.property = property;
    } else if (req->selection == m_atoms[Clipboard] && !m_clipboardPng.empty()) {
        if (req->target == m_atoms[Targets]) {
            const uint32_t targets[2] = {m_atoms[Targets], m_atoms[ImagePng]};
            xcb_change_property(m_conn, XCB_PROP_MODE_REPLACE, req->requestor, property, XCB_ATOM_ATOM, 32, 2, targets);
            ev.property = property;
        } else if (req->target == m_atoms[ImagePng]) {
            xcb_change_property(m_conn, XCB_PROP_MODE_REPLACE, req->requestor, property, m_atoms[ImagePng], 8,
                                uint32_t(m_clipboardPng.size()), m_clipboardPng.data());
            ev.property = property;
        }
    }
    xcb_send_event(m_conn, 0, req->requestor, XCB_EVENT_MASK_NO_EVENT, reinterpret_cast<const char*>(&ev));
    xcb_flush(m_conn);
}

uint32_t CX11Display::translateKey(uint8_t keycode, uint16_t state) {
    if (!m_keyState) return 0;
    // The event's own modifiers and group, so that no keyboard state events are needed.
    xkb_state_update_mask(m_keyState, state & 0xFF, 0, 0, 0, 0, (state >> 13) & 3);
    const xkb_keysym_t sym = xkb_state_key_get_one_sym(m_keyState, keycode);
    return x11::keyCodeOf(sym, xkb_state_key_get_utf32(m_keyState, keycode), state & XCB_MOD_MASK_CONTROL);
}

bool CX11Display::dispatch() {
    dispatchDeferred();
    while (xcb_generic_event_t* ev = xcb_poll_for_event(m_conn)) {
        handle(ev);
        std::free(ev);
    }
    return xcb_connection_has_error(m_conn) == 0;
}

void CX11Display::handle(void* event) {
    auto* ev = static_cast<xcb_generic_event_t*>(event);
    WindowEvent e;
    auto modifiers = [&e](uint16_t state) {
        e.shift = state & XCB_MOD_MASK_SHIFT;
        e.ctrl = state & XCB_MOD_MASK_CONTROL;
        e.alt = state & XCB_MOD_MASK_1;
        e.buttonL = state & XCB_BUTTON_MASK_1;
        e.buttonR = state & XCB_BUTTON_MASK_3;
    };
    CX11Window* w = nullptr;
    switch (ev->response_type & 0x7F) {
        case XCB_EXPOSE: {
            auto* x = reinterpret_cast<xcb_expose_event_t*>(ev);
            if (!(w = find(x->window))) return;
            e.kind = WindowEvent::Kind::Expose;
            e.x = x->x, e.y = x->y, e.width = x->width, e.height = x->height;
            break;
        }
        case XCB_BUTTON_PRESS:
        case XCB_BUTTON_RELEASE: {
            auto* b = reinterpret_cast<xcb_button_press_event_t*>(ev);
            if (!(w = find(b->event))) return;
            const bool down = (ev->response_type & 0x7F) == XCB_BUTTON_PRESS;
            modifiers(b->state);
            e.x = b->event_x, e.y = b->event_y, e.screenX = b->root_x, e.screenY = b->root_y;
            if (b->detail == 4 || b->detail == 5) {
                if (!down) return;
                e.kind = WindowEvent::Kind::MouseWheel;
                e.delta = b->detail == 4 ? 1 : -1;
                break;
            }
            static const int kButtons[10] = {0, 'L', 'M', 'R', 0, 0, 0, 0, 'X', 'X'};
            if (b->detail >= 10 || !kButtons[b->detail]) return;
            e.kind = WindowEvent::Kind::MouseButton;
            e.button = kButtons[b->detail];
            e.xbutton = b->detail == 8 ? 1 : b->detail == 9 ? 2 : 0;
            e.down = down;
            if (down) {
                x11::PressRecord now{b->event, b->time, b->detail, b->event_x, b->event_y, false};
                now.wasDouble = e.doubleClick = x11::isDoubleClick(m_lastPress, now);
                m_lastPress = now;
            }
            break;
        }
        case XCB_MOTION_NOTIFY: {
            auto* m = reinterpret_cast<xcb_motion_notify_event_t*>(ev);
            if (!(w = find(m->event))) return;
            modifiers(m->state);
            e.kind = WindowEvent::Kind::MouseMove;
            e.x = m->event_x, e.y = m->event_y, e.screenX = m->root_x, e.screenY = m->root_y;
            break;
        }
        case XCB_LEAVE_NOTIFY: {
            auto* l = reinterpret_cast<xcb_leave_notify_event_t*>(ev);
            if (l->mode != XCB_NOTIFY_MODE_NORMAL || !(w = find(l->event))) return;
            e.kind = WindowEvent::Kind::MouseExit;
            break;
        }
        case XCB_KEY_PRESS:
        case XCB_KEY_RELEASE: {
            auto* k = reinterpret_cast<xcb_key_press_event_t*>(ev);
            if (!(w = find(k->event))) return;
            modifiers(k->state);
            e.kind = WindowEvent::Kind::Key;
            e.down = (ev->response_type & 0x7F) == XCB_KEY_PRESS;
            e.keycode = translateKey(k->detail, k->state);
            if (!e.keycode) return;
            break;
        }
        case XCB_FOCUS_IN:
        case XCB_FOCUS_OUT: {
            // An embedded window learns of the keyboard from its embedder
            // (XEmbed): the server's focus events there follow the pointer.
            auto* f = reinterpret_cast<xcb_focus_in_event_t*>(ev);
            if (f->mode == XCB_NOTIFY_MODE_GRAB || f->mode == XCB_NOTIFY_MODE_UNGRAB || !(w = find(f->event)) ||
                w->embedded() || f->detail == XCB_NOTIFY_DETAIL_POINTER)
                return;
            e.kind = WindowEvent::Kind::KeyFocus;
            e.down = (ev->response_type & 0x7F) == XCB_FOCUS_IN;
            break;
        }
        case XCB_CONFIGURE_NOTIFY: {
            auto* c = reinterpret_cast<xcb_configure_notify_event_t*>(ev);
            if (!(w = find(c->window))) return;
            e.kind = WindowEvent::Kind::Moved;
            e.width = c->width, e.height = c->height;
            w->screenPosition(&e.screenX, &e.screenY);
            break;
        }
        case XCB_CLIENT_MESSAGE: {
            auto* c = reinterpret_cast<xcb_client_message_event_t*>(ev);
            if (!(w = find(c->window))) return;
            if (c->type == m_atoms[WmProtocols] && c->data.data32[0] == m_atoms[WmDeleteWindow]) {
                e.kind = WindowEvent::Kind::Close;
            } else if (c->type == m_atoms[XEmbed]) {
                const uint32_t msg = c->data.data32[1];
                if (msg != kXEmbedFocusIn && msg != kXEmbedFocusOut && msg != kXEmbedWindowActivate &&
                    msg != kXEmbedWindowDeactivate)
                    return;
                e.kind = msg == kXEmbedFocusIn || msg == kXEmbedFocusOut ? WindowEvent::Kind::KeyFocus
                                                                          : WindowEvent::Kind::Activate;
                e.down = msg == kXEmbedFocusIn || msg == kXEmbedWindowActivate;
            } else {
                return;
            }
            break;
        }
        case XCB_SELECTION_REQUEST:
            answerSelection(ev);
            return;
        case XCB_SELECTION_CLEAR:
            m_clipboardPng.clear();
            m_clipboardText.clear();
            return;
        default:
            return;
    }
    if (w->listener()) w->listener()->onWindowEvent(e);
}

}  // namespace plat
