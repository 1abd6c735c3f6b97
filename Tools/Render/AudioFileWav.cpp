// Audio files for builds without libsndfile (Windows): RIFF WAVE only.
// Reads 16-, 24- and 32-bit integer and 32- and 64-bit float samples (plain
// or extensible format); writes 16- and 24-bit integers or 32-bit floats.
#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "Tools/Render/AudioFile.h"

namespace render {

namespace {

uint32_t le(const uint8_t* p, int bytes) {
    uint32_t v = 0;
    for (int i = bytes - 1; i >= 0; --i) v = v << 8 | p[i];
    return v;
}

void put(std::vector<uint8_t>& out, uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) out.push_back(uint8_t(v >> (8 * i)));
}

constexpr uint16_t kPcm = 1, kFloat = 3, kExtensible = 0xFFFE;

double sampleAt(const uint8_t* p, uint16_t format, int bits) {
    if (format == kFloat) {
        if (bits == 32) {
            float f;
            std::memcpy(&f, p, 4);
            return f;
        }
        double d;
        std::memcpy(&d, p, 8);
        return d;
    }
    const int bytes = bits / 8;
    uint32_t u = le(p, bytes);
    // Sign-extend from the sample's width.
    const int shift = 32 - bits;
    const auto v = int32_t(u << shift) >> shift;
    return double(v) / double(uint32_t(1) << (bits - 1));
}

}  // namespace

std::string readAudioFile(const std::string& path, CAudioBuffer* out, CSampleFormat* sampleFormat,
                          size_t* declaredFrames) {
    // A WAV file holds at most 4 GB; anything else (a device, a folder) is refused before reading.
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec)) return "cannot read '" + path + "': not a file";
    if (std::filesystem::file_size(path, ec) > 0x100000000ull || ec) return "'" + path + "' is too large for a WAV file";
    std::ifstream f(path, std::ios::binary);
    if (!f) return "cannot open '" + path + "'";
    const std::vector<uint8_t> d((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
    if (d.size() < 12 || std::memcmp(d.data(), "RIFF", 4) != 0 || std::memcmp(d.data() + 8, "WAVE", 4) != 0)
        return "'" + path + "' is not a WAV file (this build reads WAV only)";
    uint16_t format = 0, channels = 0, bits = 0;
    uint32_t rate = 0;
    const uint8_t* data = nullptr;
    size_t dataSize = 0, declaredSize = 0;
    for (size_t pos = 12; pos + 8 <= d.size();) {
        const uint32_t size = le(&d[pos + 4], 4);
        const size_t body = pos + 8;
        const size_t avail = std::min<size_t>(size, d.size() - body);
        if (std::memcmp(&d[pos], "fmt ", 4) == 0 && avail >= 16) {
            format = uint16_t(le(&d[body], 2));
            channels = uint16_t(le(&d[body + 2], 2));
            rate = le(&d[body + 4], 4);
            bits = uint16_t(le(&d[body + 14], 2));
            if (format == kExtensible && avail >= 26) format = uint16_t(le(&d[body + 24], 2));
        } else if (std::memcmp(&d[pos], "data", 4) == 0) {
            data = &d[body];
            dataSize = avail;
            declaredSize = size;
        }
        pos = body + size + (size & 1);
    }
    const bool intOk = format == kPcm && (bits == 16 || bits == 24 || bits == 32);
    const bool floatOk = format == kFloat && (bits == 32 || bits == 64);
    if (!data || channels < 1 || rate < 1 || !(intOk || floatOk))
        return "'" + path + "' has no audio this build can read";
    if (sampleFormat)
        *sampleFormat = format == kFloat ? CSampleFormat::Float32 : bits == 16 ? CSampleFormat::Int16 : CSampleFormat::Int24;
    const size_t frameBytes = size_t(channels) * (bits / 8);
    const size_t frames = dataSize / frameBytes;
    if (declaredFrames) *declaredFrames = std::max(frames, declaredSize / frameBytes);
    out->sampleRate = double(rate);
    out->channels.assign(channels, std::vector<double>(frames));
    for (size_t i = 0; i < frames; ++i)
        for (size_t c = 0; c < channels; ++c)
            out->channels[c][i] = sampleAt(data + i * frameBytes + c * (bits / 8), format, bits);
    return {};
}

std::string checkOutputFormat(const std::string& path, CSampleFormat) {
    std::string ext = path.substr(std::min(path.size(), path.rfind('.') + 1));
    for (char& c : ext) c = char(std::tolower(static_cast<unsigned char>(c)));
    if (path.rfind('.') == std::string::npos || ext != "wav")
        return "unknown output format '" + path + "' (this build writes .wav only)";
    return {};
}

std::string writeAudioFile(const std::string& path, const CAudioBuffer& buf, CSampleFormat format) {
    if (std::string err = checkOutputFormat(path, format); !err.empty()) return err;
    const size_t channels = buf.channels.size(), frames = buf.frames();
    if (channels < 1) return "nothing to write";
    const bool asFloat = format == CSampleFormat::Float32;
    const int bytes = asFloat ? 4 : format == CSampleFormat::Int16 ? 2 : 3;
    const uint64_t dataSize = uint64_t(channels) * frames * uint64_t(bytes);
    if (dataSize > 0xFFFFFFFFull - 36) return "too long for a WAV file";
    std::vector<uint8_t> out;
    out.reserve(size_t(44 + dataSize));
    out.insert(out.end(), {'R', 'I', 'F', 'F'});
    put(out, uint32_t(36 + dataSize), 4);
    out.insert(out.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
    put(out, 16, 4);
    put(out, asFloat ? kFloat : kPcm, 2);
    put(out, uint32_t(channels), 2);
    put(out, uint32_t(buf.sampleRate), 4);
    put(out, uint32_t(buf.sampleRate * double(channels) * bytes), 4);
    put(out, uint32_t(channels * size_t(bytes)), 2);
    put(out, uint32_t(bytes * 8), 2);
    out.insert(out.end(), {'d', 'a', 't', 'a'});
    put(out, uint32_t(dataSize), 4);
    for (size_t i = 0; i < frames; ++i)
        for (size_t c = 0; c < channels; ++c) {
            const double v = buf.channels[c][i];
            if (asFloat) {
                const float f = float(v);
                uint32_t u;
                std::memcpy(&u, &f, 4);
                put(out, u, 4);
            } else {
                // Integer samples clip rather than wrap.
                const double full = bytes == 2 ? 32768.0 : 8388608.0;
                const double scaled = std::round(std::clamp(v, -1.0, 1.0) * full);
                put(out, uint32_t(int32_t(std::clamp(scaled, -full, full - 1.0))), bytes);
            }
        }
    std::ofstream f(path, std::ios::binary);
    f.write(reinterpret_cast<const char*>(out.data()), std::streamsize(out.size()));
    return f ? std::string() : "cannot write '" + path + "'";
}

}  // namespace render
