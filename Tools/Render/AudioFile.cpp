#include "Tools/Render/AudioFile.h"

#include <sndfile.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <vector>

namespace render {

namespace {

std::string lowerExtension(const std::string& path) {
    const size_t dot = path.rfind('.');
    if (dot == std::string::npos || path.find('/', dot) != std::string::npos) return {};
    std::string ext = path.substr(dot + 1);
    for (char& c : ext) c = char(std::tolower(static_cast<unsigned char>(c)));
    return ext;
}

int majorFormatFor(const std::string& path) {
    const std::string ext = lowerExtension(path);
    if (ext == "wav") return SF_FORMAT_WAV;
    if (ext == "flac") return SF_FORMAT_FLAC;
    if (ext == "aif" || ext == "aiff") return SF_FORMAT_AIFF;
    return 0;
}

CSampleFormat formatOfSubtype(int subtype) {
    switch (subtype) {
        case SF_FORMAT_PCM_S8:
        case SF_FORMAT_PCM_U8:
        case SF_FORMAT_PCM_16:
        case SF_FORMAT_ULAW:
        case SF_FORMAT_ALAW: return CSampleFormat::Int16;
        case SF_FORMAT_FLOAT:
        case SF_FORMAT_DOUBLE: return CSampleFormat::Float32;
        default: return CSampleFormat::Int24;
    }
}

constexpr size_t kChunkFrames = 4096;

uint32_t readLE(const unsigned char* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24; }
uint32_t readBE(const unsigned char* p) { return uint32_t(p[3]) | uint32_t(p[2]) << 8 | uint32_t(p[1]) << 16 | uint32_t(p[0]) << 24; }

// The frame count a WAV or AIFF header declares (its data chunk's size, or
// the frame count of its common chunk), which libsndfile quietly shortens to
// what the file holds; 0 when there is none to read.
size_t declaredFrameCount(const std::string& path, int channels, int bytesPerSample) {
    std::ifstream f(path, std::ios::binary);
    std::vector<unsigned char> head(1 << 16);
    f.read(reinterpret_cast<char*>(head.data()), std::streamsize(head.size()));
    head.resize(size_t(f.gcount()));
    if (head.size() < 12) return 0;
    const bool wav = std::memcmp(head.data(), "RIFF", 4) == 0 && std::memcmp(head.data() + 8, "WAVE", 4) == 0;
    const bool aiff = std::memcmp(head.data(), "FORM", 4) == 0 &&
                      (std::memcmp(head.data() + 8, "AIFF", 4) == 0 || std::memcmp(head.data() + 8, "AIFC", 4) == 0);
    for (size_t pos = 12; (wav || aiff) && pos + 8 <= head.size();) {
        const unsigned char* c = head.data() + pos;
        const uint32_t size = wav ? readLE(c + 4) : readBE(c + 4);
        if (wav && std::memcmp(c, "data", 4) == 0) {
            const size_t frameBytes = size_t(channels) * size_t(bytesPerSample);
            return size == 0xFFFFFFFFu || frameBytes == 0 ? 0 : size / frameBytes;
        }
        if (aiff && std::memcmp(c, "COMM", 4) == 0 && pos + 14 <= head.size()) return readBE(c + 10);
        pos += 8 + size_t(size) + (size & 1);
    }
    return 0;
}

int bytesPerSample(int subtype) {
    switch (subtype) {
        case SF_FORMAT_PCM_S8:
        case SF_FORMAT_PCM_U8:
        case SF_FORMAT_ULAW:
        case SF_FORMAT_ALAW: return 1;
        case SF_FORMAT_PCM_16: return 2;
        case SF_FORMAT_PCM_24: return 3;
        case SF_FORMAT_PCM_32:
        case SF_FORMAT_FLOAT: return 4;
        case SF_FORMAT_DOUBLE: return 8;
        default: return 0;
    }
}

}  // namespace

std::string readAudioFile(const std::string& path, CAudioBuffer* out, CSampleFormat* format,
                          size_t* declaredFrames) {
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec)) return "cannot read '" + path + "': it is a folder";
    SF_INFO info{};
    SNDFILE* f = sf_open(path.c_str(), SFM_READ, &info);
    if (!f) return "cannot read '" + path + "': " + sf_strerror(nullptr);
    if (info.channels < 1 || info.samplerate < 1) {
        sf_close(f);
        return "'" + path + "' has no audio";
    }
    if (format) *format = formatOfSubtype(info.format & SF_FORMAT_SUBMASK);
    out->sampleRate = double(info.samplerate);
    const size_t channels = size_t(info.channels);
    out->channels.assign(channels, {});
    for (auto& ch : out->channels) ch.reserve(size_t(std::max<sf_count_t>(info.frames, 0)));
    std::vector<double> chunk(kChunkFrames * channels);
    for (;;) {
        const sf_count_t got = sf_readf_double(f, chunk.data(), sf_count_t(kChunkFrames));
        if (got <= 0) break;
        for (sf_count_t i = 0; i < got; ++i)
            for (size_t c = 0; c < channels; ++c) out->channels[c].push_back(chunk[size_t(i) * channels + c]);
    }
    const int error = sf_error(f);
    sf_close(f);
    if (error != SF_ERR_NO_ERROR) return "cannot read '" + path + "': " + sf_error_number(error);
    if (declaredFrames) {
        const size_t read = out->frames();
        const size_t header = declaredFrameCount(path, info.channels, bytesPerSample(info.format & SF_FORMAT_SUBMASK));
        *declaredFrames = std::max({read, header, size_t(std::max<sf_count_t>(info.frames, 0))});
    }
    return {};
}

std::string checkOutputFormat(const std::string& path, CSampleFormat format) {
    const int major = majorFormatFor(path);
    if (!major) return "unknown output format '" + path + "' (use .wav, .flac or .aiff)";
    if (format == CSampleFormat::Float32 && major == SF_FORMAT_FLAC) return "FLAC files hold integer samples only";
    return {};
}

std::string writeAudioFile(const std::string& path, const CAudioBuffer& buf, CSampleFormat format) {
    if (std::string err = checkOutputFormat(path, format); !err.empty()) return err;
    SF_INFO info{};
    info.samplerate = int(buf.sampleRate);
    info.channels = int(buf.channels.size());
    const int subtype = format == CSampleFormat::Int16   ? SF_FORMAT_PCM_16
                        : format == CSampleFormat::Int24 ? SF_FORMAT_PCM_24
                                                         : SF_FORMAT_FLOAT;
    info.format = majorFormatFor(path) | subtype;
    if (info.channels < 1) return "nothing to write";
    SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
    if (!f) return "cannot create '" + path + "': " + sf_strerror(nullptr);
    sf_command(f, SFC_SET_CLIPPING, nullptr, SF_TRUE);
    const size_t channels = buf.channels.size();
    const size_t frames = buf.frames();
    std::vector<double> chunk(kChunkFrames * channels);
    std::string err;
    for (size_t done = 0; done < frames && err.empty(); done += kChunkFrames) {
        const size_t n = std::min(kChunkFrames, frames - done);
        for (size_t i = 0; i < n; ++i)
            for (size_t c = 0; c < channels; ++c) chunk[i * channels + c] = buf.channels[c][done + i];
        if (sf_writef_double(f, chunk.data(), sf_count_t(n)) != sf_count_t(n))
            err = "cannot write '" + path + "': " + sf_strerror(f);
    }
    if (sf_close(f) != 0 && err.empty()) err = "cannot finish '" + path + "'";
    return err;
}

}  // namespace render
