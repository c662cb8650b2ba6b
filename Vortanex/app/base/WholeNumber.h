#pragma once
// The number in a box whose value goes into a request (a quantity, lots, a
// disclosed quantity): the whole text is one whole number, or it is refused.
// Nothing is cut or guessed: "1,000", "10.5", "2OO", "+5", "-5", " 7", an
// empty box and a number beyond the bound are refusals, never 1, 10, 2, 5, 7,
// 0 or the bound. Every form that sends such a number reads it here.
#include <climits>
#include <optional>
#include <string_view>

// The value of `text` when it is one or more ASCII digits (leading zeros
// allowed) and at most `most`; nothing otherwise.
inline std::optional<long long> ParseWholeNumber(std::string_view text, long long most = INT_MAX)
{
    if (text.empty() || most < 0)
        return std::nullopt;
    long long value = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return std::nullopt;
        const int digit = c - '0';
        // value * 10 + digit > most, checked without overflowing.
        if (digit > most || value > (most - digit) / 10)
            return std::nullopt;
        value = value * 10 + digit;
    }
    return value;
}
