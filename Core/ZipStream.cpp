#include "Core/ZipStream.h"

#include <algorithm>
#include <climits>

namespace {
CString num(int64_t v) { return CString::number(v); }

// zlib counts in uInt; larger requests are cut into steps of this size.
constexpr size_t kMaxStep = size_t(1) << 30;
}  // namespace

CZipStream::CZipStream() : m_buffer(std::make_unique_for_overwrite<uint8_t[]>(kBufferSize)) {}

CString CZipStream::zlibMessage(int code) const { return CString(m_z.msg ? m_z.msg : zError(code)); }

// ---------------------------------------------------------------------------
// Input

CInputZipStream::~CInputZipStream() {
    if (m_open) inflateEnd(&m_z);
}

CError CInputZipStream::open(CInputStream* source) {
    KEL_TRY(close());
    m_z = z_stream{};
    int rc = inflateInit_(&m_z, kZipVersion, int(sizeof(z_stream)));
    if (rc != Z_OK) return KEL_ERROR(kelstr_CInputZipStream_open_inflateInit, num(rc), zlibMessage(rc));
    m_open = true;
    m_ended = false;
    m_source = source;
    m_posSource = nullptr;
    m_remaining = 0;
    if (auto* pos = dynamic_cast<CPosStream*>(source)) {
        uint64_t at = 0, size = 0;
        if (!pos->getPosition(&at) && !pos->getSize(&size) && size >= at) {
            m_posSource = pos;
            m_remaining = size - at;
        }
    }
    return {};
}

CError CInputZipStream::refill() {
    size_t n = 1;
    if (m_posSource) {
        if (m_remaining == 0) return KEL_ERROR(kelstr_CInputZipStream_read_EOF);
        n = size_t(std::min<uint64_t>(kBufferSize, m_remaining));
        KEL_TRY(m_source->read(m_buffer.get(), n));
        m_remaining -= n;
    } else if (m_source->read(m_buffer.get(), 1)) {
        return KEL_ERROR(kelstr_CInputZipStream_read_EOF);
    }
    m_z.next_in = m_buffer.get();
    m_z.avail_in = uInt(n);
    return {};
}

// Moves a positioned source back over the input that follows the zlib stream.
CError CInputZipStream::giveBack() {
    if (!m_posSource || m_z.avail_in == 0) return {};
    uint64_t at = 0;
    KEL_TRY(m_posSource->getPosition(&at));
    KEL_TRY(m_posSource->setPosition(at - m_z.avail_in));
    m_remaining += m_z.avail_in;
    m_z.avail_in = 0;
    return {};
}

// One step of inflating. zlib's own failures are left in *rc for the caller
// to report.
CError CInputZipStream::inflateSome(int* rc) {
    if (m_z.avail_in == 0) {
        // zlib may still hold output for input it has already taken; only
        // when it cannot go on (Z_BUF_ERROR) does it need more from the source.
        *rc = inflate(&m_z, Z_NO_FLUSH);
        if (*rc == Z_STREAM_END) m_ended = true;
        if (*rc != Z_BUF_ERROR) return {};
        KEL_TRY(refill());
    }
    *rc = inflate(&m_z, Z_NO_FLUSH);
    if (*rc == Z_STREAM_END) {
        m_ended = true;
        KEL_TRY(giveBack());
    }
    return {};
}

CError CInputZipStream::read(void* buffer, size_t count) {
    if (!m_source || !m_open) return KEL_ERROR(kelstr_CInputZipStream_read_NoStream);
    auto* out = static_cast<uint8_t*>(buffer);
    while (count) {
        const size_t step = std::min(count, kMaxStep);
        m_z.next_out = out;
        m_z.avail_out = uInt(step);
        while (m_z.avail_out) {
            // The zlib stream ended before the requested bytes.
            if (m_ended) return KEL_ERROR(kelstr_CInputZipStream_read_EOF);
            int rc = Z_OK;
            KEL_TRY(inflateSome(&rc));
            if (rc != Z_OK && rc != Z_STREAM_END)
                return KEL_ERROR(kelstr_CInputZipStream_read_inflate, num(rc), zlibMessage(rc));
        }
        out += step;
        count -= step;
    }
    return {};
}

CError CInputZipStream::finish() {
    if (!m_source || !m_open) return KEL_ERROR(kelstr_CInputZipStream_read_NoStream);
    uint8_t sink = 0;
    while (!m_ended) {
        m_z.next_out = &sink;
        m_z.avail_out = 1;
        int rc = Z_OK;
        KEL_TRY(inflateSome(&rc));
        // Output beyond the expected end is reported first: zlib may already
        // have met a fault further on when it had that input at hand, which a
        // byte-wise source would not have reached yet.
        if (m_z.avail_out == 0)
            return KEL_ERROR(kelstr_CInputZipStream_read_inflate, num(Z_DATA_ERROR), CString("more data than expected"));
        if (rc != Z_OK && rc != Z_STREAM_END)
            return KEL_ERROR(kelstr_CInputZipStream_read_inflate, num(rc), zlibMessage(rc));
    }
    return {};
}

CError CInputZipStream::close() {
    if (!m_open) return {};
    m_open = false;
    m_source = nullptr;
    m_posSource = nullptr;
    int rc = inflateEnd(&m_z);
    if (rc != Z_OK) return KEL_ERROR(kelstr_CInputZipStream_close_inflateEnd, num(rc), CString(zError(rc)));
    return {};
}

// ---------------------------------------------------------------------------
// Output

COutputZipStream::~COutputZipStream() {
    if (m_open) deflateEnd(&m_z);
}

CError COutputZipStream::open(COutputStream* target, int level) {
    if (m_open) {
        deflateEnd(&m_z);  // an unfinished stream is dropped
        m_open = false;
    }
    m_z = z_stream{};
    int rc = deflateInit_(&m_z, level, kZipVersion, int(sizeof(z_stream)));
    if (rc != Z_OK) return KEL_ERROR(kelstr_COutputZipStream_open_deflateInit, num(rc), zlibMessage(rc));
    m_open = true;
    m_target = target;
    m_z.next_out = m_buffer.get();
    m_z.avail_out = uInt(kBufferSize);
    return {};
}

CError COutputZipStream::flushBuffer() {
    const size_t n = kBufferSize - m_z.avail_out;
    if (n) KEL_TRY(m_target->write(m_buffer.get(), n));
    m_z.next_out = m_buffer.get();
    m_z.avail_out = uInt(kBufferSize);
    return {};
}

CError COutputZipStream::write(const void* buffer, size_t count) {
    if (!m_target || !m_open) return KEL_ERROR(kelstr_COutputZipStream_write_NoStream);
    auto* in = static_cast<const uint8_t*>(buffer);
    while (count) {
        const size_t step = std::min(count, kMaxStep);
        m_z.next_in = const_cast<Bytef*>(in);
        m_z.avail_in = uInt(step);
        while (m_z.avail_in) {
            if (m_z.avail_out == 0) KEL_TRY(flushBuffer());
            int rc = deflate(&m_z, Z_NO_FLUSH);
            if (rc != Z_OK) return KEL_ERROR(kelstr_COutputZipStream_write_deflate, num(rc), zlibMessage(rc));
        }
        in += step;
        count -= step;
    }
    return {};
}

CError COutputZipStream::close() {
    if (!m_open) return {};
    CError err;
    if (!m_target) {
        err = KEL_ERROR(kelstr_COutputZipStream_write_NoStream);
    } else {
        for (;;) {
            if (m_z.avail_out == 0) {
                if ((err = flushBuffer())) break;
            }
            int rc = deflate(&m_z, Z_FINISH);
            if (rc == Z_STREAM_END) {
                err = flushBuffer();
                break;
            }
            if (rc != Z_OK) {
                err = KEL_ERROR(kelstr_COutputZipStream_close_deflate, num(rc), zlibMessage(rc));
                break;
            }
        }
    }
    m_open = false;
    m_target = nullptr;
    int rc = deflateEnd(&m_z);
    if (err) return KEL_PASS(err);
    if (rc != Z_OK) return KEL_ERROR(kelstr_COutputZipStream_close_deflateEnd, num(rc), CString(zError(rc)));
    return {};
}
