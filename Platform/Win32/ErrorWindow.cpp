// The application error window: a top-most window with the explanation in a
// "STATIC" control and the details in a read-only "EDIT" control, whose text
// is selected so that Ctrl+Insert copies it at once.
#include "Platform/Win32/ErrorWindow.h"

#include <algorithm>

#define WIN32_LEAN_AND_MEAN
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include "Platform/Win32/WinText.h"

namespace plat::win32 {

namespace {

HMODULE ownModule() {
    HMODULE m = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCWSTR>(&ownModule), &m);
    return m;
}

// Client area in 96-dpi pixels.
constexpr int kWidth = 560, kHeight = 420, kMargin = 12, kTextHeight = 100;

LRESULT CALLBACK errorWindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
        case WM_COMMAND:
            if (LOWORD(wp) == IDCANCEL || LOWORD(wp) == IDOK) {
                DestroyWindow(hwnd);
                return 0;
            }
            break;
        case WM_DESTROY:
            if (auto font = reinterpret_cast<HFONT>(GetWindowLongPtrW(hwnd, GWLP_USERDATA))) DeleteObject(font);
            SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
            return 0;
        default:
            break;
    }
    return DefWindowProcW(hwnd, msg, wp, lp);
}

}  // namespace

void* createErrorWindow(const ErrorWindowContent& c) {
    const std::wstring cls = widen(c.windowClass);
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = &errorWindowProc;
    wc.hInstance = ownModule();
    wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = cls.c_str();
    if (!RegisterClassExW(&wc) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) return nullptr;

    HDC screen = GetDC(nullptr);
    const int dpi = screen ? GetDeviceCaps(screen, LOGPIXELSY) : 96;
    if (screen) ReleaseDC(nullptr, screen);
    auto px = [dpi](int v) { return MulDiv(v, dpi, 96); };

    const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU;
    const DWORD exStyle = WS_EX_TOPMOST | WS_EX_DLGMODALFRAME;
    RECT r{0, 0, px(kWidth), px(kHeight)};
    AdjustWindowRectEx(&r, style, FALSE, exStyle);
    const int w = r.right - r.left, h = r.bottom - r.top;
    const int x = std::max(0, (GetSystemMetrics(SM_CXSCREEN) - w) / 2);
    const int y = std::max(0, (GetSystemMetrics(SM_CYSCREEN) - h) / 2);
    HWND hwnd = CreateWindowExW(exStyle, cls.c_str(), widen(c.title).c_str(), style, x, y, w, h, nullptr, nullptr,
                                ownModule(), nullptr);
    if (!hwnd) {
        UnregisterClassW(cls.c_str(), ownModule());
        return nullptr;
    }
    HFONT font = CreateFontW(-MulDiv(9, dpi, 72), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                             OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_SWISS,
                             widen(c.font).c_str());
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(font));

    const int inner = px(kWidth - 2 * kMargin);
    HWND text = CreateWindowExW(0, L"STATIC", widen(c.text).c_str(), WS_CHILD | WS_VISIBLE | SS_LEFT, px(kMargin),
                                px(kMargin), inner, px(kTextHeight), hwnd,
                                reinterpret_cast<HMENU>(INT_PTR(kErrorTextId)), ownModule(), nullptr);
    HWND details = CreateWindowExW(
        WS_EX_CLIENTEDGE, L"EDIT", widen(c.details).c_str(),
        WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_VSCROLL | WS_HSCROLL | ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL |
            ES_AUTOHSCROLL,
        px(kMargin), px(2 * kMargin + kTextHeight), inner, px(kHeight - 3 * kMargin - kTextHeight), hwnd,
        reinterpret_cast<HMENU>(INT_PTR(kErrorDetailsId)), ownModule(), nullptr);
    for (HWND child : {text, details})
        if (child && font) SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    if (details) {
        SetFocus(details);
        SendMessageW(details, EM_SETSEL, 0, -1);
    }
    ShowWindow(hwnd, SW_SHOWNORMAL);
    UpdateWindow(hwnd);
    return hwnd;
}

void runErrorWindow(void* window, const ErrorWindowContent& c) {
    auto hwnd = static_cast<HWND>(window);
    bool quit = false;
    WPARAM quitCode = 0;
    MSG msg;
    while (IsWindow(hwnd)) {
        const BOOL r = GetMessageW(&msg, nullptr, 0, 0);
        if (r == 0) {
            quit = true;
            quitCode = msg.wParam;
            break;
        }
        if (r < 0) break;
        // Tab, Escape and Enter as in a dialog.
        if (!IsDialogMessageW(hwnd, &msg)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
    if (IsWindow(hwnd)) DestroyWindow(hwnd);
    UnregisterClassW(widen(c.windowClass).c_str(), ownModule());
    if (quit) PostQuitMessage(int(quitCode));
}

}  // namespace plat::win32

namespace plat {

void showErrorWindow(const ErrorWindowContent& c) {
    if (void* w = win32::createErrorWindow(c)) {
        win32::runErrorWindow(w, c);
        return;
    }
    // Without a window: the system's message box, which needs no class.
    const std::wstring text = win32::widen(c.text + "\r\n\r\n" + c.details);
    MessageBoxW(nullptr, text.c_str(), win32::widen(c.title).c_str(), MB_OK | MB_ICONERROR | MB_TOPMOST);
}

}  // namespace plat
