// The blocks tamblor-editor feeds the instance, and their levels.
#include "Tools/Editor/AudioFeed.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace editorhost {

namespace {
double toDb(double linear) {
    return linear > 0 ? 20.0 * std::log10(linear) : -std::numeric_limits<double>::infinity();
}
}  // namespace

CAudioFeed::CAudioFeed(host::CPluginInstance& inst)
    : m_inst(inst), m_frames(std::max(1, int(std::lround(inst.setup().sampleRate / 100)))) {}

void CAudioFeed::setMusic(bool on) {
    // The programme is made on first use (a few seconds, at the instance's rate).
    if (on && m_programme.frames() == 0) m_programme = render::makeDemoSignal(m_inst.setup().sampleRate, 4.0);
    m_music = on;
}

void CAudioFeed::processBlock() {
    const int inChannels = m_inst.inputChannels(), outChannels = m_inst.outputChannels();
    const size_t frames = size_t(m_frames);
    m_in.assign(frames * size_t(std::max(1, inChannels)), 0.0);
    m_out.assign(frames * size_t(std::max(1, outChannels)), 0.0);
    std::vector<const double*> in;
    std::vector<double*> out;
    for (int c = 0; c < inChannels; ++c) {
        double* dst = m_in.data() + size_t(c) * frames;
        in.push_back(dst);
        if (!m_music || m_programme.channels.empty()) continue;
        const std::vector<double>& src = m_programme.channels[size_t(c) % m_programme.channels.size()];
        for (size_t i = 0; i < frames; ++i) dst[i] = src[(m_position + i) % src.size()];
    }
    for (int c = 0; c < outChannels; ++c) out.push_back(m_out.data() + size_t(c) * frames);
    m_inst.process(in.data(), out.data(), m_frames);
    if (m_music) m_position = (m_position + frames) % std::max<size_t>(1, m_programme.frames());
    // The input of the same stretch as this block's output: latency frames
    // earlier (silence before the start).
    m_history.resize(size_t(std::max(0, inChannels)));
    for (size_t c = 0; c < m_history.size(); ++c) {
        std::vector<double>& h = m_history[c];
        const double* block = m_in.data() + c * frames;
        h.insert(h.end(), block, block + frames);
        if (h.size() < frames + m_latency) h.insert(h.begin(), frames + m_latency - h.size(), 0.0);
        if (h.size() > frames + m_latency) h.erase(h.begin(), h.begin() + std::ptrdiff_t(h.size() - frames - m_latency));
        for (size_t i = 0; i < frames; ++i) {
            const double x = h[i];
            m_inPeak = std::max(m_inPeak, std::abs(x));
            m_inSquares += x * x;
        }
    }
    for (size_t i = 0; i < frames * size_t(outChannels); ++i) {
        m_outPeak = std::max(m_outPeak, std::abs(m_out[i]));
        m_outSquares += m_out[i] * m_out[i];
    }
    m_inCount += double(frames) * inChannels;
    m_outCount += double(frames) * outChannels;
    ++m_blocks;
    ++m_processed;
}

CLevels CAudioFeed::take() {
    CLevels l{toDb(m_inPeak), toDb(m_outPeak), toDb(m_inCount > 0 ? std::sqrt(m_inSquares / m_inCount) : 0),
              toDb(m_outCount > 0 ? std::sqrt(m_outSquares / m_outCount) : 0), m_blocks};
    m_inPeak = m_outPeak = m_inSquares = m_outSquares = m_inCount = m_outCount = 0;
    m_blocks = 0;
    return l;
}

}  // namespace editorhost
