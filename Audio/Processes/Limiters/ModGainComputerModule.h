#pragma once
// CModGainComputerModule<Proc>: the common part of the limiter's gain
// computers in the graph. One input (the rectified, linked level) and two
// outputs: port 0 the gain, port 1 the input-scaling factor. Its slots are
// the rows of the algorithm's parameter table (`Params::kTable`, in index
// order, each falling back to the Params default while unbound); the module
// reads them into Params as the table says and runs one processor per
// channel.
//
// A settings change while audio runs would step the gain (an attack change
// empties the look-ahead window; some algorithms restart their followers).
// So the module keeps a second set of processors: on a change it copies the
// running processors into it, goes on running that copy with the old
// settings, applies the new settings to the running set and cross-fades both
// outputs from the copy to the running set over "xfade-length" (15 ms when
// unset, raised cosine). A change arriving during a fade waits for its end
// (the newest one wins). Right after a reset, and before the first block,
// settings apply at once. The copy reuses storage of the same capacity, so
// none of this allocates.

#include <cmath>
#include <numbers>
#include <span>
#include <utility>
#include <vector>

#include "Audio/Graph/SampleBuffer.h"
#include "Audio/Processes/Limiters/LimiterParams.h"
#include "Audio/Processes/ModChannelModule.h"

class CAudioProcessBuild;

// What a gain computer offers the module: Params with its slot table, and
// the per-channel processor calls.
template <class Proc>
concept LimGainComputer = requires(Proc& p, const typename Proc::Params& params, const double* x, double* y) {
    Proc::Params::kTable;
    p.prepare(1.0, 1);
    p.setSampleRate(1.0);
    p.setParams(params);
    p.reset();
    p.process(x, y, y, 1);
};

template <LimGainComputer Proc>
class CModGainComputerModule : public CModChannelModule<Proc> {
    using Params = typename Proc::Params;
    using Base = CModChannelModule<Proc>;

public:
    int outputPortCount() const override { return 2; }

    CError prepare(const CProcessConfig& config) override {
        KEL_TRY(Base::prepare(config));
        m_shadow.clear();
        for (size_t ch = 0; ch < this->m_procs.size(); ++ch) {
            auto p = std::make_unique<Proc>();
            p->start();
            this->configureProcessor(*p);
            p->prepare(config.maxSampleRate, config.maxFrames());
            m_shadow.push_back(std::move(p));
        }
        const int frames = config.maxFrames();
        m_scratch.allocate(size_t(2 * frames));
        // Written by each fade for its own length before it is read, so it
        // stays untouched (and unmapped) until a settings change fades.
        m_curve.allocate(size_t(std::max(1L, std::lround(fadeTime() * config.maxSampleRate))));
        m_fading = m_hasPending = false;
        m_fresh = true;
        return {};
    }

    void reset() override {
        Base::reset();
        if (m_hasPending) applyNow(m_pending);
        m_fading = m_hasPending = false;
        m_fresh = true;
    }

    void process(int frames) override {
        if (m_hasPending && !m_fading) startFade(m_pending);
        m_fresh = false;
        const CPortBuffers& in = this->input(0);
        const int channels = this->activeChannels();
        runChannels(in, channels, frames);
        if (!m_fading) return;
        // The copy with the old settings, faded out.
        double* oldGain = m_scratch.data();
        double* oldScale = oldGain + frames;
        int pos = m_fadePos;
        for (int ch = 0; ch < channels; ++ch) {
            m_shadow[size_t(ch)]->process(in.ch[ch], oldGain, oldScale, frames);
            double* gain = this->outputBuffer(0, ch);
            double* scale = this->outputBuffer(1, ch);
            pos = m_fadePos;
            for (int i = 0; i < frames && pos < m_fadeLen; ++i, ++pos) {
                const double w = std::as_const(m_curve)[size_t(pos)];
                gain[i] = oldGain[i] + (gain[i] - oldGain[i]) * w;
                scale[i] = oldScale[i] + (scale[i] - oldScale[i]) * w;
            }
        }
        m_fadePos = channels > 0 ? pos : std::min(m_fadeLen, m_fadePos + frames);
        if (m_fadePos >= m_fadeLen) m_fading = false;
    }

    bool fading() const { return m_fading; }

private:
    // Processors that can run two channels side by side take them in pairs.
    void runChannels(const CPortBuffers& in, int channels, int frames) {
        int ch = 0;
        if constexpr (requires(Proc& p, const double* x, double* y) { Proc::processPair(p, p, x, x, y, y, y, y, 0); }) {
            for (; ch + 1 < channels; ch += 2)
                Proc::processPair(*this->m_procs[size_t(ch)], *this->m_procs[size_t(ch) + 1], in.ch[ch], in.ch[ch + 1],
                                  this->outputBuffer(0, ch), this->outputBuffer(0, ch + 1), this->outputBuffer(1, ch),
                                  this->outputBuffer(1, ch + 1), frames);
        }
        for (; ch < channels; ++ch)
            this->m_procs[size_t(ch)]->process(in.ch[ch], this->outputBuffer(0, ch), this->outputBuffer(1, ch), frames);
    }

protected:
    CError moduleSetup(CAudioProcessBuild& b) override {
        this->registerTableSlots(b);
        return {};
    }

    void updateParams() override {
        if (this->syncRate()) {
            // A new rate restarts the processors; no fade across it.
            m_fading = false;
            m_fresh = true;
        }
        const Params p = this->readTableSlots();
        if (m_fresh) {
            m_hasPending = false;
            applyNow(p);
        } else {
            // Started with the next block (or when the running fade ends).
            m_pending = p;
            m_hasPending = !(p == m_applied);
        }
    }

private:
    double fadeTime() const { return this->xfadeSeconds(); }

    void applyNow(const Params& p) {
        m_applied = p;
        for (auto& proc : this->m_procs) proc->setParams(p);
    }

    void startFade(const Params& p) {
        m_hasPending = false;
        for (size_t ch = 0; ch < this->m_procs.size(); ++ch) *m_shadow[ch] = *this->m_procs[ch];
        applyNow(p);
        m_fadeLen = std::clamp(int(std::lround(fadeTime() * this->m_rate)), 1, int(m_curve.size()));
        for (int i = 0; i < m_fadeLen; ++i)
            m_curve[size_t(i)] = 0.5 - 0.5 * std::cos(std::numbers::pi * (i + 1) / double(m_fadeLen));
        m_fadePos = 0;
        m_fading = true;
    }

    std::vector<std::unique_ptr<Proc>> m_shadow;  // the old settings during a fade
    CSampleBuffer m_scratch;                      // the copy's two outputs for one block
    CSampleBuffer m_curve;                        // fade weights
    int m_fadeLen = 1, m_fadePos = 0;
    bool m_fading = false;
    bool m_fresh = true;
    bool m_hasPending = false;
    Params m_pending;
    Params m_applied;  // the settings of the running processors
};
