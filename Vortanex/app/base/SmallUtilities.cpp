#include "app/base/SmallUtilities.h"

#include <charconv>
#include <cstdlib>
#include <cstring>

std::string FormatSystemError(int errorCode)
{
    char buffer[256] = {};
    // The GNU strerror_r may return a static text instead of filling buffer.
    const char* text = strerror_r(errorCode, buffer, sizeof buffer);
    return text ? std::string(text) : std::string(buffer);
}

void* Mem_realloc(void* block, size_t oldLength, size_t newLength)
{
    if (newLength <= oldLength)
        return block;
    void* grown = std::calloc(1, newLength);
    if (!grown)
        return nullptr;
    if (block && oldLength > 0)
        std::memcpy(grown, block, oldLength);
    std::free(block);
    return grown;
}

int ReplyStatus(std::string_view field)
{
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    while (!field.empty() && blank(field.front()))
        field.remove_prefix(1);
    while (!field.empty() && blank(field.back()))
        field.remove_suffix(1);
    int value = 0;
    const auto [end, ec] = std::from_chars(field.data(), field.data() + field.size(), value);
    if (field.empty() || ec != std::errc() || end != field.data() + field.size())
        return -1;
    return value;
}
