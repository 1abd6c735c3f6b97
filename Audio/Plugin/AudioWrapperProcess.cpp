// CAudioWrapper: running the graph between the host's buffers and the
// graph's 64-bit buffers in chunks of at most 512 frames.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "Audio/Params/AudioParam.h"
#include "Audio/Plugin/AudioWrapper.h"
#include "Audio/Plugin/AudioWrapperImpl.h"
#include "Audio/Interface/AudioInterfaceBase.h"
#include "Audio/Processes/Flow/ModNode.h"
#include "Audio/Viz/AudioVizCollector.h"
#include "Core/Log.h"

namespace {
constexpr int kChunk = audio::kMaxHostFrames;

double readSample(const CHostBus& bus, int ch, int i) {
    if (bus.interleaved) {
        const size_t k = size_t(i) * size_t(bus.channels) + size_t(ch);
        return bus.is64 ? static_cast<const double*>(bus.data)[k] : static_cast<const float*>(bus.data)[k];
    }
    return bus.is64 ? static_cast<const double*>(bus.planar[ch])[i] : static_cast<const float*>(bus.planar[ch])[i];
}

// Copies frames of one host channel (from offset) into a 64-bit buffer.
void copyIn(const CHostBus& bus, int ch, int offset, int frames, double* dst) {
    if (!bus.interleaved && bus.is64) {
        std::memcpy(dst, static_cast<const double*>(bus.planar[ch]) + offset, sizeof(double) * size_t(frames));
        return;
    }
    if (!bus.interleaved) {
        const float* src = static_cast<const float*>(bus.planar[ch]) + offset;
        for (int i = 0; i < frames; ++i) dst[i] = src[i];
        return;
    }
    for (int i = 0; i < frames; ++i) dst[i] = readSample(bus, ch, offset + i);
}

// Writes frames of a 64-bit buffer (or zeros when src is null) to a host channel.
void copyOut(CHostBus& bus, int ch, int offset, int frames, const double* src) {
    if (!bus.interleaved) {
        if (bus.is64) {
            double* dst = static_cast<double*>(bus.planar[ch]) + offset;
            if (src)
                std::memcpy(dst, src, sizeof(double) * size_t(frames));
            else
                std::memset(dst, 0, sizeof(double) * size_t(frames));
        } else {
            float* dst = static_cast<float*>(bus.planar[ch]) + offset;
            for (int i = 0; i < frames; ++i) dst[i] = src ? float(src[i]) : 0.0f;
        }
        return;
    }
    const size_t stride = size_t(bus.channels);
    if (bus.is64) {
        double* dst = static_cast<double*>(bus.data) + size_t(offset) * stride + size_t(ch);
        for (int i = 0; i < frames; ++i) dst[size_t(i) * stride] = src ? src[i] : 0.0;
    } else {
        float* dst = static_cast<float*>(bus.data) + size_t(offset) * stride + size_t(ch);
        for (int i = 0; i < frames; ++i) dst[size_t(i) * stride] = src ? float(src[i]) : 0.0f;
    }
}

bool busUsable(const CHostBus& bus) { return bus.channels > 0 && (bus.interleaved ? bus.data != nullptr : bus.planar != nullptr); }

void writeFlag(CAudioParam* p, double v) {
    if (!p) return;
    if (p->storage().writeValue(0, 0, 0, v)) p->storage().markChanged();
}
}  // namespace

CError CAudioWrapper::prepareGraph() {
    Impl& d = *m_impl;
    if (!d.main) return {};
    CProcessConfig cfg;
    cfg.hostRate = d.sampleRate;
    cfg.hostMaxFrames = kChunk;
    cfg.maxSampleRate = d.sampleRate;
    cfg.maxChannels = audio::kMaxChannels;
    KEL_TRY(d.main->prepare(cfg));
    KEL_TRY(d.output->prepare(cfg.at(d.main->maxOutputRate(d.sampleRate), audio::kMaxChannels)));
    d.inBuf.assign(size_t(audio::kMaxChannels) * kChunk, 0.0);
    for (int c = 0; c < audio::kMaxChannels; ++c) d.inPtr[c] = d.inBuf.data() + size_t(c) * kChunk;
    d.main->setRate(d.sampleRate);
    d.output->setRate(d.sampleRate);
    d.main->reset();
    d.env->setSampleRate(d.sampleRate);
    d.env->setMaxBlock(kChunk);
    d.prepared = true;
    d.preparedRate = d.sampleRate;
    d.layoutPending = true;
    return {};
}

// Audio thread, at the start of a chunk: the layout and pending changes.
void CAudioWrapper::applyLayout() {
    Impl& d = *m_impl;
    d.inChannels = d.pendingLayout[0];
    d.sideChannels = d.pendingLayout[1];
    d.outChannels = d.pendingLayout[2];
    d.env->setLayout(d.inChannels, d.sideChannels, d.outChannels);
    d.main->setChannels(std::min(d.inChannels + d.sideChannels, audio::kMaxChannels));
    d.layoutPending = false;
}

// Audio thread. It never waits for the main thread: while a batch of edits
// holds the environment's lock, the layout and the changes wait for the next
// chunk.
void CAudioWrapper::takePendingChanges(int frames) {
    Impl& d = *m_impl;
    d.env->setChunkEndTime(d.env->currentTime() + double(frames) / d.sampleRate);
    CAudioParamChangeSet* changes = nullptr;
    if (!d.env->lock().tryLock()) return;
    if (d.layoutPending) applyLayout();
    changes = d.changeQueue.takePending();
    d.env->lock().unlock();
    if (changes) CAudioParamChangeQueue::apply(changes);
}

bool CAudioWrapper::offerBlockLayout(int inChannels, int sidechainChannels, int outChannels) {
    Impl& d = *m_impl;
    if (!d.env || !d.env->lock().tryLock()) return false;
    postLayout(inChannels, sidechainChannels, outChannels);
    d.env->lock().unlock();
    return true;
}

void CAudioWrapper::runChunk(const CHostBus& in, const CHostBus* side, CHostBus& out, int offset, int frames) {
    Impl& d = *m_impl;
    // Inputs: the main channels, then the sidechain channels.
    const int mainCh = std::min(d.inChannels, in.channels);
    int c = 0;
    for (; c < d.inChannels; ++c) {
        if (c < mainCh && busUsable(in))
            copyIn(in, c, offset, frames, d.inPtr[c]);
        else
            std::memset(d.inPtr[c], 0, sizeof(double) * size_t(frames));
    }
    for (int k = 0; k < d.sideChannels && c < audio::kMaxChannels; ++k, ++c) {
        if (side && k < side->channels && busUsable(*side))
            copyIn(*side, k, offset, frames, d.inPtr[c]);
        else
            std::memset(d.inPtr[c], 0, sizeof(double) * size_t(frames));
    }
    CPortBuffers& port = d.main->input(0);
    port.channels = c;
    for (int k = 0; k < c; ++k) port.ch[k] = d.inPtr[k];
    d.main->update();
    d.main->process(frames);
    // The output process receives the main process's output.
    const int graphOut = std::min(d.main->outputChannels(), audio::kMaxChannels);
    CPortBuffers& op = d.output->input(0);
    op.channels = graphOut;
    for (int k = 0; k < graphOut; ++k) op.ch[k] = d.main->outputChannel(0, k);
    d.output->setChannels(graphOut);
    d.output->process(frames);
    // Host outputs: covered channels copied in the host's format, the rest zeroed.
    if (busUsable(out))
        for (int k = 0; k < out.channels; ++k)
            copyOut(out, k, offset, frames, k < graphOut ? d.output->outputChannel(0, k) : nullptr);
    d.env->setTotalLatency(int(std::lround(d.main->latency())));
    d.frameCounter += uint64_t(frames);
    d.env->setCurrentTime(d.env->currentTime() + double(frames) / d.sampleRate);
}

void CAudioWrapper::checkLatency(int before) {
    Impl& d = *m_impl;
    if (d.env->totalLatency() == before) return;
    writeFlag(d.hostLatencyChange, 1.0);
    d.latencyChanged.store(true);
    onLatencyChanged();
}

void CAudioWrapper::setBlockParamChanges(const CHostParamChange* changes, int count) {
    m_impl->blockChanges = changes;
    m_impl->blockChangeCount = count;
}

void CAudioWrapper::process(const CHostBus& in, const CHostBus* sidechain, CHostBus& out, int frames) {
    Impl& d = *m_impl;
    if (!d.env) return;
    // Not prepared for this rate (the host skipped its set-up), or another
    // thread is priming the graph right now: a silent block, no waiting.
    if (!d.prepared || d.graphBusy.exchange(true, std::memory_order_acquire)) {
        if (busUsable(out))
            for (int k = 0; k < out.channels; ++k) copyOut(out, k, 0, frames, nullptr);
        return;
    }
    if (d.primePending.exchange(false, std::memory_order_acq_rel)) primeNow();
    const int before = d.env->totalLatency();
    // The graph's rates as its last chunk left them (a factor switch takes
    // effect on the chunk length from the next block on).
    const double peak = d.main->peakRate();
    d.chunkCap = peak > d.sampleRate && d.sampleRate > 0.0
                     ? std::clamp(int(double(audio::kMaxInnerFrames) * d.sampleRate / peak), 32, audio::kMaxHostFrames)
                     : audio::kMaxHostFrames;
    int offset = 0;
    bool first = true;
    while (first || offset < frames) {
        const int n = chunkLengthAt(offset, frames);
        takePendingChanges(n);
        applyHostChanges(offset, n);
        first = false;
        if (n <= 0) break;
        runChunk(in, sidechain, out, offset, n);
        offset += n;
    }
    d.blockChanges = nullptr;
    d.blockChangeCount = 0;
    checkLatency(before);
    d.graphBusy.store(false, std::memory_order_release);
}

int CAudioWrapper::latencySamples() const { return m_impl->env ? m_impl->env->totalLatency() : 0; }

void CAudioWrapper::latencyAcknowledged() {
    Impl& d = *m_impl;
    if (!d.latencyChanged.exchange(false)) return;
    writeFlag(d.hostLatencyChange, 0.0);
}

// --- Start, stop and priming -------------------------------------------------------------

void CAudioWrapper::primingStep() {
    Impl& d = *m_impl;
    const int before = d.env->totalLatency();
    bool layoutChanged = false;
    {
        plat::CLock g(d.env->lock());
        layoutChanged = d.layoutPending;
    }
    takePendingChanges(1);
    if (layoutChanged && d.interfaceBase) {
        if (CError e = d.interfaceBase->sendIoChannelCounts(d.inChannels, d.sideChannels, d.outChannels)) kelLogError(e);
    }
    CPortBuffers& port = d.main->input(0);
    port.channels = std::min(d.inChannels + d.sideChannels, audio::kMaxChannels);
    for (int k = 0; k < port.channels; ++k) {
        d.inPtr[k][0] = 0.0;
        port.ch[k] = d.inPtr[k];
    }
    d.main->update();
    d.main->process(1);
    const int graphOut = std::min(d.main->outputChannels(), audio::kMaxChannels);
    CPortBuffers& op = d.output->input(0);
    op.channels = graphOut;
    for (int k = 0; k < graphOut; ++k) op.ch[k] = d.main->outputChannel(0, k);
    d.output->process(1);
    d.env->setTotalLatency(int(std::lround(d.main->latency())));
    d.env->setCurrentTime(d.env->currentTime() + 1.0 / d.sampleRate);
    checkLatency(before);
}

void CAudioWrapper::primeNow() {
    Impl& d = *m_impl;
    primingStep();
    // The priming sample only settles the layout, the pending changes and
    // the latency: the graph starts from rest again, so whatever reaches it
    // before its first real frame (these changes, those of the first block)
    // is in force at once instead of fading or gliding in.
    d.main->reset();
    d.output->reset();
}

void CAudioWrapper::primeGraph() {
    Impl& d = *m_impl;
    if (d.graphBusy.exchange(true, std::memory_order_acquire)) {
        d.primePending.store(true, std::memory_order_release);
        return;
    }
    primeNow();
    d.graphBusy.store(false, std::memory_order_release);
}

void CAudioWrapper::startProcessing() {
    Impl& d = *m_impl;
    if (!d.env || !d.main) return;
    if (!d.prepared) {
        if (CError e = prepareGraph()) return;
    }
    {
        plat::CLock g(d.env->lock());
        if (d.env->isActive()) return;
        d.env->setActive(true);
    }
    d.processing.store(true);
    if (d.interfaceBase) {
        CError e = d.interfaceBase->sendStartViz();
        if (!e && !d.vizAlwaysActive) e = d.interfaceBase->sendClearClient();
        if (!e) e = d.interfaceBase->sendSampleRate(d.sampleRate, d.env->totalLatency());
        if (e) kelLogError(e);
    }
    primeGraph();
}

void CAudioWrapper::stopProcessing() {
    Impl& d = *m_impl;
    if (!d.env || !d.main) return;
    {
        plat::CLock g(d.env->lock());
        if (!d.env->isActive()) return;
        d.env->setActive(false);
    }
    d.processing.store(false);
    primeGraph();
    if (d.interfaceBase) {
        if (CError e = d.vizAlwaysActive ? d.interfaceBase->sendClearClient() : d.interfaceBase->sendStopViz())
            kelLogError(e);
    }
    if (d.vizCollector) d.vizCollector->reset();
}

bool CAudioWrapper::isProcessing() const { return m_impl->processing.load(); }
