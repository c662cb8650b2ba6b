#pragma once
// printf-style formatting into a std::string, for log lines, message texts and
// request texts. The compiler checks each call's arguments against its format.
#include <cstddef>
#include <string>

// The formatted text, however long; empty when the format cannot be applied.
std::string formatText(const char* format, ...) __attribute__((format(printf, 1, 2)));

// The same cut to its first `limit` characters: for texts the program has always
// built in a fixed buffer and whose readers expect no more.
std::string formatTextCapped(std::size_t limit, const char* format, ...) __attribute__((format(printf, 2, 3)));
