// POSIX backend of the system services.
#include "Platform/System.h"

#include <cerrno>
#include <cstdlib>
#include <ctime>
#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>

namespace plat {

int64_t perfCounter() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return int64_t(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

int64_t perfFrequency() { return 1000000000; }

void* heapAlloc(size_t size) { return std::malloc(size ? size : 1); }
void heapFree(void* p) { std::free(p); }

uint32_t lastErrorCode() { return uint32_t(errno); }

std::string moduleFilePath(const void* addressInModule) {
    Dl_info info{};
    if (dladdr(addressInModule, &info) && info.dli_fname && info.dli_fname[0]) {
        std::string path = info.dli_fname;
        // The main executable may be reported by its argv[0]; prefer the real path.
        if (char* real = realpath(path.c_str(), nullptr)) {
            path = real;
            std::free(real);
        }
        return path;
    }
    return {};
}

namespace {
std::string envOr(const char* name) {
    const char* v = std::getenv(name);
    return v ? std::string(v) : std::string();
}

std::string trimSlash(std::string s) {
    while (s.size() > 1 && s.back() == '/') s.pop_back();
    return s;
}

bool makeDirs(const std::string& path) {
    // Creates each missing component of an absolute path.
    for (size_t pos = 1; pos <= path.size(); ++pos) {
        if (pos == path.size() || path[pos] == '/') {
            std::string part = path.substr(0, pos);
            if (!directoryExists(part) && mkdir(part.c_str(), 0755) != 0 && errno != EEXIST)
                return false;
        }
    }
    return true;
}
}  // namespace

std::string userAppDataFolder() {
    std::string dir = envOr("XDG_DATA_HOME");
    if (dir.empty() || dir[0] != '/') {
        std::string home = envOr("HOME");
        if (home.empty()) return {};
        dir = trimSlash(home) + "/.local/share";
    }
    dir = trimSlash(dir);
    if (!makeDirs(dir)) return {};
    return dir;
}

std::string commonAppDataFolder() {
    std::string dirs = envOr("XDG_DATA_DIRS");
    size_t start = 0;
    while (start < dirs.size()) {
        size_t end = dirs.find(':', start);
        if (end == std::string::npos) end = dirs.size();
        std::string d = trimSlash(dirs.substr(start, end - start));
        if (!d.empty() && d[0] == '/' && directoryExists(d) && access(d.c_str(), W_OK) == 0) return d;
        start = end + 1;
    }
    return "/usr/local/share";
}

bool createDirectory(const std::string& path) {
    if (mkdir(path.c_str(), 0755) == 0) return true;
    return errno == EEXIST && directoryExists(path);
}

bool directoryExists(const std::string& path) {
    struct stat st{};
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool screenSizeAt(int, int, int*, int*) {
    // The editor asks its X display when it opens; without one the size is unknown.
    return false;
}

unsigned processorCount() {
    long n = sysconf(_SC_NPROCESSORS_ONLN);
    return n > 0 ? unsigned(n) : 1u;
}

}  // namespace plat
