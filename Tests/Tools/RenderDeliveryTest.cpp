// tamblor-render's delivery features end to end: loudness targets, albums,
// folders of files rendered side by side, and the plot of a render.
#include <cairo.h>
#include <ebur128.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "RenderTestSupport.h"
#include "Tools/Render/Plot.h"

namespace {

using namespace rendertest;

constexpr int kRate = 48000;

// Deterministic noise in [-1, 1).
class CNoise {
public:
    explicit CNoise(uint64_t seed) : m_state(seed * 0x9E3779B97F4A7C15ull + 1) {}
    double next() {
        m_state ^= m_state << 13;
        m_state ^= m_state >> 7;
        m_state ^= m_state << 17;
        return double(m_state >> 11) * (2.0 / 9007199254740992.0) - 1.0;
    }

private:
    uint64_t m_state;
};

enum class Kind { Music, Speech, Classical };

// Programmes of a few seconds, stereo, interleaved, each after 100 ms of
// silence as a file starts: a dense mix with hard transients, speech-like
// syllables with pauses, and a quiet, slowly swelling chord.
std::vector<double> programme(Kind kind, double seconds, uint64_t seed, double gain = 1.0) {
    const auto frames = size_t(seconds * kRate), lead = size_t(0.1 * kRate);
    std::vector<double> x(2 * frames, 0.0);
    CNoise noise(seed);
    double phase[8] = {};
    for (size_t i = lead; i < frames; ++i) {
        const double t = double(i - lead) / kRate;
        double l = 0, r = 0;
        if (kind == Kind::Music) {
            const double inBeat = std::fmod(t, 0.5);
            phase[0] += 2 * M_PI * (45.0 + 110.0 * std::exp(-inBeat * 30.0)) / kRate;
            const double kick = std::sin(phase[0]) * std::exp(-inBeat * 7.0);
            const double hat = 0.25 * noise.next() * std::exp(-std::fmod(t, 0.25) * 50.0);
            phase[1] += 2 * M_PI * 55.0 / kRate;
            const double bass = 0.35 * std::tanh(2.0 * std::sin(phase[1]));
            double pad = 0;
            for (int k = 0; k < 3; ++k) {
                phase[2 + k] += 2 * M_PI * (220.0 * (1 + 0.26 * k)) / kRate;
                pad += 0.08 * std::sin(phase[2 + k]);
            }
            l = 0.6 * kick + bass + hat + pad;
            r = 0.6 * kick + bass - hat + 0.8 * pad;
        } else if (kind == Kind::Speech) {
            const double inSyllable = std::fmod(t, 0.23);
            const bool pause = std::fmod(t, 1.6) > 1.2;
            const double env = pause || inSyllable > 0.15 ? 0.0 : std::sin(M_PI * inSyllable / 0.15);
            const double f0 = 120.0 * (1.0 + 0.1 * std::sin(2 * M_PI * 0.7 * t));
            phase[0] += 2 * M_PI * f0 / kRate;
            double v = 0;
            for (int h = 1; h <= 20; ++h) {  // harmonics under two formants
                const double f = h * f0;
                const double formants = std::exp(-std::pow((f - 700) / 250, 2)) + 0.6 * std::exp(-std::pow((f - 1200) / 300, 2));
                v += (0.15 / h + formants * 0.25) * std::sin(h * phase[0]);
            }
            l = r = env * (0.8 * v + 0.02 * noise.next());
        } else {
            const double swell = 0.3 + 0.7 * std::pow(std::sin(M_PI * t / seconds), 2);
            const double notes[4] = {196.0, 246.9, 293.7, 392.0};
            for (int k = 0; k < 4; ++k) {
                phase[k] += 2 * M_PI * notes[k] / kRate;
                const double v = 0.04 * swell * (std::sin(phase[k]) + 0.3 * std::sin(2 * phase[k]));
                l += v * (0.6 + 0.1 * k);
                r += v * (0.9 - 0.1 * k);
            }
        }
        x[2 * i] = gain * l;
        x[2 * i + 1] = gain * r;
    }
    return x;
}

void writeProgramme(const std::string& path, const std::vector<double>& x) {
    writeAudio(path, kRate, 2, SF_FORMAT_WAV | SF_FORMAT_FLOAT, x);
}

double fileLoudness(const std::string& path) {
    const Audio a = readAudio(path);
    if (!a.ok) return NAN;
    ebur128_state* st = ebur128_init(unsigned(a.info.channels), unsigned(a.info.samplerate), EBUR128_MODE_I);
    ebur128_add_frames_double(st, a.samples.data(), size_t(a.info.frames));
    double v = NAN;
    ebur128_loudness_global(st, &v);
    ebur128_destroy(&st);
    return v;
}

// The per-file objects of a summary printed with --json.
std::vector<std::map<std::string, std::string>> fileObjects(const std::string& json) {
    std::vector<std::map<std::string, std::string>> files;
    const size_t start = json.find("\"files\": [");
    const size_t end = json.find("\"summary\"");
    if (start == std::string::npos || end == std::string::npos) return files;
    const std::string body = json.substr(start, end - start);
    for (size_t at = body.find('{'); at != std::string::npos;) {
        const size_t next = body.find("\n    {", at + 1);
        files.push_back(jsonFields(body.substr(at, next == std::string::npos ? std::string::npos : next - at)));
        at = next == std::string::npos ? next : next + 1;
    }
    return files;
}

// Three programmes to three platform targets, at 4X and 8X: each lands within
// 0.1 LU, by the tool's figure and by a measurement of the file written, with
// the true peak (16x) within 0.1 dB of the Out Gain.
TEST(RenderDelivery, LoudnessTargetsLandWithinATenthOfALu) {
    vsttest::CScratchDir scratch;
    struct Case {
        Kind kind;
        const char* name;
        double gain, target;  // the programme's level, the target
    };
    // About -19, -22 and -27 LUFS before: the mix is limited on its way up.
    const Case cases[] = {{Kind::Music, "music", 0.35, -14.0}, {Kind::Speech, "speech", 0.3, -16.0},
                          {Kind::Classical, "classical", 1.0, -23.0}};
    for (const Case& c : cases) {
        writeProgramme(scratch.path() + "/" + c.name + ".wav", programme(c.kind, 2.0, 1, c.gain));
        for (const char* factor : {"4X", "8X"}) {
            SCOPED_TRACE(std::string(c.name) + " at " + factor);
            char args[256];
            std::snprintf(args, sizeof args, "%s.wav -o out.wav --set OutGain=-1.0 --set Oversmp=%s --target-lufs %.1f --json",
                          c.name, factor, c.target);
            const RenderRun run = runRender(scratch.path(), args);
            ASSERT_EQ(run.status, 0) << run.err;
            const auto f = jsonFields(run.out);
            EXPECT_NEAR(number(f, "output_integrated_lufs"), c.target, 0.1) << run.out;
            EXPECT_NEAR(fileLoudness(scratch.path() + "/out.wav"), c.target, 0.1);
            EXPECT_LE(number(f, "true_peak_over_out_gain_db"), 0.1) << run.out;
            EXPECT_GE(number(f, "target_passes"), 1);
            EXPECT_LE(number(f, "target_passes"), 8);
            EXPECT_EQ(f.at("target_met"), "true");
        }
    }
    // The table report says what was found.
    const RenderRun table = runRender(scratch.path(), "speech.wav -o out.wav --set OutGain=-1.0 --target-lufs -16");
    ASSERT_EQ(table.status, 0) << table.err;
    EXPECT_NE(table.out.find("target -16.00 LUFS: In Gain"), std::string::npos) << table.out;
    EXPECT_NE(table.out.find("true peak (16x)"), std::string::npos) << table.out;
}

// A target out of reach of the In Gain range, or one that needs more gain
// reduction than allowed, fails in one line with nothing written.
TEST(RenderDelivery, UnreachableTargetsFailCleanly) {
    vsttest::CScratchDir scratch;
    writeProgramme(scratch.path() + "/classical.wav", programme(Kind::Classical, 2.0, 2, 0.3));
    writeProgramme(scratch.path() + "/music.wav", programme(Kind::Music, 2.0, 2));
    const std::set<std::string> before = filesIn(scratch.path());
    struct Case {
        const char* args;
        const char* says;
    };
    const Case cases[] = {
        {"classical.wav --target-lufs -8", "out of reach"},            // needs more than +24 dB
        {"music.wav --target-lufs -60", "out of reach"},               // needs less than -3 dB
        {"music.wav --target-lufs -7 --max-gr 3", "gain reduction"},  // far too loud for 3 dB
    };
    for (const Case& c : cases) {
        const RenderRun run = runRender(scratch.path(), std::string(c.args) + " --set OutGain=-1.0 -o out.wav --plot p.png");
        EXPECT_EQ(run.status, 2) << c.args << "\n" << run.err;
        EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << c.args << "\n" << run.err;
        EXPECT_NE(run.err.find(c.says), std::string::npos) << c.args << "\n" << run.err;
        EXPECT_EQ(filesIn(scratch.path()), before) << c.args;
    }
}

// One In Gain for an album: the tracks keep their loudness differences, and
// the album as one programme lands on the target.
TEST(RenderDelivery, AlbumKeepsTheTracksLevelRelations) {
    vsttest::CScratchDir scratch;
    writeProgramme(scratch.path() + "/a.wav", programme(Kind::Classical, 1.5, 3, 2.0));
    writeProgramme(scratch.path() + "/b.wav", programme(Kind::Speech, 1.5, 3, 0.25));
    writeProgramme(scratch.path() + "/c.wav", programme(Kind::Classical, 1.5, 4, 0.7));
    const RenderRun run = runRender(scratch.path(), "a.wav b.wav c.wav -d out --album --target-lufs -20 "
                                                    "--set OutGain=-1.0 --set Oversmp=4X -j 2 --json");
    ASSERT_EQ(run.status, 0) << run.err << run.out;
    const auto files = fileObjects(run.out);
    ASSERT_EQ(files.size(), 3u) << run.out;
    const double in0 = number(files[0], "input_integrated_lufs"), out0 = number(files[0], "output_integrated_lufs");
    for (size_t i = 1; i < 3; ++i) {
        const double in = number(files[i], "input_integrated_lufs"), out = number(files[i], "output_integrated_lufs");
        EXPECT_GT(std::fabs(in - in0), 2.0) << "the tracks differ in loudness";
        EXPECT_NEAR(out - out0, in - in0, 0.2) << i << "\n" << run.out;
        EXPECT_NEAR(number(files[i], "in_gain_db"), number(files[0], "in_gain_db"), 0.01);
        EXPECT_NEAR(fileLoudness(scratch.path() + "/out/" + "abc"[i] + std::string(".wav")), out, 0.05);
    }
    EXPECT_NEAR(number(jsonFields(run.out.substr(run.out.find("\"summary\""))), "album_output_integrated_lufs"), -20.0,
                0.1)
        << run.out;
    const RenderRun table = runRender(scratch.path(), "a.wav b.wav c.wav -d out2 --album --target-lufs -20 --set OutGain=-1.0");
    ASSERT_EQ(table.status, 0) << table.err;
    EXPECT_NE(table.out.find("album"), std::string::npos) << table.out;
}

// Eight files rendered two at a time come out as each rendered alone; a
// damaged file among them fails alone and is named in the summary.
TEST(RenderDelivery, BatchRendersMatchSingleRendersAndFailuresStayAlone) {
    vsttest::CScratchDir scratch;
    std::string inputs;
    for (int i = 0; i < 8; ++i) {
        const std::string name = "t" + std::to_string(i) + ".wav";
        writeProgramme(scratch.path() + "/" + name, programme(Kind(i % 3), 0.6, uint64_t(10 + i), 0.5 + 0.1 * i));
        inputs += name + " ";
        if (i == 3) {
            std::ofstream(scratch.path() + "/damaged.wav") << "RIFF....WAVEfmt this is no audio";
            inputs += "damaged.wav ";
        }
    }
    const std::string settings = "--set InGain=4 --set OutGain=-1.0";
    const RenderRun batch = runRender(scratch.path(), inputs + "-d out -j 2 " + settings);
    EXPECT_EQ(batch.status, 1) << batch.err;
    EXPECT_NE(batch.out.find("damaged.wav"), std::string::npos) << batch.out;
    EXPECT_NE(batch.out.find("FAILED"), std::string::npos) << batch.out;
    EXPECT_NE(batch.out.find("9 files, 1 failed"), std::string::npos) << batch.out;
    EXPECT_NE(batch.err.find("damaged.wav"), std::string::npos) << batch.err;
    EXPECT_FALSE(fs::exists(scratch.path() + "/out/damaged.wav"));
    for (int i = 0; i < 8; ++i) {
        const std::string name = "t" + std::to_string(i) + ".wav";
        const RenderRun alone = runRender(scratch.path(), name + " -o alone.wav " + settings);
        ASSERT_EQ(alone.status, 0) << alone.err;
        // Sample for sample (the files' headers may carry a time stamp).
        const Audio a = readAudio(scratch.path() + "/alone.wav"), b = readAudio(scratch.path() + "/out/" + name);
        ASSERT_TRUE(b.ok) << name;
        EXPECT_EQ(a.info.format, b.info.format) << name;
        EXPECT_TRUE(a.samples == b.samples) << name << " differs from its render alone";
    }
    // The JSON summary, the container from --format and pictures beside the results.
    const RenderRun json = runRender(scratch.path(), "t0.wav t1.wav -d flacs --format flac --bits 16 --plot png --json " + settings);
    ASSERT_EQ(json.status, 0) << json.err;
    const auto files = fileObjects(json.out);
    ASSERT_EQ(files.size(), 2u) << json.out;
    EXPECT_EQ(files[1].at("output"), "\"flacs/t1.flac\"");
    EXPECT_EQ(files[1].at("plot"), "\"flacs/t1.png\"");
    EXPECT_EQ(files[1].at("dither_suggested"), "true");
    EXPECT_TRUE(readAudio(scratch.path() + "/flacs/t1.flac").ok);
    EXPECT_TRUE(fs::exists(scratch.path() + "/flacs/t0.png"));
    EXPECT_NE(json.out.find("\"summary\": {\"files\": 2, \"failed\": 0"), std::string::npos) << json.out;
}

// The picture: PNG of the expected size, the gain-reduction trace in the
// pixel columns where a known burst was limited and nowhere else; SVG too.
TEST(RenderDelivery, PlotShowsTheGainReductionWhereTheBurstWasLimited) {
    using L = render::CPlotLayout;
    vsttest::CScratchDir scratch;
    const double seconds = 4.0, burstFrom = 2.0, burstTo = 2.5;
    std::vector<double> x(size_t(2 * seconds * kRate), 0.0);
    for (size_t i = size_t(0.1 * kRate); i < x.size() / 2; ++i) {
        const double t = double(i) / kRate;
        const double amplitude = t >= burstFrom && t < burstTo ? 0.9 : 0.05;
        x[2 * i] = x[2 * i + 1] = amplitude * std::sin(2 * M_PI * 330.0 * t);
    }
    writeAudio(scratch.path() + "/burst.wav", kRate, 2, SF_FORMAT_WAV | SF_FORMAT_PCM_24, x);
    const RenderRun run = runRender(scratch.path(), "burst.wav -o p.wav --bits 16 --plot p.png --set InGain=6 --set OutGain=-1.0");
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("--set DithEnb=On --set DithBit=16"), std::string::npos) << run.out;

    cairo_surface_t* png = cairo_image_surface_create_from_png((scratch.path() + "/p.png").c_str());
    ASSERT_EQ(cairo_surface_status(png), CAIRO_STATUS_SUCCESS);
    EXPECT_EQ(cairo_image_surface_get_width(png), L::kWidth);
    EXPECT_EQ(cairo_image_surface_get_height(png), L::kHeight);
    const unsigned char* data = cairo_image_surface_get_data(png);
    const int stride = cairo_image_surface_get_stride(png);
    // Columns with the trace's colour a little under the panel's 0 dB line.
    const int row = L::kGainReduction.top + 4;
    std::vector<int> traced;
    for (int c = L::kLeft + 1; c < L::kWidth - L::kRight; ++c) {
        uint32_t px = 0;
        std::memcpy(&px, data + row * stride + c * 4, 4);
        if ((px & 0xFFFFFF) == L::kGainReductionRgb) traced.push_back(c);
    }
    cairo_surface_destroy(png);
    const int from = L::column(burstFrom, seconds), to = L::column(burstTo, seconds);
    ASSERT_FALSE(traced.empty());
    EXPECT_GE(traced.front(), from - 10);  // nothing before the burst (the look-ahead aside)
    EXPECT_LE(traced.front(), from + 3);
    EXPECT_LE(traced.back(), L::column(burstTo + 1.0, seconds));  // the release, then nothing
    EXPECT_GT(traced.back(), to);
    const auto inBurst = std::count_if(traced.begin(), traced.end(), [&](int c) { return c >= from && c < to; });
    EXPECT_GE(inBurst, to - from - 1) << "the trace covers the burst";

    const RenderRun svg = runRender(scratch.path(), "burst.wav --plot p.svg --set InGain=6");
    ASSERT_EQ(svg.status, 0) << svg.err;
    EXPECT_NE(slurp(scratch.path() + "/p.svg").find("<svg"), std::string::npos);
    const RenderRun bad = runRender(scratch.path(), "burst.wav --plot p.jpg");
    EXPECT_EQ(bad.status, 2);
}

}  // namespace
