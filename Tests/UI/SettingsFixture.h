#pragma once
// Instance tests of the editor's settings: the instance fixture with the
// application data stores in a folder of their own, so that stored editor
// settings and colour schemes start from their defaults and nothing of the
// user's is touched.

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>

#include "Core/AppData.h"
#include "Tests/UI/ControlsFixture.h"

namespace uitest {

class UiDataInstance : public UiInstance {
protected:
    void SetUp() override {
        m_dir = std::filesystem::temp_directory_path() / ("tamblor-ui-data-" + std::to_string(::getpid()));
        std::filesystem::remove_all(m_dir);
        std::filesystem::create_directories(m_dir);
        if (const char* old = std::getenv("XDG_DATA_HOME")) m_old = old;
        ::setenv("XDG_DATA_HOME", m_dir.c_str(), 1);
        CAppData::resetAllPaths();
        UiInstance::SetUp();
    }
    void TearDown() override {
        UiInstance::TearDown();
        m_old ? (void)::setenv("XDG_DATA_HOME", m_old->c_str(), 1) : (void)::unsetenv("XDG_DATA_HOME");
        CAppData::resetAllPaths();
        std::filesystem::remove_all(m_dir);
    }

    std::filesystem::path m_dir;
    std::optional<std::string> m_old;
};

}  // namespace uitest
