// The mode editor and graphs windows and the out/in read-out of the product's
// editor on a real instance: every pop-up builds, a knob of the mode editor
// changes its parameter and the sound and marks the mode as edited, the
// graphs follow the music and stop their taps when closed, and the out/in
// read-out shows the output's level over the input's.
#include <algorithm>
#include <cmath>
#include <functional>
#include <string>
#include <tuple>
#include <vector>

#include "Tests/UI/EditorDocumentFixture.h"
#include "UI/Controls/Knob.h"
#include "UI/Meters/LevelMeterGraph.h"
#include "UI/Meters/VizExchange.h"
#include "UI/Presets/QuickPresetSelector.h"
#include "UI/Window/WindowOpener.h"
#include "UI/Window/WindowResizer.h"
#include "Tests/Support/StereoSignal.h"

namespace {

constexpr double kRate = 44100.0;
const char* const kModeParams = "plugin.modMain.modTamblor.mode-params.";

// The stored value of a gain (a factor) in dB.
double gainOf(double db) { return std::pow(10.0, db / 20.0); }

// A sine with a loud burst every 100 ms: music with transients, periodic
// over 4410 samples.
constexpr int kPunchyPeriod = 4410;
double punchy(int64_t n) {
    const int64_t k = n % kPunchyPeriod;
    const double tone = 0.3 * std::sin(2 * M_PI * double(k) / 100.0);
    return k < 300 ? tone + 0.6 * std::sin(2 * M_PI * double(k) / 30.0) : tone;
}

class EditorWindows : public uitest::EditorDocument {
protected:
    // Opens the editor with the default preset at 1X (quick) and finds its opener.
    void openEditor(double scale = 1.0, const std::string& text = documentText()) {
        ASSERT_TRUE(master().activateDefaultPreset().ok());
        const CError e = open(scale, text);
        ASSERT_FALSE(e) << e.text();
        setParam("quality-bridge", 1);
        m_opener = dynamic_cast<CWindowOpener*>(m_ui->root->findObject("ui.window-shared-data.window-opener"));
        ASSERT_NE(m_opener, nullptr);
        m_exchange = dynamic_cast<CVizExchange*>(m_ui->root->findObject("ui.viz-exchange"));
        ASSERT_NE(m_exchange, nullptr);
    }
    // Presses a main-window button and returns the pop-up it toggled open.
    CObject* press(const std::string& button, const char* windowTag) {
        CEventParams none;
        EXPECT_FALSE(view(button)->runEvent("mouse-release", none)) << button;
        pumpUi();
        return m_opener->findPopup(windowTag);
    }
    // A view of a pop-up by its path under the root view ("": the root).
    template <class T = CView>
    static T* in(CObject* popup, const std::string& path) {
        return dynamic_cast<T*>(popup->findObject(CString(".window-renderer.root" + (path.empty() ? "" : "." + path))));
    }
    // Runs `seconds` of a signal, the editor polling the taps every
    // `pollEvery` seconds (graphs keep the frames between two polls) and at
    // the end.
    void run(CStereoSignal& s, double seconds, double pollEvery = 0.25) {
        const int blocks = int(std::ceil(seconds * kRate / s.frames()));
        const int every = std::max(1, int(pollEvery * kRate / s.frames()));
        for (int i = 0; i < blocks; ++i) {
            s.process(*core());
            if (i % every == every - 1 || i == blocks - 1) {
                ASSERT_FALSE(m_exchange->poll());
                pumpUi();
            }
        }
    }
    // Output energy of `periods` whole periods of the punchy signal (blocks
    // of a tenth of its period), after `settle` periods for the limiter to
    // settle.
    double steadyEnergy(CStereoSignal& s, int settle, int periods) {
        EXPECT_EQ(s.frames() * 10, kPunchyPeriod);
        for (int i = 0; i < settle * 10; ++i) s.process(*core());
        double e = 0;
        for (int i = 0; i < periods * 10; ++i) e += s.process(*core());
        return e;
    }
    static double modeValue(const char* name) { return value((std::string(kModeParams) + name).c_str()); }

    CWindowOpener* m_opener = nullptr;
    CVizExchange* m_exchange = nullptr;
};

TEST_F(EditorWindows, EveryPopUpWindowBuildsWithoutALookupError) {
    openEditor();
    const std::vector<std::string> windows = uitest::windowTemplates(documentText());
    EXPECT_GE(windows.size(), 8u);
    for (const char* w : {"ui:win-mode-editor", "ui:win-graphs"})
        EXPECT_NE(std::find(windows.begin(), windows.end(), w), windows.end()) << w;
    for (const std::string& w : windows) {
        // A drop-down list belongs to the selector that opens it.
        const CString from = CString(uitest::kMainRoot) +
                             (w == "ui:window-app-popup-list" ? "title-frame.top-row.mode" : "title-frame");
        const CError e = m_opener->openWindow(CString(w), from, false);
        ASSERT_FALSE(e) << w << ": " << e.text();
        CObject* popup = m_opener->findPopup(CString(w));
        ASSERT_NE(popup, nullptr) << w;
        CWindowRenderer* r = kelFindRenderer(popup);
        ASSERT_NE(r, nullptr) << w;
        const CError drawn = r->render();
        EXPECT_FALSE(drawn) << w << ": " << drawn.text();
        // Opening again closes it.
        ASSERT_FALSE(m_opener->openWindow(CString(w), from, false)) << w;
        EXPECT_EQ(m_opener->findPopup(CString(w)), nullptr) << w;
    }
}

TEST_F(EditorWindows, AModeEditorKnobChangesItsParameterAndTheSoundAndMarksTheMode) {
    openEditor();
    setParam("ingain-bridge", gainOf(9));
    CObject* editor = press("title-frame.top-row.mode-options", "ui:win-mode-editor");
    ASSERT_NE(editor, nullptr) << "the options button opens the mode editor";
    auto* mode = view<CQuickPresetSelector>("title-frame.top-row.mode");
    ASSERT_NE(mode, nullptr);
    const CString name0 = mode->attr("text");
    ASSERT_FALSE(name0.empty());
    EXPECT_EQ(in(editor, "body.mode-name")->attr("text"), name0);

    CStereoSignal s(punchy, kPunchyPeriod / 10);
    const double before = steadyEnergy(s, 5, 4);
    EXPECT_NEAR(steadyEnergy(s, 0, 4), before, 2e-3 * before) << "a steady output, nearly the same period after period";
    // Drag the attack knob up by one drag shift.
    auto* knob = in<CKnob>(editor, "body.transient.trans-time.knob");
    ASSERT_NE(knob, nullptr);
    const double t0 = modeValue("trans-time");
    for (const auto& [event, y] : {std::pair{"mouse-press", 30}, {"mouse-move", -70}, {"mouse-release", -70}}) {
        CEventParams p{{"x", "20"}, {"y", CString::number(int64_t(y))}};
        ASSERT_FALSE(knob->runEvent(event, p)) << event;
    }
    pumpUi();
    const double t1 = modeValue("trans-time");
    EXPECT_GT(t1, t0 + 0.0005) << "one drag shift moves the attack (seconds) a good part of its range";
    EXPECT_EQ(in(editor, "body.transient.trans-time.readout")->attr("text"),
              param("plugin.modMain.modTamblor.mode-params.trans-time")->info().valueToText(0, t1));
    const double after = steadyEnergy(s, 5, 4);
    EXPECT_GT(std::abs(after - before), 0.05 * before) << "the longer attack changes the limiting";

    // The mode now shows as edited, once however many edits follow; a
    // selector edits the mode as well.
    const CString marked = name0 + " *";
    EXPECT_EQ(mode->attr("text"), marked);
    EXPECT_EQ(in(editor, "body.mode-name")->attr("text"), marked);
    // The drag and the mark are one undo step.
    CEventParams none;
    ASSERT_FALSE(view("buttons.history.button-undo")->runEvent("mouse-release", none));
    pumpUi();
    EXPECT_EQ(modeValue("trans-time"), t0);
    EXPECT_EQ(mode->attr("text"), name0);
    ASSERT_FALSE(view("buttons.history.button-redo")->runEvent("mouse-release", none));
    pumpUi();
    EXPECT_EQ(modeValue("trans-time"), t1);
    EXPECT_EQ(mode->attr("text"), marked);
    auto* form = in(editor, "body.transient.trans-form.switch");
    ASSERT_NE(form, nullptr);
    const double f0 = modeValue("trans-form");
    ASSERT_FALSE(form->runEvent("mouse-release", none));
    pumpUi();
    EXPECT_NE(modeValue("trans-form"), f0);
    EXPECT_EQ(mode->attr("text"), marked);

    // Choosing a mode preset brings its own name back, unmarked.
    ASSERT_GE(mode->indexOf(name0), 0) << name0.utf8() << " is a mode preset";
    ASSERT_FALSE(mode->select(name0));
    pumpUi();
    EXPECT_EQ(mode->attr("text"), name0);
    EXPECT_EQ(modeValue("trans-time"), t0);
}

TEST_F(EditorWindows, TheModeEditorGreysOutWhatTheAlgorithmDoesNotUse) {
    openEditor();
    CObject* editor = press("title-frame.top-row.mode-options", "ui:win-mode-editor");
    ASSERT_NE(editor, nullptr);
    auto blocked = [&](const char* path) {
        CView* v = in(editor, std::string("body.") + path);
        EXPECT_NE(v, nullptr) << path;
        return v && v->isBlocked();
    };
    const char* const transient[] = {"transient.trans-time.knob", "transient.trans-form.switch",
                                     "transient.trans-shape.readout"};
    const char* const tbOnly[] = {"transient.knee.knob", "timing-row.timing.readout", "timing-row.release-ratio.knob",
                                  "timing-row.release-shape.knob", "timing-row.tbaigc.switch"};
    // Mode values: 0 Clip, 1-4 AIGC, 5-7 TB-1, TB UNI, TB-4, 8 TB-C, 9 TB INS.
    for (int mode : {0, 2, 6, 9}) {
        setParam("lim-mode-bridge", mode);
        for (const char* v : transient) EXPECT_EQ(blocked(v), mode == 0) << "mode " << mode << ": " << v;
        for (const char* v : tbOnly) EXPECT_EQ(blocked(v), mode < 5 || mode > 7) << "mode " << mode << ": " << v;
        EXPECT_EQ(blocked("timing-row.drc-type.switch"), mode > 7) << "mode " << mode;
        EXPECT_FALSE(blocked("transient.chlink.knob")) << "mode " << mode;
    }
}

TEST_F(EditorWindows, GraphsFollowTheMusicAndStopTheirTapsWhenClosed) {
    openEditor();
    setParam("ingain-bridge", gainOf(12));
    setParam("graphmode-bridge", 0);
    CObject* graphs = press("title-frame.meters.meter-side.graphs", "ui:win-graphs");
    ASSERT_NE(graphs, nullptr) << "the Graphs button opens the graphs";
    auto* gr = in<CLevelMeterGraph>(graphs, "graph.gr-graph");
    auto* wave = in<CLevelMeterGraph>(graphs, "graph.wave-graph");
    ASSERT_TRUE(gr && wave);
    const char* const waveTap = "plugin.modMain.modStatsWaveIn-enable";
    EXPECT_TRUE(gr->isShown());
    EXPECT_FALSE(wave->isShown());
    EXPECT_EQ(value(waveTap), 0) << "the hidden waveform graph runs no tap";

    CWindowRenderer* r = kelFindRenderer(graphs);
    ASSERT_FALSE(r->render());
    const CBitmap32 empty = r->backBuffer();

    CStereoSignal s(punchy);
    run(s, 1.0);
    const std::vector<double> reduction = gr->values();
    ASSERT_FALSE(reduction.empty());
    EXPECT_GT(*std::max_element(reduction.begin(), reduction.end()), 3.0) << "limiting +12 dB shows in the graph";
    // And is drawn: the rows of 3 dB and more of reduction (from the top)
    // changed in the newest second's columns.
    ASSERT_FALSE(r->render());
    const CRectD box = gr->area().inner;
    int changed = 0;
    const int y3 = int(box.y + box.h * 3 / 24);
    for (int x = int(box.x + box.w * 0.6); x < int(box.x + box.w * 0.9); ++x)
        changed += r->backBuffer().at(x, y3) != empty.at(x, y3);
    EXPECT_GT(changed, int(box.w * 0.1)) << "columns reach 3 dB in the newest part of the graph";

    setParam("graphmode-bridge", 1);
    EXPECT_FALSE(gr->isShown());
    EXPECT_TRUE(wave->isShown());
    EXPECT_EQ(value(waveTap), 1);
    run(s, 1.0);
    const std::vector<CLevelMeterGraph::Span> spans = wave->spans();
    ASSERT_FALSE(spans.empty());
    double inPeak = 0, outPeak = 0;
    for (const CLevelMeterGraph::Span& sp : spans) {
        inPeak = std::max({inPeak, -sp[0], sp[1]});
        outPeak = std::max({outPeak, -sp[2], sp[3]});
    }
    EXPECT_NEAR(inPeak, 0.9, 0.05) << "the input's extremes";
    EXPECT_GT(outPeak, 0.5) << "the output, raised by the In Gain and held under the ceiling";
    EXPECT_LT(outPeak, 1.1);
    ASSERT_FALSE(m_ui->renderer->render());

    // The window's size is kept in the instance, within its bounds.
    auto* resizer = dynamic_cast<CWindowResizer*>(graphs->findObject(".window-renderer.window-resizer"));
    ASSERT_NE(resizer, nullptr);
    ASSERT_FALSE(resizer->requestSize(720, 100));
    ASSERT_FALSE(resizer->applyPending());
    pumpUi();
    const char* const size = "plugin.modMain.modTamblor.graph-window-size";
    EXPECT_EQ(value(size, 0, 0), 720);
    EXPECT_EQ(value(size, 0, 1), 220) << "held at the least height";
    ASSERT_FALSE(kelFindRenderer(graphs)->render());
    EXPECT_NEAR(in(graphs, "")->area().total.w, 720, 1);

    // Closing the window stops its taps.
    EXPECT_EQ(press("title-frame.meters.meter-side.graphs", "ui:win-graphs"), nullptr);
    EXPECT_EQ(value(waveTap), 0);
}

TEST_F(EditorWindows, OutInReadsTheOutputLevelOverTheInputLevel) {
    openEditor();
    // -6 dB of output gain on a quiet sine: no limiting, the output 6 dB down.
    setParam("ingain-bridge", gainOf(0));
    setParam("outgain-bridge", gainOf(-6));
    CStereoSignal s([](int64_t n) { return 0.1 * std::sin(2 * M_PI * 1000.0 * double(n) / kRate); });
    // The reading averages over 3 seconds: what the tests before played
    // takes some 8 seconds to fade from it.
    run(s, 10.0, 10.0);
    double shown = 0;
    const CString text = view("title-frame.meters.meter-side.out-in")->attr("text");
    ASSERT_TRUE(text.substr(0, text.find(u' ')).toDouble(&shown)) << text.utf8();
    EXPECT_NEAR(shown, -6.0, 0.2) << text.utf8();
    EXPECT_TRUE(text.utf8().ends_with(" dB")) << text.utf8();
}

// The new windows lay out without overlaps or cuts from 1.0 to 2.0 and match
// their pictures at 1.0 and 2.0 (mode-editor@SCALE.png, graphs@SCALE.png).
TEST_F(EditorWindows, ModeEditorAndGraphsLayOutAndMatchTheirGoldenImages) {
    // No polling: the graphs stay empty whatever the tests before played.
    const std::string text = documentText([](std::string& t) {
        const std::string from = "<ui:viz-exchange name=\"viz-exchange\"/>";
        const size_t at = t.find(from);
        ASSERT_NE(at, std::string::npos);
        t.replace(at, from.size(), "<ui:viz-exchange name=\"viz-exchange\" fps=\"0\"/>");
    });
    for (double scale : {1.0, 1.25, 1.5, 2.0}) {
        openEditor(scale, text);
        setParam("graphmode-bridge", 0);
        for (const auto& [button, tag, picture] :
             {std::tuple{"title-frame.top-row.mode-options", "ui:win-mode-editor", "mode-editor"},
              {"title-frame.meters.meter-side.graphs", "ui:win-graphs", "graphs"}}) {
            CObject* popup = press(button, tag);
            ASSERT_NE(popup, nullptr) << tag;
            CWindowRenderer* r = kelFindRenderer(popup);
            ASSERT_NE(r, nullptr);
            ASSERT_FALSE(r->render());
            CView* root = in(popup, "");
            ASSERT_NE(root, nullptr);
            int checked = 0;
            uitest::expectNothingOverlapsOrIsCut(root, scale, &checked);
            EXPECT_GT(checked, 5) << tag;
            if (scale == 1.0 || scale == 2.0)
                uitest::expectMatchesGolden(r->backBuffer(),
                                            std::string(picture) + "@" + CString::number(scale, 1).utf8() + ".png");
        }
        m_ui.reset();
    }
}

}  // namespace
