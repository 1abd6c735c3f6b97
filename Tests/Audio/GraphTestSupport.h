#pragma once
// Helpers for graph tests: definition trees built in code, test modules, and
// running a built graph block by block.

#include <initializer_list>
#include <memory>
#include <utility>
#include <vector>

#include "Audio/Plugin/AudioEnv.h"
#include "Audio/Graph/Process.h"
#include "Audio/Graph/ProcessBuild.h"
#include "Audio/Graph/ProcessTerminal.h"
#include "Core/Object.h"

namespace graphtest {

using Attrs = std::initializer_list<std::pair<const char*, const char*>>;

// Creates a child object of a registered tag with attributes.
CObject* node(CObject* parent, const char* tag, const char* name, Attrs attrs = {});

// A module that delays its input by "latency-samples" and reports that latency.
class CTestDelay : public CAudioProcessTerminalBase {
public:
    CError prepare(const CProcessConfig& config) override;
    void process(int frames) override;
    double latency() const override { return m_delay; }
    void reset() override;

protected:
    CError moduleSetup(CAudioProcessBuild& b) override;

private:
    int m_delay = 0;
    std::vector<std::vector<double>> m_lines;
    int m_pos = 0;
};

// A module that adds its port 1 to its port 0.
class CTestSum : public CAudioProcessTerminalBase {
public:
    void process(int frames) override;
};

// Registers the framework's graph tags plus "test:delay" and "test:sum" and
// starts the application without a definition.
void startApp();
void stopApp();

// A runtime graph built from a container definition.
struct Graph {
    std::unique_ptr<CObject> root;  // holds "plugin" -> the process
    CAudioProcess* process = nullptr;
    CAudioEnv env;
    std::vector<std::vector<double>> in;

    CError build(const CObject& def, int channels, double rate = 44100.0);
    // Runs one block with input channel c = in[c]; returns output channel ch.
    std::vector<double> run(const std::vector<std::vector<double>>& input, int port = 0);
};

}  // namespace graphtest
