#pragma once
// The text rules of the market watch's dialogs and commands: watch-list and
// chart-study names, the add-scrip dialog's search text, CSV fields and the
// grid's type-ahead prefix. Qt-free.
#include "watch/base/TextSplit.h" // CsvField

#include <cstdint>
#include <string>
#include <string_view>

// A watch-list name as typed: trimmed of blanks and tabs at both ends, then
// checked. The problem's message, or "" when the name is good.
enum class NameProblem { None, Empty, TooLong, Forbidden };
NameProblem CheckWatchlistName(std::string_view typed, std::string* trimmed);
// The message box text of a problem.
const char* NameProblemText(NameProblem problem);
inline constexpr int kMaxWatchlistName = 12;
// A chart-study name: the same characters refused except the point; not empty.
bool ChartStudyNameOk(std::string_view typed, std::string* trimmed);

// The add-scrip dialog's search name: none of its 30 refused characters
// ('&', '-' and '.' are allowed).
bool ScripSearchTextOk(std::string_view text);


// The grid's type-ahead: a key within one whole second of the prefix's start
// extends it, a later key starts a new prefix.
class TypeAheadPrefix {
public:
    // The prefix after the key typed at `nowSeconds`.
    const std::string& add(char c, int64_t nowSeconds);
    const std::string& text() const { return m_text; }

private:
    std::string m_text;
    int64_t m_started = 0;
};
