#include "Tools/Render/RenderLoop.h"

#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <io.h>
#include <windows.h>
#else
#include <time.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

namespace render {

double threadCpuSeconds() {
#ifdef _WIN32
    FILETIME created, exited, kernel, user;
    if (!GetThreadTimes(GetCurrentThread(), &created, &exited, &kernel, &user)) return 0.0;
    auto ticks = [](const FILETIME& t) { return double((uint64_t(t.dwHighDateTime) << 32) | t.dwLowDateTime); };
    return (ticks(kernel) + ticks(user)) * 1e-7;
#else
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + 1e-9 * double(ts.tv_nsec);
#endif
}

double wallSeconds() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

std::string renderThrough(host::CPluginInstance& plugin, const CAudioBuffer& in, int block, CAudioBuffer* out,
                          CRenderResult* result, const std::function<void(double)>& progress) {
    const int inCh = plugin.inputChannels(), outCh = plugin.outputChannels();
    const size_t frames = in.frames();
    out->sampleRate = in.sampleRate;
    out->channels.assign(size_t(outCh), std::vector<double>(frames, 0.0));

    std::vector<std::vector<double>> inBlock(size_t(inCh), std::vector<double>(size_t(block), 0.0));
    std::vector<std::vector<double>> outBlock(size_t(outCh), std::vector<double>(size_t(block), 0.0));
    std::vector<const double*> inPtrs;
    std::vector<double*> outPtrs;
    for (auto& ch : inBlock) inPtrs.push_back(ch.data());
    for (auto& ch : outBlock) outPtrs.push_back(ch.data());

    // A block without frames hands the settings over; the latency is read after it.
    double cpu = threadCpuSeconds();
    plugin.process(inPtrs.data(), outPtrs.data(), 0);
    double spent = threadCpuSeconds() - cpu;
    plugin.takeRestartFlags();
    const int latency = plugin.latency();
    const size_t total = frames + size_t(latency);

    size_t produced = 0;  // frames processed so far
    bool warned = false;
    while (produced < total) {
        const int n = int(std::min<size_t>(size_t(block), total - produced));
        for (int c = 0; c < inCh; ++c) {
            double* dst = inBlock[size_t(c)].data();
            const std::vector<double>* src = c < int(in.channels.size()) ? &in.channels[size_t(c)] : nullptr;
            for (int i = 0; i < n; ++i) {
                const size_t t = produced + size_t(i);
                dst[i] = src && t < frames ? (*src)[t] : 0.0;
            }
        }
        cpu = threadCpuSeconds();
        plugin.process(inPtrs.data(), outPtrs.data(), n);
        spent += threadCpuSeconds() - cpu;
        for (int c = 0; c < outCh; ++c) {
            const double* src = outBlock[size_t(c)].data();
            std::vector<double>& dst = out->channels[size_t(c)];
            for (int i = 0; i < n; ++i) {
                const size_t t = produced + size_t(i);
                if (t >= size_t(latency) && t - size_t(latency) < frames) dst[t - size_t(latency)] = src[i];
            }
        }
        produced += size_t(n);
        if ((plugin.takeRestartFlags() & Steinberg::Vst::kLatencyChanged) && !warned) {
            const int now = plugin.latency();
            if (now != latency) {
                std::fprintf(stderr, "tamblor-render: warning: latency changed from %d to %d while rendering\n",
                             latency, now);
                warned = true;
            }
        }
        if (progress) progress(double(produced) / double(std::max<size_t>(total, 1)));
    }
    result->latency = latency;
    result->cpuSeconds = spent;
    return {};
}

CProgressBar::CProgressBar(std::FILE* f)
    : m_file(f),
#ifdef _WIN32
      m_terminal(f && _isatty(_fileno(f)) != 0),
#else
      m_terminal(f && isatty(fileno(f)) != 0),
#endif
      m_start(wallSeconds()) {
}

void CProgressBar::update(double fraction) {
    if (!m_terminal) return;
    const double now = wallSeconds();
    if (now - m_start < 0.5 || now - m_lastDraw < 0.1) return;
    m_lastDraw = now;
    constexpr int kWidth = 40;
    const int filled = std::clamp(int(fraction * kWidth + 0.5), 0, kWidth);
    std::fprintf(m_file, "\r[%s%s] %3d%%", std::string(size_t(filled), '#').c_str(),
                 std::string(size_t(kWidth - filled), '.').c_str(), int(fraction * 100.0 + 0.5));
    std::fflush(m_file);
    m_drawn = true;
}

void CProgressBar::finish() {
    if (!m_drawn) return;
    std::fprintf(m_file, "\r%*s\r", 48, "");
    std::fflush(m_file);
    m_drawn = false;
}

}  // namespace render
