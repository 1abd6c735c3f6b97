#pragma once
// A zero-initialised array of doubles on a 64-byte boundary: the sample,
// spectrum and work buffers of the vector kernels. Allocation reports failure
// instead of throwing.

#include <cstddef>
#include <cstring>
#include <new>

class CAlignedBuffer {
public:
    static constexpr size_t kAlign = 64;

    CAlignedBuffer() = default;
    ~CAlignedBuffer() { release(); }
    CAlignedBuffer(const CAlignedBuffer&) = delete;
    CAlignedBuffer& operator=(const CAlignedBuffer&) = delete;
    CAlignedBuffer(CAlignedBuffer&& o) noexcept : m_data(o.m_data), m_size(o.m_size) {
        o.m_data = nullptr;
        o.m_size = 0;
    }
    CAlignedBuffer& operator=(CAlignedBuffer&& o) noexcept {
        if (this != &o) {
            release();
            m_data = o.m_data;
            m_size = o.m_size;
            o.m_data = nullptr;
            o.m_size = 0;
        }
        return *this;
    }

    // Replaces the contents by count zeros; false (leaving the buffer empty)
    // when memory is short.
    bool allocate(size_t count) {
        release();
        if (count == 0) return true;
        if (count > size_t(-1) / sizeof(double)) return false;
        void* p = ::operator new(count * sizeof(double), std::align_val_t(kAlign), std::nothrow);
        if (!p) return false;
        m_data = static_cast<double*>(p);
        m_size = count;
        clear();
        return true;
    }

    void release() {
        if (m_data) ::operator delete(m_data, std::align_val_t(kAlign));
        m_data = nullptr;
        m_size = 0;
    }

    void clear() {
        if (m_size) std::memset(m_data, 0, m_size * sizeof(double));
    }

    double* data() { return m_data; }
    const double* data() const { return m_data; }
    size_t size() const { return m_size; }
    bool empty() const { return m_size == 0; }
    double& operator[](size_t i) { return m_data[i]; }
    double operator[](size_t i) const { return m_data[i]; }

private:
    double* m_data = nullptr;
    size_t m_size = 0;
};
