// tamblor-editor-win: the editor in a top-level Win32 window of our own, the
// Windows counterpart of tamblor-editor's embedding (built only in the
// 64-bit Windows tree, run under Wine by scripts/windows-test.sh). It loads
// the bundle, creates the view with "HWND", attaches it to the window's
// client area, pumps messages for N frames while the instance processes a
// block of silence every 10 ms (having asked for its latency, as a DAW
// does), and saves what the screen shows of the client area as a 24-bit BMP.
//
//   tamblor-editor-win [--bundle DIR] [--frames N] --screenshot FILE.bmp
//
// Report on standard output: "attach 0|1", "size W H", "screenshot FILE".
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "Host/Module.h"
#include "Host/PluginInstance.h"
#include "Tools/Editor/AudioFeed.h"
#include "pluginterfaces/gui/iplugview.h"

using namespace Steinberg;

namespace {
const wchar_t kClassName[] = L"TamblorEditorHostWin";

// The plug frame: a resize request sizes the window's client area and
// gives the size back to the view within the call, as hosts do.
class CFrame final : public IPlugFrame {
public:
    HWND window = nullptr;
    tresult PLUGIN_API resizeView(IPlugView* view, ViewRect* r) override {
        if (!view || !r) return kInvalidArgument;
        RECT rc{0, 0, r->getWidth(), r->getHeight()};
        AdjustWindowRect(&rc, GetWindowLongW(window, GWL_STYLE), FALSE);
        SetWindowPos(window, nullptr, 0, 0, rc.right - rc.left, rc.bottom - rc.top, SWP_NOMOVE | SWP_NOZORDER);
        view->onSize(r);
        return kResultOk;
    }
    tresult PLUGIN_API queryInterface(const TUID iid, void** obj) override {
        if (FUnknownPrivate::iidEqual(iid, IPlugFrame::iid) || FUnknownPrivate::iidEqual(iid, FUnknown::iid)) {
            *obj = this;
            return kResultOk;
        }
        *obj = nullptr;
        return kNoInterface;
    }
    uint32 PLUGIN_API addRef() override { return 1; }
    uint32 PLUGIN_API release() override { return 1; }
};

LRESULT CALLBACK windowProc(HWND w, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_ERASEBKGND) return 1;
    return DefWindowProcW(w, msg, wp, lp);
}

void pump(double ms, host::CPluginInstance& inst, editorhost::CAudioFeed& feed) {
    const ULONGLONG end = GetTickCount64() + ULONGLONG(ms);
    ULONGLONG lastBlock = 0;
    while (GetTickCount64() < end) {
        MSG m;
        while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&m);
            DispatchMessageW(&m);
        }
        if (GetTickCount64() - lastBlock >= 10) {
            lastBlock = GetTickCount64();
            feed.processBlock();
            // A latency restart is answered by asking for the new latency.
            if (inst.takeRestartFlags() & Vst::kLatencyChanged) feed.setLatency(int(inst.latency()));
        }
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
    }
}

// The screen's pixels over the client area, as a bottom-up 24-bit BMP.
bool saveClientArea(HWND w, const std::string& path, int* width, int* height) {
    RECT rc;
    GetClientRect(w, &rc);
    POINT origin{0, 0};
    ClientToScreen(w, &origin);
    const int cw = rc.right - rc.left, ch = rc.bottom - rc.top;
    if (cw <= 0 || ch <= 0) return false;
    HDC screen = GetDC(nullptr);
    HDC mem = CreateCompatibleDC(screen);
    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof bi.bmiHeader;
    bi.bmiHeader.biWidth = cw;
    bi.bmiHeader.biHeight = ch;  // bottom-up, as the file stores it
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 24;
    bi.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP dib = CreateDIBSection(mem, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    bool ok = false;
    if (dib && bits) {
        HGDIOBJ old = SelectObject(mem, dib);
        ok = BitBlt(mem, 0, 0, cw, ch, screen, origin.x, origin.y, SRCCOPY) != 0;
        GdiFlush();
        SelectObject(mem, old);
    }
    const DWORD stride = DWORD((cw * 3 + 3) & ~3), imageBytes = stride * DWORD(ch);
    if (ok) {
        BITMAPFILEHEADER fh{};
        fh.bfType = 0x4D42;
        fh.bfOffBits = sizeof fh + sizeof bi.bmiHeader;
        fh.bfSize = fh.bfOffBits + imageBytes;
        bi.bmiHeader.biSizeImage = imageBytes;
        FILE* f = std::fopen(path.c_str(), "wb");
        ok = f && std::fwrite(&fh, sizeof fh, 1, f) == 1 && std::fwrite(&bi.bmiHeader, sizeof bi.bmiHeader, 1, f) == 1 &&
             std::fwrite(bits, 1, imageBytes, f) == imageBytes;
        if (f) ok = std::fclose(f) == 0 && ok;
    }
    if (dib) DeleteObject(dib);
    DeleteDC(mem);
    ReleaseDC(nullptr, screen);
    *width = cw, *height = ch;
    return ok;
}
}  // namespace

int main(int argc, char** argv) {
    std::string bundle = TAMBLOR_EDITOR_DEFAULT_BUNDLE, screenshot;
    int frames = 10;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--bundle" && i + 1 < argc) bundle = argv[++i];
        else if (a == "--frames" && i + 1 < argc) frames = std::atoi(argv[++i]);
        else if (a == "--screenshot" && i + 1 < argc) screenshot = argv[++i];
        else {
            std::fprintf(stderr, "usage: tamblor-editor-win [--bundle DIR] [--frames N] --screenshot FILE.bmp\n");
            return 2;
        }
    }
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    host::CModule module;
    std::string err;
    host::CPluginInstance inst;
    host::CHostSetup setup;
    setup.offline = false;
    if (!(err = module.load(bundle)).empty() || !(err = inst.create(module.factory())).empty() ||
        !(err = inst.prepare(setup)).empty()) {
        std::fprintf(stderr, "%s\n", err.c_str());
        return 1;
    }
    editorhost::CAudioFeed feed(inst);
    feed.setLatency(int(inst.processor()->getLatencySamples()));
    IPlugView* view = inst.controller()->createView("editor");
    if (!view || view->isPlatformTypeSupported("HWND") != kResultTrue) {
        std::fprintf(stderr, "the plug-in offers no HWND editor view\n");
        return 1;
    }
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = windowProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));
    wc.lpszClassName = kClassName;
    RegisterClassExW(&wc);
    ViewRect r;
    view->getSize(&r);
    const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
    RECT rc{0, 0, r.getWidth(), r.getHeight()};
    AdjustWindowRect(&rc, style, FALSE);
    HWND window = CreateWindowExW(0, kClassName, L"Tamblor [VST3]", style, 40, 40, rc.right - rc.left,
                                  rc.bottom - rc.top, nullptr, nullptr, wc.hInstance, nullptr);
    ShowWindow(window, SW_SHOW);
    CFrame frame;
    frame.window = window;
    view->setFrame(&frame);
    const bool attached = view->attached(window, "HWND") == kResultOk;
    std::printf("attach %d\n", attached ? 1 : 0);
    int status = attached ? 0 : 3;
    pump(frames * 1000.0 / 30, inst, feed);
    if (attached && !screenshot.empty()) {
        int w = 0, h = 0;
        if (saveClientArea(window, screenshot, &w, &h)) {
            std::printf("size %d %d\nscreenshot %s\n", w, h, screenshot.c_str());
        } else {
            std::fprintf(stderr, "%s: cannot save the screenshot\n", screenshot.c_str());
            status = 1;
        }
    }
    view->removed();
    view->setFrame(nullptr);
    view->release();
    DestroyWindow(window);
    inst.close();
    return status;
}
