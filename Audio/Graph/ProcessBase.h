#pragma once
// CAudioProcessBase: the common base of every runtime process of the audio
// graph (containers, stacks, modules, and container-like modules such as the
// resamplers). A process has input ports (set by its parent before each
// block) and output ports (owned buffers it fills), one channel count for all
// of its input ports and one for its outputs, a sample rate, and a latency.
//
// Threads: build() and prepare() run on the main thread and may allocate.
// update(), setRate(), process() and reset() run on the audio thread and
// must not allocate, lock or block.

#include <algorithm>
#include <cstdint>
#include <memory>
#include <vector>

#include "Audio/Graph/SampleBuffer.h"
#include "Core/Object.h"

class CAudioProcessDefBase;
class CAudioParam;
class CAudioProcessBuild;

namespace audio {
constexpr int kMaxChannels = 16;       // internal channels of the graph
// The cross-fade of a module whose definition sets no "xfade-length": settings,
// algorithms, bypass and latency changes fade over it while audio plays.
constexpr double kDefaultCrossfadeSeconds = 0.015;
constexpr int kMaxHostFrames = 512;    // the plug-in core runs chunks of at most 512 frames
constexpr int kMaxRateFactor = 8;      // the largest oversampling factor
// A chunk keeps its fastest part within this many frames: at 8X a host chunk
// of 512 frames would be 4096 frames there, and the buffers of one pass
// through the oversampled modules would no longer stay in the cache.
constexpr int kMaxInnerFrames = 2048;
}  // namespace audio

// The channel buffers of one port.
struct CPortBuffers {
    int channels = 0;
    const double* ch[audio::kMaxChannels] = {};
};

// Owned storage of output ports: ports × channels × frames, contiguous per
// channel. Only the channels a process writes take resident memory.
class CPortStorage {
public:
    void allocate(int ports, int channels, int frames);
    int ports() const { return m_ports; }
    int capacityFrames() const { return m_frames; }
    int channelCapacity() const { return m_channels; }
    double* channel(int port, int ch) { return m_data.data() + (size_t(port) * m_channels + ch) * m_frames; }
    const double* channel(int port, int ch) const {
        return m_data.data() + (size_t(port) * m_channels + ch) * m_frames;
    }

private:
    CSampleBuffer m_data;
    int m_ports = 0, m_channels = 0, m_frames = 0;
};

// What a parent tells a child when preparing it.
struct CProcessConfig {
    double hostRate = 44100.0;       // the host's sample rate
    int hostMaxFrames = audio::kMaxHostFrames;  // largest block at the host rate
    double maxSampleRate = 44100.0;  // the highest rate at the process's input
    int maxChannels = 2;             // channel capacity of the input ports

    // Largest block at a rate (blocks scale with the rate).
    int framesAt(double rate) const {
        double f = double(hostMaxFrames) * rate / hostRate;
        int n = int(f);
        return n < f ? n + 1 : n;
    }
    int maxFrames() const { return framesAt(maxSampleRate); }
    CProcessConfig at(double rate, int channels) const {
        CProcessConfig c = *this;
        c.maxSampleRate = rate;
        c.maxChannels = channels;
        return c;
    }
};

class CAudioProcessBase : public CObject {
public:
    CAudioProcessBase();
    ~CAudioProcessBase() override;

    // --- Structure (main thread) -------------------------------------------------
    // Binds the definition and creates what the process owns (children,
    // parameters, processors). The process is already attached to its parent.
    virtual CError build(const CAudioProcessDefBase& def, CAudioProcessBuild& b);
    const CAudioProcessDefBase* def() const { return m_def; }

    // Allocates for the worst case described by the config. Returns the error
    // of a child or module.
    virtual CError prepare(const CProcessConfig& config);
    // Upper bound of the latency this process can report at the prepared
    // maximum rate, in seconds (sizes alignment delays).
    virtual double maxLatencySeconds() const { return latency() / (m_config.maxSampleRate * rateFactor()); }
    // The highest output rate for the highest input rate (upsamplers raise it;
    // a downsampler always returns to the host rate).
    virtual double maxOutputRate(double maxInputRate) const { return maxInputRate; }
    // The largest channel count on the output ports for a given input capacity.
    virtual int maxOutputChannels(int maxInputChannels) const { return maxInputChannels; }

    // --- Audio thread ---------------------------------------------------------------
    // Chunk start: read parameters, re-evaluate bypass states, rebuild what
    // depends on them. Returns true when the process's structure or latency changed.
    virtual bool update() { return false; }
    // Audio thread, before each update: the container's bypass state for
    // this process, and whether audio has been flowing through the container
    // since it was reset. Returns whether the process may be taken out of (or
    // put back into) the sequence now; a process that must first bring its
    // own output to where bypassing is seamless returns false and keeps
    // running until it has (the container asks again at every chunk).
    virtual bool readyForBypass(bool bypass, bool playing) {
        (void)bypass;
        (void)playing;
        return true;
    }
    // The rate at the process's input; allocation-free.
    virtual void setRate(double sampleRate) { m_rate = sampleRate; }
    // The number of channels on the input ports (≤ prepared capacity).
    virtual void setChannels(int channels) { m_channels = channels; }
    // The latency of the signal at the process's inputs (after alignment),
    // in samples at its input rate, measured from its container's input.
    // Set before update(); modules that pad to a fixed total read it.
    virtual void setInputLatency(double samples) { m_inputLatency = samples; }
    double inputLatency() const { return m_inputLatency; }
    // Which output ports anything reads (bit p: port p; all until the
    // container says otherwise, main thread at build). A module may leave an
    // output port nobody reads unwritten, and say which input ports it then
    // does not read: the container leaves those unaligned.
    void setOutputPortsUsed(uint32_t mask) { m_usedOutputs = mask; }
    bool outputPortUsed(int port) const { return port >= 32 || ((m_usedOutputs >> port) & 1u) != 0; }
    virtual bool readsInputPort(int port) const {
        (void)port;
        return true;
    }
    // Runs one block of `frames` input frames: inputs are set, outputs filled.
    virtual void process(int frames) = 0;
    virtual void reset() {}

    // Output frames for a block of input frames (resamplers change it).
    virtual int outputFrames(int inputFrames) const { return inputFrames; }
    // Output rate / input rate.
    virtual double rateFactor() const { return 1.0; }
    // The highest rate inside the process as it runs now: its input or output
    // rate, and for containers that of every child taking part (audio thread,
    // after update()).
    virtual double peakRate() const { return std::max(m_rate, m_rate * rateFactor()); }
    // Channels on the output ports (routers change it).
    virtual int outputChannels() const { return m_channels; }
    // Replaces NaN and infinite samples among the first `frames` frames of
    // the outputs anything reads by zeros; true when there were any.
    bool clearNonFiniteOutputs(int frames);
    // The process's own latency, in samples at its output rate.
    virtual double latency() const { return 0.0; }

    // Ports.
    virtual int inputPortCount() const { return int(m_inputs.size()); }
    virtual int outputPortCount() const { return 1; }
    // The parent sets input ports before process(); the count may be raised
    // by links at build time.
    void setInputPortCount(int n);
    CPortBuffers& input(int port) { return m_inputs[size_t(port)]; }
    const CPortBuffers& input(int port) const { return m_inputs[size_t(port)]; }
    // Output port buffers (valid after process()).
    virtual const double* outputChannel(int port, int ch) const { return m_out.channel(port, ch); }

    double sampleRate() const { return m_rate; }
    int channels() const { return m_channels; }
    int maxChannels() const { return m_config.maxChannels; }
    const CProcessConfig& config() const { return m_config; }

    // The channel group whose parameter values this process reads (the stack
    // instance index, 0 outside stacks).
    int group() const { return m_group; }
    void setGroup(int g) { m_group = g; }

    // Prefix of the names of the parameters this process declares (its full name).
    CString paramPrefix() const { return fullName(); }
    // Prefix under which this process's parameter names are looked up first:
    // the children of a process switch answer to the switch's alias
    // ("...modSwitch.mod"), everything else to its full name.
    CString paramAliasPrefix() const;
    // What a parent makes of its child's alias prefix (default: the child's full name).
    virtual CString childAliasPrefix(const CAudioProcessBase& child) const { return child.fullName(); }

protected:
    double* outputBuffer(int port, int ch) { return m_out.channel(port, ch); }
    CPortStorage& outputStorage() { return m_out; }

    const CAudioProcessDefBase* m_def = nullptr;
    std::vector<std::unique_ptr<CAudioParam>> m_params;  // declared by this process
    CProcessConfig m_config;
    double m_rate = 44100.0;
    double m_inputLatency = 0.0;
    uint32_t m_usedOutputs = ~0u;
    int m_channels = 0;
    int m_group = 0;
    std::vector<CPortBuffers> m_inputs;
    CPortStorage m_out;
};
