// tamblor-defc: compiles one definition document from XML into the binary
// form the program embeds.
//
//     tamblor-defc INPUT.xml OUTPUT
//
// The output is written only when the compile succeeds (through a temporary
// file renamed into place), so a failed build never leaves a stale document.

#include <cstdio>
#include <string>

#include "Tools/Common/WriteOutput.h"
#include "Tools/DefCompiler/DefCompiler.h"

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: tamblor-defc INPUT.xml OUTPUT\n");
        return 2;
    }
    const std::string input = argv[1], output = argv[2];
    std::vector<uint8_t> bytes;
    std::string error;
    if (!CDefCompiler::compileFile(input, &bytes, &error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    return kelWriteToolOutput(output, {bytes.data(), bytes.size()});
}
