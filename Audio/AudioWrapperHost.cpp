// CAudioWrapper: host facts that are parameters, host parameters, programs
// and the state chunk.
#include "Audio/AudioParam.h"
#include "Audio/AudioWrapper.h"
#include "Audio/AudioWrapperImpl.h"

namespace {
// Writes a single-value parameter in place (never allocates) and lets the
// graph see the change at its next update.
void writeScalar(CAudioParam* p, double v) {
    if (!p) return;
    if (p->value(0, 0) == v) return;
    if (p->storage().writeValue(0, 0, 0, v)) p->storage().markChanged();
}
}  // namespace

void CAudioWrapper::setOffline(bool offline) { writeScalar(m_impl->hostOffline, offline ? 1.0 : 0.0); }
void CAudioWrapper::setTempo(double bpm) { writeScalar(m_impl->hostBpm, bpm); }
void CAudioWrapper::setRecording(bool recording) { writeScalar(m_impl->hostRec, recording ? 1.0 : 0.0); }
void CAudioWrapper::setHostOversamplingMode(int mode) { writeScalar(m_impl->hostOversampling, double(mode)); }
void CAudioWrapper::setBypass(bool bypass) { writeScalar(m_impl->bypassEnable, bypass ? 1.0 : 0.0); }

void CAudioWrapper::applyHostChanges(int, int) {}

CError CAudioWrapper::saveState(COutputStream& out) {
    std::vector<uint8_t> empty;
    return out.writeCompressedData(empty, kIdAprs);
}

CError CAudioWrapper::loadState(CInputStream& in) {
    std::vector<uint8_t> data;
    KEL_TRY(in.readCompressedData(&data, kIdAprs));
    return {};
}

int CAudioWrapper::hostParamCount() const { return 0; }
CHostParamInfo CAudioWrapper::hostParamInfo(int) const { return {}; }
double CAudioWrapper::hostParamNormalized(int) const { return 0.0; }
void CAudioWrapper::setHostParamNormalized(int, double) {}
CString CAudioWrapper::hostParamText(int, double) const { return {}; }
bool CAudioWrapper::hostParamFromText(int, const CString&, double*) const { return false; }

int CAudioWrapper::programCount() const { return 1; }
CString CAudioWrapper::programName(int) const { return "Default"; }
int CAudioWrapper::currentProgram() const { return 0; }
CError CAudioWrapper::setProgram(int) { return {}; }
