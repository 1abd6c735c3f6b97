#include "Core/FileStream.h"

#include <algorithm>

namespace {
CString num(uint64_t v) { return CString::number(int64_t(v)); }
}  // namespace

CFileBase::~CFileBase() { (void)close(); }

CError CFileBase::filePosition(uint64_t* pos) {
    uint32_t err = 0;
    int64_t p = plat::seekFile(m_handle, 0, 1, &err);
    if (p < 0) return KEL_ERROR(kelstr_CFileBase_getPosition_PosError, m_name, num(err));
    *pos = uint64_t(p);
    return {};
}

CError CFileBase::fileSize(uint64_t* size) {
    uint32_t err = 0;
    int64_t s = plat::fileSize(m_handle, &err);
    if (s < 0) return KEL_ERROR(kelstr_CFileBase_getSize_FileSizeError, m_name, num(err));
    *size = uint64_t(s);
    return {};
}

CError CFileBase::fileSetPosition(uint64_t pos) {
    uint32_t err = 0;
    if (plat::seekFile(m_handle, int64_t(pos), 0, &err) < 0)
        return KEL_ERROR(kelstr_CFileBase_setPosition_PosError, m_name, num(pos), num(err));
    return {};
}

CError CFileBase::close() {
    if (m_handle == plat::kInvalidFile) return {};
    plat::FileHandle h = m_handle;
    m_handle = plat::kInvalidFile;
    if (m_std) return {};
    uint32_t err = 0;
    if (!plat::closeFile(h, &err)) return KEL_ERROR(kelstr_CFileBase_close_CloseError, m_name, num(err));
    return {};
}

CError CFileReader::open(const CString& name, bool updatable) {
    KEL_TRY(close());
    if (name == "-") {
        m_handle = plat::stdHandle(plat::StdStream::In);
        m_name = "stdin";
        m_std = true;
        return {};
    }
    uint32_t err = 0;
    plat::FileHandle h = plat::openFileRead(name.utf8(), updatable, &err);
    if (h == plat::kInvalidFile) return KEL_ERROR(kelstr_CFileReader_open_OpenError, name, num(err));
    m_handle = h;
    m_name = name;
    m_std = false;
    return {};
}

CError CFileReader::read(void* buffer, size_t count) {
    uint32_t err = 0;
    int64_t n = plat::readFile(m_handle, buffer, count, &err);
    if (n < 0) return KEL_ERROR(kelstr_CFileReader_read_ReadError, m_name, num(err));
    if (uint64_t(n) != count) return KEL_ERROR(kelstr_CFileReader_read_ReadBeyondEnd, m_name, num(count), num(uint64_t(n)));
    return {};
}

CError CFileReader::readStreamed(const uint8_t** data, size_t count) {
    // The buffer grows with the bytes actually read (a count taken from a
    // damaged file must not allocate more than the file holds).
    size_t have = 0;
    m_buffer.clear();
    while (have < count) {
        const size_t step = std::min(count - have, std::max<size_t>(have, 65536));
        m_buffer.resize(have + step);
        uint32_t err = 0;
        int64_t n = plat::readFile(m_handle, m_buffer.data() + have, step, &err);
        if (n < 0 || uint64_t(n) != step)
            return KEL_ERROR(kelstr_CFileReader_readStreamed_ReadError, m_name, num(n < 0 ? err : 0));
        have += step;
    }
    *data = m_buffer.data();
    return {};
}

CError CFileReader::skip(size_t count) {
    if (m_std) return CInputStream::skip(count);
    uint32_t err = 0;
    if (plat::seekFile(m_handle, int64_t(count), 1, &err) < 0)
        return KEL_ERROR(kelstr_CFileReader_skip_PosError, m_name, num(count), num(err));
    return {};
}

CError CFileWriter::open(const CString& name, bool append) {
    KEL_TRY(close());
    if (name == "-" || name == "--") {
        bool err = name == "--";
        m_handle = plat::stdHandle(err ? plat::StdStream::Err : plat::StdStream::Out);
        m_name = err ? "stderr" : "stdout";
        m_std = true;
        return {};
    }
    uint32_t e = 0;
    plat::FileHandle h = plat::openFileWrite(name.utf8(), append, &e);
    if (h == plat::kInvalidFile)
        return KEL_ERROR(kelstr_CFileWriter_open_OpenError, name, CString(append ? "appending" : "rewriting"), num(e));
    m_handle = h;
    m_name = name;
    m_std = false;
    return {};
}

CError CFileWriter::seekToEnd() {
    uint32_t err = 0;
    if (plat::seekFile(m_handle, 0, 2, &err) < 0)
        return KEL_ERROR(kelstr_CFileBase_setPosition_PosError, m_name, CString("end"), num(err));
    return {};
}

CError CFileWriter::write(const void* buffer, size_t count) {
    uint32_t err = 0;
    int64_t n = plat::writeFile(m_handle, buffer, count, &err);
    if (n < 0) return KEL_ERROR(kelstr_CFileWriter_write_WriteError, m_name, num(err));
    if (uint64_t(n) != count)
        return KEL_ERROR(kelstr_CFileWriter_write_WriteErrorCount, m_name, num(count), num(uint64_t(n)));
    return {};
}
