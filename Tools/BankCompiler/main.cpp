// tamblor-bankc: compiles one XML source of presets into a bank file (an
// "abnk" block) or a preset list (an "alst" block).
//
//     tamblor-bankc INPUT.xml OUTPUT
//
// The output is written only when the compile succeeds (through a temporary
// file renamed into place).

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>

#include "Tools/BankCompiler/BankCompiler.h"

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: tamblor-bankc INPUT.xml OUTPUT\n");
        return 2;
    }
    const std::string input = argv[1], output = argv[2];
    CBankCompiler::Output result;
    std::string error;
    if (!CBankCompiler::compileFile(input, &result, &error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    const std::string temp = output + ".tmp";
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(result.block.data()), std::streamsize(result.block.size()));
        if (!out) {
            std::fprintf(stderr, "%s: error: cannot write the output\n", temp.c_str());
            return 1;
        }
    }
    std::error_code ec;
    std::filesystem::rename(temp, output, ec);
    if (ec) {
        std::fprintf(stderr, "%s: error: cannot rename to %s: %s\n", temp.c_str(), output.c_str(),
                     ec.message().c_str());
        return 1;
    }
    return 0;
}
