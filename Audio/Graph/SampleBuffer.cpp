#include "Audio/Graph/SampleBuffer.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>
#include <utility>

#include "Platform/Pages.h"

namespace {
// From this size on a buffer takes whole pages of its own: below it the heap
// wastes less than a page would.
constexpr size_t kPageBytes = 16384;
}  // namespace

CSampleBuffer::CSampleBuffer(CSampleBuffer&& other) noexcept
    : m_data(std::exchange(other.m_data, nullptr)),
      m_size(std::exchange(other.m_size, 0)),
      m_pages(std::exchange(other.m_pages, false)),
      m_written(std::exchange(other.m_written, false)) {}

CSampleBuffer& CSampleBuffer::operator=(CSampleBuffer&& other) noexcept {
    if (this != &other) {
        release();
        m_data = std::exchange(other.m_data, nullptr);
        m_size = std::exchange(other.m_size, 0);
        m_pages = std::exchange(other.m_pages, false);
        m_written = std::exchange(other.m_written, false);
    }
    return *this;
}

CSampleBuffer::CSampleBuffer(const CSampleBuffer& other) { *this = other; }

CSampleBuffer& CSampleBuffer::operator=(const CSampleBuffer& other) {
    if (this == &other) return *this;
    if (m_size != other.m_size) allocate(other.m_size);
    if (other.m_written)
        std::memcpy(data(), other.m_data, m_size * sizeof(double));
    else
        zero();
    return *this;
}

void CSampleBuffer::allocate(size_t count) {
    release();
    if (count == 0) return;
    const size_t bytes = count * sizeof(double);
    if (bytes >= kPageBytes) {
        m_data = static_cast<double*>(plat::pageAlloc(bytes));
        m_pages = true;
    } else {
        m_data = static_cast<double*>(std::calloc(count, sizeof(double)));
        m_pages = false;
    }
    if (!m_data) throw std::bad_alloc();
    m_size = count;
    m_written = false;
}

void CSampleBuffer::release() {
    if (m_data) {
        if (m_pages)
            plat::pageFree(m_data, m_size * sizeof(double));
        else
            std::free(m_data);
    }
    m_data = nullptr;
    m_size = 0;
    m_pages = false;
    m_written = false;
}

void CSampleBuffer::zero(size_t count) {
    if (!m_written) return;
    std::memset(m_data, 0, std::min(count, m_size) * sizeof(double));
    m_written = false;
}
