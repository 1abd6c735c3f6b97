#include "Core/WriteSeqBuffer.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "Core/MemAllocator.h"

CWriteSeqBuffer::CWriteSeqBuffer(size_t firstBlockSize) : m_firstSize(std::max<size_t>(firstBlockSize, 1)) {}

CWriteSeqBuffer::~CWriteSeqBuffer() { freeBlocks(0); }

void CWriteSeqBuffer::addBlock(size_t size) {
    auto* p = static_cast<uint8_t*>(CKelMemAllocator::alloc(size));
    if (!p) throw std::bad_alloc();
    if (!m_blocks.empty()) m_fullBytes += m_used;
    m_blocks.push_back({p, size});
    m_used = 0;
}

void CWriteSeqBuffer::freeBlocks(size_t from) {
    for (size_t i = from; i < m_blocks.size(); ++i) CKelMemAllocator::free(m_blocks[i].data);
    m_blocks.resize(std::min(from, m_blocks.size()));
}

CError CWriteSeqBuffer::write(const void* buffer, size_t count) {
    auto* in = static_cast<const uint8_t*>(buffer);
    if (count && m_blocks.empty()) addBlock(std::max(m_firstSize, count));
    while (count) {
        Block& last = m_blocks.back();
        const size_t n = std::min(count, last.size - m_used);
        std::memcpy(last.data + m_used, in, n);
        m_used += n;
        in += n;
        count -= n;
        if (count) addBlock(std::max(count, std::min(last.size * 2, std::max(kMaxGrowth, m_firstSize))));
    }
    return {};
}

CError CWriteSeqBuffer::writeTo(COutputStream& out) const {
    for (size_t i = 0; i < m_blocks.size(); ++i) {
        const size_t n = i + 1 < m_blocks.size() ? m_blocks[i].size : m_used;
        if (n) KEL_TRY(out.write(m_blocks[i].data, n));
    }
    return {};
}

void CWriteSeqBuffer::copyTo(uint8_t* dest) const {
    for (size_t i = 0; i < m_blocks.size(); ++i) {
        const size_t n = i + 1 < m_blocks.size() ? m_blocks[i].size : m_used;
        if (n) std::memcpy(dest, m_blocks[i].data, n);
        dest += n;
    }
}

std::vector<uint8_t> CWriteSeqBuffer::bytes() const {
    std::vector<uint8_t> out(size());
    copyTo(out.data());
    return out;
}

std::span<const uint8_t> CWriteSeqBuffer::contiguous() {
    if (m_blocks.size() > 1) {
        const size_t total = size();
        auto* p = static_cast<uint8_t*>(CKelMemAllocator::alloc(total));
        if (!p) throw std::bad_alloc();
        copyTo(p);
        freeBlocks(0);
        m_blocks.push_back({p, total});
        m_fullBytes = 0;
        m_used = total;
    }
    if (m_blocks.empty()) return {};
    return {m_blocks.front().data, m_used};
}

void CWriteSeqBuffer::clear() {
    // A first block that a merge or a large first write made bigger stays.
    freeBlocks(1);
    m_fullBytes = 0;
    m_used = 0;
}
