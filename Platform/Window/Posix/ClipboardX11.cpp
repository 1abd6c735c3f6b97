// Text on the X11 clipboard: the CLIPBOARD selection as UTF8_STRING (and
// STRING for older clients), owned by a hidden input-only window of the
// display, and read from whichever client owns it.
//
// Reading asks the owner to convert the selection into a property of our
// window and waits (at most half a second) for its answer; events that
// arrive meanwhile are kept for the next dispatch(), in order. Text that an
// editor of this process owns is read from memory: two editors share the
// UI thread, so one could not answer the other's request while it waits.
// Transfers are single requests (no INCR): text larger than a request is
// refused, and an owner that answers with INCR is read as no text.
#include <poll.h>
#include <xcb/xcb.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>

#include "Platform/Window/Posix/DisplayX11.h"

namespace plat {

namespace {
// The text an editor of this process offers, by owner window.
struct OwnedText {
    std::mutex mutex;
    uint32_t window = 0;
    std::string text;
};
OwnedText& ownedText() {
    static OwnedText o;
    return o;
}

uint32_t internAtom(xcb_connection_t* c, const char* name) {
    Reply<xcb_intern_atom_reply_t> r(
        xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, uint16_t(std::strlen(name)), name), nullptr));
    return r ? r->atom : XCB_NONE;
}
}  // namespace

void CX11Display::forgetClipboard() {
    OwnedText& o = ownedText();
    std::lock_guard g(o.mutex);
    if (m_clipboardWindow && o.window == m_clipboardWindow) {
        o.window = 0;
        o.text.clear();
    }
}

uint32_t CX11Display::clipboardWindow() {
    if (!m_clipboardWindow) {
        m_clipboardWindow = xcb_generate_id(m_conn);
        xcb_create_window(m_conn, XCB_COPY_FROM_PARENT, m_clipboardWindow, m_screen->root, 0, 0, 1, 1, 0,
                          XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT, 0, nullptr);
    }
    return m_clipboardWindow;
}

bool CX11Display::setClipboardText(std::string_view utf8) {
    if (!m_conn || utf8.size() + 64 > m_maxRequestBytes) return false;
    const uint32_t window = clipboardWindow();
    m_clipboardText.assign(utf8);
    m_clipboardPng.clear();
    xcb_set_selection_owner(m_conn, window, m_atoms[Clipboard], XCB_CURRENT_TIME);
    Reply<xcb_get_selection_owner_reply_t> r(
        xcb_get_selection_owner_reply(m_conn, xcb_get_selection_owner(m_conn, m_atoms[Clipboard]), nullptr));
    const bool owned = r && r->owner == window;
    if (owned) {
        OwnedText& o = ownedText();
        std::lock_guard g(o.mutex);
        o.window = window;
        o.text = m_clipboardText;
    }
    return owned;
}

bool CX11Display::answerTextSelection(const void* request, uint32_t property) {
    const auto* req = static_cast<const xcb_selection_request_event_t*>(request);
    if (req->selection != m_atoms[Clipboard] || m_clipboardText.empty() || req->owner != m_clipboardWindow)
        return false;
    if (req->target == m_atoms[Targets]) {
        const uint32_t targets[3] = {m_atoms[Targets], m_atoms[Utf8String], XCB_ATOM_STRING};
        xcb_change_property(m_conn, XCB_PROP_MODE_REPLACE, req->requestor, property, XCB_ATOM_ATOM, 32, 3, targets);
        return true;
    }
    if (req->target == m_atoms[Utf8String] || req->target == XCB_ATOM_STRING) {
        std::string text = m_clipboardText;
        if (req->target == XCB_ATOM_STRING) {  // Latin-1: what does not fit becomes '?'
            std::string latin;
            for (size_t i = 0; i < text.size(); ++i) {
                const auto c = uint8_t(text[i]);
                if (c < 0x80) latin += char(c);
                else if ((c & 0xE0) == 0xC0 && i + 1 < text.size() && c <= 0xC3)
                    latin += char(((c & 0x03) << 6) | (uint8_t(text[++i]) & 0x3F));
                else if ((c & 0xC0) != 0x80) latin += '?';
            }
            text = std::move(latin);
        }
        xcb_change_property(m_conn, XCB_PROP_MODE_REPLACE, req->requestor, property, req->target, 8,
                            uint32_t(text.size()), text.data());
        return true;
    }
    return false;
}

void CX11Display::dispatchDeferred() {
    std::vector<void*> events;
    events.swap(m_deferred);
    for (void* ev : events) {
        handle(ev);
        std::free(ev);
    }
}

bool CX11Display::clipboardText(std::string* utf8) {
    if (!m_conn) return false;
    Reply<xcb_get_selection_owner_reply_t> owner(
        xcb_get_selection_owner_reply(m_conn, xcb_get_selection_owner(m_conn, m_atoms[Clipboard]), nullptr));
    if (!owner || owner->owner == XCB_NONE) return false;
    if (owner->owner == m_clipboardWindow) {
        if (m_clipboardText.empty()) return false;
        *utf8 = m_clipboardText;
        return true;
    }
    {
        OwnedText& o = ownedText();
        std::lock_guard g(o.mutex);
        if (o.window == owner->owner) {
            *utf8 = o.text;
            return !o.text.empty();
        }
    }
    const uint32_t window = clipboardWindow();
    static const char* const kProperty = "TAMBLOR_CLIPBOARD";
    const uint32_t property = internAtom(m_conn, kProperty);
    const uint32_t incr = internAtom(m_conn, "INCR");
    if (!property) return false;
    xcb_convert_selection(m_conn, window, m_atoms[Clipboard], m_atoms[Utf8String], property, XCB_CURRENT_TIME);
    xcb_flush(m_conn);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(500);
    bool answered = false, ok = false;
    while (!answered) {
        xcb_generic_event_t* ev = xcb_poll_for_event(m_conn);
        if (!ev) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline -
                                                                                    std::chrono::steady_clock::now());
            if (left.count() <= 0 || xcb_connection_has_error(m_conn)) break;
            pollfd p{xcb_get_file_descriptor(m_conn), POLLIN, 0};
            (void)poll(&p, 1, int(left.count()));
            continue;
        }
        const uint8_t type = ev->response_type & 0x7F;
        if (type == XCB_SELECTION_NOTIFY &&
            reinterpret_cast<xcb_selection_notify_event_t*>(ev)->requestor == window) {
            answered = true;
            ok = reinterpret_cast<xcb_selection_notify_event_t*>(ev)->property != XCB_NONE;
            std::free(ev);
        } else if (type == XCB_SELECTION_REQUEST) {
            handle(ev);  // another client asks for ours while we wait
            std::free(ev);
        } else {
            m_deferred.push_back(ev);
        }
    }
    if (!ok) return false;
    Reply<xcb_get_property_reply_t> r(xcb_get_property_reply(
        m_conn, xcb_get_property(m_conn, 1, window, property, XCB_GET_PROPERTY_TYPE_ANY, 0, m_maxRequestBytes / 4),
        nullptr));
    if (!r || r->format != 8 || r->type == incr) return false;
    const auto* data = static_cast<const char*>(xcb_get_property_value(r.get()));
    utf8->assign(data, size_t(xcb_get_property_value_length(r.get())));
    return true;
}

}  // namespace plat
