// Running tamblor-editor from the tests.
#include "Tests/Editor/EditorTestSupport.h"

#include <png.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace {
std::string quote(const std::string& s) {
    std::string q = "'";
    for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}
}  // namespace

std::string EditorRun::value(const std::string& key) const {
    for (const std::string& l : lines)
        if (l.rfind(key + " ", 0) == 0) return l.substr(key.size() + 1);
    return {};
}

double EditorRun::number(const std::string& key, double fallback) const {
    const std::string v = value(key);
    return v.empty() ? fallback : std::atof(v.c_str());
}

std::vector<std::string> EditorRun::values(const std::string& key) const {
    std::vector<std::string> out;
    for (const std::string& l : lines)
        if (l.rfind(key + " ", 0) == 0) out.push_back(l.substr(key.size() + 1));
    return out;
}

std::vector<std::string> EditorRun::linesWith(const std::string& prefix) const {
    std::vector<std::string> out;
    for (const std::string& l : lines)
        if (l.rfind(prefix, 0) == 0) out.push_back(l);
    return out;
}

std::string tempPath(const std::string& suffix) {
    static std::atomic<int> n{0};
    const char* dir = std::getenv("TMPDIR");
    return std::string(dir ? dir : "/tmp") + "/tamblor-editor-test-" + std::to_string(getpid()) + "-" +
           std::to_string(n++) + suffix;
}

std::string writeScript(const std::string& text) {
    const std::string path = tempPath(".script");
    std::ofstream(path) << text;
    return path;
}

EditorRun runEditor(const std::vector<std::string>& args, const std::vector<std::string>& env) {
    const std::string errPath = tempPath(".err");
    std::string cmd;
    for (const std::string& e : env) {
        const size_t eq = e.find('=');
        cmd += e.substr(0, eq + 1) + quote(e.substr(eq + 1)) + " ";
    }
    cmd += quote(TAMBLOR_EDITOR_TOOL);
    for (const std::string& a : args) cmd += " " + quote(a);
    cmd += " 2>" + quote(errPath);
    EditorRun run;
    FILE* p = popen(cmd.c_str(), "r");
    if (!p) return run;
    char buf[4096];
    while (std::fgets(buf, sizeof buf, p)) {
        std::string line(buf);
        while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
        run.lines.push_back(line);
    }
    const int st = pclose(p);
    run.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    std::ifstream e(errPath);
    std::stringstream ss;
    ss << e.rdbuf();
    run.errors = ss.str();
    std::remove(errPath.c_str());
    return run;
}

bool readPng(const std::string& path, PngImage* out) {
    png_image img{};
    img.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&img, path.c_str())) return false;
    img.format = PNG_FORMAT_BGRA;
    std::vector<uint32_t> px(size_t(img.width) * img.height);
    if (!png_image_finish_read(&img, nullptr, px.data(), 0, nullptr)) return false;
    for (uint32_t& p : px) p &= 0xFFFFFF;
    out->width = int(img.width), out->height = int(img.height);
    out->pixels = std::move(px);
    return true;
}
