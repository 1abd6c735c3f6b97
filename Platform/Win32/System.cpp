// Win32 backend of the system services: the performance counter, the
// process heap, the module path, the shell's application data folders,
// directories and the monitors.
#include "Platform/System.h"

#include <vector>

#define WIN32_LEAN_AND_MEAN
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#include <knownfolders.h>
#include <objbase.h>
#include <shlobj.h>

#include "Platform/Win32/WinText.h"

namespace plat {

using win32::narrowPath;
using win32::widen;

int64_t perfCounter() {
    LARGE_INTEGER v;
    QueryPerformanceCounter(&v);
    return int64_t(v.QuadPart);
}

int64_t perfFrequency() {
    static const int64_t f = [] {
        LARGE_INTEGER v;
        QueryPerformanceFrequency(&v);
        return int64_t(v.QuadPart);
    }();
    return f;
}

void* heapAlloc(size_t size) { return HeapAlloc(GetProcessHeap(), 0, size ? size : 1); }
void heapFree(void* p) {
    if (p) HeapFree(GetProcessHeap(), 0, p);
}

uint32_t lastErrorCode() { return uint32_t(GetLastError()); }

std::string moduleFilePath(const void* addressInModule) {
    HMODULE module = nullptr;
    if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            static_cast<LPCWSTR>(addressInModule), &module))
        return {};
    // The path may be longer than MAX_PATH; the call cuts it without failing.
    std::vector<wchar_t> buf(MAX_PATH);
    for (;;) {
        const DWORD n = GetModuleFileNameW(module, buf.data(), DWORD(buf.size()));
        if (n == 0) return {};
        if (n < buf.size()) return narrowPath(std::wstring_view(buf.data(), n));
        if (buf.size() >= 32768) return {};
        buf.resize(buf.size() * 2);
    }
}

namespace {
// A known folder, created when missing; the older folder call where the
// known-folder interface is unavailable.
std::string shellFolder(REFKNOWNFOLDERID id, int csidl) {
    PWSTR path = nullptr;
    std::string out;
    if (SUCCEEDED(SHGetKnownFolderPath(id, KF_FLAG_CREATE, nullptr, &path)) && path) out = narrowPath(path);
    CoTaskMemFree(path);
    if (!out.empty()) return out;
    wchar_t buf[MAX_PATH] = {};
    if (SUCCEEDED(SHGetFolderPathW(nullptr, csidl | CSIDL_FLAG_CREATE, nullptr, SHGFP_TYPE_CURRENT, buf)))
        out = narrowPath(buf);
    return out;
}
}  // namespace

std::string userAppDataFolder() { return shellFolder(FOLDERID_LocalAppData, CSIDL_LOCAL_APPDATA); }
std::string commonAppDataFolder() { return shellFolder(FOLDERID_ProgramData, CSIDL_COMMON_APPDATA); }

bool createDirectory(const std::string& path) {
    const std::wstring w = widen(path);
    if (CreateDirectoryW(w.c_str(), nullptr)) return true;
    return GetLastError() == ERROR_ALREADY_EXISTS && directoryExists(path);
}

bool directoryExists(const std::string& path) {
    const DWORD a = GetFileAttributesW(widen(path).c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

bool screenSizeAt(int x, int y, int* width, int* height) {
    // The monitor's whole rectangle (not its work area); a point off every
    // monitor counts for the primary one.
    HMONITOR monitor = MonitorFromPoint(POINT{x, y}, MONITOR_DEFAULTTOPRIMARY);
    MONITORINFO info{};
    info.cbSize = sizeof info;
    if (!monitor || !GetMonitorInfoW(monitor, &info)) return false;
    *width = int(info.rcMonitor.right - info.rcMonitor.left);
    *height = int(info.rcMonitor.bottom - info.rcMonitor.top);
    return true;
}

unsigned processorCount() {
    SYSTEM_INFO si;
    GetSystemInfo(&si);
    return si.dwNumberOfProcessors > 0 ? unsigned(si.dwNumberOfProcessors) : 1u;
}

}  // namespace plat
