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

// Fixed-size NUL-terminated text field; assignment truncates to N-1 bytes.
template <size_t N>
struct FixedText {
    char text[N] = {};

    void assign(std::string_view s)
    {
        const size_t n = s.size() < N - 1 ? s.size() : N - 1;
        for (size_t i = 0; i < n; ++i)
            text[i] = s[i];
        text[n] = '\0';
        for (size_t i = n + 1; i < N && text[i]; ++i)
            text[i] = '\0';
    }
    std::string_view view() const
    {
        // Bounded and inline: most fields are two or three characters.
        size_t n = 0;
        while (n < N && text[n] != '\0')
            ++n;
        return std::string_view(text, n);
    }
    const char* c_str() const { return text; }
    bool empty() const { return text[0] == '\0'; }
    // Compares without measuring the text first: the look-ups and the index
    // build compare short codes millions of times.
    bool operator==(std::string_view s) const
    {
        if (s.size() >= N)
            return false;
        for (size_t i = 0; i < s.size(); ++i)
            if (text[i] != s[i] || text[i] == '\0')
                return false;
        return text[s.size()] == '\0';
    }
};
