#pragma once
// Writes a generated resource through a temporary file and a rename, so a
// failed run leaves no partial output behind.

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <span>
#include <string>
#include <system_error>

inline bool kelWriteGenerated(const std::string& path, std::span<const uint8_t> bytes, const char* tool) {
    const std::string temp = path + ".tmp";
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
        if (!out) {
            std::fprintf(stderr, "%s: error: cannot write %s\n", tool, temp.c_str());
            return false;
        }
    }
    std::error_code ec;
    std::filesystem::rename(temp, path, ec);
    if (ec) {
        std::fprintf(stderr, "%s: error: cannot rename %s: %s\n", tool, temp.c_str(), ec.message().c_str());
        return false;
    }
    return true;
}
