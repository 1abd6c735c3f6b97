// Text on the X11 clipboard, both ways between the editor's display and a
// client of its own (a plain xcb connection, as another program would be).
// Needs an X server: skipped without $DISPLAY; CTest runs it under Xvfb
// (Platform.ClipboardX11).
#include <gtest/gtest.h>
#include <xcb/xcb.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "Platform/Window/Window.h"

namespace {

uint32_t atomOf(xcb_connection_t* c, const char* name) {
    xcb_intern_atom_reply_t* r = xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, uint16_t(std::strlen(name)), name), nullptr);
    const uint32_t a = r ? r->atom : 0;
    std::free(r);
    return a;
}

// Another X client with a window of its own.
struct Foreign {
    xcb_connection_t* c = nullptr;
    uint32_t window = 0, clipboard = 0, utf8 = 0, targets = 0, property = 0;
    bool open() {
        c = xcb_connect(nullptr, nullptr);
        if (xcb_connection_has_error(c)) return false;
        xcb_screen_t* s = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
        window = xcb_generate_id(c);
        xcb_create_window(c, XCB_COPY_FROM_PARENT, window, s->root, 0, 0, 1, 1, 0, XCB_WINDOW_CLASS_INPUT_ONLY,
                          XCB_COPY_FROM_PARENT, 0, nullptr);
        clipboard = atomOf(c, "CLIPBOARD");
        utf8 = atomOf(c, "UTF8_STRING");
        targets = atomOf(c, "TARGETS");
        property = atomOf(c, "FOREIGN_CLIP");
        return true;
    }
    ~Foreign() {
        if (c) xcb_disconnect(c);
    }
};

bool haveDisplay() {
    const char* d = std::getenv("DISPLAY");
    return d && *d;
}

TEST(ClipboardX11, OurTextReachesAnotherClientAndTheirsReachesUs) {
    if (!haveDisplay()) GTEST_SKIP() << "no X display";
    std::string err;
    std::unique_ptr<plat::CDisplay> display = plat::CDisplay::open(&err);
    ASSERT_NE(display, nullptr) << err;
    Foreign other;
    ASSERT_TRUE(other.open());

    // Ours, read by the other client: it asks, our display answers.
    const std::string text = "-14.25 dB \xC3\xA9";  // with a non-ASCII letter
    ASSERT_TRUE(display->setClipboardText(text));
    std::string self;
    ASSERT_TRUE(display->clipboardText(&self));
    EXPECT_EQ(self, text) << "our own text comes from memory";
    xcb_convert_selection(other.c, other.window, other.clipboard, other.utf8, other.property, XCB_CURRENT_TIME);
    xcb_flush(other.c);
    bool notified = false;
    for (auto end = std::chrono::steady_clock::now() + std::chrono::seconds(2);
         !notified && std::chrono::steady_clock::now() < end;) {
        display->dispatch();  // answers the request
        display->flush();
        while (xcb_generic_event_t* ev = xcb_poll_for_event(other.c)) {
            notified |= (ev->response_type & 0x7F) == XCB_SELECTION_NOTIFY;
            std::free(ev);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    ASSERT_TRUE(notified);
    xcb_get_property_reply_t* r = xcb_get_property_reply(
        other.c, xcb_get_property(other.c, 1, other.window, other.property, XCB_GET_PROPERTY_TYPE_ANY, 0, 1024), nullptr);
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->type, other.utf8);
    EXPECT_EQ(std::string(static_cast<const char*>(xcb_get_property_value(r)), size_t(xcb_get_property_value_length(r))),
              text);
    std::free(r);

    // Theirs, read by us: the other client owns the selection and answers
    // from its own thread while our display waits.
    const std::string theirs = "pasted from elsewhere";
    xcb_set_selection_owner(other.c, other.window, other.clipboard, XCB_CURRENT_TIME);
    // A round trip: the server has made them the owner before our display
    // asks (requests of two connections have no order of their own).
    std::free(xcb_get_selection_owner_reply(other.c, xcb_get_selection_owner(other.c, other.clipboard), nullptr));
    std::atomic<bool> stop{false};
    std::thread owner([&] {
        while (!stop) {
            xcb_generic_event_t* ev = xcb_poll_for_event(other.c);
            if (!ev) {
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
                continue;
            }
            if ((ev->response_type & 0x7F) == XCB_SELECTION_REQUEST) {
                auto* req = reinterpret_cast<xcb_selection_request_event_t*>(ev);
                xcb_selection_notify_event_t n{};
                n.response_type = XCB_SELECTION_NOTIFY;
                n.requestor = req->requestor, n.selection = req->selection, n.target = req->target;
                n.time = req->time;
                if (req->target == other.utf8) {
                    xcb_change_property(other.c, XCB_PROP_MODE_REPLACE, req->requestor, req->property, other.utf8, 8,
                                        uint32_t(theirs.size()), theirs.data());
                    n.property = req->property;
                }
                xcb_send_event(other.c, 0, req->requestor, 0, reinterpret_cast<const char*>(&n));
                xcb_flush(other.c);
            }
            std::free(ev);
        }
    });
    std::string got;
    const bool ok = display->clipboardText(&got);
    stop = true;
    owner.join();
    ASSERT_TRUE(ok);
    EXPECT_EQ(got, theirs);
    // Our display lost the selection: its own copy is gone.
    display->dispatch();
}

}  // namespace
