#pragma once
// The product's shared definitions as module load builds them, one "plugin"
// instance of the template, and its runtime process tree "plugin.modMain"
// built from "shared::audio.modMain" (modules are not prepared: the tree
// exists for its names, parameters and bindings).

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "Audio/Plugin/AudioEnv.h"
#include "Audio/Params/AudioParamCollector.h"
#include "Audio/Graph/ProcessBase.h"
#include "Audio/Graph/ProcessBuild.h"
#include "Core/Application.h"
#include "Core/Object.h"

namespace producttest {

class ProductDefinition : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Log lines written since SetUp that contain `text`.
    std::vector<std::string> logLines(const std::string& text) const;
    // An object of the shared tree ("audio.modMain.modTamblor").
    const CObject& def(const char* path) const;
    // The runtime process of a full name ("plugin.modMain.modTamblor"; for a
    // stack, its first instance).
    CAudioProcessBase* process(const std::string& fullName) const;

    std::vector<std::string> m_log;
    CSharedObject* m_shared = nullptr;
    std::unique_ptr<CRootObject> m_root;
    CObject* m_plugin = nullptr;
    CAudioParamCollector* m_collector = nullptr;
    std::unique_ptr<CAudioProcessBuild> m_build;
    CAudioProcessBase* m_main = nullptr;
};

// Names of the process definitions among a container's children, in order.
std::vector<std::string> processNames(const CObject& container);

}  // namespace producttest
