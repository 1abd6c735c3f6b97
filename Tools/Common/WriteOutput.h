#pragma once
// Writing a build tool's output file in one step: the bytes go to
// "<output>.tmp", which then replaces the output, so that a build never sees
// half a file. Reports failures on stderr; returns the tool's exit code.

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <span>
#include <string>
#include <system_error>

inline int kelWriteToolOutput(const std::string& output, std::span<const unsigned char> bytes) {
    const std::string temp = output + ".tmp";
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
        if (!out) {
            std::fprintf(stderr, "%s: error: cannot write the output\n", temp.c_str());
            return 1;
        }
    }
    std::error_code ec;
    std::filesystem::rename(temp, output, ec);
    if (ec) {
        std::fprintf(stderr, "%s: error: cannot rename to %s: %s\n", temp.c_str(), output.c_str(),
                     ec.message().c_str());
        return 1;
    }
    return 0;
}
