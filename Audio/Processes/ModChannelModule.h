#pragma once
// CModChannelModule<Proc>: the common part of the leaf modules that run one
// processor per channel. prepare() creates a processor for every channel the
// module may see (started, configured by the module, prepared for the
// highest rate); a later rate reaches the processors through their
// non-allocating rate setter when the module next updates; reset() resets
// every processor. A module whose processor serves all channels of its group
// at once asks for a single processor.
//
// Threads: prepare on the main thread; syncRate/reset on the audio thread.

#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>

#include "Audio/Graph/ProcessTerminal.h"

template <class Proc>
class CModChannelModule : public CAudioProcessTerminalBase {
public:
    CError prepare(const CProcessConfig& config) override {
        KEL_TRY(CAudioProcessTerminalBase::prepare(config));
        m_procs.clear();
        const int n = std::max(1, processorsFor(config.maxChannels));
        for (int ch = 0; ch < n; ++ch) {
            auto p = std::make_unique<Proc>();
            p->start();
            configureProcessor(*p);
            p->prepare(config.maxSampleRate, config.maxFrames());
            m_procs.push_back(std::move(p));
        }
        m_procRate = config.maxSampleRate;
        return {};
    }

    void reset() override {
        for (auto& p : m_procs) p->reset();
    }

    int processorCount() const { return int(m_procs.size()); }
    Proc& processor(int ch) const { return *m_procs[size_t(ch)]; }

protected:
    // How many processors serve maxChannels channels (modules that process
    // all channels of their group together need one).
    virtual int processorsFor(int maxChannels) const { return maxChannels; }
    // Settings from the definition that the processor needs before prepare().
    virtual void configureProcessor(Proc&) {}

    // Hands the module's rate to the processors when it moved; true then.
    bool syncRate() {
        if (m_rate == m_procRate) return false;
        m_procRate = m_rate;
        if constexpr (requires(Proc& p) { p.setSampleRate(1.0); })
            for (auto& p : m_procs) p->setSampleRate(m_rate);
        return true;
    }

    // For processors whose Params list their slots in a table (kTable): the
    // slots registered in table order, and Params read from them.
    void registerTableSlots(CAudioProcessBuild& b)
        requires requires { Proc::Params::kTable; }
    {
        int slot = 0;
        for (const auto& row : Proc::Params::kTable) this->registerParam(b, slot++, row.name, row.fallback());
    }
    auto readTableSlots() const
        requires requires { Proc::Params::kTable; }
    {
        typename Proc::Params p;
        int slot = 0;
        for (const auto& row : Proc::Params::kTable) row.set(p, this->param(slot++));
        return p;
    }

    // The active channels (never more than were prepared).
    int activeChannels() const { return std::min(m_channels, int(m_procs.size())); }

    std::vector<std::unique_ptr<Proc>> m_procs;
    double m_procRate = 0.0;
};

// A parameter slot read as a switch: on at 0.5 and above.
inline bool kelParamSwitch(double v) { return v >= 0.5; }
// A parameter slot read as an integer: rounded half away from zero.
inline int kelParamInt(double v) { return int(v < 0 ? -std::floor(-v + 0.5) : std::floor(v + 0.5)); }
