#include "Audio/Filters/AudioFilterList.h"

bool CAudioFilterParamList::set(std::string_view name, double value, double lo, double hi) {
    Entry* e = find(name);
    if (!e) {
        if (m_count == kCapacity) return false;
        e = &m_entries[m_count++];
        e->name = name;
    }
    e->value = value;
    e->lo = lo < hi ? lo : hi;
    e->hi = lo < hi ? hi : lo;
    return true;
}

const CAudioFilterParamList::Entry* CAudioFilterParamList::find(std::string_view name) const {
    for (size_t i = 0; i < m_count; ++i)
        if (m_entries[i].name == name) return &m_entries[i];
    return nullptr;
}

CAudioFilterParamList::Entry* CAudioFilterParamList::find(std::string_view name) {
    for (size_t i = 0; i < m_count; ++i)
        if (m_entries[i].name == name) return &m_entries[i];
    return nullptr;
}

void CAudioFilterList::reserve(size_t sections, size_t taps, size_t kernels) {
    m_sections.reserve(sections);
    if (m_taps.size() < taps) m_taps.resize(taps);
    m_kernelEnds.reserve(kernels);
}

void CAudioFilterList::clear() {
    m_latency = 0;
    m_overflow = false;
    m_sections.clear();
    m_tapsUsed = 0;
    m_kernelEnds.clear();
}

bool CAudioFilterList::addSection(const CFilterSection& s) {
    if (m_sections.size() == m_sections.capacity()) {
        m_overflow = true;
        return false;
    }
    m_sections.push_back(s);
    return true;
}

std::span<double> CAudioFilterList::appendKernel(size_t n) {
    if (m_kernelEnds.size() == m_kernelEnds.capacity() || n > m_taps.size() - m_tapsUsed) {
        m_overflow = true;
        return {};
    }
    std::span<double> out(m_taps.data() + m_tapsUsed, n);
    m_tapsUsed += n;
    m_kernelEnds.push_back(m_tapsUsed);
    return out;
}

std::span<const double> CAudioFilterList::kernel(size_t i) const {
    const size_t begin = i == 0 ? 0 : m_kernelEnds[i - 1];
    return {m_taps.data() + begin, m_kernelEnds[i] - begin};
}
