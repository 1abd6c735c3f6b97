// The editor's software renderer: a full frame of a 590 x 444 window with a
// few dozen views (panels, frames, buttons, knobs, meters, captions and
// wrapped text) at scales 1 and 2, with and without render workers, and the
// repaint after one knob moved; meters taking new values at the editor's
// frame rate.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "Core/Application.h"
#include "Core/MemoryWriter.h"
#include "Product/ProductCreators.h"
#include "Tools/UiShot/UiShot.h"
#include "UI/Meters/LevelMeter.h"
#include "UI/Meters/VizExchange.h"
#include "UI/Render/WindowRenderer.h"
#include "UI/View/View.h"

namespace {

void ensureApplication() {
    static const bool started = [] {
        CApplication::StartOptions o = kelProductStartOptions();
        o.sharedDefinition = nullptr;
        return !CApplication::start(o);
    }();
    (void)started;
}

std::string knobGroup(int group) {
    std::string s = "<ui:view name=\"group" + std::to_string(group) +
                    "\" width=\"full\" height=\"full\" color=\"Panel\" image-set=\"is.frame\" inner-border=\"6\""
                    " outer-border=\"3\">"
                    "<ui:caption name=\"title\" placement=\"top\" font-name=\"font.title\" text=\"Section " +
                    std::to_string(group) + "\" text-alignment=\"center\" height=\"20\"/>";
    for (int k = 0; k < 4; ++k) {
        const std::string n = std::to_string(k);
        s += "<ui:view name=\"cell" + n + "\" width=\"full\" height=\"full\" is-inline-vertical=\"true\""
             " inline-alignment-h=\"center\">"
             "<ui:view name=\"knob\" width=\"40\" height=\"40\" color=\"Knob\" image-set=\"is.knob\""
             " image-set-index=\"" + std::to_string(10 * k + 20) + "\"/>"
             "<ui:readout name=\"value\" font-name=\"font.compact\" text=\"-" + n + ".5 dB\" width=\"56\""
             " text-alignment=\"center\" color=\"EditBox\" image-set=\"is.knob\" image-set-range=\"Readout\"/>"
             "</ui:view>";
    }
    return s + "</ui:view>";
}

std::string benchDocument() {
    std::string views;
    views += "<ui:view name=\"header\" placement=\"top\" height=\"36\" color=\"Caption\" image-set=\"is.frame\""
             " inner-border=\"LR8\" inline-alignment-v=\"center\">";
    for (const char* b : {"Undo", "Redo", "A", "B", "Copy", "Bypass"})
        views += std::string("<ui:view name=\"b") + b + "\" width=\"56\" height=\"24\" color=\"Button\""
                 " image-set=\"is.button\" outer-border=\"R4\"><ui:caption name=\"t\" placement=\"full\""
                 " font-name=\"font.base\" text=\"" + b + "\" text-alignment=\"center\" text-alignment-v=\"center\"/>"
                 "</ui:view>";
    views += "</ui:view>";
    views += "<ui:view name=\"meters\" placement=\"right\" width=\"70\" color=\"MeterBack\" image-set=\"is.levelmeter\""
             " image-set-range=\"Back\" inner-border=\"6\" outer-border=\"L4\">";
    for (int m = 0; m < 4; ++m)
        views += "<ui:view name=\"m" + std::to_string(m) + "\" width=\"12\" height=\"full\" color=\"Meter\""
                 " outer-border=\"R2\" opacity=\"0.8\"/>";
    views += "</ui:view>";
    views += "<ui:textview name=\"status\" placement=\"bottom\" height=\"44\" font-name=\"font.small\""
             " is-text-wrapped=\"true\" color=\"Panel\" inner-border=\"4\" text=\"[B]Status[/B]: the limiter keeps"
             " its peaks under the ceiling; [C1]true peak[/C1] -1.0 dBTP, loudness -9.8 LUFS, gain reduction"
             " 3.2 dB at the loudest passage.\" text-color1=\"Action\"/>";
    for (int g = 0; g < 4; ++g) views += knobGroup(g);
    // Two rows of two groups: the third group starts a new row.
    const size_t third = views.find("<ui:view name=\"group2\"");
    views.insert(third + std::string("<ui:view name=\"group2\"").size(), " is-new-inline-row=\"true\"");
    return "<definitions><core:object name=\"ui\"><core:object name=\"main-window\">"
           "<ui:window-renderer name=\"window-renderer\">"
           "<ui:view name=\"root\" is-root-view=\"true\" width=\"590\" height=\"444\" color=\"Background\""
           " palette=\"palette\" inner-border=\"6\">" +
           views + "</ui:view></ui:window-renderer></core:object></core:object></definitions>";
}

std::unique_ptr<CUiShot> makeEditor(double scale, int workers, benchmark::State& state) {
    ensureApplication();
    auto shot = std::make_unique<CUiShot>();
    CUiShot::Options o;
    o.scale = scale;
    o.workers = workers;
    if (CError e = shot->loadXml(benchDocument(), "bench", o)) {
        state.SkipWithError(e.text().c_str());
        return nullptr;
    }
    if (CError e = shot->render()) state.SkipWithError(e.text().c_str());  // scaled layers cached
    return shot;
}

size_t countViews(const CObject& o) {
    size_t n = dynamic_cast<const CView*>(&o) ? 1 : 0;
    for (const auto& c : o.children()) n += countViews(*c);
    return n;
}

// A full repaint: every sector drawn again (args: scale x 10, workers).
void BM_UiFullFrame(benchmark::State& state) {
    auto shot = makeEditor(state.range(0) / 10.0, int(state.range(1)), state);
    if (!shot) return;
    for (auto _ : state) {
        shot->renderer()->invalidateAll();
        if (CError e = shot->render()) state.SkipWithError(e.text().c_str());
    }
    state.counters["views"] = double(countViews(*shot->root()));
    state.counters["sectors"] = double(shot->renderer()->sectorsLastFrame());
}
BENCHMARK(BM_UiFullFrame)->Args({10, 0})->Args({20, 0})->Args({10, 1})->Args({20, 1})->Unit(benchmark::kMillisecond);

// One knob moves: its image index changes and only its sectors are drawn.
void BM_UiKnobRepaint(benchmark::State& state) {
    auto shot = makeEditor(state.range(0) / 10.0, 0, state);
    if (!shot) return;
    CObject* knob = shot->root()->findObject("ui.main-window.window-renderer.root.group1.cell2.knob");
    if (!knob) {
        state.SkipWithError("no knob");
        return;
    }
    int index = 0;
    for (auto _ : state) {
        index = (index + 7) % 85;
        if (CError e = knob->setAttr("image-set-index", CString::number(int64_t(index)))) state.SkipWithError("set");
        if (CError e = shot->render()) state.SkipWithError(e.text().c_str());
    }
    state.counters["sectors"] = double(shot->renderer()->sectorsLastFrame());
}
BENCHMARK(BM_UiKnobRepaint)->Arg(10)->Arg(20)->Unit(benchmark::kMicrosecond);

// Meters fed at the frame rate: eight stereo bar meters (as the editor's
// input, output and gain-reduction displays) each take a new block of
// values as the protocol delivers it, update their readings and repaint
// their own areas. The counter "core_at_30fps" is the share of one core
// that 30 such frames a second cost.
std::vector<uint8_t> meterBlock(uint64_t frame, double level) {
    CMemoryWriter w;
    (void)w.writeU32(1), (void)w.writeU32(1), (void)w.writeU32(1);
    (void)w.writeString("bench"), (void)w.writeU32(1), (void)w.writeF64(30.0), (void)w.writeU32(1), (void)w.writeU32(0);
    (void)w.writeU32(2), (void)w.writeString("level"), (void)w.writeString("peak");
    (void)w.writeU32(1), (void)w.writeU32(0), (void)w.writeU32(1), (void)w.writeU64(frame);
    (void)w.writeU32(2);
    for (int c = 0; c < 2; ++c) (void)w.writeF64(level * (1.0 - 0.1 * c)), (void)w.writeF64(std::min(1.0, level * 1.8));
    return w.take();
}

void BM_UiMeterUpdate(benchmark::State& state) {
    ensureApplication();
    std::string views;
    for (int m = 0; m < 8; ++m)
        views += "<ui:level-meter name=\"m" + std::to_string(m) +
                 "\" width=\"24\" height=\"300\" min-max=\"ui.range\" zone-yellow=\"-6\" zone-red=\"-1\""
                 " outer-border=\"R4\"><ui:level-meter-listener viz-name=\"bench\" is-inactive-at-start=\"true\"/>"
                 "</ui:level-meter>";
    const std::string doc =
        "<definitions><core:object name=\"ui\"><audio:interface-client name=\"interface-client\"/>"
        "<ui:viz-exchange name=\"viz-exchange\" fps=\"0\"/><ui:min-max name=\"range\" min=\"-60\" max=\"0\"/>"
        "<core:object name=\"main-window\"><ui:window-renderer name=\"window-renderer\">"
        "<ui:view name=\"root\" is-root-view=\"true\" width=\"590\" height=\"444\" color=\"Background\""
        " palette=\"palette\" inner-border=\"6\">" +
        views + "</ui:view></ui:window-renderer></core:object></core:object></definitions>";
    CUiShot shot;
    CUiShot::Options o;
    o.scale = state.range(0) / 10.0;
    o.workers = 0;
    if (CError e = shot.loadXml(doc, "bench-meters", o)) return state.SkipWithError(e.text().c_str());
    if (CError e = shot.render()) return state.SkipWithError(e.text().c_str());
    std::vector<CLevelMeterListener*> listeners;
    for (int m = 0; m < 8; ++m) {
        auto* meter = dynamic_cast<CLevelMeter*>(
            shot.root()->findObject(CString("ui.main-window.window-renderer.root.m" + std::to_string(m))));
        if (!meter) return state.SkipWithError("no meter");
        listeners.push_back(meter->listeners().front());
    }
    // A minute of music-like levels: a slow swell with fast variation.
    std::vector<std::vector<uint8_t>> blocks;
    for (int i = 0; i < 1800; ++i)
        blocks.push_back(meterBlock(uint64_t(i + 1), 0.05 + 0.4 * (0.5 + 0.5 * std::sin(i * 0.05)) *
                                                               (0.7 + 0.3 * std::sin(i * 1.3))));
    size_t i = 0;
    double t = 0;
    for (auto _ : state) {
        t += 1.0 / 30;
        for (CLevelMeterListener* l : listeners)
            if (CError e = l->onData(blocks[i], t)) return state.SkipWithError(e.text().c_str());
        i = (i + 1) % blocks.size();
        if (CError e = shot.render()) return state.SkipWithError(e.text().c_str());
    }
    state.counters["sectors"] = double(shot.renderer()->sectorsLastFrame());
    state.counters["core_at_30fps"] = benchmark::Counter(double(state.iterations()) / 30.0,
                                                         benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_UiMeterUpdate)->Arg(10)->Arg(20)->Unit(benchmark::kMicrosecond);

}  // namespace

namespace {

// An open editor's meters fed by music: the meter section of the editor
// (input and output bar meters, stereo; a gain-reduction bar and its
// scrolling graph) takes the values a stereo mix gives at 30 frames a second
// (peak and RMS of each 1/30 s of a programme of kick, bass, partials and
// noise bursts, gain reduction where it passes -6 dBFS), as the protocol
// delivers them, and repaints what changed. "core_at_30fps" is the share of
// one core the editor spends on it.
std::vector<uint8_t> musicBlock(const char* name, uint64_t frame, const double* level, const double* peak, int channels) {
    CMemoryWriter w;
    (void)w.writeU32(1), (void)w.writeU32(1), (void)w.writeU32(1);
    (void)w.writeString(name), (void)w.writeU32(1), (void)w.writeF64(30.0), (void)w.writeU32(1), (void)w.writeU32(0);
    (void)w.writeU32(2), (void)w.writeString("level"), (void)w.writeString("peak");
    (void)w.writeU32(1), (void)w.writeU32(0), (void)w.writeU32(1), (void)w.writeU64(frame);
    (void)w.writeU32(uint32_t(channels));
    for (int c = 0; c < channels; ++c) (void)w.writeF64(level[c]), (void)w.writeF64(peak[c]);
    return w.take();
}

void BM_UiMeterMusic(benchmark::State& state) {
    ensureApplication();
    const char* meter = "width=\"22\" height=\"300\" min-max=\"ui.range\" zone-yellow=\"-6\" zone-red=\"-1\" outer-border=\"R4\"";
    const std::string doc =
        "<definitions><core:object name=\"ui\"><audio:interface-client name=\"interface-client\"/>"
        "<ui:viz-exchange name=\"viz-exchange\" fps=\"0\"/><ui:min-max name=\"range\" min=\"-48\" max=\"0\"/>"
        "<ui:min-max name=\"gr-range\" min=\"0\" max=\"18\" scale-power=\"1.5\"/>"
        "<core:object name=\"main-window\"><ui:window-renderer name=\"window-renderer\">"
        "<ui:view name=\"root\" is-root-view=\"true\" width=\"590\" height=\"444\" color=\"Background\""
        " palette=\"palette\" inner-border=\"6\">"
        "<ui:level-meter name=\"in\" " + std::string(meter) +
        "><ui:level-meter-listener viz-name=\"in\" is-inactive-at-start=\"true\"/></ui:level-meter>"
        "<ui:level-meter name=\"out\" " + meter +
        "><ui:level-meter-listener viz-name=\"out\" is-inactive-at-start=\"true\"/></ui:level-meter>"
        "<ui:level-meter name=\"gr\" width=\"12\" height=\"300\" min-max=\"ui.gr-range\" zone-yellow=\"0\" zone-red=\"18\""
        " is-inverted=\"true\"><ui:level-meter-listener viz-name=\"gr\" is-inactive-at-start=\"true\"/></ui:level-meter>"
        "<ui:level-meter-graph name=\"gr-graph\" width=\"400\" height=\"120\" min-max=\"ui.gr-range\" is-inverted=\"true\">"
        "<ui:level-meter-listener viz-name=\"gr\" is-inactive-at-start=\"true\"/></ui:level-meter-graph>"
        "</ui:view></ui:window-renderer></core:object></core:object></definitions>";
    CUiShot shot;
    CUiShot::Options o;
    o.scale = 1.0;
    o.workers = 0;
    if (CError e = shot.loadXml(doc, "bench-music-meters", o)) return state.SkipWithError(e.text().c_str());
    if (CError e = shot.render()) return state.SkipWithError(e.text().c_str());
    CLevelMeterListener* listeners[4] = {};
    const char* const names[4] = {"in", "out", "gr", "gr-graph"};
    for (int m = 0; m < 4; ++m) {
        auto* v = dynamic_cast<CLevelMeterBase*>(
            shot.root()->findObject(CString(std::string("ui.main-window.window-renderer.root.") + names[m])));
        if (!v || v->listeners().empty()) return state.SkipWithError("no meter");
        listeners[m] = v->listeners().front();
    }
    // Twenty seconds of a mix at 44.1 kHz, measured per 1/30 s.
    constexpr double kRate = 44100.0, kTau = 6.283185307179586;
    constexpr int kFrame = 1470, kFrames = 600;
    std::vector<std::vector<uint8_t>> blocks[3];
    uint32_t noise = 1;
    double phase = 0;
    for (int f = 0; f < kFrames; ++f) {
        double sum[2] = {}, peak[2] = {}, grPeak = 1.0, grSum = 0;
        for (int i = 0; i < kFrame; ++i) {
            const double t = (double(f) * kFrame + i) / kRate, beat = std::fmod(t, 0.5);
            noise = noise * 1664525u + 1013904223u;
            const double hiss = (double(noise >> 8) / double(1u << 24) - 0.5) * (std::fmod(t, 0.25) < 0.03 ? 0.8 : 0.05);
            const double swell = 0.6 + 0.4 * std::sin(kTau * t / 8.0);
            phase += kTau * 55.0 / kRate;
            const double kick = 1.1 * std::exp(-beat / 0.1) * std::sin(kTau * 50.0 * beat);
            const double bass = 0.35 * swell * std::sin(phase), keys = 0.2 * swell * std::sin(phase * 8.02 + 0.3);
            const double x[2] = {kick + bass + keys + hiss, kick + bass - keys - hiss};
            for (int c = 0; c < 2; ++c) {
                sum[c] += x[c] * x[c];
                peak[c] = std::max(peak[c], std::fabs(x[c]));
                const double over = std::fabs(x[c]) / 0.5;  // a -6 dBFS ceiling
                grPeak = std::max(grPeak, over);
                grSum += std::max(1.0, over * over);
            }
        }
        double rms[2], outRms[2], outPeak[2];
        for (int c = 0; c < 2; ++c) {
            rms[c] = std::sqrt(sum[c] / kFrame);
            outPeak[c] = std::min(peak[c], 0.5);
            outRms[c] = rms[c] * outPeak[c] / std::max(peak[c], 1e-9);
        }
        const double grLevel = std::sqrt(grSum / (2 * kFrame));
        blocks[0].push_back(musicBlock("in", uint64_t(f + 1), rms, peak, 2));
        blocks[1].push_back(musicBlock("out", uint64_t(f + 1), outRms, outPeak, 2));
        blocks[2].push_back(musicBlock("gr", uint64_t(f + 1), &grLevel, &grPeak, 1));
    }
    size_t i = 0;
    double t = 0;
    for (auto _ : state) {
        t += 1.0 / 30;
        for (int m = 0; m < 4; ++m)
            if (CError e = listeners[m]->onData(blocks[m < 2 ? m : 2][i], t)) return state.SkipWithError(e.text().c_str());
        i = (i + 1) % size_t(kFrames);
        if (CError e = shot.render()) return state.SkipWithError(e.text().c_str());
    }
    state.counters["core_at_30fps"] = benchmark::Counter(double(state.iterations()) / 30.0,
                                                         benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_UiMeterMusic)->Unit(benchmark::kMicrosecond);

}  // namespace
