#pragma once
// Support for the adapter and bundle tests: the application started with the
// product's embedded definitions when the build has them, otherwise with a
// stand-in that holds only the project identity (compiled in the definition
// format); instance helpers; and a scratch folder for runs of the bundle.

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "Audio/VST/AudioWrapperVST3.h"
#include "Host/ComponentHandler.h"
#include "pluginterfaces/vst/ivsteditcontroller.h"

namespace vsttest {

// The compiled stand-in "SharedData.xml" (project identity only).
std::vector<uint8_t> standInDefinitions();
bool embeddedDefinitionsPresent();

// Starts / finishes the application in this process.
bool startApplication();
void finishApplication();

// A folder under the system's temporary folder holding the stand-in as the
// file "SharedData.xml", which a bundle started with that folder as working
// directory falls back to when it embeds no definitions. Removed by the
// destructor.
class CScratchDir {
public:
    CScratchDir();
    ~CScratchDir();
    const std::string& path() const { return m_path; }

private:
    std::string m_path;
};

// Changes the working directory for its lifetime.
class CWorkingDir {
public:
    explicit CWorkingDir(const std::string& dir);
    ~CWorkingDir();

private:
    std::string m_previous;
};

// A created and initialised instance (released by the destructor).
class CInstance {
public:
    CInstance();
    ~CInstance();
    CAudioWrapperVST3* operator->() const { return m_obj; }
    CAudioWrapperVST3* get() const { return m_obj; }
    bool initialized() const { return m_initialized; }
    host::CComponentHandler handler{true};  // records what the plug-in tells its host

private:
    CAudioWrapperVST3* m_obj;
    bool m_initialized = false;
};

// A test with the application started and one initialised instance: `inst`
// owns it, `p` is its object.
class CInstanceTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(startApplication());
        inst = std::make_unique<CInstance>();
        ASSERT_TRUE(inst->initialized());
        p = inst->get();
    }
    void TearDown() override {
        inst.reset();
        finishApplication();
    }

    std::unique_ptr<CInstance> inst;
    CAudioWrapperVST3* p = nullptr;
};

}  // namespace vsttest
