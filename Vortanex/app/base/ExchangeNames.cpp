#include "app/base/ExchangeNames.h"

#include <algorithm>
#include <utility>

const char* ExchangeDisplayName(std::string_view code)
{
    static constexpr std::pair<std::string_view, const char*> kNames[] = {
        {"NN", "NSE"}, {"BN", "BSE"}, {"CN", "NSE-FX"}, {"CB", "BSE-CDX"}, {"CM", "MCX-SX"}, {"MC", "MCX-CM"},
    };
    for (const auto& [c, name] : kNames)
        if (code == c)
            return name;
    return "";
}

const char* ExchangeDisplayName(std::string_view code, std::initializer_list<std::string_view> named)
{
    return std::find(named.begin(), named.end(), code) != named.end() ? ExchangeDisplayName(code) : "";
}
