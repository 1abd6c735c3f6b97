#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <random>
#include <vector>

#include "Audio/Processes/Limiters/SlidingWindowMin.h"

namespace {

using Pattern = std::function<double(int i, std::mt19937& rng)>;

struct PatternRow {
    const char* name;
    Pattern value;
};

// Random input and the shapes that stress a monotonic deque: long plateaus
// (ties), alternation, monotonic runs that fill it completely, sawtooth
// periods around the window length, and rounded random values full of ties.
const PatternRow kPatterns[] = {
    {"random", [](int, std::mt19937& r) { return std::uniform_real_distribution<double>(0, 1)(r); }},
    {"plateaus", [](int i, std::mt19937&) { return static_cast<double>((i / 97) % 5); }},
    {"alternating", [](int i, std::mt19937&) { return i % 2 ? 0.25 : 0.75; }},
    {"rising", [](int i, std::mt19937&) { return static_cast<double>(i); }},
    {"falling", [](int i, std::mt19937&) { return -static_cast<double>(i); }},
    {"saw 63", [](int i, std::mt19937&) { return static_cast<double>(i % 63); }},
    {"saw 65", [](int i, std::mt19937&) { return static_cast<double>(65 - i % 65); }},
    {"few levels", [](int, std::mt19937& r) { return static_cast<double>(r() % 3); }},
};

template <bool IsMin>
void compareWithBruteForce(int length) {
    for (const PatternRow& row : kPatterns) {
        SCOPED_TRACE(testing::Message() << row.name << ", L = " << length << (IsMin ? ", min" : ", max"));
        std::mt19937 rng(length);
        CSlidingWindowExtreme<IsMin> w;
        w.prepare(128);
        w.setLength(length);
        std::vector<double> in;
        for (int i = 0; i < 3000; ++i) {
            // Restart mid-way: the window starts empty again.
            if (i == 1777) {
                w.clear();
                in.clear();
            }
            in.push_back(row.value(i, rng));
            const auto first = in.end() - std::min<ptrdiff_t>(length, static_cast<ptrdiff_t>(in.size()));
            const double expected = IsMin ? *std::min_element(first, in.end()) : *std::max_element(first, in.end());
            const double got = w.push(in.back());
            if (got != expected) {
                ADD_FAILURE() << "sample " << i << ": " << got << " != " << expected;
                return;
            }
        }
    }
}

}  // namespace

TEST(SlidingWindowExtreme, MatchesBruteForce) {
    for (int length : {1, 2, 3, 7, 64, 127, 128}) {
        compareWithBruteForce<true>(length);
        compareWithBruteForce<false>(length);
    }
}

TEST(SlidingWindowExtreme, LengthIsClampedAndChangeEmptiesTheWindow) {
    CSlidingWindowMin w;
    w.prepare(10);
    w.setLength(50);
    EXPECT_EQ(w.length(), 10);
    w.setLength(0);
    EXPECT_EQ(w.length(), 1);
    w.setLength(4);
    w.push(0.1);
    w.setLength(4);
    EXPECT_TRUE(w.empty());
    EXPECT_EQ(w.push(0.9), 0.9);
}

// A NaN is returned for its own sample and empties the window: the values
// before it no longer count.
TEST(SlidingWindowExtreme, NaNEmptiesTheWindow) {
    CSlidingWindowMin w;
    w.prepare(8);
    w.setLength(4);
    w.push(0.5);
    w.push(0.2);
    EXPECT_TRUE(std::isnan(w.push(std::nan(""))));
    EXPECT_EQ(w.push(0.9), 0.9);
    EXPECT_EQ(w.push(0.7), 0.7);
    for (int i = 0; i < 4; ++i) w.push(1.0);
    EXPECT_EQ(w.push(0.95), 0.95);
}

// run() over blocks of any length gives exactly what push() gives value by
// value: ties, NaN in mid-block and at block edges, a window emptied by a
// length change, in place and out of place.
TEST(SlidingWindowExtreme, BlockRunEqualsPushes) {
    for (int length : {1, 2, 5, 64, 100}) {
        SCOPED_TRACE(testing::Message() << "L = " << length);
        std::mt19937 rng(static_cast<unsigned>(length));
        std::vector<double> in(4000);
        for (size_t i = 0; i < in.size(); ++i) in[i] = static_cast<double>(rng() % 7) * 0.25;
        for (size_t at : {size_t(0), size_t(37), size_t(38), size_t(1000), size_t(2047), size_t(3999)})
            in[at] = std::nan("");
        CSlidingWindowMin a, b;
        a.prepare(128);
        b.prepare(128);
        a.setLength(length);
        b.setLength(length);
        std::vector<double> out(in.size());
        const int sizes[] = {1, 511, 3, 64, 700, 2, 129};
        for (size_t pos = 0, k = 0; pos < in.size(); ++k) {
            const int n = static_cast<int>(std::min<size_t>(sizes[k % 7], in.size() - pos));
            if (k == 9) {
                a.setLength(length);
                b.setLength(length);
            }
            if (k % 2) {
                std::copy_n(in.data() + pos, n, out.data() + pos);
                b.run(out.data() + pos, out.data() + pos, n);
            } else {
                b.run(in.data() + pos, out.data() + pos, n);
            }
            for (int i = 0; i < n; ++i) {
                const double expected = a.push(in[pos + size_t(i)]);
                const double got = out[pos + size_t(i)];
                if (!(got == expected || (std::isnan(got) && std::isnan(expected)))) {
                    ADD_FAILURE() << "sample " << pos + size_t(i) << ": " << got << " != " << expected;
                    return;
                }
            }
            pos += size_t(n);
        }
        EXPECT_EQ(a.empty(), b.empty());
    }
}

// The block form compares four values at a time where push() compares one by
// one; among equal values both must keep the newest, bit for bit: +0 and -0
// and values repeated in runs, every window length around the four-value
// steps, minimum and maximum.
template <bool IsMin>
void expectRunKeepsTheNewestOfEqualValues() {
    std::mt19937 rng(11);
    const double values[] = {0.0, -0.0, 0.5, -0.5};
    std::vector<double> in(3000);
    for (double& v : in) v = values[rng() % 4];
    for (int length : {1, 2, 3, 4, 5, 6, 7, 8, 9, 31, 64}) {
        CSlidingWindowExtreme<IsMin> a, b;
        for (auto* w : {&a, &b}) {
            w->prepare(64);
            w->setLength(length);
        }
        std::vector<double> out(in.size());
        for (size_t pos = 0, k = 0; pos < in.size(); ++k) {
            const int n = static_cast<int>(std::min<size_t>(k % 11 + 1, in.size() - pos));
            b.run(in.data() + pos, out.data() + pos, n);
            pos += size_t(n);
        }
        for (size_t i = 0; i < in.size(); ++i)
            ASSERT_EQ(std::signbit(a.push(in[i])), std::signbit(out[i]))
                << "L = " << length << (IsMin ? ", min" : ", max") << ", sample " << i;
    }
}

TEST(SlidingWindowExtreme, BlockRunKeepsTheNewestOfEqualValues) {
    expectRunKeepsTheNewestOfEqualValues<true>();
    expectRunKeepsTheNewestOfEqualValues<false>();
}

// Two windows run as a pair give what each gives alone, value for value:
// in step, with a NaN in one input only, at different lengths, and thrown
// out of step by a length change of one of them; in place.
TEST(SlidingWindowExtreme, PairRunEqualsSingleRuns) {
    std::mt19937 rng(7);
    std::vector<double> in[2];
    for (auto& x : in) {
        x.resize(5000);
        for (double& v : x) v = static_cast<double>(rng() % 9) * 0.125 - 0.5;
    }
    in[0][700] = std::nan("");
    in[1][1234] = std::nan("");
    in[1][1235] = std::nan("");
    for (const auto& [lengthA, lengthB] : {std::pair{64, 64}, std::pair{1, 1}, std::pair{100, 37}}) {
        SCOPED_TRACE(testing::Message() << "L = " << lengthA << ", " << lengthB);
        CSlidingWindowMin single[2], pair[2];
        for (int c = 0; c < 2; ++c) {
            single[c].prepare(128);
            pair[c].prepare(128);
            single[c].setLength(c ? lengthB : lengthA);
            pair[c].setLength(c ? lengthB : lengthA);
        }
        std::vector<double> want[2] = {std::vector<double>(5000), std::vector<double>(5000)};
        std::vector<double> got[2] = {in[0], in[1]};
        const int sizes[] = {511, 1, 64, 700, 3, 129, 2048};
        for (size_t pos = 0, k = 0; pos < 5000; ++k) {
            const int n = static_cast<int>(std::min<size_t>(sizes[k % 7], 5000 - pos));
            if (k == 4) {  // one window emptied: out of step until it catches up
                single[1].setLength(lengthB);
                pair[1].setLength(lengthB);
            }
            for (int c = 0; c < 2; ++c) single[c].run(in[c].data() + pos, want[c].data() + pos, n);
            CSlidingWindowMin::runPair(pair[0], got[0].data() + pos, got[0].data() + pos, pair[1],
                                       got[1].data() + pos, got[1].data() + pos, n);
            pos += size_t(n);
        }
        for (int c = 0; c < 2; ++c)
            for (size_t i = 0; i < 5000; ++i)
                ASSERT_TRUE(got[c][i] == want[c][i] || (std::isnan(got[c][i]) && std::isnan(want[c][i])))
                    << "channel " << c << " sample " << i;
    }
}
