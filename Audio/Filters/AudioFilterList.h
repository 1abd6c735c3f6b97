#pragma once
// What filter generators produce and read.
//
// CAudioFilterList: a generated filter — the accumulated latency in samples
// (every generator adds its own delay), the IIR sections in series, and the
// FIR kernels (64-bit taps). Its storage is reserved in advance, so that a
// module can regenerate on the audio thread without allocating: appending
// beyond the reserve fails (and marks the list) instead of growing.
//
// CAudioFilterParamList: the parameter values a generator looks up by name
// ("freq", "gain", "bw", "length", "beta", "power"), each with the range it
// may take, which generators use to bound the storage a module reserves.

#include <array>
#include <cstddef>
#include <span>
#include <string_view>
#include <vector>

#include "Audio/Filters/FilterSection.h"

class CAudioFilterParamList {
public:
    static constexpr size_t kCapacity = 8;

    struct Entry {
        std::string_view name;
        double value = 0.0;
        double lo = 0.0, hi = 0.0;  // the range the value may take
    };

    // Sets a value (and a range of that value alone); false when full.
    bool set(std::string_view name, double value) { return set(name, value, value, value); }
    bool set(std::string_view name, double value, double lo, double hi);
    // The entry of a name, or nullptr.
    const Entry* find(std::string_view name) const;
    Entry* find(std::string_view name);
    // The value of a name, or def when absent.
    double value(std::string_view name, double def) const {
        const Entry* e = find(name);
        return e ? e->value : def;
    }
    size_t size() const { return m_count; }
    const Entry& operator[](size_t i) const { return m_entries[i]; }
    void clear() { m_count = 0; }

private:
    std::array<Entry, kCapacity> m_entries{};
    size_t m_count = 0;
};

class CAudioFilterList {
public:
    // Reserves room for sections, FIR taps (all kernels together) and kernels.
    void reserve(size_t sections, size_t taps, size_t kernels);
    // Empties the list (latency 0, nothing generated); keeps the reserve.
    void clear();

    int latency() const { return m_latency; }
    void addLatency(int samples) { m_latency += samples; }

    // Appends a section; false (the list marked overflowed) beyond the reserve.
    bool addSection(const CFilterSection& s);
    std::span<const CFilterSection> sections() const { return m_sections; }

    // A writable kernel of n taps appended to the list; empty (the list
    // marked overflowed) when the reserve cannot hold it.
    std::span<double> appendKernel(size_t n);
    size_t kernelCount() const { return m_kernelEnds.size(); }
    std::span<const double> kernel(size_t i) const;

    // True when something did not fit the reserve since the last clear().
    bool overflowed() const { return m_overflow; }

private:
    int m_latency = 0;
    bool m_overflow = false;
    std::vector<CFilterSection> m_sections;
    std::vector<double> m_taps;       // sized to the reserve
    size_t m_tapsUsed = 0;
    std::vector<size_t> m_kernelEnds; // capacity reserved
};
