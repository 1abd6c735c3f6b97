#pragma once
// CSampleBuffer: a zero-filled array of samples sized when a process is
// prepared, for the worst case of channels, groups, rates and delays.
//
// Large buffers come straight from the system's pages, which take resident
// memory only where they are first written: the parts of a buffer that belong
// to channels or groups that carry no signal, or to delays longer than the
// one in force, cost nothing, and allocating writes nothing. The buffer also
// remembers whether it may have been written since it was allocated or last
// zeroed (any access through the non-const data() counts as a write), so
// zeroing a buffer that was never written touches none of its pages.
//
// Threads: allocate() and release() on the main thread; the rest anywhere.

#include <cstddef>

class CSampleBuffer {
public:
    CSampleBuffer() = default;
    explicit CSampleBuffer(size_t count) { allocate(count); }
    ~CSampleBuffer() { release(); }
    CSampleBuffer(CSampleBuffer&& other) noexcept;
    CSampleBuffer& operator=(CSampleBuffer&& other) noexcept;
    // Copies allocate only when the sizes differ: a copy into a buffer of
    // the same size never allocates (audio thread).
    CSampleBuffer(const CSampleBuffer& other);
    CSampleBuffer& operator=(const CSampleBuffer& other);

    // Replaces the contents by `count` zeros (throws std::bad_alloc when the
    // system has no memory, as a std::vector would).
    void allocate(size_t count);
    void release();

    size_t size() const { return m_size; }
    bool empty() const { return m_size == 0; }
    // For writing: the buffer counts as written from now on.
    double* data() {
        m_written = true;
        return m_data;
    }
    const double* data() const { return m_data; }
    double& operator[](size_t i) { return data()[i]; }
    double operator[](size_t i) const { return m_data[i]; }
    // Whether the buffer may hold anything but zeros.
    bool written() const { return m_written; }

    // Sets every sample to zero; touches nothing when nothing was written.
    void zero() { zero(m_size); }
    // The same for a buffer written only in its first `count` samples.
    void zero(size_t count);

private:
    double* m_data = nullptr;
    size_t m_size = 0;
    bool m_pages = false;    // from the system's pages, not the heap
    bool m_written = false;
};
