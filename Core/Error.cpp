#include "Core/Error.h"

namespace {
const std::vector<CString, CKelStdAllocator<CString>>& noLines() {
    static const std::vector<CString, CKelStdAllocator<CString>> empty;
    return empty;
}
}  // namespace

const std::vector<CString, CKelStdAllocator<CString>>& CError::lines() const {
    return m_rec ? m_rec->lines : noLines();
}

CString CError::message() const { return m_rec && !m_rec->lines.empty() ? m_rec->lines.front() : CString(); }

std::string CError::text() const {
    std::string out;
    for (const auto& l : lines()) {
        if (!out.empty()) out += '\n';
        out += l.utf8();
    }
    return out;
}

void CError::appendLine(const CString& line) {
    if (!m_rec) m_rec = std::make_unique<CErrorRecord>();
    m_rec->lines.push_back(line);
}

CString formatMessage(std::string_view message, std::initializer_list<CString> args) {
    // A message literal keeps only the text after its id.
    if (!message.empty() && message.front() == '@') {
        size_t blank = message.find(' ');
        message = blank == std::string_view::npos ? std::string_view() : message.substr(blank + 1);
    }
    CString text(message);
    CString out;
    const size_t n = text.length();
    for (size_t i = 0; i < n; ++i) {
        char16_t c = text.at(i);
        if (c == '%' && i + 1 < n) {
            char16_t d = text.at(i + 1);
            if (d == '%') {
                out += u'%';
                ++i;
                continue;
            }
            if (d >= '1' && d <= '9' && size_t(d - '0') <= args.size()) {
                out += *(args.begin() + (d - '1'));
                ++i;
                continue;
            }
        }
        out += c;
    }
    return out;
}

CError addError(CError err, std::string_view sourcePath, int line, const CString& comment,
                std::string_view message, std::initializer_list<CString> args) {
    if (!err.m_rec) err.m_rec = std::make_unique<CErrorRecord>();
    if (!message.empty()) err.m_rec->lines.push_back(formatMessage(message, args));
    CString loc(sourcePath);
    loc += CString("( ");
    loc += CString::number(int64_t(line));
    if (comment.empty()) {
        loc += CString(" )");
    } else {
        loc += CString(" ) // ");
        loc += comment;
    }
    err.m_rec->lines.push_back(loc);
    return err;
}
