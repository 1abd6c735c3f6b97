#include "Core/Log.h"

#include <cstdarg>
#include <cstdio>

#include "Platform/File.h"
#include "Platform/Sync.h"

namespace {
struct LogState {
    plat::CCritSec lock{4000};
    LogSink sink;
    std::string filePath;
    std::string appName;
    bool fileStarted = false;
};

LogState& logState() {
    static LogState s;
    return s;
}
}  // namespace

void kelSetLogSink(LogSink sink) {
    auto& s = logState();
    plat::CLock g(s.lock);
    s.sink = std::move(sink);
}

void kelSetLogFile(const std::string& path) {
    auto& s = logState();
    plat::CLock g(s.lock);
    s.filePath = path;
}

void kelSetLogAppName(const std::string& name) {
    auto& s = logState();
    plat::CLock g(s.lock);
    s.appName = name;
}

void kelLog(std::string_view line) {
    auto& s = logState();
    plat::CLock g(s.lock);
    std::string text(line);
    if (!s.appName.empty()) {
        text += " // ";
        text += s.appName;
    }
    if (s.sink) s.sink(text);
    if (!s.filePath.empty()) {
        uint32_t err = 0;
        plat::FileHandle h = plat::openFileWrite(s.filePath, s.fileStarted, &err);
        if (h != plat::kInvalidFile) {
            plat::seekFile(h, 0, 2, &err);
            std::string out = text + "\r\n";
            plat::writeFile(h, out.data(), out.size(), &err);
            plat::closeFile(h, &err);
            s.fileStarted = true;
        }
    }
}

void kelLogf(const char* fmt, ...) {
    char buf[2048];
    va_list ap;
    va_start(ap, fmt);
    int n = std::vsnprintf(buf, sizeof buf, fmt, ap);
    va_end(ap);
    if (n < 0) return;
    kelLog(std::string_view(buf, size_t(n) < sizeof buf ? size_t(n) : sizeof buf - 1));
}

void kelLogError(const CError& err) {
    for (const auto& l : err.lines()) kelLog(l.utf8());
}
