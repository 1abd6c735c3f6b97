#pragma once
// CWriteSeqBuffer: an output stream that collects everything written into a
// list of blocks and writes it out in one go (the state save gathers its data
// here before handing it to the host). The first block has the size given to
// the constructor; each further block doubles the previous one (up to 1 MB),
// but is always large enough for the rest of the write that needs it. Every
// block but the last is full.

#include <span>
#include <vector>

#include "Core/Stream.h"

class CWriteSeqBuffer : public COutputStream {
public:
    static constexpr size_t kMaxGrowth = size_t(1) << 20;

    explicit CWriteSeqBuffer(size_t firstBlockSize = 256);
    ~CWriteSeqBuffer() override;
    CWriteSeqBuffer(const CWriteSeqBuffer&) = delete;
    CWriteSeqBuffer& operator=(const CWriteSeqBuffer&) = delete;

    CError write(const void* buffer, size_t count) override;

    // Writes every full block in order, then the used part of the last one.
    CError writeTo(COutputStream& out) const;

    // Bytes written so far.
    size_t size() const { return m_fullBytes + m_used; }
    size_t blockCount() const { return m_blocks.size(); }
    // Copies the size() bytes to dest.
    void copyTo(uint8_t* dest) const;
    std::vector<uint8_t> bytes() const;
    // The bytes in one piece: merges the blocks into one when there are
    // several. The view is valid until the next write or clear.
    std::span<const uint8_t> contiguous();

    // Drops the content; the first block is kept for reuse.
    void clear();

private:
    struct Block {
        uint8_t* data;
        size_t size;
    };
    void addBlock(size_t size);
    void freeBlocks(size_t from);

    std::vector<Block> m_blocks;
    size_t m_firstSize;
    size_t m_fullBytes = 0;  // bytes in the blocks before the last
    size_t m_used = 0;       // bytes used in the last block
};
