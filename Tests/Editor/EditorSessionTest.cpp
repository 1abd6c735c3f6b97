// Scripted sessions on the shipped editor under Xvfb: music plays through
// the instance while XTEST input works the editor, and the sound, the
// parameters the host reads back and the picture must follow. The scripts
// settle by the audio played ("play MS"), not by the clock, so that a busy
// machine changes nothing. Then the
// keyboard alone: Tab walks every control of the main window.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "Tests/Editor/EditorTestSupport.h"

namespace {
// Places in the 590 x 444 editor (window pixels at scale 1).
constexpr int kBypassX = 29, kBypassY = 20;     // the title bar's first switch (26 x 20)
constexpr int kPresetsX = 137, kPresetsY = 52;  // "Presets" in the button row
constexpr int kEvalX = 286, kEvalY = 107;       // "Eval", top left of the limiter panel
constexpr int kInGainX = 311, kInGainY = 351;   // the In Gain knob's centre
// The mode selector's title (95 x 20 right of "Mode").
constexpr int kModeX = 363, kModeY = 98, kModeW = 95, kModeH = 20;
// The gain-reduction meter's bar (22 x 146 beside the output meter).
constexpr int kGrX = 340, kGrY = 108, kGrW = 22, kGrH = 146;

struct Levels {
    double inPeak = 0, outPeak = 0, inRms = 0, outRms = 0;
};

// Every "levels" line of the run, in order.
std::vector<Levels> levels(const EditorRun& r) {
    std::vector<Levels> out;
    for (const std::string& v : r.values("levels")) {
        Levels l;
        if (std::sscanf(v.c_str(), "%lf %lf %lf %lf", &l.inPeak, &l.outPeak, &l.inRms, &l.outRms) == 4) out.push_back(l);
    }
    return out;
}

// The values of "param TITLE V" lines for one title, in order.
std::vector<double> params(const EditorRun& r, const std::string& title) {
    std::vector<double> out;
    for (const std::string& v : r.values("param"))
        if (v.rfind(title + " ", 0) == 0) out.push_back(std::atof(v.c_str() + title.size() + 1));
    return out;
}

EditorRun runSession(const std::string& body) {
    const std::string script = writeScript(body);
    EditorRun r = runEditor({"--frames", "3", "--music", "--script", script});
    std::remove(script.c_str());
    return r;
}

std::string at(const char* verb, int x, int y) {
    return std::string(verb) + " " + std::to_string(x) + " " + std::to_string(y) + "\n";
}

// Pixels that differ between two pictures inside a rectangle.
int differing(const PngImage& a, const PngImage& b, int x0, int y0, int w, int h) {
    int n = 0;
    for (int y = y0; y < y0 + h; ++y)
        for (int x = x0; x < x0 + w; ++x) n += a.at(x, y) != b.at(x, y);
    return n;
}
}  // namespace

// The preset manager opens from the button row; a double click on a factory
// preset of the factory bank loads it. "Masters Punch +6dB" raises In Gain to
// +6 dB: the host reads the new value back and the music comes out louder
// against its input, under the ceiling.
TEST(Sessions, FactoryPresetFromTheManagerChangesTheSound) {
    const EditorRun r = runSession("play 500\nlevels\nparam-text InGain\n" + at("click", kPresetsX, kPresetsY) +
                                   "await-windows 1 Presets\n"
                                   "click-window 50 37 Presets\nplay 100\n"  // the factory bank
                                   "dblclick-window 250 161 Presets\nplay 300\n"  // its ninth preset
                                   "levels\nplay 500\nlevels\nparam-text InGain\n");
    ASSERT_EQ(r.status, 0) << r.errors;
    const std::vector<std::string> texts = r.values("param-text");
    ASSERT_EQ(texts.size(), 2u) << r.errors;
    EXPECT_EQ(texts[0], "InGain 0.00");
    EXPECT_EQ(texts[1], "InGain 6.00");
    const std::vector<Levels> l = levels(r);
    ASSERT_EQ(l.size(), 3u);
    EXPECT_NEAR(l[0].outRms, l[0].inRms, 0.5) << "the default preset: as loud as the input";
    EXPECT_GT(l[2].outRms, l[2].inRms + 3.0) << "louder after the preset";
    EXPECT_LE(l[2].outPeak, 0.05) << "and still under the ceiling";
}

// In Gain turned up by a drag and the wheel, with music playing: the
// limiter takes more off, the gain-reduction meter shows it, and the output
// peak stays at the ceiling.
TEST(Sessions, InGainDrivesTheGainReductionMeter) {
    const std::string before = tempPath(".png"), after = tempPath(".png");
    const EditorRun r = runSession("play 600\nlevels\nscreenshot " + before + "\n" + at("move", kInGainX, kInGainY) +
                                   "drag 311 380 311 300\nwheel up\nwheel up\nplay 600\nlevels\nplay 400\n"
                                   "screenshot " + after + "\nlevels\nparam InGain\n");
    ASSERT_EQ(r.status, 0) << r.errors;
    const std::vector<double> gain = params(r, "InGain");
    ASSERT_EQ(gain.size(), 1u);
    EXPECT_GT(gain[0], 9.0 / 27.0) << "more than +6 dB";
    const std::vector<Levels> l = levels(r);
    ASSERT_EQ(l.size(), 3u);
    // What comes out is louder against what goes in, and held at the ceiling.
    EXPECT_NEAR(l[0].outRms, l[0].inRms, 0.5);
    EXPECT_GT(l[2].outRms, l[2].inRms + 4.0);
    EXPECT_LE(l[2].outPeak, 0.05);
    PngImage a, b;
    ASSERT_TRUE(readPng(before, &a) && readPng(after, &b));
    EXPECT_GT(differing(a, b, kGrX, kGrY, kGrW, kGrH), kGrW * 10) << "the meter's bar grew by more than 10 pixels";
    std::remove(before.c_str());
    std::remove(after.c_str());
}

// Bypass: the host reads the switch back and the output is the input.
// Eval: the output is brought to the input's loudness while In Gain pushes
// it up, and back when it is switched off.
TEST(Sessions, BypassAndEvalSwitchTheSound) {
    const std::string click = at("click", kBypassX, kBypassY), eval = at("click", kEvalX, kEvalY);
    // Each state settles, then its levels are read (the first reading of each pair is the settling).
    const EditorRun r = runSession("automate InGain 0.4444\nplay 400\nlevels\nplay 300\nlevels\nparam Bypass\n" + click +
                                   "play 200\nlevels\nplay 300\nlevels\nparam Bypass\n" + click +
                                   "play 100\nparam Bypass\n" + eval + "play 600\nlevels\nplay 400\nlevels\n" + eval +
                                   "play 500\nlevels\nplay 300\nlevels\n");
    ASSERT_EQ(r.status, 0) << r.errors;
    const std::vector<double> bypass = params(r, "Bypass");
    ASSERT_EQ(bypass.size(), 3u);
    EXPECT_EQ(bypass[0], 0.0);
    EXPECT_EQ(bypass[1], 1.0);
    EXPECT_EQ(bypass[2], 0.0);
    const std::vector<Levels> l = levels(r);
    ASSERT_EQ(l.size(), 8u);
    const Levels& limited = l[1];
    const Levels& bypassed = l[3];
    const Levels& evaluated = l[5];
    const Levels& back = l[7];
    EXPECT_GT(limited.outRms, limited.inRms + 3.0) << "In Gain +9 dB into the limiter";
    EXPECT_NEAR(bypassed.outRms, bypassed.inRms, 0.2) << "bypassed: the input comes through";
    EXPECT_NEAR(bypassed.outPeak, bypassed.inPeak, 0.2);
    EXPECT_NEAR(evaluated.outRms, evaluated.inRms, 1.5) << "Eval matches the output's loudness to the input's";
    EXPECT_GT(back.outRms, back.inRms + 3.0) << "Eval off: loud again";
}

// The mode selector, reached from In Gain by Shift+Tab (past Graphs, the
// Release switch and the options button), opens its drop-down with Space;
// Down and Return choose the next mode: the host reads another limiting mode
// back and the selector shows the new mode's name.
TEST(Sessions, ModeSelectorSwitchesTheMode) {
    const std::string before = tempPath(".png"), after = tempPath(".png");
    const EditorRun r = runSession("wait 200\nparam-text Mode\n" + at("click", kInGainX, kInGainY) +
                                   "await-focus\nmove 600 400\nwait 50\n"
                                   "key Shift_L+Tab\nkey Shift_L+Tab\nkey Shift_L+Tab\nkey Shift_L+Tab\n"
                                   "wait 100\nscreenshot " + before + "\n"
                                   "key space\nawait-windows 1 List\nkey Down\nkey Return\nawait-windows 0 List\n"
                                   "wait 300\nparam-text Mode\nscreenshot " + after + "\n");
    ASSERT_EQ(r.status, 0) << r.errors;
    const std::vector<std::string> modes = r.values("param-text");
    ASSERT_EQ(modes.size(), 2u) << r.errors;
    EXPECT_NE(modes[1], modes[0]);
    PngImage a, b;
    ASSERT_TRUE(readPng(before, &a) && readPng(after, &b));
    EXPECT_GT(differing(a, b, kModeX, kModeY, kModeW, kModeH), 20) << "the selector shows the new mode";
    std::remove(before.c_str());
    std::remove(after.c_str());
}

namespace {
// The host's parameter titles by id ("param-id-of TITLE ID").
std::map<unsigned, std::string> titlesById(const EditorRun& r) {
    std::map<unsigned, std::string> out;
    for (const std::string& v : r.values("param-id-of")) {
        char title[64] = {};
        unsigned id = 0;
        if (std::sscanf(v.c_str(), "%63s %u", title, &id) == 2) out[id] = title;
    }
    return out;
}

// The parameters the view edited, in order, repeats of one in a row as one.
std::vector<std::string> editedInOrder(const EditorRun& r) {
    const std::map<unsigned, std::string> titles = titlesById(r);
    std::vector<std::string> out;
    for (const std::string& l : r.linesWith("perform ")) {
        unsigned id = 0;
        if (std::sscanf(l.c_str(), "perform %u", &id) != 1) continue;
        const auto it = titles.find(id);
        const std::string t = it == titles.end() ? std::to_string(id) : it->second;
        if (out.empty() || out.back() != t) out.push_back(t);
    }
    return out;
}
}  // namespace

// A click on the In Gain knob gives it the keys (the editor asks its
// embedder for them); then Tab alone walks the main window, and Up at each
// stop moves what is there. Every host parameter of the window comes by in
// the order of the window (limiter, DC filter, dithering, statistics, then
// the title bar and the button row, each with its bypass and oversampling
// switches) and the walk comes back to In Gain. Escape
// gives the keys back to the host.
TEST(Keys, TabWalksEveryControlOfTheMainWindow) {
    std::string body = "param-ids\n" + at("click", kInGainX, kInGainY) + "await-focus\nmove 600 400\nwait 50\nkey Up\n";
    for (int i = 0; i < 50; ++i) body += "key Tab\nkey Up\n";
    body += "wait 100\nhost-key Return\nkey Escape\nwait 50\nhost-key Return\n";
    const std::string script = writeScript(body);
    const EditorRun r = runEditor({"--frames", "3", "--script", script});
    std::remove(script.c_str());
    ASSERT_EQ(r.status, 0) << r.errors;
    EXPECT_GE(r.number("keys-forwarded"), 80);
    const std::vector<std::string> edited = editedInOrder(r);
    std::string seen;
    for (const std::string& t : edited) seen += t + " ";
    // Release comes by when its switch is on; the walk turns the switch on near its end.
    const std::vector<std::string> expected = {"InGain",  "OutGain", "DCEnabl", "DCFreq",  "DCType",
                                               "DithEnb", "DithBit", "DithTyp", "DithShp", "Meterin",
                                               "Bypass",  "Oversmp", "Bypass",  "Oversmp", "RlsEnab",
                                               "InGain"};
    std::vector<std::string> withoutRelease;
    for (const std::string& t : edited)
        if (t != "Release") withoutRelease.push_back(t);
    ASSERT_GE(withoutRelease.size(), expected.size()) << seen;
    EXPECT_EQ(std::vector<std::string>(withoutRelease.begin(), withoutRelease.begin() + std::ptrdiff_t(expected.size())),
              expected)
        << seen;
    const std::vector<std::string> keys = r.values("host-key");
    ASSERT_EQ(keys.size(), 2u);
    EXPECT_EQ(keys[0], "Return 1") << "a focused control takes the host's keys that operate it";
    EXPECT_EQ(keys[1], "Return 0") << "after Escape they are the host's";
}

// The keys of the focused controls: Page Up raises the knob ten steps and
// Delete brings its default back; Space and Enter press a switch (Bypass,
// reached by Tab, wearing the focus ring).
TEST(Keys, KeysOperateTheFocusedControls) {
    // From In Gain to Bypass with the DC filter and dithering off (their
    // gated controls are skipped): the read-out, Out Gain and its read-out,
    // Release and its read-out, the two enable switches, the metering type,
    // Bypass.
    const std::string plain = tempPath(".png"), ringed = tempPath(".png");
    std::string body = "screenshot " + plain + "\n" + at("click", kInGainX, kInGainY) +
                       "await-focus\nmove 600 400\nwait 50\n"
                       "key Prior\nwait 50\nparam InGain\nkey Delete\nwait 50\nparam InGain\n";
    for (int i = 0; i < 10; ++i) body += "key Tab\n";
    body += "wait 50\nscreenshot " + ringed + "\nparam Bypass\nkey space\nwait 100\nparam Bypass\nkey Return\n"
            "wait 100\nparam Bypass\n";
    const std::string script = writeScript(body);
    const EditorRun r = runEditor({"--frames", "3", "--script", script});
    std::remove(script.c_str());
    ASSERT_EQ(r.status, 0) << r.errors;
    PngImage a, b;
    ASSERT_TRUE(readPng(plain, &a) && readPng(ringed, &b));
    // The focused switch wears a ring: its edges change, its middle does not.
    EXPECT_GT(differing(a, b, kBypassX - 13, kBypassY - 10, 26, 20), 40);
    EXPECT_EQ(differing(a, b, kBypassX - 8, kBypassY - 5, 16, 10), 0);
    std::remove(plain.c_str());
    std::remove(ringed.c_str());
    const std::vector<double> gain = params(r, "InGain");
    ASSERT_EQ(gain.size(), 2u);
    EXPECT_GT(gain[0], 3.0 / 27.0 + 0.02) << "above 0 dB";
    EXPECT_NEAR(gain[1], 3.0 / 27.0, 1e-4) << "0 dB, the default";
    const std::vector<double> bypass = params(r, "Bypass");
    ASSERT_EQ(bypass.size(), 3u);
    EXPECT_EQ(bypass[0], 0.0);
    EXPECT_EQ(bypass[1], 1.0);
    EXPECT_EQ(bypass[2], 0.0);
}
