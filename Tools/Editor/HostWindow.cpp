// The host window of tamblor-editor: a top-level xcb window, XTEST input, capture.
#include "Tools/Editor/HostWindow.h"

#include <png.h>
#include <xcb/xcb.h>
#include <xcb/xtest.h>
#include <xkbcommon/xkbcommon-x11.h>
#include <xkbcommon/xkbcommon.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace editorhost {

CHostWindow::~CHostWindow() {
    if (m_keymap) xkb_keymap_unref(m_keymap);
    if (m_xkb) xkb_context_unref(m_xkb);
    if (m_conn) xcb_disconnect(m_conn);
}

bool CHostWindow::open(int width, int height, const std::string& title, std::string* error) {
    int screenIndex = 0;
    m_conn = xcb_connect(nullptr, &screenIndex);
    if (xcb_connection_has_error(m_conn)) {
        *error = "cannot open the X display";
        return false;
    }
    xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(m_conn));
    for (int i = 0; i < screenIndex; ++i) xcb_screen_next(&it);
    xcb_screen_t* screen = it.data;
    m_root = screen->root;
    m_window = xcb_generate_id(m_conn);
    const uint32_t values[2] = {screen->black_pixel,
                                XCB_EVENT_MASK_STRUCTURE_NOTIFY | XCB_EVENT_MASK_KEY_PRESS | XCB_EVENT_MASK_KEY_RELEASE};
    xcb_create_window(m_conn, XCB_COPY_FROM_PARENT, m_window, m_root, 0, 0, uint16_t(width), uint16_t(height), 0,
                      XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual, XCB_CW_BACK_PIXEL | XCB_CW_EVENT_MASK, values);
    xcb_change_property(m_conn, XCB_PROP_MODE_REPLACE, m_window, XCB_ATOM_WM_NAME, XCB_ATOM_STRING, 8,
                        uint32_t(title.size()), title.data());
    xcb_map_window(m_conn, m_window);
    static const char kXEmbed[] = "_XEMBED";
    if (xcb_intern_atom_reply_t* a =
            xcb_intern_atom_reply(m_conn, xcb_intern_atom(m_conn, 0, sizeof kXEmbed - 1, kXEmbed), nullptr)) {
        m_xembed = a->atom;
        std::free(a);
    }
    m_width = width, m_height = height;
    sync();
    return true;
}

int CHostWindow::fd() const { return xcb_get_file_descriptor(m_conn); }

void CHostWindow::resize(int width, int height) {
    const uint32_t v[2] = {uint32_t(width), uint32_t(height)};
    xcb_configure_window(m_conn, m_window, XCB_CONFIG_WINDOW_WIDTH | XCB_CONFIG_WINDOW_HEIGHT, v);
    m_width = width, m_height = height;
    xcb_flush(m_conn);
}

namespace {
constexpr uint32_t kXEmbedRequestFocus = 3, kXEmbedFocusIn = 4, kXEmbedFocusOut = 5;
}

uint32_t CHostWindow::embeddedWindow() {
    xcb_query_tree_reply_t* r = xcb_query_tree_reply(m_conn, xcb_query_tree(m_conn, m_window), nullptr);
    const uint32_t w = r && r->children_len > 0 ? xcb_query_tree_children(r)[0] : 0;
    std::free(r);
    return w;
}

void CHostWindow::sendXEmbed(uint32_t message) {
    const uint32_t client = embeddedWindow();
    if (!client || !m_xembed) return;
    xcb_client_message_event_t ev{};
    ev.response_type = XCB_CLIENT_MESSAGE;
    ev.format = 32;
    ev.window = client;
    ev.type = m_xembed;
    ev.data.data32[0] = XCB_CURRENT_TIME;
    ev.data.data32[1] = message;
    xcb_send_event(m_conn, 0, client, XCB_EVENT_MASK_NO_EVENT, reinterpret_cast<const char*>(&ev));
    xcb_flush(m_conn);
}

void CHostWindow::releaseKeyFocus() {
    if (!m_keyFocusGiven) return;
    m_keyFocusGiven = false;
    sendXEmbed(kXEmbedFocusOut);
}

// As an XEmbed embedder does: a focus request takes the keyboard to the host
// window and tells the client; keys that reach the host window then go on to
// the client.
void CHostWindow::drain() {
    while (xcb_generic_event_t* e = xcb_poll_for_event(m_conn)) {
        const uint8_t type = e->response_type & 0x7F;
        if (type == XCB_CLIENT_MESSAGE) {
            auto* c = reinterpret_cast<xcb_client_message_event_t*>(e);
            if (c->type == m_xembed && c->window == m_window && c->data.data32[1] == kXEmbedRequestFocus) {
                ++m_focusRequests;
                xcb_set_input_focus(m_conn, XCB_INPUT_FOCUS_PARENT, m_window, XCB_CURRENT_TIME);
                m_keyFocusGiven = true;
                sendXEmbed(kXEmbedFocusIn);
            }
        } else if ((type == XCB_KEY_PRESS || type == XCB_KEY_RELEASE) && m_keyFocusGiven) {
            auto* k = reinterpret_cast<xcb_key_press_event_t*>(e);
            if (const uint32_t client = embeddedWindow(); client && k->event == m_window) {
                k->event = client;
                k->child = XCB_NONE;
                ++m_keysForwarded;
                xcb_send_event(m_conn, 0, client, XCB_EVENT_MASK_NO_EVENT, reinterpret_cast<const char*>(k));
                xcb_flush(m_conn);
            }
        }
        std::free(e);
    }
}

void CHostWindow::sync() {
    std::free(xcb_get_input_focus_reply(m_conn, xcb_get_input_focus(m_conn), nullptr));
}

std::vector<uint32_t> CHostWindow::capture(int* width, int* height) { return captureWindow(m_window, width, height); }

std::vector<uint32_t> CHostWindow::captureWindow(uint32_t window, int* width, int* height) {
    sync();
    std::vector<uint32_t> out;
    xcb_get_geometry_reply_t* g = xcb_get_geometry_reply(m_conn, xcb_get_geometry(m_conn, window), nullptr);
    if (!g) return out;
    const int w = g->width, h = g->height;
    std::free(g);
    xcb_get_image_reply_t* r = xcb_get_image_reply(
        m_conn, xcb_get_image(m_conn, XCB_IMAGE_FORMAT_Z_PIXMAP, window, 0, 0, uint16_t(w), uint16_t(h), ~0u), nullptr);
    if (!r) return out;
    const size_t n = size_t(w) * size_t(h);
    if (size_t(xcb_get_image_data_length(r)) >= n * 4) {
        out.resize(n);
        std::memcpy(out.data(), xcb_get_image_data(r), n * 4);
        for (uint32_t& p : out) p |= 0xFF000000u;
    }
    std::free(r);
    *width = w, *height = h;
    return out;
}

int CHostWindow::childWindowCount() {
    xcb_query_tree_reply_t* r = xcb_query_tree_reply(m_conn, xcb_query_tree(m_conn, m_window), nullptr);
    const int n = r ? r->children_len : -1;
    std::free(r);
    return n;
}

int CHostWindow::topLevelWindowsNamed(const std::string& name) {
    int n = 0;
    forTopLevel(name, [&](uint32_t) { ++n; });
    return n;
}

uint32_t CHostWindow::findTopLevel(const std::string& name) {
    uint32_t found = 0;
    forTopLevel(name, [&](uint32_t w) { found = w; });
    return found;
}

bool CHostWindow::windowPosition(uint32_t window, int* x, int* y) {
    if (!window) return false;
    xcb_translate_coordinates_reply_t* r =
        xcb_translate_coordinates_reply(m_conn, xcb_translate_coordinates(m_conn, window, m_root, 0, 0), nullptr);
    if (!r) return false;
    *x = r->dst_x, *y = r->dst_y;
    std::free(r);
    return true;
}

bool CHostWindow::moveMouseInto(const std::string& name, int x, int y) {
    const uint32_t w = findTopLevel(name);
    if (!w) return false;
    xcb_translate_coordinates_reply_t* r =
        xcb_translate_coordinates_reply(m_conn, xcb_translate_coordinates(m_conn, w, m_root, int16_t(x), int16_t(y)), nullptr);
    if (!r) return false;
    xcb_test_fake_input(m_conn, XCB_MOTION_NOTIFY, 0, XCB_CURRENT_TIME, m_root, r->dst_x, r->dst_y, 0);
    std::free(r);
    sync();
    return true;
}

void CHostWindow::forTopLevel(const std::string& name, const std::function<void(uint32_t)>& fn) {
    xcb_query_tree_reply_t* tree = xcb_query_tree_reply(m_conn, xcb_query_tree(m_conn, m_root), nullptr);
    if (!tree) return;
    const xcb_window_t* children = xcb_query_tree_children(tree);
    for (int i = 0; i < xcb_query_tree_children_length(tree); ++i) {
        xcb_get_property_reply_t* p = xcb_get_property_reply(
            m_conn, xcb_get_property(m_conn, 0, children[i], XCB_ATOM_WM_NAME, XCB_ATOM_STRING, 0, 256), nullptr);
        if (p && std::string(static_cast<const char*>(xcb_get_property_value(p)), size_t(xcb_get_property_value_length(p))) == name)
            fn(children[i]);
        std::free(p);
    }
    std::free(tree);
}

void CHostWindow::moveMouse(int x, int y) {
    xcb_translate_coordinates_reply_t* r =
        xcb_translate_coordinates_reply(m_conn, xcb_translate_coordinates(m_conn, m_window, m_root, int16_t(x), int16_t(y)), nullptr);
    if (!r) return;
    xcb_test_fake_input(m_conn, XCB_MOTION_NOTIFY, 0, XCB_CURRENT_TIME, m_root, r->dst_x, r->dst_y, 0);
    std::free(r);
    sync();
}

void CHostWindow::moveMouseOnScreen(int x, int y) {
    xcb_test_fake_input(m_conn, XCB_MOTION_NOTIFY, 0, XCB_CURRENT_TIME, m_root, int16_t(x), int16_t(y), 0);
    sync();
}

void CHostWindow::button(int b, bool down) {
    xcb_test_fake_input(m_conn, down ? XCB_BUTTON_PRESS : XCB_BUTTON_RELEASE, uint8_t(b), XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
    sync();
}

bool CHostWindow::key(const std::string& name, bool down) {
    if (!m_keymap) {
        if (!xkb_x11_setup_xkb_extension(m_conn, XKB_X11_MIN_MAJOR_XKB_VERSION, XKB_X11_MIN_MINOR_XKB_VERSION,
                                         XKB_X11_SETUP_XKB_EXTENSION_NO_FLAGS, nullptr, nullptr, nullptr, nullptr))
            return false;
        m_xkb = xkb_context_new(XKB_CONTEXT_NO_FLAGS);
        m_keymap = xkb_x11_keymap_new_from_device(m_xkb, m_conn, xkb_x11_get_core_keyboard_device_id(m_conn),
                                                  XKB_KEYMAP_COMPILE_NO_FLAGS);
        if (!m_keymap) return false;
    }
    const xkb_keysym_t sym = xkb_keysym_from_name(name.c_str(), XKB_KEYSYM_NO_FLAGS);
    for (xkb_keycode_t kc = xkb_keymap_min_keycode(m_keymap); kc <= xkb_keymap_max_keycode(m_keymap); ++kc) {
        const xkb_keysym_t* syms = nullptr;
        const int n = xkb_keymap_key_get_syms_by_level(m_keymap, kc, 0, 0, &syms);
        for (int i = 0; i < n; ++i)
            if (syms[i] == sym) {
                xcb_test_fake_input(m_conn, down ? XCB_KEY_PRESS : XCB_KEY_RELEASE, uint8_t(kc), XCB_CURRENT_TIME, XCB_NONE,
                                    0, 0, 0);
                sync();
                return true;
            }
    }
    return false;
}

bool writePng(const std::string& path, const std::vector<uint32_t>& pixels, int width, int height, std::string* error) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) {
        *error = path + ": cannot write";
        return false;
    }
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!png || !info || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        std::fclose(f);
        *error = path + ": PNG error";
        return false;
    }
    png_init_io(png, f);
    png_set_IHDR(png, info, png_uint_32(width), png_uint_32(height), 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    std::vector<uint8_t> row(size_t(width) * 3);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const uint32_t p = pixels[size_t(y) * size_t(width) + size_t(x)];
            row[size_t(x) * 3] = uint8_t(p >> 16), row[size_t(x) * 3 + 1] = uint8_t(p >> 8), row[size_t(x) * 3 + 2] = uint8_t(p);
        }
        png_write_row(png, row.data());
    }
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    std::fclose(f);
    return true;
}

}  // namespace editorhost
