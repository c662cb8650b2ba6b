#pragma once
// Texts that repeat across hundreds of thousands of records (a security's
// symbol is shared by every contract on it), kept once each for the life of
// the process. A record then holds a pointer instead of a fixed field.
//
// The pool only grows: it holds each distinct text it was given once, so a
// master loaded again adds nothing but the texts it brings new.
#include <cstddef>
#include <string_view>

// The pool's copy of `text`: NUL-terminated, its length in the byte before
// it, valid until the process ends. Thread-safe. Texts longer than 255
// characters are cut to 255.
const char* InternText(std::string_view text);

// A short text field held as a pooled pointer, with FixedText<N>'s
// behaviour: assignment keeps at most N-1 characters.
template <size_t N>
class InternedText {
    static_assert(N >= 2 && N <= 256);

public:
    InternedText() = default;

    void assign(std::string_view s) { m_text = InternText(s.substr(0, N - 1)); }
    std::string_view view() const
    {
        return std::string_view(m_text, static_cast<unsigned char>(m_text[-1]));
    }
    const char* c_str() const { return m_text; }
    bool empty() const { return m_text[0] == '\0'; }
    bool operator==(std::string_view s) const { return view() == s; }

private:
    // The pool's empty text: a length byte of 0 before it.
    static constexpr char kEmpty[2] = {0, 0};
    const char* m_text = kEmpty + 1;
};
