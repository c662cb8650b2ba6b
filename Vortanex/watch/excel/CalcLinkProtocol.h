#pragma once
// The lines between the terminal and its Calc helper (vx_calclink): one
// command per line, fields separated by tabs; backslash, tab and line breaks
// inside a field are escaped. The helper answers each command with one line,
// "OK" or "ERR" first; "EVENT" lines (the book went away) may come at any
// time in between.
#include <string>
#include <vector>

// How long the helper tries to reach an office it started; the terminal
// waits a little longer for the answer, so the helper (which ends an office
// that never answered) always has the last word.
constexpr int kCalcStartSeconds = 45;
constexpr int kCalcStartWaitSeconds = kCalcStartSeconds + 15;

inline std::string CalcLinkEscape(const std::string& text)
{
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
        case '\\': out += "\\\\"; break;
        case '\t': out += "\\t"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        default: out += c;
        }
    }
    return out;
}

inline std::vector<std::string> CalcLinkSplit(const std::string& line)
{
    std::vector<std::string> fields(1);
    for (size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (c == '\t') {
            fields.emplace_back();
        } else if (c == '\\' && i + 1 < line.size()) {
            const char n = line[++i];
            fields.back() += n == 't' ? '\t' : n == 'n' ? '\n' : n == 'r' ? '\r' : n;
        } else {
            fields.back() += c;
        }
    }
    return fields;
}

inline std::string CalcLinkLine(const std::vector<std::string>& fields)
{
    std::string line;
    for (size_t i = 0; i < fields.size(); ++i) {
        if (i)
            line += '\t';
        line += CalcLinkEscape(fields[i]);
    }
    return line;
}
