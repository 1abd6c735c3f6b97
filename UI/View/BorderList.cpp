// Border lists: parsing and evaluation at a scale.
#include "UI/View/BorderList.h"

#include <cmath>

#include "Core/Object.h"

CBorderList::EParse CBorderList::parse(const CString& text, CString* badToken) {
    m_tokens.clear();
    for (const CString& tok : splitBlanks(text)) {
        Token t;
        size_t i = 0;
        for (; i < tok.length(); ++i) {
            const char16_t c = tok.at(i);
            if (c == u'*') t.add = true;
            else if (c == u'L' || c == u'l') t.sides |= 1;
            else if (c == u'T' || c == u't') t.sides |= 2;
            else if (c == u'R' || c == u'r') t.sides |= 4;
            else if (c == u'B' || c == u'b') t.sides |= 8;
            else break;
        }
        if (i < tok.length() && tok.at(i) == u'+') ++i;
        const CString number = tok.substr(i);
        EParse fault = kOk;
        if (number.empty()) {
            fault = kNoNumber;
        } else {
            for (size_t k = 0; k < number.length(); ++k) {
                const char16_t c = number.at(k);
                if (!(c >= u'0' && c <= u'9') && c != u'.' && c != u'-') fault = kBadNumber;
            }
            if (!fault && (!number.toDouble(&t.value) || !std::isfinite(t.value))) fault = kBadNumber;
        }
        if (fault) {
            if (badToken) *badToken = tok;
            return fault;
        }
        if (t.sides == 0) t.sides = 15;
        m_tokens.push_back(t);
    }
    return kOk;
}

CBorder CBorderList::evaluate(double scale) const {
    CBorder b;
    double* side[4] = {&b.l, &b.t, &b.r, &b.b};
    for (const Token& t : m_tokens) {
        const double v = std::round(t.value * scale);  // half away from zero
        for (int s = 0; s < 4; ++s)
            if (t.sides & (1 << s)) *side[s] = t.add ? *side[s] + v : v;
    }
    return b;
}
