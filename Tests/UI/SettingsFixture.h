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
#include "Tests/Support/ScratchDataFolders.h"

namespace uitest {

class UiDataInstance : public UiInstance {
protected:
    void SetUp() override {
        m_folders.emplace("ui-data");
        UiInstance::SetUp();
    }
    void TearDown() override {
        UiInstance::TearDown();
        m_folders.reset();
    }

    std::optional<CScratchDataFolders> m_folders;
};

}  // namespace uitest
