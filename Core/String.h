#pragma once
// CString: the one string type for names and values. It stores 8-bit
// characters (code points 0..255) while every character fits, and switches to
// 16-bit storage otherwise. Comparison is by character code, so an 8-bit and a
// 16-bit string with the same characters are equal.
//
// Construction from const char* / std::string_view decodes UTF-8 (1- to 4-byte
// sequences; stray continuation bytes and 0xF8..0xFF lead bytes are skipped;
// code points above 0xFFFF are stored as UTF-16 surrogate pairs).

#include <compare>
#include <cstdint>
#include <string>
#include <string_view>

#include "Core/MemAllocator.h"

class CString {
public:
    using Narrow = std::basic_string<char, std::char_traits<char>, CKelStdAllocator<char>>;
    using Wide = std::basic_string<char16_t, std::char_traits<char16_t>, CKelStdAllocator<char16_t>>;

    CString() = default;
    CString(const char* utf8) { assignUtf8(utf8 ? std::string_view(utf8) : std::string_view()); }
    CString(std::string_view utf8) { assignUtf8(utf8); }
    CString(const std::string& utf8) { assignUtf8(utf8); }

    static CString fromUtf8(std::string_view s) { return CString(s); }
    static CString fromLatin1(std::string_view s);
    static CString fromUtf16(std::u16string_view s);

    bool isWide() const { return m_wide; }
    bool empty() const { return m_wide ? m_w.empty() : m_n.empty(); }
    size_t length() const { return m_wide ? m_w.size() : m_n.size(); }
    size_t size() const { return length(); }
    char16_t at(size_t i) const { return m_wide ? m_w[i] : char16_t(uint8_t(m_n[i])); }
    char16_t operator[](size_t i) const { return at(i); }

    // UTF-8 encoding of the string.
    std::string utf8() const;
    // UTF-16 form.
    std::u16string utf16() const;
    // True when every character is ASCII; then ascii() views the bytes.
    bool isAscii() const;
    std::string_view ascii() const { return std::string_view(m_n.data(), m_n.size()); }

    // Searching and slicing, by character.
    static constexpr size_t npos = size_t(-1);
    size_t find(char16_t c, size_t from = 0) const;
    size_t rfind(char16_t c, size_t from = npos) const;
    size_t find(const CString& s, size_t from = 0) const;
    CString substr(size_t pos, size_t count = npos) const;
    bool startsWith(const CString& prefix) const;
    CString trimmed() const;  // without leading and trailing blanks, tabs, CR, LF

    CString& operator+=(const CString& s);
    CString& operator+=(char16_t c);
    friend CString operator+(CString a, const CString& b) { return a += b; }

    friend bool operator==(const CString& a, const CString& b);
    friend std::strong_ordering operator<=>(const CString& a, const CString& b);
    friend bool operator==(const CString& a, const char* b) { return a == CString(b); }

    // Numbers: decimal integers and reals as the definitions write them.
    // Return false (and leave *out alone) when the whole text is not a number.
    bool toInt(int64_t* out) const;
    bool toDouble(double* out) const;
    static CString number(int64_t v);
    static CString number(double v, int decimals = -1);  // -1: shortest round-trip form

private:
    void assignUtf8(std::string_view s);
    void widen();

    bool m_wide = false;
    Narrow m_n;
    Wide m_w;
};

// Hash for unordered containers.
struct CStringHash {
    size_t operator()(const CString& s) const noexcept;
};
