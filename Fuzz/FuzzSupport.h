#pragma once
// Helpers shared by the fuzz targets.

#include <cstdio>
#include <cstdlib>

#include "Core/Stream.h"

// Fails the run (libFuzzer saves the input) when a property does not hold.
#define FUZZ_CHECK(cond)                                                        \
    do {                                                                        \
        if (!(cond)) {                                                          \
            std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #cond); \
            std::abort();                                                       \
        }                                                                       \
    } while (0)

// A source that can neither tell its size nor move back, so readers fall back
// to their plain paths (the base class's skip and streamed read, byte-wise
// inflating).
class CPlainReader : public CInputStream {
public:
    explicit CPlainReader(CInputStream& in) : m_in(in) {}
    CError read(void* buffer, size_t count) override { return m_in.read(buffer, count); }

private:
    CInputStream& m_in;
};

inline uint32_t fuzzLE32(const uint8_t* b) {
    return uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24;
}
