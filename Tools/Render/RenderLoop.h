#pragma once
// Runs a whole signal through a prepared plug-in instance, block by block,
// and lines the output up with the input: the latency the plug-in reports is
// dropped from the front and flushed out with silence at the end, so the
// output has the input's length and an impulse comes out where it went in.

#include <functional>
#include <string>

#include "Tools/Render/DemoSignal.h"
#include "Host/PluginInstance.h"

namespace render {

struct CRenderResult {
    int latency = 0;         // samples, read before the first block with frames
    double cpuSeconds = 0.0; // thread CPU time spent inside the plug-in's process calls
};

// progress (optional) is called now and then with the fraction done (0..1).
std::string renderThrough(host::CPluginInstance& plugin, const CAudioBuffer& in, int block, CAudioBuffer* out,
                          CRenderResult* result, const std::function<void(double)>& progress = {});

// A one-line progress bar on a terminal: drawn only when the stream is a
// terminal and the work has taken a moment (short renders show nothing),
// redrawn at most ten times a second, erased by finish(). A null stream
// draws nothing.
class CProgressBar {
public:
    explicit CProgressBar(std::FILE* f);
    void update(double fraction);
    void finish();

private:
    std::FILE* m_file;
    bool m_terminal;
    double m_start;
    double m_lastDraw = -1.0;
    bool m_drawn = false;
};

// Seconds of CPU time used by the calling thread.
double threadCpuSeconds();
// Seconds of a monotonic clock.
double wallSeconds();

}  // namespace render
