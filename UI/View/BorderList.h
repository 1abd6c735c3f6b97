#pragma once
// Border lists ("inner-border", "outer-border", "spread"): blank-separated
// tokens applied left to right to the sides left, top, right and bottom (all
// starting at 0). A token is an optional prefix of side letters ("L", "T",
// "R", "B", either case; none: all four sides) and "*" (add instead of set),
// an optional "+", and a number of digits, "." and "-". "0 *LT1 *RB-1" sets
// every side to 0, then adds 1 to left and top and -1 to right and bottom.
// Numbers are logical pixels, multiplied by the total scale and rounded half
// away from zero when the list is evaluated.

#include <vector>

#include "Core/String.h"

struct CBorder {
    double l = 0, t = 0, r = 0, b = 0;
    bool operator==(const CBorder&) const = default;
};

class CBorderList {
public:
    enum EParse { kOk = 0, kNoNumber = 1, kBadNumber = 2 };

    // Parses text; on a bad token stops there (the tokens before it stay)
    // and returns its kind; *badToken receives it.
    EParse parse(const CString& text, CString* badToken = nullptr);
    // The four sides at a total scale.
    CBorder evaluate(double scale) const;
    bool empty() const { return m_tokens.empty(); }

private:
    struct Token {
        uint8_t sides = 0;  // bit 0 left, 1 top, 2 right, 3 bottom
        bool add = false;
        double value = 0;
    };
    std::vector<Token> m_tokens;
};
