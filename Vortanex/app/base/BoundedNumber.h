#pragma once
// Numbers that come from outside (a server's reply, a feed message, a file)
// are bounded before any arithmetic or cast on them: whatever a server or a
// damaged file sends, no sum overflows and no cast to an integer leaves its
// type. A value beyond a bound becomes the bound; a double that is not a
// number counts as 0 before it is bounded.
#include <algorithm>
#include <climits>
#include <cmath>

// v within [low, high].
template <typename T> constexpr T Bounded(T v, T low, T high)
{
    return std::clamp(v, low, high);
}

// A double's whole part toward zero, within [low, high]: checked before the
// cast, which is undefined for a value its type cannot hold.
inline long long BoundedWhole(double v, long long low, long long high)
{
    if (std::isnan(v))
        v = 0;
    if (v <= static_cast<double>(low))
        return low;
    if (v >= static_cast<double>(high))
        return high;
    return std::clamp(static_cast<long long>(v), low, high);
}

// A sum or difference of two ints, kept within int.
constexpr int BoundedIntSum(long long a, long long b)
{
    return static_cast<int>(std::clamp(a + b, static_cast<long long>(INT_MIN), static_cast<long long>(INT_MAX)));
}
