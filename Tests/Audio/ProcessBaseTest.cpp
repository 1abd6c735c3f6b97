#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "Audio/Graph/ProcessBase.h"

namespace {

class CPlainProcess : public CAudioProcessBase {
public:
    void process(int) override {}
    double* out(int ch) { return outputBuffer(0, ch); }
};

// Exactly the NaNs and infinities among the frames asked for become zeros,
// wherever they sit in the block (vector lanes and the tail alike); finite
// extremes, subnormals and negative zero stay as they are.
TEST(ProcessBase, ClearNonFiniteOutputsClearsExactlyTheNonFiniteSamples) {
    constexpr double kInf = std::numeric_limits<double>::infinity();
    constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
    constexpr double kMax = std::numeric_limits<double>::max();
    constexpr double kSub = std::numeric_limits<double>::denorm_min();
    struct Case {
        int frames, ch, pos;
        double value;
        bool cleared;
    };
    const Case cases[] = {
        {61, 0, 0, kNaN, true},   {61, 1, 3, kInf, true},   {61, 0, 57, -kInf, true}, {61, 1, 60, kNaN, true},
        {61, 0, 61, kNaN, false},  // outside the frames asked for
        {61, 0, 5, kMax, false},  {61, 1, 59, -kMax, false}, {61, 0, 2, kSub, false}, {61, 1, 8, -0.0, false},
        {1, 1, 0, -kInf, true},   {4, 0, 3, kNaN, true},
    };
    for (const Case& c : cases) {
        CPlainProcess p;
        CProcessConfig config;
        config.hostMaxFrames = 64;
        ASSERT_FALSE(p.prepare(config));
        for (int ch = 0; ch < 2; ++ch)
            for (int i = 0; i < 64; ++i) p.out(ch)[i] = 0.5 * std::sin(0.1 * i + ch);
        p.out(c.ch)[c.pos] = c.value;
        EXPECT_EQ(p.clearNonFiniteOutputs(c.frames), c.cleared) << "pos " << c.pos << " value " << c.value;
        const double now = p.out(c.ch)[c.pos];
        if (c.cleared) {
            EXPECT_EQ(now, 0.0) << "pos " << c.pos;
        } else if (std::isnan(c.value)) {
            EXPECT_TRUE(std::isnan(now)) << "pos " << c.pos;
        } else {
            EXPECT_EQ(std::signbit(now), std::signbit(c.value));
            EXPECT_EQ(now, c.value) << "pos " << c.pos;
        }
        for (int ch = 0; ch < 2; ++ch)
            for (int i = 0; i < 64; ++i)
                if (ch != c.ch || i != c.pos) {
                    ASSERT_EQ(p.out(ch)[i], 0.5 * std::sin(0.1 * i + ch));
                }
    }
}

// A process that hands on a buffer of one of its parts (as a switch hands on
// its active child's): the scan checks what the process hands on, so a NaN
// made there is caught; an input handed on as it came is left to where it
// was made.
class CHandingProcess : public CAudioProcessBase {
public:
    void process(int) override {}
    const double* outputChannel(int port, int ch) const override {
        if (passInput) return input(0).ch[ch];
        return port == 0 ? part[ch] : CAudioProcessBase::outputChannel(port, ch);
    }
    double part[2][16] = {};
    bool passInput = false;
};

TEST(ProcessBase, ClearNonFiniteOutputsChecksWhatIsHandedOn) {
    CHandingProcess p;
    CProcessConfig config;
    config.hostMaxFrames = 16;
    ASSERT_FALSE(p.prepare(config));
    p.setChannels(2);
    p.part[1][9] = std::numeric_limits<double>::quiet_NaN();
    EXPECT_TRUE(p.clearNonFiniteOutputs(16));
    EXPECT_EQ(p.part[1][9], 0.0);

    double in[2][16] = {};
    in[0][3] = std::numeric_limits<double>::infinity();
    CPortBuffers& port = p.input(0);
    port.channels = 2;
    port.ch[0] = in[0];
    port.ch[1] = in[1];
    p.passInput = true;
    EXPECT_FALSE(p.clearNonFiniteOutputs(16));
    EXPECT_TRUE(std::isinf(in[0][3]));
}

}  // namespace
