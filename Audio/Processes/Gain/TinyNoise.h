#pragma once
// The tiny noise source that keeps signals away from exact zeros and the
// denormal range: a 32-bit linear congruential state (starting at 0) advanced
// as state·30013 + 30011 modulo 2^32; bit 23 of the new state picks +1e-11 or
// −1e-11. One instance per channel.
//
// addTo() produces a block of the same sequence without waiting for each
// state in turn: the state k steps ahead is A_k·state + C_k (mod 2^32), so
// the eight states of a group of eight samples all follow from the group's
// first state at once (jump-ahead), and only one step per group is serial.

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>

// The multipliers and increments of k + 1 steps of the generator below,
// k = 0 ... Count - 1.
template <int Count>
struct CTinyNoiseJump {
    std::array<uint32_t, Count> mul{}, add{};

    static constexpr CTinyNoiseJump make(uint32_t stepMul, uint32_t stepAdd) {
        CTinyNoiseJump j;
        uint32_t a = 1u, c = 0u;
        for (int k = 0; k < Count; ++k) {
            a = a * stepMul;
            c = c * stepMul + stepAdd;
            j.mul[size_t(k)] = a;
            j.add[size_t(k)] = c;
        }
        return j;
    }
};

class CTinyNoise {
public:
    static constexpr uint32_t kMul = 30013u;
    static constexpr uint32_t kAdd = 30011u;

    double next() {
        m_state = m_state * kMul + kAdd;
        return value(m_state);
    }
    uint32_t state() const { return m_state; }

    // out[i] = in[i] + next() for i < n, in sequence; in == out is allowed.
    // (TinyNoise.cpp: eight states per vector step where the processor has AVX2.)
    void addTo(const double* in, double* out, int n);

private:
    static constexpr int kGroup = 8;
    // (bit 23 ? 2e-11 : 0) - 1e-11, which is exactly +1e-11 or -1e-11: the
    // sign set from the bit without a branch (the bit is a coin toss).
    static double value(uint32_t s) {
        return std::bit_cast<double>(kTinyBits | (uint64_t(~s >> 23 & 1u) << 63));
    }
    static constexpr uint64_t kTinyBits = std::bit_cast<uint64_t>(1e-11);
    static_assert(2e-11 - 1e-11 == 1e-11 && 0.0 - 1e-11 == -1e-11);

    static constexpr CTinyNoiseJump<kGroup> kJump = CTinyNoiseJump<kGroup>::make(kMul, kAdd);

    uint32_t m_state = 0;
};
