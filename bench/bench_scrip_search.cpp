// The security finders of the add-scrip and scrip-search dialogs on a
// 300,000-security master (the test broker's demo market at full size): each
// search and each list fill runs on the UI thread, so each must stay well
// inside a frame of the user's typing. The limit is printed with the figures.
#include "server/SecurityFile.h"
#include "server/SecurityTable.h"
#include "watch/ScripFinder.h"

#include "Universe.h"

#include <benchmark/benchmark.h>

#include <memory>
#include <string>

namespace {

constexpr int kSecurities = 300'000;
constexpr double kLimitMs = 50.0; // median; 100 ms at most

const SecurityTable& master()
{
    static const std::unique_ptr<SecurityTable> table = [] {
        const tb::Universe universe(7, kSecurities, 2026, 12, 9);
        SecurityFileContent c = ParseSecurityText(universe.masterText(), SecurityReading::Full);
        auto t = std::make_unique<SecurityTable>();
        t->build(std::move(c.rows), SecurityTable::Build::Full, c.extended);
        return t;
    }();
    return *table;
}

// The symbol with the most rows: the worst letter range and expiry scan.
std::string busiestSymbol()
{
    const SecurityTable& t = master();
    std::string best, current;
    int bestCount = 0, count = 0;
    for (int i = 0; i < t.count(); ++i) {
        const std::string s(t.row(i).symbol.view());
        count = s == current ? count + 1 : 1;
        current = s;
        if (count > bestCount) {
            bestCount = count;
            best = s;
        }
    }
    return best;
}

void report(benchmark::State& state, size_t found)
{
    state.counters["limit_ms"] = kLimitMs;
    state.counters["found"] = static_cast<double>(found);
    state.counters["securities"] = master().count();
}

void BM_AddScripByLetter(benchmark::State& state)
{
    ScripQuery q;
    q.name = busiestSymbol().substr(0, 1);
    q.exchanges = {"NN", "BN", "CN", "CM", "NC", "MC"};
    size_t found = 0;
    for (auto _ : state)
        found = FindScrips(master(), q).size();
    report(state, found);
}
BENCHMARK(BM_AddScripByLetter)->Unit(benchmark::kMillisecond);

// A symbol of an NSE equity, and the scrip code of a BSE one.
std::string equitySymbol()
{
    const SecurityTable& t = master();
    for (int i = t.count() - 1; i >= 0; --i)
        if (t.row(i).inst_type == "EQ" && t.row(i).market_exchange == "NN")
            return std::string(t.row(i).symbol.view());
    return {};
}

std::string bseCode()
{
    const SecurityTable& t = master();
    for (int i = t.count() - 1; i >= 0; --i)
        if (t.row(i).market_exchange == "BN" && t.row(i).scrip_code > 0)
            return std::to_string(t.row(i).scrip_code);
    return {};
}

void BM_AddScripByCode(benchmark::State& state)
{
    ScripQuery q;
    q.code = bseCode();
    q.others = true; // the BSE groups are no cash series
    q.exchanges = {"NN", "BN"};
    size_t found = 0;
    for (auto _ : state)
        found = FindScrips(master(), q).size();
    report(state, found);
}
BENCHMARK(BM_AddScripByCode)->Unit(benchmark::kMillisecond);

void BM_AddScripExpiriesAndStrikes(benchmark::State& state)
{
    const std::string symbol = busiestSymbol();
    std::vector<std::string> expiries, strikes;
    for (auto _ : state)
        ScripExpiriesAndStrikes(master(), symbol, true, expiries, strikes);
    report(state, expiries.size() + strikes.size());
}
BENCHMARK(BM_AddScripExpiriesAndStrikes)->Unit(benchmark::kMillisecond);

void BM_SearchFills(benchmark::State& state)
{
    SearchFilters f;
    f.symbol = busiestSymbol();
    f.exchange = "NN";
    const int which = static_cast<int>(state.range(0));
    size_t found = 0;
    for (auto _ : state) {
        switch (which) {
        case 0: {
            SearchFilters open = f;
            open.symbol = f.symbol.substr(0, 2);
            found = SearchSymbols(master(), open, true).size();
            break;
        }
        case 1: {
            SearchFilters closed;
            closed.series = "EQ";
            found = SearchSymbols(master(), closed, false).size();
            break;
        }
        case 2: found = SearchSeries(master(), f).size(); break;
        case 3: found = SearchExpiries(master(), f).size(); break;
        case 4: found = SearchStrikes(master(), f).size(); break;
        default: {
            SearchFilters key;
            key.symbol = equitySymbol();
            key.exchange = "NN";
            key.series = "EQ";
            found = SearchChoice(master(), key) >= 0 ? 1 : 0;
            break;
        }
        }
    }
    static const char* kNames[] = {"symbols", "symbols_closed", "series", "expiries", "strikes", "choice"};
    state.SetLabel(kNames[which]);
    report(state, found);
}
BENCHMARK(BM_SearchFills)->DenseRange(0, 5)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
