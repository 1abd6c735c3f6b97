#include "Tools/Render/PendingFiles.h"

#include <atomic>
#include <filesystem>
#include <fstream>

#ifdef _WIN32
#include <process.h>
#define getpid _getpid
#else
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace render {

namespace {

// Unique within the process too: batch jobs write side by side.
std::string temporaryBeside(const std::string& target) {
    static std::atomic<unsigned> counter{0};
    const fs::path p(target);
    fs::path tmp = p;
    tmp.replace_filename("." + p.filename().string() + ".part" + std::to_string(getpid()) + "-" +
                         std::to_string(counter++) + p.extension().string());
    return tmp.string();
}

}  // namespace

CPendingFiles::~CPendingFiles() {
    std::error_code ec;
    for (const auto& [tmp, target] : m_files) fs::remove(tmp, ec);
}

std::string CPendingFiles::add(const std::string& target) {
    m_files.emplace_back(temporaryBeside(target), target);
    return m_files.back().first;
}

std::string CPendingFiles::commit() {
    for (const auto& [tmp, target] : m_files) {
        std::error_code ec;
        fs::rename(tmp, target, ec);
        if (ec) return "cannot write '" + target + "': " + ec.message();
    }
    m_files.clear();
    return {};
}

std::string readBoundedFile(const std::string& path, size_t maxBytes, std::vector<uint8_t>* out) {
    std::error_code ec;
    if (fs::is_directory(path, ec)) return "cannot read '" + path + "': it is a folder";
    std::ifstream f(path, std::ios::binary);
    if (!f) return "cannot read '" + path + "'";
    out->assign(maxBytes + 1, 0);
    f.read(reinterpret_cast<char*>(out->data()), std::streamsize(out->size()));
    const auto got = size_t(f.gcount());
    if (f.bad()) return "cannot read '" + path + "'";
    if (got > maxBytes) {
        out->clear();
        return "'" + path + "' is larger than " + std::to_string(maxBytes >> 20) + " MB: not a state chunk";
    }
    out->resize(got);
    out->shrink_to_fit();
    return {};
}

std::string writeBytes(const std::string& path, const std::vector<uint8_t>& data) {
    std::ofstream f(path, std::ios::binary);
    f.write(reinterpret_cast<const char*>(data.data()), std::streamsize(data.size()));
    f.close();
    return f ? std::string() : "cannot write '" + path + "'";
}

}  // namespace render
