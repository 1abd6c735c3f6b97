#pragma once
// The audio side of tamblor-editor: what a playing host feeds the instance.
// Every block is silence, or the built-in demo programme (a loud stereo mix
// with hard transients) played in a loop. The levels of what went in and
// came out are gathered between two reads, so that a script can compare the
// sound before and after an action; the input is taken as late as the
// instance's latency, so that both levels are of the same stretch of music.

#include <cstddef>
#include <vector>

#include "Host/PluginInstance.h"
#include "Tools/Render/DemoSignal.h"

namespace editorhost {

// Levels in dBFS over the blocks since the last take(): the largest sample
// peak and the RMS of all channels; -inf when nothing (or silence) passed.
struct CLevels {
    double inPeakDb, outPeakDb, inRmsDb, outRmsDb;
    int blocks;
};

class CAudioFeed {
public:
    // Blocks of 10 ms at the instance's sample rate.
    explicit CAudioFeed(host::CPluginInstance& inst);

    void setMusic(bool on);
    // The latency the instance reports (the host asked for it).
    void setLatency(int frames) { m_latency = frames > 0 ? size_t(frames) : 0; }
    bool music() const { return m_music; }
    // Processes one block (silence, or the next piece of the programme).
    void processBlock();
    CLevels take();
    // Blocks processed since the feed was made.
    long processed() const { return m_processed; }

private:
    host::CPluginInstance& m_inst;
    render::CAudioBuffer m_programme;
    bool m_music = false;
    size_t m_position = 0;
    int m_frames;
    std::vector<double> m_in, m_out;
    size_t m_latency = 0;
    std::vector<std::vector<double>> m_history;  // per input channel: the latest input
    double m_inPeak = 0, m_outPeak = 0, m_inSquares = 0, m_outSquares = 0;
    double m_inCount = 0, m_outCount = 0;
    int m_blocks = 0;
    long m_processed = 0;
};

}  // namespace editorhost
