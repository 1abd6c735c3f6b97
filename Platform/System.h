#pragma once
// System services of the platform layer: time base, heap, module path, data
// folders, directories and system error codes.

#include <cstddef>
#include <cstdint>
#include <string>

namespace plat {

// High-resolution monotonic counter and its ticks per second.
int64_t perfCounter();
int64_t perfFrequency();
// Seconds between two perfCounter() values.
inline double perfSeconds(int64_t from, int64_t to) {
    return double(to - from) / double(perfFrequency());
}

// The system heap (never our block allocator).
void* heapAlloc(size_t size);
void heapFree(void* p);

// The last system error code of the calling thread (errno / GetLastError).
uint32_t lastErrorCode();

// Full path of the module (shared library or executable) that contains the
// given address, with "/" separators; empty on failure.
std::string moduleFilePath(const void* addressInModule);

// Per-user local application data folder (created when missing) and the
// all-users application data folder; "/" separators, no trailing separator;
// empty when unavailable.
std::string userAppDataFolder();
std::string commonAppDataFolder();

// Creates one directory; true when it was created or already exists.
bool createDirectory(const std::string& path);
bool directoryExists(const std::string& path);

// Size in pixels of the monitor that contains a screen point; false when
// there is no display to ask.
bool screenSizeAt(int x, int y, int* width, int* height);

// Number of logical processors.
unsigned processorCount();

}  // namespace plat
