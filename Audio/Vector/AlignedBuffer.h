#pragma once
// A zero-initialised array of doubles on a 64-byte boundary: the sample,
// spectrum and work buffers of the vector kernels. Allocation reports failure
// instead of throwing.
//
// Large arrays take whole pages from the system, which cost resident memory
// only where they are first written; allocating writes nothing, and clearing
// an array that was never written (no non-const access since it was
// allocated) touches none of its pages. So the convolution state of a channel
// that never carries signal stays unmapped.

#include <cstddef>
#include <cstring>
#include <new>
#include <utility>

#include "Platform/Pages.h"

class CAlignedBuffer {
public:
    static constexpr size_t kAlign = 64;

    CAlignedBuffer() = default;
    ~CAlignedBuffer() { release(); }
    CAlignedBuffer(const CAlignedBuffer&) = delete;
    CAlignedBuffer& operator=(const CAlignedBuffer&) = delete;
    // From this size on an array takes pages of its own.
    static constexpr size_t kPageBytes = 16384;

    CAlignedBuffer(CAlignedBuffer&& o) noexcept
        : m_data(std::exchange(o.m_data, nullptr)),
          m_size(std::exchange(o.m_size, 0)),
          m_pages(std::exchange(o.m_pages, false)),
          m_written(std::exchange(o.m_written, false)) {}
    CAlignedBuffer& operator=(CAlignedBuffer&& o) noexcept {
        if (this != &o) {
            release();
            m_data = std::exchange(o.m_data, nullptr);
            m_size = std::exchange(o.m_size, 0);
            m_pages = std::exchange(o.m_pages, false);
            m_written = std::exchange(o.m_written, false);
        }
        return *this;
    }

    // Replaces the contents by count zeros; false (leaving the buffer empty)
    // when memory is short.
    bool allocate(size_t count) {
        release();
        if (count == 0) return true;
        if (count > size_t(-1) / sizeof(double)) return false;
        const size_t bytes = count * sizeof(double);
        if (bytes >= kPageBytes) {
            // Page-aligned and zero already.
            m_data = static_cast<double*>(plat::pageAlloc(bytes));
            if (!m_data) return false;
            m_pages = true;
            m_size = count;
            m_written = false;
            return true;
        }
        void* p = ::operator new(bytes, std::align_val_t(kAlign), std::nothrow);
        if (!p) return false;
        m_data = static_cast<double*>(p);
        m_size = count;
        std::memset(m_data, 0, bytes);
        m_written = false;
        return true;
    }

    void release() {
        if (m_data) {
            if (m_pages)
                plat::pageFree(m_data, m_size * sizeof(double));
            else
                ::operator delete(m_data, std::align_val_t(kAlign));
        }
        m_data = nullptr;
        m_size = 0;
        m_pages = false;
        m_written = false;
    }

    // Zeroes the array unless it was never written. (The array keeps
    // counting as written: a pointer taken before may still write to it.)
    void clear() {
        if (m_size && m_written) std::memset(m_data, 0, m_size * sizeof(double));
    }

    // For writing: the array counts as written from now on.
    double* data() {
        m_written = true;
        return m_data;
    }
    const double* data() const { return m_data; }
    size_t size() const { return m_size; }
    bool empty() const { return m_size == 0; }
    double& operator[](size_t i) { return data()[i]; }
    double operator[](size_t i) const { return m_data[i]; }
    // Whether the array may hold anything but zeros.
    bool written() const { return m_written; }

private:
    double* m_data = nullptr;
    size_t m_size = 0;
    bool m_pages = false;
    bool m_written = false;
};
