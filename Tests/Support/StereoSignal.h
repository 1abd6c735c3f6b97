#pragma once
// Planar stereo blocks of a generated signal (the same on both channels) for
// tests that play audio through a whole instance, with what was played.

#include <cstdint>
#include <functional>
#include <utility>
#include <vector>

#include "Audio/Plugin/AudioWrapper.h"

class CStereoSignal {
public:
    explicit CStereoSignal(std::function<double(int64_t)> gen, int frames = 512)
        : m_gen(std::move(gen)), m_frames(frames), m_in(size_t(2 * frames)), m_out(size_t(2 * frames)) {
        for (int c = 0; c < 2; ++c) {
            m_inPtr[c] = m_in.data() + size_t(c * frames);
            m_outPtr[c] = m_out.data() + size_t(c * frames);
        }
        m_inBus.channels = m_outBus.channels = 2;
        m_inBus.planar = m_inPtr;
        m_outBus.planar = m_outPtr;
    }
    // Generates the next block into the input bus.
    void next() {
        for (int i = 0; i < m_frames; ++i) {
            const double v = m_gen(m_pos++);
            m_in[size_t(i)] = m_in[size_t(m_frames + i)] = float(v);
            m_history.push_back(float(v));
        }
    }
    // Plays the next block through the instance; returns the output energy
    // of its left channel.
    double process(CAudioWrapper& core) {
        next();
        core.process(m_inBus, nullptr, m_outBus, m_frames);
        double e = 0;
        for (int i = 0; i < m_frames; ++i) e += double(m_out[size_t(i)]) * m_out[size_t(i)];
        return e;
    }
    CHostBus& in() { return m_inBus; }
    CHostBus& out() { return m_outBus; }
    int frames() const { return m_frames; }
    // Every sample generated so far (one channel).
    const std::vector<float>& history() const { return m_history; }

private:
    std::function<double(int64_t)> m_gen;
    int m_frames;
    int64_t m_pos = 0;
    std::vector<float> m_in, m_out, m_history;
    void* m_inPtr[2] = {};
    void* m_outPtr[2] = {};
    CHostBus m_inBus, m_outBus;
};
