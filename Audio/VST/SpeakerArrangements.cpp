#include "Audio/VST/SpeakerArrangements.h"

#include <algorithm>
#include <bit>

namespace vst3io {

namespace {

struct Row {
    int channels;
    Arrangement arr;
};

// Searched from the top for the first row that fits.
constexpr Row kRows[] = {
    {8, 0x63F}, {7, 0x63B}, {6, 0x3F}, {5, 0x3B}, {4, 0x10B}, {3, 0x103}, {2, 0x3}, {1, 0x80000},
};

constexpr const char* kSpeakerNames[28] = {
    "L",   "R",   "C",   "Lfe", "Ls",  "Rs",  "Lc",  "Rc",   "S",  "Sl",  "Sr",  "Tm",  "Tfl", "Tfc",
    "Tfr", "Trl", "Trc", "Trr", "Lfe2", "M",  "B-W", "B-X", "B-Y", "B-Z", "Tsl", "Tsr", "Lcs", "Rcs",
};

}  // namespace

Arrangement arrangementForChannels(int wanted) {
    for (const Row& r : kRows)
        if (r.channels <= wanted) return r.arr;
    return kRows[std::size(kRows) - 1].arr;
}

int channelCount(Arrangement arr) { return std::popcount(arr); }

const char* speakerName(int bit) { return bit >= 0 && bit < 28 ? kSpeakerNames[bit] : ""; }

std::vector<CString> channelNames(Arrangement arr) {
    std::vector<CString> names;
    for (int bit = 0; bit < 64; ++bit)
        if (arr & (Arrangement(1) << bit)) names.emplace_back(speakerName(bit));
    return names;
}

CArrangementResult negotiateArrangements(const Arrangement* inputs, int numIns, const Arrangement* outputs,
                                         int numOuts, const CArrangementRules& rules) {
    CArrangementResult res;
    if (numIns < 1 || numOuts < 1 || !inputs || !outputs) {
        res.unchanged = false;
        return res;
    }
    res.input = inputs[0];
    res.output = outputs[0];
    res.sidechain = rules.useSidechain && numIns >= 2 ? inputs[1] : 0;
    const int maxCh = rules.maxChannels;

    int in = channelCount(res.input);
    int out = channelCount(res.output);
    if (in == 0 || in > maxCh) {
        res.input = arrangementForChannels(maxCh);
        res.unchanged = false;
    }
    if (out > maxCh) {
        res.output = arrangementForChannels(maxCh);
        res.unchanged = false;
    }
    if (channelCount(res.sidechain) > 2) {
        res.sidechain = arrangementForChannels(2);
        res.unchanged = false;
    }

    in = channelCount(res.input);
    out = channelCount(res.output);
    if (in != out) {
        if (rules.symmetricIo) {
            res.input = res.output = arrangementForChannels(std::max(in, out));
            res.unchanged = false;
        } else if (in != 1 && out != 2) {
            res.input = arrangementForChannels(1);
            res.output = arrangementForChannels(2);
            res.unchanged = false;
        }
    }
    return res;
}

}  // namespace vst3io
