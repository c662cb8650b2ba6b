#pragma once
// The technical indicators a chart offers, computed from its price records.
// Every function returns one value per bar, NaN where the indicator has no
// value yet (too few bars before it), never a made-up number.
#include <string>
#include <vector>

using Values = std::vector<double>;

// The bars an indicator reads: five columns of the same length; a missing
// column is empty (an indicator that needs it gives no value).
struct PriceBars {
    Values open, high, low, close, volume;
    int size() const { return int(close.size()); }
};

struct IndicatorLine {
    std::string label;  // "" for the indicator's main line
    Values values;
    bool bars = false;  // drawn as bars rather than a line
};

// The offered indicators; an indicator's type is its position here.
const std::vector<std::string>& IndicatorNames();
// The lines of indicator type on the bars; empty for an unknown type.
std::vector<IndicatorLine> ComputeIndicator(int type, const PriceBars& bars);

namespace indicators {

Values Sma(const Values& x, int n);
// Seeded by the simple average of the first n values.
Values Ema(const Values& x, int n);
Values Wma(const Values& x, int n);
// Middle, upper and lower band: n-bar average plus and minus k population
// standard deviations.
void Bollinger(const Values& close, int n, double k, Values& mid, Values& upper, Values& lower);
// Wilder's smoothing, first average over the first n changes.
Values Rsi(const Values& close, int n);
Values Momentum(const Values& close, int n);
Values RateOfChange(const Values& close, int n);
Values OnBalanceVolume(const Values& close, const Values& volume);
// MACD line = EMA(fast) - EMA(slow); signal = EMA(signal) of the MACD line;
// histogram = line - signal.
void Macd(const Values& close, int fast, int slow, int signal, Values& line, Values& signalLine, Values& histogram);
// %K over n bars, %D its d-bar average; a flat range gives 50.
void Stochastic(const PriceBars& b, int n, int d, Values& k, Values& dLine);
// -100 .. 0; a flat range gives -50.
Values WilliamsR(const PriceBars& b, int n);
Values Cci(const PriceBars& b, int n);
Values ParabolicSar(const PriceBars& b, double step, double maximum);
void Aroon(const PriceBars& b, int n, Values& up, Values& down);
Values TrueRange(const PriceBars& b);
Values TypicalPrice(const PriceBars& b);
Values MedianPrice(const PriceBars& b);
Values WeightedClose(const PriceBars& b);
Values HighMinusLow(const PriceBars& b);
Values MoneyFlowIndex(const PriceBars& b, int n);
Values ChaikinMoneyFlow(const PriceBars& b, int n);

struct DarvasBox {
    int first = 0;  // bar of the box's top
    int last = 0;   // bar the box ends on (the breakout, or the last bar)
    double top = 0;
    double bottom = 0;
};
// A top is a high not exceeded by the next three bars, a bottom the lowest
// low after it not undercut by the next three; the box ends when a close
// leaves it by more than the fraction.
std::vector<DarvasBox> Darvas(const PriceBars& b, double fraction);

} // namespace indicators
