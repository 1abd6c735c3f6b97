#pragma once
// Pieces of the VST3 process call that do not need the instance: the
// thinning of a parameter's automation queue and the sidechain check.

#include "Audio/Plugin/AudioWrapper.h"
#include "pluginterfaces/vst/ivstaudioprocessor.h"
#include "pluginterfaces/vst/ivstparameterchanges.h"

namespace vst3proc {

// At most this many changes per parameter and block reach the core.
inline constexpr int kMaxPointsPerParam = 32;

// Converts up to kMaxPointsPerParam points of the queue into changes for the
// host parameter index: with n points and k = min(n, 32), the points at
// floor(i * n / k) for i = 0 .. k - 2, then always the last point. Writes at
// most capacity changes and returns how many it wrote.
int decimateQueue(Steinberg::Vst::IParamValueQueue& queue, int index, CHostParamChange* out, int capacity);

// Channels of the sidechain bus (the second input bus) that the block
// carries: 0 when the bus is missing, has no buffers or all of its channels
// are flagged silent.
int sidechainChannels(const Steinberg::Vst::ProcessData& data);

}  // namespace vst3proc
