#include "Audio/PendingCreators.h"

#include <algorithm>
#include <cstring>
#include <string_view>

namespace {

const char* const kPendingTags[] = {
    // Modules.
    "audio:modAbs", "audio:modBypass", "audio:modClip", "audio:modDecimator", "audio:modDenormNoise",
    "audio:modDither", "audio:modELoud", "audio:modFilterFIR", "audio:modFilterIIR", "audio:modFixedLatency",
    "audio:modGain", "audio:modInterpolator", "audio:modLatencyUniformer", "audio:modLeveler", "audio:modLimAIGC",
    "audio:modLimClip", "audio:modLimEvaluator", "audio:modLimTB", "audio:modLimTBC", "audio:modLimTBI",
    "audio:modMeter", "audio:modMult", "audio:modResampler", "audio:modStatsMaxGR", "audio:modStatsPeak",
    "audio:modStatsRMS", "audio:modStatsWave",
    // Filter generators.
    "audio:fltgen-array", "audio:fltgen-array-item", "audio:fltgen-firlim", "audio:fltgen-firlp",
    "audio:fltgen-lphp1", "audio:fltgen-rbj", "audio:fltgen-serial", "audio:fltgen-serial-item",
    // Instance objects of the "plugin" template and parameter helpers.
    "audio:cctable", "audio:ext-param", "audio:ext-param-list", "audio:interface-base", "audio:param-registry",
    "audio:param-shared-storage", "audio:viz-collector", "other:param-interface-base-connector-uni",
};

CObject* makePendingModule() { return new CPendingModuleDef(); }
CObject* makePendingObject() { return new CObject(); }

bool isModuleTag(std::string_view tag) { return tag.starts_with("audio:mod"); }

}  // namespace

const double* CPendingModule::outputChannel(int, int ch) const {
    const CPortBuffers& in = input(0);
    if (ch < in.channels && in.ch[ch]) return in.ch[ch];
    return m_out.channel(0, 0);  // silence: prepared storage is zeroed and never written
}

std::span<const char* const> kelPendingTags() { return kPendingTags; }

void kelAppendPendingRows(std::vector<CreatorRow>* table) {
    for (const char* tag : kPendingTags) {
        const bool registered = std::any_of(table->begin(), table->end(),
                                            [&](const CreatorRow& r) { return std::strcmp(r.tag, tag) == 0; });
        if (registered) continue;
        if (isModuleTag(tag))
            table->push_back({tag, &makePendingModule, nullptr});
        else
            table->push_back({tag, &makePendingObject, &CObject::registerEvents});
    }
}

bool kelIsPendingRow(const CreatorRow& row) {
    return row.create == &makePendingModule || row.create == &makePendingObject;
}
