// tamblor-bankc: compiles one XML source of presets into a bank file (an
// "abnk" block) or a preset list (an "alst" block).
//
//     tamblor-bankc INPUT.xml OUTPUT
//
// The output is written only when the compile succeeds (through a temporary
// file renamed into place).

#include <cstdio>
#include <string>

#include "Tools/BankCompiler/BankCompiler.h"
#include "Tools/Common/WriteOutput.h"

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
    return kelWriteToolOutput(output, {result.block.data(), result.block.size()});
}
