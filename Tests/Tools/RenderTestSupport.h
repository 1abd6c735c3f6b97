#pragma once
// Running the built tamblor-render as a user runs it, and reading and
// writing the audio files it takes and gives, for the render tool's tests
// (Linux).
#include <gtest/gtest.h>
#include <sndfile.h>
#include <sys/wait.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "../VST/VstTestSupport.h"

#if !defined(TAMBLOR_TEST_BUNDLE) || !defined(TAMBLOR_TEST_RENDER)
#error "TAMBLOR_TEST_BUNDLE and TAMBLOR_TEST_RENDER name the built bundle and program"
#endif

namespace rendertest {

namespace fs = std::filesystem;

struct RenderRun {
    int status = -1;
    std::string out;  // stdout
    std::string err;  // stderr
};

// The module's block allocator never gives its chunks back, which the leak
// checker reports once the module is closed; address errors still fail a run.
#ifdef TAMBLOR_SANITIZED
inline constexpr const char* kChildEnv = "ASAN_OPTIONS=detect_leaks=0 ";
#else
inline constexpr const char* kChildEnv = "";
#endif

inline std::string slurp(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

inline RenderRun runRender(const std::string& dir, const std::string& args) {
    RenderRun run;
    const std::string errFile = dir + "/../" + fs::path(dir).filename().string() + ".stderr";
    const std::string cmd = "cd '" + dir + "' && " + kChildEnv + "'" TAMBLOR_TEST_RENDER "' --plugin '" TAMBLOR_TEST_BUNDLE
                            "' " + args + " 2>'" + errFile + "'";
    FILE* pipe = popen(cmd.c_str(), "r");
    if (!pipe) return run;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, pipe)) > 0) run.out.append(buf, n);
    const int st = pclose(pipe);
    run.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    run.err = slurp(errFile);
    fs::remove(errFile);
    return run;
}

// The "key": value pairs of the flat JSON report (values as written).
inline std::map<std::string, std::string> jsonFields(const std::string& text) {
    std::map<std::string, std::string> f;
    const std::regex pair("\"([a-z_0-9]+)\": (\"[^\"]*\"|[^,\\n]+)");
    for (auto it = std::sregex_iterator(text.begin(), text.end(), pair); it != std::sregex_iterator(); ++it)
        f[(*it)[1]] = (*it)[2];
    return f;
}

inline double number(const std::map<std::string, std::string>& f, const std::string& key) {
    const auto it = f.find(key);
    return it == f.end() || it->second == "null" ? NAN : std::stod(it->second);
}

inline std::set<std::string> filesIn(const std::string& dir) {
    std::set<std::string> names;
    for (const auto& e : fs::directory_iterator(dir)) names.insert(e.path().filename().string());
    return names;
}

struct Audio {
    SF_INFO info{};
    std::vector<double> samples;  // interleaved
    bool ok = false;
};

inline Audio readAudio(const std::string& path) {
    Audio a;
    SNDFILE* f = sf_open(path.c_str(), SFM_READ, &a.info);
    if (!f) return a;
    a.samples.resize(size_t(a.info.frames * a.info.channels));
    sf_readf_double(f, a.samples.data(), a.info.frames);
    sf_close(f);
    a.ok = true;
    return a;
}

inline void writeAudio(const std::string& path, int rate, int channels, int format, const std::vector<double>& interleaved) {
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = channels;
    info.format = format;
    SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
    ASSERT_NE(f, nullptr) << sf_strerror(nullptr);
    sf_writef_double(f, interleaved.data(), sf_count_t(interleaved.size() / size_t(channels)));
    sf_close(f);
}

}  // namespace rendertest
