#pragma once
// The product's instance as the plug-in core builds it ("plugin" template,
// "plugin.modMain" from the shared definitions), prepared and run in chunks
// like the core does, for the behaviour whose parameters the host does not
// see (routing, group solo, evaluation): those are set by their full names.

#include <memory>
#include <string>
#include <vector>

#include "Audio/Plugin/AudioEnv.h"
#include "Audio/Params/AudioParamCollector.h"
#include "Audio/Graph/Process.h"
#include "Core/Application.h"
#include "ProductHost.h"

namespace product {

class CCoreInstance {
public:
    explicit CCoreInstance(double rate = 44100.0);
    ~CCoreInstance();
    CCoreInstance(const CCoreInstance&) = delete;
    CCoreInstance& operator=(const CCoreInstance&) = delete;

    bool ok() const { return m_main != nullptr; }
    const std::string& error() const { return m_error; }

    // Writes element e of group g of a parameter ("plugin.modMain.io-params.in-routing").
    bool set(const std::string& fullName, double value, int element = 0, int group = 0);
    // Writes the elements of a comma-separated list ("1,2,0,0,0,0,0,0").
    bool setList(const std::string& fullName, const std::string& values);
    double get(const std::string& fullName, int element = 0, int group = 0) const;

    // Runs stereo audio (two host channels in and out) in chunks of 512.
    Stereo run(const Stereo& in);
    int latency() const;

private:
    CError init();

    std::unique_ptr<CRootObject> m_root;
    CObject* m_plugin = nullptr;
    CAudioEnv* m_env = nullptr;
    CAudioParamCollector* m_collector = nullptr;
    CAudioProcess* m_main = nullptr;
    double m_rate;
    std::vector<double> m_in;
    std::string m_error;
};

}  // namespace product
