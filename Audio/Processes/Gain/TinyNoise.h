#pragma once
// The tiny noise source that keeps signals away from exact zeros and the
// denormal range: a 32-bit linear congruential state (starting at 0) advanced
// as state·30013 + 30011 modulo 2^32; bit 23 of the new state picks +1e-11 or
// −1e-11. One instance per channel.

#include <cstdint>

class CTinyNoise {
public:
    double next() {
        m_state = m_state * 30013u + 30011u;
        return ((m_state & (1u << 23)) ? 2e-11 : 0.0) - 1e-11;
    }
    uint32_t state() const { return m_state; }

private:
    uint32_t m_state = 0;
};
