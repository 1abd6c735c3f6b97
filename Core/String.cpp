#include "Core/String.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>

CString CString::fromLatin1(std::string_view s) {
    CString r;
    r.m_n.assign(s.data(), s.size());
    return r;
}

CString CString::fromUtf16(std::u16string_view s) {
    CString r;
    bool narrow = std::all_of(s.begin(), s.end(), [](char16_t c) { return c < 256; });
    if (narrow) {
        r.m_n.reserve(s.size());
        for (char16_t c : s) r.m_n.push_back(char(uint8_t(c)));
    } else {
        r.m_wide = true;
        r.m_w.assign(s.data(), s.size());
    }
    return r;
}

void CString::assignUtf8(std::string_view s) {
    m_wide = false;
    m_n.clear();
    m_w.clear();
    // Fast path: pure ASCII.
    if (std::all_of(s.begin(), s.end(), [](char c) { return uint8_t(c) < 0x80; })) {
        m_n.assign(s.data(), s.size());
        return;
    }
    m_n.reserve(s.size());
    size_t i = 0;
    const size_t n = s.size();
    auto put = [this](uint32_t cp) {
        if (cp > 0xFFFF) {
            if (!m_wide) widen();
            cp -= 0x10000;
            m_w.push_back(char16_t(0xD800 + (cp >> 10)));
            m_w.push_back(char16_t(0xDC00 + (cp & 0x3FF)));
        } else if (m_wide) {
            m_w.push_back(char16_t(cp));
        } else if (cp < 256) {
            m_n.push_back(char(uint8_t(cp)));
        } else {
            widen();
            m_w.push_back(char16_t(cp));
        }
    };
    while (i < n) {
        uint8_t b = uint8_t(s[i]);
        int extra;
        uint32_t cp;
        if (b < 0x80) { cp = b; extra = 0; }
        else if (b >= 0xC0 && b <= 0xDF) { cp = b & 0x1F; extra = 1; }
        else if (b >= 0xE0 && b <= 0xEF) { cp = b & 0x0F; extra = 2; }
        else if (b >= 0xF0 && b <= 0xF7) { cp = b & 0x07; extra = 3; }
        else { ++i; continue; }  // stray continuation or invalid lead byte
        ++i;
        for (int k = 0; k < extra && i < n; ++k, ++i) cp = (cp << 6) | (uint8_t(s[i]) & 0x3F);
        put(cp);
    }
}

void CString::widen() {
    if (m_wide) return;
    m_w.clear();
    m_w.reserve(m_n.size() + 8);
    for (char c : m_n) m_w.push_back(char16_t(uint8_t(c)));
    m_n.clear();
    m_wide = true;
}

std::string CString::utf8() const {
    std::string out;
    out.reserve(length());
    auto enc = [&out](uint32_t cp) {
        if (cp < 0x80) {
            out.push_back(char(cp));
        } else if (cp < 0x800) {
            out.push_back(char(0xC0 | (cp >> 6)));
            out.push_back(char(0x80 | (cp & 0x3F)));
        } else if (cp < 0x10000) {
            out.push_back(char(0xE0 | (cp >> 12)));
            out.push_back(char(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(char(0x80 | (cp & 0x3F)));
        } else {
            out.push_back(char(0xF0 | (cp >> 18)));
            out.push_back(char(0x80 | ((cp >> 12) & 0x3F)));
            out.push_back(char(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(char(0x80 | (cp & 0x3F)));
        }
    };
    if (!m_wide) {
        for (char c : m_n) enc(uint8_t(c));
        return out;
    }
    for (size_t i = 0; i < m_w.size(); ++i) {
        uint32_t c = m_w[i];
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < m_w.size() && m_w[i + 1] >= 0xDC00 && m_w[i + 1] < 0xE000) {
            c = 0x10000 + ((c - 0xD800) << 10) + (m_w[i + 1] - 0xDC00);
            ++i;
        }
        enc(c);
    }
    return out;
}

std::u16string CString::utf16() const {
    if (m_wide) return std::u16string(m_w.data(), m_w.size());
    std::u16string r;
    r.reserve(m_n.size());
    for (char c : m_n) r.push_back(char16_t(uint8_t(c)));
    return r;
}

bool CString::isAscii() const {
    return !m_wide && std::all_of(m_n.begin(), m_n.end(), [](char c) { return uint8_t(c) < 0x80; });
}

size_t CString::find(char16_t c, size_t from) const {
    for (size_t i = from, n = length(); i < n; ++i)
        if (at(i) == c) return i;
    return npos;
}

size_t CString::rfind(char16_t c, size_t from) const {
    size_t n = length();
    if (n == 0) return npos;
    size_t i = std::min(from, n - 1);
    for (;; --i) {
        if (at(i) == c) return i;
        if (i == 0) break;
    }
    return npos;
}

size_t CString::find(const CString& s, size_t from) const {
    const size_t n = length(), m = s.length();
    if (m == 0) return from <= n ? from : npos;
    for (size_t i = from; i + m <= n; ++i) {
        size_t k = 0;
        while (k < m && at(i + k) == s.at(k)) ++k;
        if (k == m) return i;
    }
    return npos;
}

CString CString::substr(size_t pos, size_t count) const {
    CString r;
    size_t n = length();
    if (pos >= n) return r;
    count = std::min(count, n - pos);
    if (!m_wide) {
        r.m_n.assign(m_n, pos, count);
        return r;
    }
    return fromUtf16(std::u16string_view(m_w.data() + pos, count));
}

bool CString::startsWith(const CString& prefix) const {
    if (prefix.length() > length()) return false;
    for (size_t i = 0; i < prefix.length(); ++i)
        if (at(i) != prefix.at(i)) return false;
    return true;
}

CString CString::trimmed() const {
    auto blank = [](char16_t c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    size_t b = 0, e = length();
    while (b < e && blank(at(b))) ++b;
    while (e > b && blank(at(e - 1))) --e;
    return substr(b, e - b);
}

CString& CString::operator+=(const CString& s) {
    if (!m_wide && !s.m_wide) {
        m_n += s.m_n;
        return *this;
    }
    widen();
    for (size_t i = 0; i < s.length(); ++i) m_w.push_back(s.at(i));
    return *this;
}

CString& CString::operator+=(char16_t c) {
    if (!m_wide && c < 256) {
        m_n.push_back(char(uint8_t(c)));
    } else {
        widen();
        m_w.push_back(c);
    }
    return *this;
}

bool operator==(const CString& a, const CString& b) {
    if (!a.m_wide && !b.m_wide) return a.m_n == b.m_n;
    if (a.length() != b.length()) return false;
    for (size_t i = 0; i < a.length(); ++i)
        if (a.at(i) != b.at(i)) return false;
    return true;
}

std::strong_ordering operator<=>(const CString& a, const CString& b) {
    const size_t n = std::min(a.length(), b.length());
    for (size_t i = 0; i < n; ++i) {
        char16_t x = a.at(i), y = b.at(i);
        if (x != y) return x < y ? std::strong_ordering::less : std::strong_ordering::greater;
    }
    return a.length() <=> b.length();
}

bool CString::toInt(int64_t* out) const {
    if (!isAscii()) return false;
    std::string_view t = ascii();
    while (!t.empty() && (t.front() == ' ' || t.front() == '\t')) t.remove_prefix(1);
    while (!t.empty() && (t.back() == ' ' || t.back() == '\t')) t.remove_suffix(1);
    if (!t.empty() && t.front() == '+') t.remove_prefix(1);
    if (t.empty()) return false;
    int64_t v = 0;
    auto [p, ec] = std::from_chars(t.data(), t.data() + t.size(), v);
    if (ec != std::errc() || p != t.data() + t.size()) return false;
    *out = v;
    return true;
}

bool CString::toDouble(double* out) const {
    if (!isAscii()) return false;
    std::string_view t = ascii();
    while (!t.empty() && (t.front() == ' ' || t.front() == '\t')) t.remove_prefix(1);
    while (!t.empty() && (t.back() == ' ' || t.back() == '\t')) t.remove_suffix(1);
    if (!t.empty() && t.front() == '+') t.remove_prefix(1);
    if (t.empty()) return false;
    double v = 0;
    auto [p, ec] = std::from_chars(t.data(), t.data() + t.size(), v);
    if (ec != std::errc() || p != t.data() + t.size()) return false;
    *out = v;
    return true;
}

CString CString::number(int64_t v) {
    char buf[32];
    auto [p, ec] = std::to_chars(buf, buf + sizeof buf, v);
    (void)ec;
    return CString(std::string_view(buf, size_t(p - buf)));
}

CString CString::number(double v, int decimals) {
    char buf[64];
    if (decimals < 0) {
        auto [p, ec] = std::to_chars(buf, buf + sizeof buf, v);
        (void)ec;
        return CString(std::string_view(buf, size_t(p - buf)));
    }
    int n = std::snprintf(buf, sizeof buf, "%.*f", decimals, v);
    return CString(std::string_view(buf, size_t(std::max(0, n))));
}

size_t CStringHash::operator()(const CString& s) const noexcept {
    // FNV-1a over the character codes, identical for 8- and 16-bit storage.
    uint64_t h = 1469598103934665603ull;
    for (size_t i = 0; i < s.length(); ++i) {
        h ^= s.at(i);
        h *= 1099511628211ull;
    }
    return size_t(h);
}
