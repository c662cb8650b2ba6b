#include "watch/base/TextSplit.h"

#include <cstring>
#include <new>

namespace {

std::string_view trimFieldBlanks(std::string_view field)
{
    const size_t first = field.find_first_not_of(' ');
    if (first == std::string_view::npos)
        return {};
    const size_t last = field.find_last_not_of(' ');
    return field.substr(first, last - first + 1);
}

} // namespace

std::vector<std::string> SplitFields(std::string_view text, char sep)
{
    std::vector<std::string> out;
    size_t start = 0;
    for (;;) {
        const size_t at = text.find(sep, start);
        out.emplace_back(text.substr(start, at == std::string_view::npos ? std::string_view::npos : at - start));
        if (at == std::string_view::npos)
            return out;
        start = at + 1;
    }
}

namespace {

// A figure as the grids write one: a sign, digits with group commas and one
// decimal point, and a percent sign at the end.
bool isFigure(std::string_view text)
{
    size_t i = 0;
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        ++i;
    if (i < text.size() && text.back() == '%')
        text.remove_suffix(1);
    bool digit = false;
    bool point = false;
    for (; i < text.size(); ++i) {
        const char c = text[i];
        if (c >= '0' && c <= '9')
            digit = true;
        else if (c == '.' && !point)
            point = true;
        else if (c != ',')
            return false;
    }
    return digit;
}

bool runsAsFormula(std::string_view text)
{
    if (text.empty() || text == "-")
        return false;
    const char c = text.front();
    return (c == '=' || c == '+' || c == '-' || c == '@') && !isFigure(text);
}

} // namespace

std::string CsvField(std::string_view text)
{
    std::string safe;
    if (runsAsFormula(text)) {
        safe = "'" + std::string(text);
        text = safe;
    }
    if (text.find_first_of(",\"\r\n") == std::string_view::npos)
        return std::string(text);
    std::string out = "\"";
    for (char c : text) {
        if (c == '"')
            out += '"';
        out += c;
    }
    out += '"';
    return out;
}

int SplitString(std::string_view text, char sep, std::vector<std::string>& out)
{
    const size_t before = out.size();
    try {
        // The end of the text ends the last field, so an empty text still
        // gives one (empty) field: callers count fields as separators + 1.
        size_t start = 0;
        for (;;) {
            const size_t end = text.find(sep, start);
            const size_t stop = end == std::string_view::npos ? text.size() : end;
            out.emplace_back(trimFieldBlanks(text.substr(start, stop - start)));
            if (end == std::string_view::npos)
                break;
            start = end + 1;
        }
    } catch (const std::bad_alloc&) {
        // Shrinking does not allocate, so the array is back as it was.
        out.resize(before);
        return -1;
    }
    return static_cast<int>(out.size());
}

void TrimLeftSpaces(char* buffer)
{
    if (!buffer || buffer[0] != ' ')
        return;
    size_t skip = 0;
    while (buffer[skip] == ' ')
        ++skip;
    std::memmove(buffer, buffer + skip, std::strlen(buffer + skip) + 1);
}

void TrimRightSpaces(char* buffer)
{
    if (!buffer)
        return;
    for (size_t n = std::strlen(buffer); n > 0 && buffer[n - 1] == ' '; --n)
        buffer[n - 1] = '\0';
}

void TrimLeftSpaces(std::string& text)
{
    const size_t first = text.find_first_not_of(' ');
    text.erase(0, first == std::string::npos ? text.size() : first);
}

void TrimRightSpaces(std::string& text)
{
    const size_t last = text.find_last_not_of(' ');
    text.resize(last == std::string::npos ? 0 : last + 1);
}
