#include "app/base/TextFormat.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>

namespace text_format_detail {
namespace {

// Measures first, then writes into a string of the measured (or capped) size.
std::string formatArgs(std::size_t limit, const char* format, va_list args)
{
    va_list again;
    va_copy(again, args);
    const int n = std::vsnprintf(nullptr, 0, format, args);
    std::string out;
    if (n > 0) {
        out.resize(std::min(static_cast<std::size_t>(n), limit));
        // The string keeps room for its terminating '\0', which vsnprintf writes.
        std::vsnprintf(out.data(), out.size() + 1, format, again);
    }
    va_end(again);
    return out;
}

} // namespace
} // namespace text_format_detail

std::string formatText(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    std::string out = text_format_detail::formatArgs(std::string::npos, format, args);
    va_end(args);
    return out;
}

std::string formatTextCapped(std::size_t limit, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    std::string out = text_format_detail::formatArgs(limit, format, args);
    va_end(args);
    return out;
}
