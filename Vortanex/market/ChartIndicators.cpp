#include "market/ChartIndicators.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

Values none(int n)
{
    return Values(size_t(std::max(n, 0)), kNaN);
}

bool complete(const PriceBars& b, bool needVolume = false)
{
    const size_t n = b.close.size();
    return b.high.size() == n && b.low.size() == n && (!needVolume || b.volume.size() == n);
}

double highest(const Values& x, int from, int to)
{
    double h = -std::numeric_limits<double>::infinity();
    for (int i = from; i <= to; ++i)
        h = std::max(h, x[size_t(i)]);
    return h;
}

double lowest(const Values& x, int from, int to)
{
    double l = std::numeric_limits<double>::infinity();
    for (int i = from; i <= to; ++i)
        l = std::min(l, x[size_t(i)]);
    return l;
}

// An average of the defined values of x, starting where they start.
Values emaOfDefined(const Values& x, int n)
{
    Values out = none(int(x.size()));
    size_t start = 0;
    while (start < x.size() && std::isnan(x[start]))
        ++start;
    if (start >= x.size())
        return out;
    const Values tail(x.begin() + std::ptrdiff_t(start), x.end());
    const Values e = indicators::Ema(tail, n);
    std::copy(e.begin(), e.end(), out.begin() + std::ptrdiff_t(start));
    return out;
}

Values smaOfDefined(const Values& x, int n)
{
    Values out = none(int(x.size()));
    size_t start = 0;
    while (start < x.size() && std::isnan(x[start]))
        ++start;
    if (start >= x.size())
        return out;
    const Values tail(x.begin() + std::ptrdiff_t(start), x.end());
    const Values s = indicators::Sma(tail, n);
    std::copy(s.begin(), s.end(), out.begin() + std::ptrdiff_t(start));
    return out;
}

} // namespace

namespace indicators {

Values Sma(const Values& x, int n)
{
    const int size = int(x.size());
    Values out = none(size);
    if (n <= 0)
        return out;
    double sum = 0;
    for (int i = 0; i < size; ++i) {
        sum += x[size_t(i)];
        if (i >= n)
            sum -= x[size_t(i - n)];
        if (i >= n - 1)
            out[size_t(i)] = sum / n;
    }
    // A NaN poisons the running sum; recompute those windows directly.
    for (int i = n - 1; i < size; ++i)
        if (std::isnan(out[size_t(i)])) {
            double s = 0;
            for (int j = i - n + 1; j <= i; ++j)
                s += x[size_t(j)];
            out[size_t(i)] = s / n;
        }
    return out;
}

Values Ema(const Values& x, int n)
{
    const int size = int(x.size());
    Values out = none(size);
    if (n <= 0 || size < n)
        return out;
    double seed = 0;
    for (int i = 0; i < n; ++i)
        seed += x[size_t(i)];
    double e = seed / n;
    out[size_t(n - 1)] = e;
    const double k = 2.0 / (n + 1);
    for (int i = n; i < size; ++i) {
        e += k * (x[size_t(i)] - e);
        out[size_t(i)] = e;
    }
    return out;
}

Values Wma(const Values& x, int n)
{
    const int size = int(x.size());
    Values out = none(size);
    if (n <= 0)
        return out;
    const double weights = n * (n + 1) / 2.0;
    for (int i = n - 1; i < size; ++i) {
        double s = 0;
        for (int j = 0; j < n; ++j)
            s += x[size_t(i - n + 1 + j)] * (j + 1);
        out[size_t(i)] = s / weights;
    }
    return out;
}

void Bollinger(const Values& close, int n, double k, Values& mid, Values& upper, Values& lower)
{
    const int size = int(close.size());
    mid = Sma(close, n);
    upper = none(size);
    lower = none(size);
    for (int i = n - 1; i < size && n > 0; ++i) {
        double var = 0;
        for (int j = i - n + 1; j <= i; ++j)
            var += (close[size_t(j)] - mid[size_t(i)]) * (close[size_t(j)] - mid[size_t(i)]);
        const double sd = std::sqrt(var / n);
        upper[size_t(i)] = mid[size_t(i)] + k * sd;
        lower[size_t(i)] = mid[size_t(i)] - k * sd;
    }
}

Values Rsi(const Values& close, int n)
{
    const int size = int(close.size());
    Values out = none(size);
    if (n <= 0 || size <= n)
        return out;
    double gain = 0, loss = 0;
    for (int i = 1; i <= n; ++i) {
        const double d = close[size_t(i)] - close[size_t(i - 1)];
        (d > 0 ? gain : loss) += std::fabs(d);
    }
    gain /= n;
    loss /= n;
    auto rsi = [](double g, double l) { return l == 0 ? (g == 0 ? 50.0 : 100.0) : 100.0 - 100.0 / (1.0 + g / l); };
    out[size_t(n)] = rsi(gain, loss);
    for (int i = n + 1; i < size; ++i) {
        const double d = close[size_t(i)] - close[size_t(i - 1)];
        gain = (gain * (n - 1) + (d > 0 ? d : 0)) / n;
        loss = (loss * (n - 1) + (d < 0 ? -d : 0)) / n;
        out[size_t(i)] = rsi(gain, loss);
    }
    return out;
}

Values Momentum(const Values& close, int n)
{
    const int size = int(close.size());
    Values out = none(size);
    for (int i = n; i < size && n > 0; ++i)
        out[size_t(i)] = close[size_t(i)] - close[size_t(i - n)];
    return out;
}

Values RateOfChange(const Values& close, int n)
{
    const int size = int(close.size());
    Values out = none(size);
    for (int i = n; i < size && n > 0; ++i) {
        const double before = close[size_t(i - n)];
        if (before != 0)
            out[size_t(i)] = (close[size_t(i)] - before) / before * 100.0;
    }
    return out;
}

Values OnBalanceVolume(const Values& close, const Values& volume)
{
    const int size = int(close.size());
    Values out = none(size);
    if (volume.size() != close.size() || size == 0)
        return out;
    double obv = 0;
    out[0] = 0;
    for (int i = 1; i < size; ++i) {
        if (close[size_t(i)] > close[size_t(i - 1)])
            obv += volume[size_t(i)];
        else if (close[size_t(i)] < close[size_t(i - 1)])
            obv -= volume[size_t(i)];
        out[size_t(i)] = obv;
    }
    return out;
}

void Macd(const Values& close, int fast, int slow, int signal, Values& line, Values& signalLine, Values& histogram)
{
    const int size = int(close.size());
    const Values f = Ema(close, fast);
    const Values s = Ema(close, slow);
    line = none(size);
    for (int i = 0; i < size; ++i)
        line[size_t(i)] = f[size_t(i)] - s[size_t(i)];
    signalLine = emaOfDefined(line, signal);
    histogram = none(size);
    for (int i = 0; i < size; ++i)
        histogram[size_t(i)] = line[size_t(i)] - signalLine[size_t(i)];
}

void Stochastic(const PriceBars& b, int n, int d, Values& k, Values& dLine)
{
    const int size = b.size();
    k = none(size);
    dLine = none(size);
    if (!complete(b) || n <= 0)
        return;
    for (int i = n - 1; i < size; ++i) {
        const double hh = highest(b.high, i - n + 1, i);
        const double ll = lowest(b.low, i - n + 1, i);
        k[size_t(i)] = hh > ll ? 100.0 * (b.close[size_t(i)] - ll) / (hh - ll) : 50.0;
    }
    dLine = smaOfDefined(k, d);
}

Values WilliamsR(const PriceBars& b, int n)
{
    const int size = b.size();
    Values out = none(size);
    if (!complete(b) || n <= 0)
        return out;
    for (int i = n - 1; i < size; ++i) {
        const double hh = highest(b.high, i - n + 1, i);
        const double ll = lowest(b.low, i - n + 1, i);
        out[size_t(i)] = hh > ll ? -100.0 * (hh - b.close[size_t(i)]) / (hh - ll) : -50.0;
    }
    return out;
}

Values Cci(const PriceBars& b, int n)
{
    const int size = b.size();
    Values out = none(size);
    if (!complete(b) || n <= 0)
        return out;
    const Values tp = TypicalPrice(b);
    const Values avg = Sma(tp, n);
    for (int i = n - 1; i < size; ++i) {
        double md = 0;
        for (int j = i - n + 1; j <= i; ++j)
            md += std::fabs(tp[size_t(j)] - avg[size_t(i)]);
        md /= n;
        out[size_t(i)] = md > 0 ? (tp[size_t(i)] - avg[size_t(i)]) / (0.015 * md) : 0.0;
    }
    return out;
}

Values ParabolicSar(const PriceBars& b, double step, double maximum)
{
    const int size = b.size();
    Values out = none(size);
    if (!complete(b) || size < 2)
        return out;
    bool up = b.close[1] >= b.close[0];
    double sar = up ? std::min(b.low[0], b.low[1]) : std::max(b.high[0], b.high[1]);
    double ep = up ? std::max(b.high[0], b.high[1]) : std::min(b.low[0], b.low[1]);
    double af = step;
    out[1] = sar;
    for (int i = 2; i < size; ++i) {
        sar += af * (ep - sar);
        if (up) {
            sar = std::min({sar, b.low[size_t(i - 1)], b.low[size_t(i - 2)]});
            if (b.low[size_t(i)] < sar) {
                up = false;
                sar = ep;
                ep = b.low[size_t(i)];
                af = step;
            } else if (b.high[size_t(i)] > ep) {
                ep = b.high[size_t(i)];
                af = std::min(af + step, maximum);
            }
        } else {
            sar = std::max({sar, b.high[size_t(i - 1)], b.high[size_t(i - 2)]});
            if (b.high[size_t(i)] > sar) {
                up = true;
                sar = ep;
                ep = b.high[size_t(i)];
                af = step;
            } else if (b.low[size_t(i)] < ep) {
                ep = b.low[size_t(i)];
                af = std::min(af + step, maximum);
            }
        }
        out[size_t(i)] = sar;
    }
    return out;
}

void Aroon(const PriceBars& b, int n, Values& up, Values& down)
{
    const int size = b.size();
    up = none(size);
    down = none(size);
    if (!complete(b) || n <= 0)
        return;
    for (int i = n; i < size; ++i) {
        int hi = i, lo = i;
        for (int j = i - n; j <= i; ++j) {
            if (b.high[size_t(j)] >= b.high[size_t(hi)])
                hi = j;
            if (b.low[size_t(j)] <= b.low[size_t(lo)])
                lo = j;
        }
        up[size_t(i)] = 100.0 * (n - (i - hi)) / n;
        down[size_t(i)] = 100.0 * (n - (i - lo)) / n;
    }
}

Values TrueRange(const PriceBars& b)
{
    const int size = b.size();
    Values out = none(size);
    if (!complete(b))
        return out;
    for (int i = 0; i < size; ++i) {
        double tr = b.high[size_t(i)] - b.low[size_t(i)];
        if (i > 0) {
            const double pc = b.close[size_t(i - 1)];
            tr = std::max({tr, std::fabs(b.high[size_t(i)] - pc), std::fabs(b.low[size_t(i)] - pc)});
        }
        out[size_t(i)] = tr;
    }
    return out;
}

Values TypicalPrice(const PriceBars& b)
{
    Values out = none(b.size());
    if (complete(b))
        for (size_t i = 0; i < out.size(); ++i)
            out[i] = (b.high[i] + b.low[i] + b.close[i]) / 3.0;
    return out;
}

Values MedianPrice(const PriceBars& b)
{
    Values out = none(b.size());
    if (complete(b))
        for (size_t i = 0; i < out.size(); ++i)
            out[i] = (b.high[i] + b.low[i]) / 2.0;
    return out;
}

Values WeightedClose(const PriceBars& b)
{
    Values out = none(b.size());
    if (complete(b))
        for (size_t i = 0; i < out.size(); ++i)
            out[i] = (b.high[i] + b.low[i] + 2 * b.close[i]) / 4.0;
    return out;
}

Values HighMinusLow(const PriceBars& b)
{
    Values out = none(b.size());
    if (complete(b))
        for (size_t i = 0; i < out.size(); ++i)
            out[i] = b.high[i] - b.low[i];
    return out;
}

Values MoneyFlowIndex(const PriceBars& b, int n)
{
    const int size = b.size();
    Values out = none(size);
    if (!complete(b, true) || n <= 0)
        return out;
    const Values tp = TypicalPrice(b);
    for (int i = n; i < size; ++i) {
        double pos = 0, neg = 0;
        for (int j = i - n + 1; j <= i; ++j) {
            const double flow = tp[size_t(j)] * b.volume[size_t(j)];
            if (tp[size_t(j)] > tp[size_t(j - 1)])
                pos += flow;
            else if (tp[size_t(j)] < tp[size_t(j - 1)])
                neg += flow;
        }
        out[size_t(i)] = neg == 0 ? (pos == 0 ? 50.0 : 100.0) : 100.0 - 100.0 / (1.0 + pos / neg);
    }
    return out;
}

Values ChaikinMoneyFlow(const PriceBars& b, int n)
{
    const int size = b.size();
    Values out = none(size);
    if (!complete(b, true) || n <= 0)
        return out;
    for (int i = n - 1; i < size; ++i) {
        double mfv = 0, vol = 0;
        for (int j = i - n + 1; j <= i; ++j) {
            const double range = b.high[size_t(j)] - b.low[size_t(j)];
            const double mult = range > 0 ? ((b.close[size_t(j)] - b.low[size_t(j)]) -
                                             (b.high[size_t(j)] - b.close[size_t(j)])) / range
                                          : 0.0;
            mfv += mult * b.volume[size_t(j)];
            vol += b.volume[size_t(j)];
        }
        out[size_t(i)] = vol > 0 ? mfv / vol : 0.0;
    }
    return out;
}

std::vector<DarvasBox> Darvas(const PriceBars& b, double fraction)
{
    std::vector<DarvasBox> boxes;
    const int size = b.size();
    if (!complete(b) || size < 4)
        return boxes;
    int i = 0;
    while (i + 3 < size) {
        // A top: a high the next three highs do not pass.
        int top = -1;
        for (int t = i; t + 3 < size; ++t) {
            const double h = b.high[size_t(t)];
            if (b.high[size_t(t + 1)] <= h && b.high[size_t(t + 2)] <= h && b.high[size_t(t + 3)] <= h) {
                top = t;
                break;
            }
        }
        if (top < 0)
            break;
        // A bottom: the lowest low after the top that the next three lows keep above.
        int bottom = -1;
        for (int l = top + 1; l + 3 < size; ++l) {
            const double lo = b.low[size_t(l)];
            if (b.high[size_t(l)] > b.high[size_t(top)])
                break;
            if (b.low[size_t(l + 1)] >= lo && b.low[size_t(l + 2)] >= lo && b.low[size_t(l + 3)] >= lo) {
                bottom = l;
                break;
            }
        }
        if (bottom < 0) {
            i = top + 1;
            continue;
        }
        DarvasBox box;
        box.first = top;
        box.top = b.high[size_t(top)];
        box.bottom = b.low[size_t(bottom)];
        box.last = size - 1;
        for (int j = bottom + 1; j < size; ++j) {
            const double c = b.close[size_t(j)];
            if (c > box.top * (1 + fraction) || c < box.bottom * (1 - fraction)) {
                box.last = j;
                break;
            }
        }
        boxes.push_back(box);
        i = box.last + 1;
    }
    return boxes;
}

} // namespace indicators

const std::vector<std::string>& IndicatorNames()
{
    static const std::vector<std::string> names = {
        "Simple Moving Average",
        "Exponential Moving Average",
        "Weighted Moving Average",
        "Bollinger Bands",
        "Relative Strength Index",
        "Momentum",
        "Rate Of Change",
        "On Balance Volume",
        "MACD",
        "MACD Histogram",
        "Stochastic Oscillator",
        "Williams %R",
        "Commodity Channel Index",
        "Parabolic SAR",
        "Aroon",
        "Aroon Oscillator",
        "True Range",
        "Typical Price",
        "Median Price",
        "Weighted Close",
        "High Minus Low",
        "Money Flow Index",
        "Chaikin Money Flow",
    };
    return names;
}

std::vector<IndicatorLine> ComputeIndicator(int type, const PriceBars& b)
{
    using namespace indicators;
    const Values& c = b.close;
    switch (type) {
    case 0: return {{"", Sma(c, 10)}};
    case 1: return {{"", Ema(c, 10)}};
    case 2: return {{"", Wma(c, 10)}};
    case 3: {
        Values mid, up, low;
        Bollinger(c, 20, 2.0, mid, up, low);
        return {{"", mid}, {"Upper", up}, {"Lower", low}};
    }
    case 4: return {{"", Rsi(c, 14)}};
    case 5: return {{"", Momentum(c, 10)}};
    case 6: return {{"", RateOfChange(c, 10)}};
    case 7: return {{"", OnBalanceVolume(c, b.volume)}};
    case 8: {
        Values line, signal, hist;
        Macd(c, 12, 26, 9, line, signal, hist);
        return {{"", line}, {"Signal", signal}};
    }
    case 9: {
        Values line, signal, hist;
        Macd(c, 12, 26, 9, line, signal, hist);
        return {{"", hist, true}};
    }
    case 10: {
        Values k, d;
        Stochastic(b, 14, 3, k, d);
        return {{"", k}, {"%D", d}};
    }
    case 11: return {{"", WilliamsR(b, 14)}};
    case 12: return {{"", Cci(b, 20)}};
    case 13: return {{"", ParabolicSar(b, 0.02, 0.2)}};
    case 14: {
        Values up, down;
        Aroon(b, 25, up, down);
        return {{"Up", up}, {"Down", down}};
    }
    case 15: {
        Values up, down;
        Aroon(b, 25, up, down);
        for (size_t i = 0; i < up.size(); ++i)
            up[i] -= down[i];
        return {{"", up}};
    }
    case 16: return {{"", TrueRange(b)}};
    case 17: return {{"", TypicalPrice(b)}};
    case 18: return {{"", MedianPrice(b)}};
    case 19: return {{"", WeightedClose(b)}};
    case 20: return {{"", HighMinusLow(b)}};
    case 21: return {{"", MoneyFlowIndex(b, 14)}};
    case 22: return {{"", ChaikinMoneyFlow(b, 20)}};
    default: return {};
    }
}
