#include "Audio/VST/ProcessHelpersVST.h"

#include <algorithm>

namespace vst3proc {

int decimateQueue(Steinberg::Vst::IParamValueQueue& queue, int index, CHostParamChange* out, int capacity) {
    const int n = queue.getPointCount();
    if (n <= 0 || capacity <= 0) return 0;
    const int k = std::min(n, kMaxPointsPerParam);
    int written = 0;
    auto take = [&](int point) {
        Steinberg::int32 offset = 0;
        Steinberg::Vst::ParamValue value = 0.0;
        if (written >= capacity || queue.getPoint(point, offset, value) != Steinberg::kResultOk) return;
        out[written++] = CHostParamChange{int(offset), index, value};
    };
    for (int i = 0; i < k - 1; ++i) take(int(int64_t(i) * n / k));
    take(n - 1);
    return written;
}

int sidechainChannels(const Steinberg::Vst::ProcessData& data) {
    if (data.numInputs < 2 || !data.inputs) return 0;
    const Steinberg::Vst::AudioBusBuffers& bus = data.inputs[1];
    if (bus.numChannels <= 0 || !bus.channelBuffers32) return 0;
    const int channels = std::min<int>(bus.numChannels, 64);
    const Steinberg::uint64 all = channels == 64 ? ~Steinberg::uint64(0) : (Steinberg::uint64(1) << channels) - 1;
    if ((bus.silenceFlags & all) == all) return 0;
    return bus.numChannels;
}

}  // namespace vst3proc
