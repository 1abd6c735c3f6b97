// The Win32 backend of the editor's windows. There is no connection: the
// host's message loop delivers the messages to the windows' procedure, and
// dispatch() has nothing to do. Blits copy the image with SetDIBitsToDevice.
// Double clicks come from the class style.
#define WIN32_LEAN_AND_MEAN
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#include <windowsx.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <string>

#include "Platform/Window/Window.h"

namespace plat {

namespace {
HMODULE ownModule() {
    HMODULE m = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCWSTR>(&ownModule), &m);
    return m;
}

std::wstring widen(std::string_view s) {
    if (s.empty()) return {};
    const int n = MultiByteToWideChar(CP_UTF8, 0, s.data(), int(s.size()), nullptr, 0);
    std::wstring w(size_t(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, s.data(), int(s.size()), w.data(), n);
    return w;
}

// The class name: a prefix unique to this module instance, then "UIWindow".
const wchar_t* className() {
    static const std::wstring name = [] {
        wchar_t buf[64];
        swprintf(buf, 64, L"Tamblor%p", static_cast<void*>(ownModule()));
        return std::wstring(buf) + L"UIWindow";
    }();
    return name.c_str();
}

uint32_t mapVirtualKey(WPARAM vk) {
    switch (vk) {
        case VK_INSERT: return kKeyInsert;
        case VK_DELETE: return kKeyDelete;
        case VK_HOME: return kKeyHome;
        case VK_END: return kKeyEnd;
        case VK_PRIOR: return kKeyPageUp;
        case VK_NEXT: return kKeyPageDown;
        case VK_LEFT: return kKeyLeft;
        case VK_RIGHT: return kKeyRight;
        case VK_UP: return kKeyUp;
        case VK_DOWN: return kKeyDown;
        case VK_MENU: return kKeyAlt;
        case VK_CONTROL: return kKeyControl;
        case VK_SHIFT: return kKeyShift;
        case VK_BACK: return kKeyBackspace;
        case VK_TAB: return kKeyTab;
        case VK_RETURN: return kKeyEnter;
        case VK_ESCAPE: return kKeyEscape;
        default: return 0;
    }
}
}  // namespace

class CWin32Window final : public CSystemWindow {
public:
    CWin32Window(CWindowListener* listener, bool embedded) : m_listener(listener), m_embedded(embedded) {}
    ~CWin32Window() override {
        if (m_hwnd) {
            SetWindowLongPtrW(m_hwnd, GWLP_USERDATA, 0);
            DestroyWindow(m_hwnd);
        }
        s_count--;
    }
    static std::atomic<int> s_count;

    bool create(const WindowOptions& o, std::string* error) {
        DWORD style = WS_CLIPCHILDREN | WS_CLIPSIBLINGS, ex = 0;
        HWND parent = nullptr;
        if (o.kind == WindowKind::Embedded) {
            parent = reinterpret_cast<HWND>(o.parent);
            if (!parent || !IsWindow(parent)) {
                *error = "Unable to locate parent window.";
                return false;
            }
            style |= WS_CHILD;
        } else {
            parent = reinterpret_cast<HWND>(o.owner);
            style |= o.kind == WindowKind::Menu ? WS_POPUP : (WS_POPUP | WS_CAPTION | WS_SYSMENU);
            ex |= o.taskbar ? WS_EX_APPWINDOW : WS_EX_TOOLWINDOW;
        }
        m_hwnd = CreateWindowExW(ex, className(), widen(o.title).c_str(), style, o.x, o.y, std::max(1, o.width),
                                 std::max(1, o.height), parent, nullptr, ownModule(), nullptr);
        if (!m_hwnd) {
            *error = "Unable to create window (error " + std::to_string(GetLastError()) + ").";
            return false;
        }
        s_count++;
        SetWindowLongPtrW(m_hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
        return true;
    }

    uintptr_t handle() const override { return reinterpret_cast<uintptr_t>(m_hwnd); }
    void show(bool visible) override { ShowWindow(m_hwnd, visible ? SW_SHOWNOACTIVATE : SW_HIDE); }
    void setSize(int w, int h) override {
        SetWindowPos(m_hwnd, nullptr, 0, 0, std::max(1, w), std::max(1, h), SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    void move(int x, int y) override { SetWindowPos(m_hwnd, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE); }
    void screenPosition(int* x, int* y) override {
        POINT p{0, 0};
        ClientToScreen(m_hwnd, &p);
        *x = p.x, *y = p.y;
    }
    void setTitle(std::string_view title) override { SetWindowTextW(m_hwnd, widen(title).c_str()); }
    void setCursor(CursorShape shape) override {
        // The system cursors' resource numbers (arrow, hand, four arrows,
        // horizontal and vertical sizing, text beam).
        int id = 32512;
        switch (shape) {
            case CursorShape::Hand: id = 32649; break;
            case CursorShape::SizeAll: id = 32646; break;
            case CursorShape::SizeHorizontal: id = 32644; break;
            case CursorShape::SizeVertical: id = 32645; break;
            case CursorShape::Text: id = 32513; break;
            default: break;
        }
        m_cursor = shape == CursorShape::Hidden ? nullptr : LoadCursorW(nullptr, MAKEINTRESOURCEW(id));
        SetCursor(m_cursor);
    }
    void captureMouse(bool on) override {
        if (on) SetCapture(m_hwnd);
        else if (GetCapture() == m_hwnd) ReleaseCapture();
    }
    void moveMouse(int x, int y) override { SetCursorPos(x, y); }
    void takeKeyFocus() override { SetFocus(m_hwnd); }
    void blit(const uint32_t* pixels, int width, int height, int x, int y, int w, int h) override {
        if (!pixels || w <= 0 || h <= 0) return;
        BITMAPINFO bi{};
        bi.bmiHeader.biSize = sizeof(bi.bmiHeader);
        bi.bmiHeader.biWidth = width;
        bi.bmiHeader.biHeight = -height;  // top-down
        bi.bmiHeader.biPlanes = 1;
        bi.bmiHeader.biBitCount = 32;
        bi.bmiHeader.biCompression = BI_RGB;
        HDC dc = GetDC(m_hwnd);
        // Rows from the top of the image: with a top-down image the start
        // scan line counts from the bottom of the buffer.
        SetDIBitsToDevice(dc, x, y, DWORD(w), DWORD(h), x, height - (y + h), 0, UINT(height), pixels, &bi, DIB_RGB_COLORS);
        ReleaseDC(m_hwnd, dc);
    }

    LRESULT handle(UINT msg, WPARAM wp, LPARAM lp) {
        WindowEvent e;
        auto mods = [&] {
            e.shift = GetKeyState(VK_SHIFT) < 0;
            e.ctrl = GetKeyState(VK_CONTROL) < 0;
            e.alt = GetKeyState(VK_MENU) < 0;
            e.buttonL = wp & MK_LBUTTON;
            e.buttonR = wp & MK_RBUTTON;
        };
        auto position = [&] {
            e.x = GET_X_LPARAM(lp), e.y = GET_Y_LPARAM(lp);
            POINT p{e.x, e.y};
            ClientToScreen(m_hwnd, &p);
            e.screenX = p.x, e.screenY = p.y;
        };
        switch (msg) {
            case WM_ERASEBKGND: return 1;
            case WM_PAINT: {
                RECT r;
                if (!GetUpdateRect(m_hwnd, &r, FALSE)) return 0;
                PAINTSTRUCT ps;
                BeginPaint(m_hwnd, &ps);
                EndPaint(m_hwnd, &ps);
                e.kind = WindowEvent::Kind::Expose;
                e.x = r.left, e.y = r.top, e.width = r.right - r.left, e.height = r.bottom - r.top;
                break;
            }
            case WM_MOUSEMOVE:
                if (!m_tracking) {
                    TRACKMOUSEEVENT t{sizeof t, TME_LEAVE, m_hwnd, 0};
                    m_tracking = TrackMouseEvent(&t);
                }
                mods(), position();
                e.kind = WindowEvent::Kind::MouseMove;
                break;
            case WM_MOUSELEAVE:
                m_tracking = false;
                e.kind = WindowEvent::Kind::MouseExit;
                break;
            case WM_MOUSEWHEEL: {
                mods();
                POINT p{GET_X_LPARAM(lp), GET_Y_LPARAM(lp)};
                e.screenX = p.x, e.screenY = p.y;
                ScreenToClient(m_hwnd, &p);
                e.x = p.x, e.y = p.y;
                e.kind = WindowEvent::Kind::MouseWheel;
                e.delta = GET_WHEEL_DELTA_WPARAM(wp) < 1 ? -1 : 1;
                break;
            }
            case WM_LBUTTONDOWN: case WM_LBUTTONUP: case WM_LBUTTONDBLCLK:
            case WM_RBUTTONDOWN: case WM_RBUTTONUP: case WM_RBUTTONDBLCLK:
            case WM_MBUTTONDOWN: case WM_MBUTTONUP: case WM_MBUTTONDBLCLK:
            case WM_XBUTTONDOWN: case WM_XBUTTONUP: case WM_XBUTTONDBLCLK: {
                mods(), position();
                const UINT group = msg < WM_RBUTTONDOWN ? 0 : msg < WM_MBUTTONDOWN ? 1 : msg < WM_XBUTTONDOWN ? 2 : 3;
                const UINT first = group == 0 ? WM_LBUTTONDOWN : group == 1 ? WM_RBUTTONDOWN : group == 2 ? WM_MBUTTONDOWN : WM_XBUTTONDOWN;
                static const int kButtons[4] = {'L', 'R', 'M', 'X'};
                e.kind = WindowEvent::Kind::MouseButton;
                e.button = kButtons[group];
                e.down = msg != first + 1;
                e.doubleClick = msg == first + 2;
                if (group == 3) e.xbutton = GET_XBUTTON_WPARAM(wp) == XBUTTON1 ? 1 : 2;
                if (e.down && m_embedded && e.button != 'X') SetFocus(m_hwnd);
                break;
            }
            case WM_KEYDOWN: case WM_KEYUP: case WM_SYSKEYDOWN: case WM_SYSKEYUP: {
                const bool down = msg == WM_KEYDOWN || msg == WM_SYSKEYDOWN;
                BYTE state[256];
                GetKeyboardState(state);
                wchar_t chars[8];
                const int n = ToUnicode(UINT(wp), UINT((lp >> 16) & 0xFF), state, chars, 8, 0);
                e.kind = WindowEvent::Kind::Key;
                e.down = down;
                e.shift = state[VK_SHIFT] & 0x80, e.ctrl = state[VK_CONTROL] & 0x80, e.alt = state[VK_MENU] & 0x80;
                if (n < 0) return 0;  // dead key
                if (n == 0) {
                    if (!(e.keycode = mapVirtualKey(wp))) return 0;
                    if (m_listener) m_listener->onWindowEvent(e);
                    return 0;
                }
                for (int i = 0; i < n; ++i) {
                    uint32_t c = chars[i];
                    if (c == 8) c = kKeyBackspace;
                    else if (c == 9) c = kKeyTab;
                    else if (c == 13) c = kKeyEnter;
                    else if (c == 27) c = kKeyEscape;
                    else if (e.ctrl && c >= 1 && c <= 26) c += 64;
                    e.keycode = c;
                    if (m_listener) m_listener->onWindowEvent(e);
                }
                return 0;
            }
            case WM_SETFOCUS: case WM_KILLFOCUS:
                e.kind = WindowEvent::Kind::KeyFocus;
                e.down = msg == WM_SETFOCUS;
                break;
            case WM_CLOSE:
                e.kind = WindowEvent::Kind::Close;
                break;
            case WM_MOVE: case WM_SIZE: {
                RECT r;
                GetClientRect(m_hwnd, &r);
                e.kind = WindowEvent::Kind::Moved;
                e.width = r.right, e.height = r.bottom;
                screenPosition(&e.screenX, &e.screenY);
                break;
            }
            case WM_SETCURSOR:
                if (LOWORD(lp) == HTCLIENT) {
                    SetCursor(m_cursor);
                    return TRUE;
                }
                return DefWindowProcW(m_hwnd, msg, wp, lp);
            case WM_MOUSEACTIVATE:
                if (m_embedded) return MA_NOACTIVATE;
                return DefWindowProcW(m_hwnd, msg, wp, lp);
            default:
                return DefWindowProcW(m_hwnd, msg, wp, lp);
        }
        if (m_listener) m_listener->onWindowEvent(e);
        return 0;
    }

private:
    CWindowListener* m_listener;
    bool m_embedded;
    HWND m_hwnd = nullptr;
    bool m_tracking = false;
    HCURSOR m_cursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));
};

std::atomic<int> CWin32Window::s_count{0};

namespace {
LRESULT CALLBACK windowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    auto* w = reinterpret_cast<CWin32Window*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (!w) return DefWindowProcW(hwnd, msg, wp, lp);
    return w->handle(msg, wp, lp);
}

bool registerClass(std::string* error) {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.style = CS_HREDRAW | CS_VREDRAW | CS_DBLCLKS;
    wc.lpfnWndProc = windowProc;
    wc.hInstance = ownModule();
    wc.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));
    wc.lpszClassName = className();
    if (RegisterClassExW(&wc) || GetLastError() == ERROR_CLASS_ALREADY_EXISTS) return true;
    *error = "Unable to register window class (error " + std::to_string(GetLastError()) + ").";
    return false;
}

MonitorInfo monitorInfo(HMONITOR m) {
    MONITORINFO mi{};
    mi.cbSize = sizeof mi;
    if (!m || !GetMonitorInfoW(m, &mi)) return {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    return {mi.rcMonitor.left, mi.rcMonitor.top, mi.rcMonitor.right - mi.rcMonitor.left, mi.rcMonitor.bottom - mi.rcMonitor.top};
}
}  // namespace

class CWin32Display final : public CDisplay {
public:
    ~CWin32Display() override {
        if (m_clipboardOwner) DestroyWindow(m_clipboardOwner);
    }
    std::unique_ptr<CSystemWindow> createWindow(const WindowOptions& o, CWindowListener* listener,
                                                std::string* error) override {
        if (!registerClass(error)) return nullptr;
        auto w = std::make_unique<CWin32Window>(listener, o.kind == WindowKind::Embedded);
        if (!w->create(o, error)) return nullptr;
        return w;
    }
    int fd() const override { return -1; }
    bool dispatch() override { return true; }
    void flush() override { GdiFlush(); }
    MonitorInfo monitorAt(int x, int y) override {
        return monitorInfo(MonitorFromPoint(POINT{x, y}, MONITOR_DEFAULTTOPRIMARY));
    }
    MonitorInfo primaryMonitor() override { return monitorInfo(MonitorFromPoint(POINT{0, 0}, MONITOR_DEFAULTTOPRIMARY)); }
    bool setClipboardPng(std::span<const uint8_t> png) override {
        const UINT format = RegisterClipboardFormatW(L"PNG");
        if (!format || !OpenClipboard(clipboardOwner())) return false;
        EmptyClipboard();
        HGLOBAL mem = GlobalAlloc(GMEM_MOVEABLE, png.size());
        bool ok = false;
        if (mem) {
            if (void* p = GlobalLock(mem)) {
                std::copy(png.begin(), png.end(), static_cast<uint8_t*>(p));
                GlobalUnlock(mem);
                ok = SetClipboardData(format, mem) != nullptr;
            }
            if (!ok) GlobalFree(mem);
        }
        CloseClipboard();
        return ok;
    }
    bool setClipboardText(std::string_view utf8) override {
        const int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), int(utf8.size()), nullptr, 0);
        if ((n <= 0 && !utf8.empty()) || !OpenClipboard(clipboardOwner())) return false;
        EmptyClipboard();
        HGLOBAL mem = GlobalAlloc(GMEM_MOVEABLE, (size_t(n) + 1) * sizeof(wchar_t));
        bool ok = false;
        if (mem) {
            if (auto* p = static_cast<wchar_t*>(GlobalLock(mem))) {
                if (n > 0) MultiByteToWideChar(CP_UTF8, 0, utf8.data(), int(utf8.size()), p, n);
                p[n] = 0;
                GlobalUnlock(mem);
                ok = SetClipboardData(CF_UNICODETEXT, mem) != nullptr;
            }
            if (!ok) GlobalFree(mem);
        }
        CloseClipboard();
        return ok;
    }
    bool clipboardText(std::string* utf8) override {
        if (!IsClipboardFormatAvailable(CF_UNICODETEXT) || !OpenClipboard(clipboardOwner())) return false;
        bool ok = false;
        if (HANDLE h = GetClipboardData(CF_UNICODETEXT)) {
            if (const auto* p = static_cast<const wchar_t*>(GlobalLock(h))) {
                const int n = WideCharToMultiByte(CP_UTF8, 0, p, -1, nullptr, 0, nullptr, nullptr);
                if (n > 0) {
                    utf8->assign(size_t(n), '\0');
                    WideCharToMultiByte(CP_UTF8, 0, p, -1, utf8->data(), n, nullptr, nullptr);
                    utf8->resize(size_t(n - 1));
                    ok = true;
                }
                GlobalUnlock(h);
            }
        }
        CloseClipboard();
        return ok;
    }
    int resourceCount() const override { return CWin32Window::s_count.load(); }
    const char* blitMethod() const override { return "gdi"; }

private:
    // The clipboard's owner: what is set while the clipboard is open with no
    // window is dropped, so a hidden message-only window of the display
    // opens it.
    HWND clipboardOwner() {
        if (!m_clipboardOwner)
            m_clipboardOwner = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
        return m_clipboardOwner;
    }
    HWND m_clipboardOwner = nullptr;
};

std::unique_ptr<CDisplay> CDisplay::open(std::string*) { return std::make_unique<CWin32Display>(); }

}  // namespace plat
