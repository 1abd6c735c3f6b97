#pragma once
// CRanmar: the Marsaglia–Zaman universal random generator (a 97-entry lagged
// difference table with lags 97 and 33, combined with an arithmetic sequence
// c −= cd modulo cm). All values are multiples of 2^-24, so the arithmetic is
// exact in doubles. One deliberate difference from the usual formulation: a
// lagged difference of exactly 0 becomes 1, so that the table never holds a
// zero.

#include <cstdint>

class CRanmar {
public:
    static constexpr int kMaxIJ = 31328;
    static constexpr int kMaxKL = 30081;

    // Seeded with the generator's reference pair (1802, 9373).
    CRanmar() { init(1802, 9373); }

    // Fills the table from the seed pair; a pair out of range (ij outside
    // 0…31328 or kl outside 0…30081) is replaced by 1802, 9373.
    void init(int ij, int kl);

    // Seeds from one number: ij = seed mod 31329, kl = (seed / 31329) mod 30082.
    void seed(uint32_t seed);

    // The next draw in [0, 1).
    double next() {
        // The wrap-arounds are written as selects: their outcomes are random,
        // so branches on them would be mispredicted half of the time.
        double uni = m_u[m_i] - m_u[m_j];
        uni += uni <= 0.0 ? 1.0 : 0.0;
        m_u[m_i] = uni;
        if (--m_i < 0) m_i = 96;
        if (--m_j < 0) m_j = 96;
        m_c -= kCD;
        m_c += m_c < 0.0 ? kCM : 0.0;
        uni -= m_c;
        uni += uni < 0.0 ? 1.0 : 0.0;
        return uni;
    }

    // A process-wide running number for seeding: the counter masked to 31
    // bits, then incremented. Thread-safe.
    static uint32_t nextInstanceSeed();

private:
    static constexpr double kCD = 7654321.0 / 16777216.0;
    static constexpr double kCM = 16777213.0 / 16777216.0;

    double m_u[97];
    double m_c = 0.0;
    int m_i = 96;  // lag 97, as a 0-based index
    int m_j = 32;  // lag 33
};
