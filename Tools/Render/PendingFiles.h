#pragma once
// Files the render tool writes only when a whole job succeeded: each goes to
// a temporary name beside its target and is renamed into place by commit();
// whatever is left is removed on destruction. Also the bounded reading of
// the small files the tool takes in (state chunks).

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace render {

class CPendingFiles {
public:
    CPendingFiles() = default;
    CPendingFiles(const CPendingFiles&) = delete;
    CPendingFiles& operator=(const CPendingFiles&) = delete;
    ~CPendingFiles();

    // The temporary name to write the target's content to (with the target's
    // extension: the audio writer picks the container by it).
    std::string add(const std::string& target);
    std::string commit();

private:
    std::vector<std::pair<std::string, std::string>> m_files;  // temporary, target
};

// State chunks and presets are small; anything larger is not one.
constexpr size_t kMaxChunkBytes = 16u << 20;

// Reads a whole file of at most maxBytes; folders, and files or devices
// that go on beyond the limit, are refused with a message.
std::string readBoundedFile(const std::string& path, size_t maxBytes, std::vector<uint8_t>* out);

std::string writeBytes(const std::string& path, const std::vector<uint8_t>& data);

}  // namespace render
