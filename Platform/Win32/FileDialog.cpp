// Win32 backend of the file dialogs: the common open and save dialogs, and
// folder listings.
#include "Platform/FileDialog.h"

#include <algorithm>

#define WIN32_LEAN_AND_MEAN
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#include <commdlg.h>

#include "Platform/Win32/WinText.h"

namespace plat {

std::string fileDialogFilterText(const FileDialogFilter& filter) {
    return filter.description + " (*." + filter.extension + ")";
}

namespace {

std::wstring backslashes(std::string path) {
    std::replace(path.begin(), path.end(), '/', '\\');
    return win32::widen(path);
}

// The common dialogs run modally here; the result is ready at once.
class CCommonDialog final : public CSystemFileDialog {
public:
    explicit CCommonDialog(FileDialogResult result) : m_result(std::move(result)) {}
    const char* backend() const override { return "comdlg32"; }
    FileDialogResult poll() override { return m_result; }
    void cancel() override {}

private:
    FileDialogResult m_result;
};

}  // namespace

std::unique_ptr<CSystemFileDialog> CSystemFileDialog::start(const FileDialogRequest& request, std::string*) {
    // Filter pairs, each "text\0pattern\0", the list ended by a second "\0".
    std::wstring filter;
    for (const FileDialogFilter& f : request.filters) {
        filter += win32::widen(fileDialogFilterText(f));
        filter.push_back(L'\0');
        filter += win32::widen("*." + f.extension);
        filter.push_back(L'\0');
    }
    filter += L"All files (*.*)";
    filter.push_back(L'\0');
    filter += L"*.*";
    filter.push_back(L'\0');

    std::wstring file(32768, L'\0');
    const std::wstring proposed = backslashes(request.fileName);
    std::copy_n(proposed.begin(), std::min(proposed.size(), file.size() - 1), file.begin());
    const std::wstring folder = backslashes(request.folder);
    const std::wstring title = win32::widen(request.title);
    const std::wstring defExt = request.filters.empty() ? std::wstring() : win32::widen(request.filters[0].extension);

    OPENFILENAMEW ofn{};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = static_cast<HWND>(request.parentWindow);
    ofn.lpstrFilter = filter.c_str();
    ofn.nFilterIndex = 1;
    ofn.lpstrFile = file.data();
    ofn.nMaxFile = DWORD(file.size());
    ofn.lpstrInitialDir = folder.empty() ? nullptr : folder.c_str();
    ofn.lpstrTitle = title.empty() ? nullptr : title.c_str();
    ofn.lpstrDefExt = defExt.empty() ? nullptr : defExt.c_str();
    ofn.Flags = OFN_EXPLORER | OFN_NOCHANGEDIR | OFN_PATHMUSTEXIST |
                (request.save ? OFN_OVERWRITEPROMPT : OFN_FILEMUSTEXIST);
    const BOOL ok = request.save ? GetSaveFileNameW(&ofn) : GetOpenFileNameW(&ofn);

    FileDialogResult result;
    if (ok) {
        result.status = FileDialogResult::Status::Chosen;
        result.paths.push_back(win32::narrowPath(file.c_str()));
    } else if (const DWORD code = CommDlgExtendedError(); code != 0) {
        result.status = FileDialogResult::Status::Failed;
        result.error = "common dialog error " + std::to_string(code);
    } else {
        result.status = FileDialogResult::Status::Cancelled;
    }
    return std::make_unique<CCommonDialog>(std::move(result));
}

bool listFolder(const std::string& folder, std::vector<std::string>* folders, std::vector<std::string>* files) {
    WIN32_FIND_DATAW data;
    HANDLE h = FindFirstFileW(backslashes(folder + "/*").c_str(), &data);
    if (h == INVALID_HANDLE_VALUE) return false;
    folders->clear();
    files->clear();
    do {
        const std::string name = win32::narrow(data.cFileName);
        if (name.empty() || name[0] == '.' || (data.dwFileAttributes & FILE_ATTRIBUTE_HIDDEN)) continue;
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) folders->push_back(name);
        else files->push_back(name);
    } while (FindNextFileW(h, &data));
    FindClose(h);
    std::sort(folders->begin(), folders->end());
    std::sort(files->begin(), files->end());
    return true;
}

std::string homeFolder() {
    wchar_t buf[MAX_PATH];
    const DWORD n = GetEnvironmentVariableW(L"USERPROFILE", buf, MAX_PATH);
    return n > 0 && n < MAX_PATH ? win32::narrowPath(std::wstring_view(buf, n)) : std::string();
}

}  // namespace plat
