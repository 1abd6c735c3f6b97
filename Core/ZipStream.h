#pragma once
// Zip streams: zlib (deflate with zlib header) over another stream.
//
// CInputZipStream inflates from a source stream. A source that is a
// CPosStream with a known position and size is read in chunks of at most what
// it has left, and the input that lies beyond the end of the zlib stream is
// given back by moving the source's position back, so blocks can sit back to
// back in one stream. Any other source is read one byte at a time, which also
// never consumes a byte beyond the zlib stream.
//
// COutputZipStream deflates into a target stream; close finishes the zlib
// stream and writes what is left.

#include <zlib.h>

#include <memory>

#include "Core/Stream.h"

KELSTR(CInputZipStream_open_inflateInit, "zlib inflateInit error %1 (%2).");
KELSTR(CInputZipStream_read_NoStream, "Input stream not specified.");
KELSTR(CInputZipStream_read_EOF, "Premature end of file.");
KELSTR(CInputZipStream_read_inflate, "zlib inflate error %1 (%2).");
KELSTR(CInputZipStream_close_inflateEnd, "zlib inflateEnd error %1 (%2).");
KELSTR(COutputZipStream_open_deflateInit, "zlib deflateInit error %1 (%2).");
KELSTR(COutputZipStream_write_NoStream, "Output stream not specified.");
KELSTR(COutputZipStream_write_deflate, "zlib deflate error %1 (%2).");
KELSTR(COutputZipStream_close_deflate, "zlib deflate error %1 (%2).");
KELSTR(COutputZipStream_close_deflateEnd, "zlib deflateEnd error %1 (%2).");

// The zlib interface version the streams are initialised for.
inline constexpr char kZipVersion[] = "1.2.8";

class CZipStream {
public:
    static constexpr size_t kBufferSize = 32768;

    CZipStream();
    virtual ~CZipStream() = default;
    CZipStream(const CZipStream&) = delete;
    CZipStream& operator=(const CZipStream&) = delete;

    bool isOpen() const { return m_open; }
    // Bytes on either side of the zlib stream so far.
    uint64_t totalIn() const { return m_z.total_in; }
    uint64_t totalOut() const { return m_z.total_out; }

protected:
    // zlib's message for the last call, or the text of its code.
    CString zlibMessage(int code) const;

    z_stream m_z{};
    std::unique_ptr<uint8_t[]> m_buffer;
    bool m_open = false;
};

class CInputZipStream : public CInputStream, public CZipStream {
public:
    ~CInputZipStream() override;

    CError open(CInputStream* source);
    // Inflates exactly count bytes.
    CError read(void* buffer, size_t count) override;
    // Reads on to the end of the zlib stream, which must not hold more data
    // (checking zlib's own data check), and gives back the unused input.
    CError finish();
    // Ends the zlib state; the source stays open.
    CError close();

    // True once the end of the zlib stream has been read.
    bool atEnd() const { return m_ended; }

private:
    CError refill();
    CError giveBack();
    CError inflateSome(int* rc);

    CInputStream* m_source = nullptr;
    CPosStream* m_posSource = nullptr;  // set when the source's remainder is known
    uint64_t m_remaining = 0;           // bytes the positioned source has left
    bool m_ended = false;
};

class COutputZipStream : public COutputStream, public CZipStream {
public:
    ~COutputZipStream() override;

    // level: zlib compression level (Z_DEFAULT_COMPRESSION, 0..9).
    CError open(COutputStream* target, int level = Z_DEFAULT_COMPRESSION);
    CError write(const void* buffer, size_t count) override;
    // Finishes the zlib stream, writes the rest and ends the zlib state.
    CError close();

private:
    CError flushBuffer();

    COutputStream* m_target = nullptr;
};
