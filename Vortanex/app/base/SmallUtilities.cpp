#include "app/base/SmallUtilities.h"

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
