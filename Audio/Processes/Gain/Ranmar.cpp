#include "Audio/Processes/Gain/Ranmar.h"

#include <atomic>

namespace {
std::atomic<uint32_t> g_instanceCounter{0};
}

void CRanmar::init(int ij, int kl) {
    if (ij < 0 || ij > kMaxIJ || kl < 0 || kl > kMaxKL) {
        ij = 1802;
        kl = 9373;
    }
    int i = (ij / 177) % 177 + 2;
    int j = (ij % 177) + 2;
    int k = (kl / 169) % 178 + 1;
    int l = kl % 169;
    for (double& u : m_u) {
        double s = 0.0;
        double t = 0.5;
        for (int bit = 0; bit < 24; ++bit) {
            const int m = (((i * j) % 179) * k) % 179;
            i = j;
            j = k;
            k = m;
            l = (53 * l + 1) % 169;
            if ((l * m) % 64 >= 32) s += t;
            t *= 0.5;
        }
        u = s;
    }
    m_c = 362436.0 / 16777216.0;
    m_i = 96;
    m_j = 32;
}

void CRanmar::seed(uint32_t seed) { init(int(seed % 31329u), int((seed / 31329u) % 30082u)); }

uint32_t CRanmar::nextInstanceSeed() { return g_instanceCounter.fetch_add(1, std::memory_order_relaxed) & 0x7FFFFFFFu; }
