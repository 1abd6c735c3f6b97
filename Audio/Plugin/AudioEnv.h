#pragma once
// CAudioEnv (audio:audio-env): the audio environment of one plug-in
// instance: sample rate, block size, channel layout, the running time, the
// total latency, and the lock under which the host side and the audio thread
// exchange pending changes (held for a pointer swap only).
//
// Threads: the layout and rate are set on the main thread while processing
// is stopped; the audio thread reads them.

#include <atomic>

#include "Core/Object.h"
#include "Platform/Sync.h"

class CAudioEnv : public CObject {
public:
    static void registerEvents(CClassRecord& record) { CObject::registerEvents(record); }

    double sampleRate() const { return m_sampleRate; }
    void setSampleRate(double sr) { m_sampleRate = sr; }
    int maxBlock() const { return m_maxBlock; }
    void setMaxBlock(int n) { m_maxBlock = n; }

    // Channel layout: host inputs, sidechain inputs, host outputs, internal channels.
    int inputChannels() const { return m_inChannels; }
    int sidechainChannels() const { return m_sideChannels; }
    int outputChannels() const { return m_outChannels; }
    int internalChannels() const { return m_intChannels; }
    int groupCount() const { return m_groupCount; }
    void setLayout(int in, int side, int out) {
        m_inChannels = in;
        m_sideChannels = side;
        m_outChannels = out;
    }
    void setInternalChannels(int n) { m_intChannels = n; }
    void setGroupCount(int n) { m_groupCount = n; }

    // Running time in seconds and the end time of the current chunk.
    double currentTime() const { return m_time; }
    void setCurrentTime(double t) { m_time = t; }
    double chunkEndTime() const { return m_chunkEnd; }
    void setChunkEndTime(double t) { m_chunkEnd = t; }

    // Total latency of the instance in host samples.
    int totalLatency() const { return m_latency.load(std::memory_order_relaxed); }
    void setTotalLatency(int samples) { m_latency.store(samples, std::memory_order_relaxed); }

    bool isActive() const { return m_active; }
    void setActive(bool a) { m_active = a; }

    plat::CCritSec& lock() { return m_lock; }

private:
    plat::CCritSec m_lock{4000};
    double m_sampleRate = 44100.0;
    int m_maxBlock = 512;
    int m_inChannels = 2, m_sideChannels = 0, m_outChannels = 2;
    int m_intChannels = 8, m_groupCount = 8;
    double m_time = 0.0, m_chunkEnd = 0.0;
    std::atomic<int> m_latency{0};
    bool m_active = false;
};
