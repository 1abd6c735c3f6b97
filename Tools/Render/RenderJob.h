#pragma once
// One render of a buffer through a fresh instance of the loaded plug-in with
// the run's settings (state chunk, program, parameters), and the figures of
// input and output. Each job has its own instance, so jobs may run side by
// side on threads.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "Tools/Render/DemoSignal.h"
#include "Tools/Render/Options.h"
#include "Tools/Render/Report.h"

namespace Steinberg {
class IPluginFactory;
}

namespace render {

struct CJobRequest {
    const CRenderOptions* options = nullptr;
    const std::vector<uint8_t>* state = nullptr;  // the chunk to load, or null
    std::optional<double> inGainDb;               // replaces the In Gain setting
    bool saveState = false;
    bool progress = false;  // a progress bar on a terminal
};

struct CJobResult {
    CAudioBuffer output;
    std::vector<uint8_t> state;  // when asked for
    std::string className;
    int latency = 0;
    double cpuSeconds = 0.0;
    double inGainDb = 0.0, outGainDb = 0.0;  // the settings as the plug-in shows them
    bool ditherOn = false;
    std::string routing;  // the routing preset in force ("Custom" for one of its own)
    double inGainMinDb = 0.0, inGainMaxDb = 0.0;  // the In Gain parameter's range
};

CRenderFailure renderJob(Steinberg::IPluginFactory* factory, const CJobRequest& request, const CAudioBuffer& input,
                         CJobResult* result);

// Creates an instance with the run's settings and prints its parameters and
// programs (--list).
CRenderFailure listPlugin(Steinberg::IPluginFactory* factory, const CRenderOptions& options,
                          const std::vector<uint8_t>* state, double sampleRate);

// The report's figures: loudness and peaks of input and output, gain
// reduction and overs against the Out Gain.
void measureJob(const CAudioBuffer& input, const CJobResult& job, CRenderReport* report);

}  // namespace render
