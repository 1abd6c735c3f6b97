#pragma once
// Reading and writing audio files (WAV, FLAC, AIFF and the other formats
// libsndfile knows) as planar 64-bit buffers.

#include <string>

#include "Tools/Render/DemoSignal.h"

namespace render {

// Returns an empty string on success, else a message.
std::string readAudioFile(const std::string& path, CAudioBuffer* out);

// The container follows the extension (.wav, .flac, .aif/.aiff); samples are
// 24-bit integers, or 32-bit floats with asFloat (not for FLAC).
std::string writeAudioFile(const std::string& path, const CAudioBuffer& buf, bool asFloat);

}  // namespace render
