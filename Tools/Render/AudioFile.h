#pragma once
// Reading and writing audio files (WAV, FLAC, AIFF and the other formats
// libsndfile knows) as planar 64-bit buffers.

#include <string>

#include "Tools/Render/DemoSignal.h"

namespace render {

// Sample formats written: 16- and 24-bit integers, 32-bit floats.
enum class CSampleFormat { Int16, Int24, Float32 };

// "16", "24", "float" (also "32f"); false for anything else.
inline bool parseSampleFormat(const std::string& text, CSampleFormat* out) {
    if (text == "16")
        *out = CSampleFormat::Int16;
    else if (text == "24")
        *out = CSampleFormat::Int24;
    else if (text == "float" || text == "32f")
        *out = CSampleFormat::Float32;
    else
        return false;
    return true;
}

inline const char* sampleFormatName(CSampleFormat format) {
    switch (format) {
        case CSampleFormat::Int16: return "16-bit";
        case CSampleFormat::Int24: return "24-bit";
        case CSampleFormat::Float32: return "32-bit float";
    }
    return "";
}

// Returns an empty string on success, else a message. format (optional)
// receives the nearest format this tool writes: 8- and 16-bit files give
// Int16, other integer files Int24, floating-point files Float32.
// declaredFrames (optional) receives the length the file's header gives: more
// than the frames read when the file was cut short (the frames present are
// read all the same).
std::string readAudioFile(const std::string& path, CAudioBuffer* out, CSampleFormat* format = nullptr,
                          size_t* declaredFrames = nullptr);

// Whether a file of this name and format can be written: the container
// follows the extension (.wav, .flac, .aif/.aiff); FLAC holds integers only.
std::string checkOutputFormat(const std::string& path, CSampleFormat format);

// Writes the buffer; integer formats clip rather than wrap.
std::string writeAudioFile(const std::string& path, const CAudioBuffer& buf, CSampleFormat format);

}  // namespace render
