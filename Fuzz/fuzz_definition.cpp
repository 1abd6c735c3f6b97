// libFuzzer target: arbitrary bytes as a compiled definition. Every input must
// either load or return an error record; nothing may read out of bounds, leak
// or crash. The target is a fresh shared object, so template nodes are
// recorded as they are during start-up.

#include <cstddef>
#include <cstdint>
#include <span>

#include "Core/Application.h"
#include "Core/XMLData.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    CSharedObject target;
    (void)kelLoadCompiledDefinition(&target, std::span<const uint8_t>(data, size));
    return 0;
}
