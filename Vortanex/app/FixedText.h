#pragma once
// Helpers for the fixed-width text fields of the terminal's records: copies
// always leave a terminator and report a cut, reads never run past the field.
#include <cstring>
#include <string_view>

// Copies `text` into the field, cut to leave room for the terminator; the rest
// of the field is zeroed. True when all of `text` fitted.
template <size_t N>
bool CopyFixedText(char (&field)[N], std::string_view text)
{
    const size_t n = text.size() < N - 1 ? text.size() : N - 1;
    if (n > 0)
        std::memcpy(field, text.data(), n);
    std::memset(field + n, 0, N - n);
    return n == text.size();
}

// The text of a field that may lack its terminator (read from a file).
template <size_t N>
std::string_view FixedTextView(const char (&field)[N])
{
    return std::string_view(field, strnlen(field, N));
}
