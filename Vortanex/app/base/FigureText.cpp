#include "app/base/FigureText.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

std::string figureText(double value, int decimals)
{
    if (!std::isfinite(value))
        value = 0;
    char text[352]; // the largest double has 309 digits before the point
    std::snprintf(text, sizeof text, "%.*f", std::clamp(decimals, 0, 8), value);
    std::string out(text);
    if (out.front() == '-' && out.find_first_of("123456789") == std::string::npos)
        out.erase(0, 1);
    return out;
}

int figureDecimals(int currencyFlag, std::string_view exchange)
{
    if (currencyFlag >= 0)
        return currencyFlag != 0 ? 4 : 2;
    return exchange == "CN" || exchange == "CB" || exchange == "MC" ? 4 : 2;
}

std::string securityFigureText(double value, int currencyFlag, std::string_view exchange)
{
    return figureText(value, figureDecimals(currencyFlag, exchange));
}
