#include "watch/WatchTextRules.h"

namespace watch_text_rules_detail {
namespace {

// The characters a watch-list name may not hold (the blank included).
constexpr std::string_view kNameForbidden = ".`~!@#$%^&*()-=+\\|;:'\"[{]}<,>/? ";
// The chart-study rule allows the point.
constexpr std::string_view kStudyForbidden = "`~!@#$%^&*()-=+\\|;:'\"[{]}<,>/? ";
// The add-scrip dialog's search name: '&', '-' and '.' are allowed.
constexpr std::string_view kSearchForbidden = "`~!@#$%^*()_=+\\|;:\"'[{]}<,>/? ";

std::string_view trim(std::string_view text)
{
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    while (!text.empty() && blank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && blank(text.back()))
        text.remove_suffix(1);
    return text;
}

} // namespace
} // namespace watch_text_rules_detail

NameProblem CheckWatchlistName(std::string_view typed, std::string* trimmed)
{
    const std::string_view name = watch_text_rules_detail::trim(typed);
    if (trimmed)
        *trimmed = std::string(name);
    if (name.empty())
        return NameProblem::Empty;
    if (name.size() > static_cast<size_t>(kMaxWatchlistName))
        return NameProblem::TooLong;
    if (name.find_first_of(watch_text_rules_detail::kNameForbidden) != std::string_view::npos)
        return NameProblem::Forbidden;
    return NameProblem::None;
}

const char* NameProblemText(NameProblem problem)
{
    switch (problem) {
    case NameProblem::Empty: return "Please Enter Watchlist Name";
    case NameProblem::TooLong: return "Please Enter Watchlist Name less than 13 characters";
    case NameProblem::Forbidden: return "Please enter proper Watchlist Name";
    case NameProblem::None: break;
    }
    return "";
}

bool ChartStudyNameOk(std::string_view typed, std::string* trimmed)
{
    const std::string_view name = watch_text_rules_detail::trim(typed);
    if (trimmed)
        *trimmed = std::string(name);
    return !name.empty() && name.find_first_of(watch_text_rules_detail::kStudyForbidden) == std::string_view::npos;
}

bool ScripSearchTextOk(std::string_view text)
{
    return text.find_first_of(watch_text_rules_detail::kSearchForbidden) == std::string_view::npos;
}

const std::string& TypeAheadPrefix::add(char c, int64_t nowSeconds)
{
    if (!m_text.empty() && nowSeconds - m_started <= 1) {
        m_text += c;
    } else {
        m_text.assign(1, c);
        m_started = nowSeconds;
    }
    return m_text;
}
