#pragma once
// A scratch folder for the platform's data folders (user and common stores),
// so that a test's presets, settings and banks stay out of the machine's own.

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "Core/AppData.h"

// Points the platform's data folders at a scratch folder for its lifetime.
class CScratchDataFolders {
public:
    explicit CScratchDataFolders(const char* tag = "data")
        : m_dir(std::filesystem::temp_directory_path() / (std::string("tamblor-") + tag + "-" + std::to_string(::getpid()))) {
        std::filesystem::remove_all(m_dir);
        std::filesystem::create_directories(m_dir / "user");
        std::filesystem::create_directories(m_dir / "common");
        for (const char* name : {"XDG_DATA_HOME", "XDG_DATA_DIRS"}) {
            const char* old = std::getenv(name);
            m_saved.emplace_back(name, old ? std::optional<std::string>(old) : std::nullopt);
        }
        ::setenv("XDG_DATA_HOME", (m_dir / "user").c_str(), 1);
        ::setenv("XDG_DATA_DIRS", (m_dir / "common").c_str(), 1);
        CAppData::resetAllPaths();
    }
    ~CScratchDataFolders() {
        for (auto& [name, v] : m_saved) v ? (void)::setenv(name, v->c_str(), 1) : (void)::unsetenv(name);
        CAppData::resetAllPaths();
        std::filesystem::remove_all(m_dir);
    }
    const std::filesystem::path& dir() const { return m_dir; }

private:
    std::filesystem::path m_dir;
    std::vector<std::pair<const char*, std::optional<std::string>>> m_saved;
};
