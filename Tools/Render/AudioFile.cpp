#include "Tools/Render/AudioFile.h"

#include <sndfile.h>

#include <algorithm>
#include <cctype>
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

constexpr size_t kChunkFrames = 4096;

}  // namespace

std::string readAudioFile(const std::string& path, CAudioBuffer* out) {
    SF_INFO info{};
    SNDFILE* f = sf_open(path.c_str(), SFM_READ, &info);
    if (!f) return "cannot open '" + path + "': " + sf_strerror(nullptr);
    if (info.channels < 1 || info.samplerate < 1) {
        sf_close(f);
        return "'" + path + "' has no audio";
    }
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
    sf_close(f);
    return {};
}

std::string writeAudioFile(const std::string& path, const CAudioBuffer& buf, bool asFloat) {
    const std::string ext = lowerExtension(path);
    int major = 0;
    if (ext == "wav")
        major = SF_FORMAT_WAV;
    else if (ext == "flac")
        major = SF_FORMAT_FLAC;
    else if (ext == "aif" || ext == "aiff")
        major = SF_FORMAT_AIFF;
    else
        return "unknown output format '." + ext + "' (use .wav, .flac or .aiff)";
    if (asFloat && major == SF_FORMAT_FLAC) return "FLAC files hold integer samples only";
    SF_INFO info{};
    info.samplerate = int(buf.sampleRate);
    info.channels = int(buf.channels.size());
    info.format = major | (asFloat ? SF_FORMAT_FLOAT : SF_FORMAT_PCM_24);
    if (info.channels < 1) return "nothing to write";
    SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
    if (!f) return "cannot create '" + path + "': " + sf_strerror(nullptr);
    // Integer formats clip rather than wrap.
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
