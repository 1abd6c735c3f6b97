#pragma once
// Speaker arrangements of the plug-in's audio buses: the table of supported
// layouts by channel count, the speaker names by bit number, and the rules
// by which a host's requested arrangement is taken or replaced.

#include <cstdint>
#include <vector>

#include "Core/String.h"
#include "pluginterfaces/vst/vsttypes.h"

namespace vst3io {

using Arrangement = Steinberg::Vst::SpeakerArrangement;

// The first table row (8, 7, 6, 5, 4, 3, 2, 1 channels) whose channel count
// does not exceed wanted; the 1-channel row for wanted < 1.
Arrangement arrangementForChannels(int wanted);
int channelCount(Arrangement arr);
// Name of the speaker with this bit number ("" for bits 28..63).
const char* speakerName(int bit);
// One name per set bit of the arrangement, lowest bit first.
std::vector<CString> channelNames(Arrangement arr);

struct CArrangementRules {
    int maxChannels = 8;        // the internal channel count
    bool symmetricIo = true;    // input and output always have the same count
    bool useSidechain = false;  // a second input bus is the sidechain
};

struct CArrangementResult {
    Arrangement input = 0;
    Arrangement output = 0;
    Arrangement sidechain = 0;  // 0: no sidechain bus
    bool unchanged = true;      // the request was taken as it stood
};

// Applies the rules to a host request (the first input and output bus and,
// with the sidechain enabled, the second input bus). A request without an
// input or an output bus gives unchanged = false and empty arrangements.
CArrangementResult negotiateArrangements(const Arrangement* inputs, int numIns, const Arrangement* outputs,
                                         int numOuts, const CArrangementRules& rules);

}  // namespace vst3io
