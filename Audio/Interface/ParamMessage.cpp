#include "Audio/Interface/ParamMessage.h"

#include "Core/Stream.h"

CParamMessage::CParamMessage(std::string_view name) : m_name(name) { str(m_name); }

CParamMessage& CParamMessage::u32(uint32_t v) {
    if (m_err.ok()) m_err = m_out.writeU32(v);
    return *this;
}

CParamMessage& CParamMessage::f64(double v) {
    if (m_err.ok()) m_err = m_out.writeF64(v);
    return *this;
}

CParamMessage& CParamMessage::str(const CString& s) {
    if (!m_err.ok()) return *this;
    const std::string u = s.utf8();
    if (u.size() > kMaxStreamString) {
        m_err = KEL_ERROR(kelstr_CParamMessage_str_TooLong, CString::number(int64_t(u.size())), m_name);
        return *this;
    }
    m_err = m_out.writeU32(uint32_t(u.size()));
    if (m_err.ok()) m_err = m_out.write(u.data(), u.size());
    return *this;
}

CParamMessage& CParamMessage::bytes(std::span<const uint8_t> b) {
    if (m_err.ok()) m_err = m_out.write(b.data(), b.size());
    return *this;
}

CError CParamMessage::finish(std::vector<uint8_t>* out) {
    if (!m_err.ok()) return KEL_PASS(m_err);
    *out = m_out.take();
    return {};
}

CError CParamMessageReader::readName() { return m_in.readString(&m_name); }

CError CParamMessageReader::bytes(size_t n, std::span<const uint8_t>* out) {
    const uint8_t* p = nullptr;
    KEL_TRY(m_in.readStreamed(&p, n));
    *out = std::span<const uint8_t>(p, n);
    return {};
}

CError CParamMessageReader::block(std::span<const uint8_t>* out) {
    uint32_t n = 0;
    KEL_TRY(m_in.readU32(&n));
    if (n > m_in.remaining())
        return KEL_ERROR(kelstr_CParamMessageReader_block_TooLong, CString::number(int64_t(n)), m_name);
    return bytes(n, out);
}

CError CParamMessageReader::end() const {
    if (m_in.remaining())
        return KEL_ERROR(kelstr_CParamMessageReader_end_TrailingData, CString::number(int64_t(m_in.remaining())), m_name);
    return {};
}
