// Win32 backend of the file handles. Files are shared for reading and
// writing, so that another instance can read a store's file while one writes
// it; readers hint sequential access.
#include "Platform/File.h"

#include <algorithm>

#define WIN32_LEAN_AND_MEAN
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include "Platform/Win32/WinText.h"

namespace plat {

namespace {
HANDLE handleOf(FileHandle h) { return reinterpret_cast<HANDLE>(h); }
FileHandle fileOf(HANDLE h) { return reinterpret_cast<FileHandle>(h); }

// One system call moves at most this many bytes.
constexpr uint64_t kMaxIo = 1u << 30;

FileHandle open(const std::string& name, DWORD access, DWORD disposition, DWORD flags, uint32_t* error) {
    HANDLE h = CreateFileW(win32::widen(name).c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           disposition, FILE_ATTRIBUTE_NORMAL | flags, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        if (error) *error = uint32_t(GetLastError());
        return kInvalidFile;
    }
    return fileOf(h);
}
}  // namespace

FileHandle stdHandle(StdStream s) {
    const DWORD which = s == StdStream::In ? STD_INPUT_HANDLE : s == StdStream::Out ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE;
    HANDLE h = GetStdHandle(which);
    return h && h != INVALID_HANDLE_VALUE ? fileOf(h) : kInvalidFile;
}

FileHandle openFileRead(const std::string& name, bool updatable, uint32_t* error) {
    return open(name, updatable ? GENERIC_READ | GENERIC_WRITE : GENERIC_READ, updatable ? OPEN_ALWAYS : OPEN_EXISTING,
                FILE_FLAG_SEQUENTIAL_SCAN, error);
}

FileHandle openFileWrite(const std::string& name, bool append, uint32_t* error) {
    return open(name, GENERIC_WRITE, append ? OPEN_ALWAYS : CREATE_ALWAYS, 0, error);
}

int64_t readFile(FileHandle h, void* buf, uint64_t count, uint32_t* error) {
    uint64_t done = 0;
    auto* p = static_cast<unsigned char*>(buf);
    while (done < count) {
        DWORD got = 0;
        if (!ReadFile(handleOf(h), p + done, DWORD(std::min(count - done, kMaxIo)), &got, nullptr)) {
            const DWORD e = GetLastError();
            if (e == ERROR_BROKEN_PIPE || e == ERROR_HANDLE_EOF) break;  // pipes end this way
            if (error) *error = uint32_t(e);
            return -1;
        }
        if (got == 0) break;
        done += got;
    }
    return int64_t(done);
}

int64_t writeFile(FileHandle h, const void* buf, uint64_t count, uint32_t* error) {
    uint64_t done = 0;
    auto* p = static_cast<const unsigned char*>(buf);
    while (done < count) {
        DWORD put = 0;
        if (!WriteFile(handleOf(h), p + done, DWORD(std::min(count - done, kMaxIo)), &put, nullptr)) {
            if (error) *error = uint32_t(GetLastError());
            return -1;
        }
        if (put == 0) break;
        done += put;
    }
    return int64_t(done);
}

int64_t seekFile(FileHandle h, int64_t offset, int origin, uint32_t* error) {
    LARGE_INTEGER to, now;
    to.QuadPart = offset;
    const DWORD method = origin == 0 ? FILE_BEGIN : origin == 1 ? FILE_CURRENT : FILE_END;
    if (!SetFilePointerEx(handleOf(h), to, &now, method)) {
        if (error) *error = uint32_t(GetLastError());
        return -1;
    }
    return int64_t(now.QuadPart);
}

int64_t fileSize(FileHandle h, uint32_t* error) {
    LARGE_INTEGER size;
    if (!GetFileSizeEx(handleOf(h), &size)) {
        if (error) *error = uint32_t(GetLastError());
        return -1;
    }
    return int64_t(size.QuadPart);
}

bool closeFile(FileHandle h, uint32_t* error) {
    // The standard streams stay open.
    for (StdStream s : {StdStream::In, StdStream::Out, StdStream::Err})
        if (h == stdHandle(s)) return true;
    if (!CloseHandle(handleOf(h))) {
        if (error) *error = uint32_t(GetLastError());
        return false;
    }
    return true;
}

bool fileExists(const std::string& name) {
    const DWORD a = GetFileAttributesW(win32::widen(name).c_str());
    return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}

bool deleteFile(const std::string& name) { return DeleteFileW(win32::widen(name).c_str()) != FALSE; }

}  // namespace plat
