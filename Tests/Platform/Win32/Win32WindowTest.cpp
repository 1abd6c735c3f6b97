// Windows only: the data stores' folders, the error window's controls, the
// monitor size, run-loop delivery through a plain message loop, the common
// file dialogs and the clipboard, and the module's entry points as hosts use
// them.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#define WIN32_LEAN_AND_MEAN
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include "Core/AppData.h"
#include "Core/AppErrorWindow.h"
#include "Core/Error.h"
#include "Platform/FileDialog.h"
#include "Platform/System.h"
#include "Platform/Thread.h"
#include "Platform/Win32/ErrorWindow.h"
#include "Platform/Window/Window.h"
#include "pluginterfaces/base/ipluginbase.h"

namespace {

std::wstring className(HWND w) {
    wchar_t buf[64] = {};
    GetClassNameW(w, buf, 64);
    return buf;
}

std::wstring text(HWND w) {
    std::wstring s(size_t(GetWindowTextLengthW(w)) + 1, L'\0');
    s.resize(size_t(GetWindowTextW(w, s.data(), int(s.size()))));
    return s;
}

std::wstring fontFace(HWND w) {
    auto font = reinterpret_cast<HFONT>(SendMessageW(w, WM_GETFONT, 0, 0));
    LOGFONTW lf{};
    if (!font || !GetObjectW(font, sizeof lf, &lf)) return {};
    return lf.lfFaceName;
}

}  // namespace

// The stores live under the shell's per-user local and all-users data
// folders (names with blanks), created on first use; an item written by one
// store reads back through the files the platform opened.
TEST(Win32AppData, StoresUnderTheShellFoldersReadBackTheirItems) {
    CAppData::resetAllPaths();
    struct Case {
        CAppData* store;
        const char* tail;
    } cases[] = {{&CAppData::global(), "/AppData/Local/Kelvane/"},
                 {&CAppData::group(), "/AppData/Local/Kelvane/Audio Plug-Ins/"},
                 {&CAppData::local(), "/AppData/Local/Kelvane/Audio Plug-Ins/Tamblor/"}};
    for (const Case& c : cases) {
        const std::string user = c.store->userPath().utf8();
        SCOPED_TRACE(user);
        ASSERT_GE(user.size(), std::strlen(c.tail));
        EXPECT_EQ(user.substr(user.size() - std::strlen(c.tail)), c.tail);
        EXPECT_TRUE(plat::directoryExists(user.substr(0, user.size() - 1)));
        EXPECT_EQ(user.find('\\'), std::string::npos);
    }
    const std::string common = CAppData::local().commonPath().utf8();
    EXPECT_EQ(common, plat::commonAppDataFolder() + "/Kelvane/Audio Plug-Ins/Tamblor/");

    ASSERT_FALSE(CAppData::local().writeString("win32-test-item", CString("\xC3\xA9t\xC3\xA9 \xE2\x82\xAC")));
    CAppData::local().resetPaths();  // drops what is cached: read the file
    CString back;
    bool found = false;
    ASSERT_FALSE(CAppData::local().readString("win32-test-item", &back, &found));
    EXPECT_TRUE(found);
    EXPECT_EQ(back.utf8(), "\xC3\xA9t\xC3\xA9 \xE2\x82\xAC");
}

TEST(Win32ErrorWindow, ShowsTitleTextAndSelectableDetails) {
    const plat::ErrorWindowContent content{CAppErrorWindow::kClassName, CAppErrorWindow::kFont, CAppErrorWindow::kTitle,
                                           CAppErrorWindow::text(), CAppErrorWindow::details(CError())};
    auto window = static_cast<HWND>(plat::win32::createErrorWindow(content));
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(className(window), L"ErrorWindowClass");
    EXPECT_EQ(text(window), L"Kelvane Application Message");
    EXPECT_TRUE(GetWindowLongW(window, GWL_EXSTYLE) & WS_EX_TOPMOST);

    HWND label = GetDlgItem(window, plat::win32::kErrorTextId);
    HWND details = GetDlgItem(window, plat::win32::kErrorDetailsId);
    ASSERT_NE(label, nullptr);
    ASSERT_NE(details, nullptr);
    EXPECT_EQ(className(label), L"Static");
    EXPECT_EQ(_wcsicmp(className(details).c_str(), L"Edit"), 0);
    EXPECT_EQ(text(label).rfind(L"An issue has happened when executing Kelvane application.\r\n\r\n", 0), 0u);
    EXPECT_EQ(text(details), L"<no details>");
    const LONG style = GetWindowLongW(details, GWL_STYLE);
    EXPECT_TRUE(style & ES_READONLY);
    EXPECT_TRUE(style & ES_MULTILINE);
    DWORD from = 1, to = 0;
    SendMessageW(details, EM_GETSEL, reinterpret_cast<WPARAM>(&from), reinterpret_cast<LPARAM>(&to));
    EXPECT_EQ(from, 0u);
    EXPECT_EQ(to, DWORD(text(details).size())) << "selected for Ctrl+Insert";
    EXPECT_EQ(fontFace(label), L"Verdana");
    EXPECT_EQ(fontFace(details), L"Verdana");

    // Escape closes it; the loop returns and the class goes away.
    PostMessageW(details, WM_KEYDOWN, VK_ESCAPE, 0);
    plat::win32::runErrorWindow(window, content);
    EXPECT_FALSE(IsWindow(window));
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    EXPECT_FALSE(GetClassInfoExW(GetModuleHandleW(nullptr), L"ErrorWindowClass", &wc));
}

// The editor's scale asks for the monitor under a screen point: (0, 0) lies
// on the primary monitor, and a point off every monitor falls back to it.
TEST(Win32Screen, SizeOfTheMonitorUnderAPoint) {
    const int primaryW = GetSystemMetrics(SM_CXSCREEN), primaryH = GetSystemMetrics(SM_CYSCREEN);
    ASSERT_GT(primaryW, 0);
    ASSERT_GT(primaryH, 0);
    for (const POINT p : {POINT{0, 0}, POINT{-100000, -100000}}) {
        SCOPED_TRACE(testing::Message() << p.x << "," << p.y);
        int w = -1, h = -1;
        ASSERT_TRUE(plat::screenSizeAt(int(p.x), int(p.y), &w, &h));
        EXPECT_EQ(w, primaryW);
        EXPECT_EQ(h, primaryH);
    }
}

// The host's own message loop delivers run-loop timers and posted callbacks
// without pumpRunLoop.
TEST(Win32RunLoop, PlainMessageLoopDeliversTimersAndPosts) {
    struct Probe {
        int ticks = 0, posts = 0;
    } probe;
    uint32_t err = 0;
    const plat::RunLoopTimerId id =
        plat::setRunLoopTimer(10, [](void* c) { ++static_cast<Probe*>(c)->ticks; }, &probe, &err);
    ASSERT_NE(id, 0u) << err;
    const plat::RunLoopId loop = plat::currentRunLoop();
    HANDLE poster = CreateThread(nullptr, 0, [](void* c) -> DWORD {
        auto* p = static_cast<std::pair<plat::RunLoopId, Probe*>*>(c);
        for (int i = 0; i < 3; ++i)
            plat::postToRunLoop(p->first, [](void* q) { ++static_cast<Probe*>(q)->posts; }, p->second);
        return 0;
    }, new std::pair<plat::RunLoopId, Probe*>(loop, &probe), 0, nullptr);
    ASSERT_NE(poster, nullptr);
    WaitForSingleObject(poster, INFINITE);
    CloseHandle(poster);

    const ULONGLONG end = GetTickCount64() + 500;
    MSG msg;
    while ((probe.ticks < 3 || probe.posts < 3) && GetTickCount64() < end) {
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        Sleep(2);
    }
    plat::killRunLoopTimer(id);
    EXPECT_GE(probe.ticks, 3);
    EXPECT_EQ(probe.posts, 3);
}

// The common dialogs run modally on the calling thread; a helper thread
// plays the user: it waits for the dialog's window and presses a button.
TEST(Win32FileDialog, OpenCancelsAndSaveTakesTheProposedName) {
    struct User {
        DWORD thread;  // whose dialog
        int button;
        std::wstring title;  // what the dialog's window showed
    };
    auto press = [](void* c) -> DWORD {
        auto* u = static_cast<User*>(c);
        for (int i = 0; i < 500 && u->title.empty(); ++i) {
            HWND dlg = nullptr;
            EnumThreadWindows(u->thread, [](HWND w, LPARAM out) -> BOOL {
                if (!IsWindowVisible(w) || className(w) != L"#32770") return TRUE;
                *reinterpret_cast<HWND*>(out) = w;
                return FALSE;
            }, LPARAM(&dlg));
            if (dlg) {
                u->title = text(dlg);
                Sleep(100);
                PostMessageW(dlg, WM_COMMAND, MAKEWPARAM(u->button, BN_CLICKED), 0);
            }
            Sleep(20);
        }
        return 0;
    };
    wchar_t tmp[MAX_PATH];
    ASSERT_GT(GetTempPathW(MAX_PATH, tmp), 0u);
    std::string folder;
    for (const wchar_t* c = tmp; *c; ++c) folder += *c == L'\\' ? '/' : char(*c);

    struct Case {
        bool save;
        const wchar_t* title;
        int button;
        plat::FileDialogResult::Status want;
    } cases[] = {{false, L"Tamblor open test", IDCANCEL, plat::FileDialogResult::Status::Cancelled},
                 {true, L"Tamblor save test", IDOK, plat::FileDialogResult::Status::Chosen}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.save ? "save" : "open");
        User user{GetCurrentThreadId(), c.button, {}};
        HANDLE thread = CreateThread(nullptr, 0, press, &user, 0, nullptr);
        ASSERT_NE(thread, nullptr);
        plat::FileDialogRequest r;
        r.save = c.save;
        r.title = c.save ? "Tamblor save test" : "Tamblor open test";
        r.folder = folder;
        r.fileName = "Tamblor_Dialog test.cpf";
        r.filters = {{"Compressed preset files", "cpf"}};
        std::string err;
        std::unique_ptr<plat::CSystemFileDialog> d = plat::CSystemFileDialog::start(r, &err);
        WaitForSingleObject(thread, INFINITE);
        CloseHandle(thread);
        ASSERT_NE(d, nullptr) << err;
        EXPECT_STREQ(d->backend(), "comdlg32");
        EXPECT_EQ(user.title, c.title) << "the dialog window showed with its title";
        const plat::FileDialogResult res = d->poll();
        EXPECT_EQ(res.status, c.want) << res.error;
        if (c.save) {
            ASSERT_EQ(res.paths.size(), 1u);
            const std::string& path = res.paths[0];
            EXPECT_EQ(path.substr(path.size() - std::strlen("/Tamblor_Dialog test.cpf")), "/Tamblor_Dialog test.cpf");
        }
    }
}

// Text goes through the system clipboard and comes back whole, also outside
// Latin-1.
TEST(Win32Clipboard, TextRoundTrip) {
    std::string err;
    std::unique_ptr<plat::CDisplay> display = plat::CDisplay::open(&err);
    ASSERT_NE(display, nullptr) << err;
    const std::string text = "Tamblor \xe2\x80\x93 Out Gain -1.0 dB \xce\xa9";
    ASSERT_TRUE(display->setClipboardText(text));
    std::string back;
    ASSERT_TRUE(display->clipboardText(&back));
    EXPECT_EQ(back, text);
    ASSERT_TRUE(display->setClipboardText("second"));
    ASSERT_TRUE(display->clipboardText(&back));
    EXPECT_EQ(back, "second");
}

#ifdef TAMBLOR_TEST_BUNDLE
// A host that never calls InitDll still gets a factory; unloading the
// module finishes what the factory call started, so a second load works.
TEST(Win32Module, FactoryWithoutInitDllAndReloading) {
    const std::wstring path = std::wstring(L"" TAMBLOR_TEST_BUNDLE) + L"/Contents/x86_64-win/Tamblor.vst3";
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        HMODULE m = LoadLibraryW(path.c_str());
        ASSERT_NE(m, nullptr) << GetLastError();
        for (const char* name : {"GetPluginFactory", "InitDll", "ExitDll"})
            EXPECT_NE(GetProcAddress(m, name), nullptr) << name;
        using FactoryFn = Steinberg::IPluginFactory*(PLUGIN_API*)();
        auto get = reinterpret_cast<FactoryFn>(reinterpret_cast<void*>(GetProcAddress(m, "GetPluginFactory")));
        ASSERT_NE(get, nullptr);
        Steinberg::IPluginFactory* f = get();
        ASSERT_NE(f, nullptr);
        Steinberg::PFactoryInfo info;
        EXPECT_EQ(f->getFactoryInfo(&info), Steinberg::kResultOk);
        EXPECT_STREQ(info.vendor, "Kelvane");
        EXPECT_EQ(f->countClasses(), 1);
        f->release();
        EXPECT_TRUE(FreeLibrary(m));
    }
}
#endif
