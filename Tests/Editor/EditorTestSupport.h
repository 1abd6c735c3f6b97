#pragma once
// Runs tamblor-editor (the bundle's editor in a host window of its own, on
// the X server of the test) and reads its report: one "key value..." fact
// per line.

#include <map>
#include <string>
#include <vector>

struct EditorRun {
    int status = -1;
    std::vector<std::string> lines;  // the report, in order
    std::string errors;              // standard error

    // The value of the first line starting with "key " ("" when none).
    std::string value(const std::string& key) const;
    double number(const std::string& key, double fallback = -1) const;
    // Every value of that key, in order (e.g. both resource reports).
    std::vector<std::string> values(const std::string& key) const;
    // Lines starting with a prefix ("begin ", "perform ").
    std::vector<std::string> linesWith(const std::string& prefix) const;
};

// Runs the tool with arguments (each one shell-quoted here) and
// environment settings ("NAME=value").
EditorRun runEditor(const std::vector<std::string>& args, const std::vector<std::string>& env = {});

// A fresh temporary file name with a suffix.
std::string tempPath(const std::string& suffix);
// Writes a script file and returns its path.
std::string writeScript(const std::string& text);

struct PngImage {
    int width = 0, height = 0;
    std::vector<uint32_t> pixels;  // 0xRRGGBB
    uint32_t at(int x, int y) const { return pixels[size_t(y) * size_t(width) + size_t(x)]; }
};
bool readPng(const std::string& path, PngImage* out);
