// Loading a 200,000-security master (unpack, parse, build the letter index and
// token maps) against merely unpacking it and splitting it into records.
#include "server/SecurityFile.h"
#include "server/SecurityTable.h"

#include "pf/lzo.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace {

constexpr int kSecurities = 200'000;

// A master in the extended layout, grouped by first letter as the server
// writes it: equities on both exchanges, stock and index futures and options,
// currency contracts and commodity futures; a few carry the long texts.
std::string generateMaster(int n)
{
    static const char* kMonths[] = {"30DEC26", "28JAN27", "25FEB27"};
    std::string out = "09122026-0-" + std::to_string(n) + "~";
    out.reserve(static_cast<size_t>(n) * 90);
    char buf[512];
    int token = 1;
    for (int i = 0; i < n; ++i) {
        const char letter = static_cast<char>('A' + (i * 26) / n);
        char sym[16];
        std::snprintf(sym, sizeof sym, "%c%05dX", letter, i / 40);
        const int kind = i % 40;
        const char* month = kMonths[i % 3];
        if (kind < 8) {
            std::snprintf(buf, sizeof buf, "%d,NN,%s|EQ,%d,1,5,ACT,1,%.2f,%.2f,0~", token, sym, 500000 + i,
                          1000.0 + i % 977, 500.0 + i % 311);
        } else if (kind < 14) {
            std::snprintf(buf, sizeof buf, "%d,BN,%s|A,%d,1,5,ACT,1,%.2f,%.2f,0~", token, sym, 500000 + i,
                          1000.0 + i % 977, 500.0 + i % 311);
        } else if (kind < 18) {
            std::snprintf(buf, sizeof buf, "%d,NN,%s|FS|%s,0,400,10,ACT,1,0.00,0.00,0~", token, sym, month);
        } else if (kind < 34) {
            std::snprintf(buf, sizeof buf, "%d,NN,%s|%s|%s|%d|%s,0,50,5,ACT,1,0.00,0.00,0~", token, sym,
                          kind < 30 ? "OS" : "OI", month, 100 + 10 * (kind % 16), kind % 2 ? "CE" : "PE");
        } else if (kind < 37) {
            std::snprintf(buf, sizeof buf, "%d,CN,%s|%s|%s|%.4f|CE,0,1,25,ACT,1000,0.00,0.00,0~", token, sym,
                          kind == 34 ? "FC" : "OC", month, 83.25 + kind);
        } else {
            std::snprintf(buf, sizeof buf,
                          "%d,MC,%s|CF|%s,0,100,100,ACT,10,0.00,0.00,0,Rs,1 KG,1,KG,0,0,%s,Gold mini contract,x~",
                          token, sym, month, kind == 39 ? "Delivery at the exchange's vaults" : "");
        }
        out += buf;
        token += 1 + i % 3;
    }
    return out;
}

struct Packed {
    std::string text;
    std::vector<unsigned char> lzo;
};

const Packed& packed()
{
    static const Packed p = [] {
        Packed x;
        x.text = generateMaster(kSecurities);
        x.lzo = pf::lzo::compress(reinterpret_cast<const unsigned char*>(x.text.data()), x.text.size());
        return x;
    }();
    return p;
}

void unpack(std::vector<unsigned char>& out)
{
    const Packed& p = packed();
    if (!pf::lzo::inflate(p.lzo.data(), p.lzo.size(), out, p.lzo.size() * 20))
        std::abort();
}

// Both benchmarks unpack into a fresh buffer, as a load does.
void BM_DecompressAndSplit(benchmark::State& state)
{
    for (auto _ : state) {
        std::vector<unsigned char> out;
        unpack(out);
        std::string_view text(reinterpret_cast<const char*>(out.data()), out.size());
        std::vector<std::string_view> records;
        records.reserve(kSecurities + 16);
        size_t pos = 0;
        while (pos < text.size()) {
            const size_t end = text.find('~', pos);
            records.push_back(text.substr(pos, end == std::string_view::npos ? std::string_view::npos : end - pos));
            if (end == std::string_view::npos)
                break;
            pos = end + 1;
        }
        benchmark::DoNotOptimize(records.data());
        benchmark::ClobberMemory();
    }
    state.counters["securities"] = kSecurities;
    state.counters["packed_bytes"] = static_cast<double>(packed().lzo.size());
    state.counters["text_bytes"] = static_cast<double>(packed().text.size());
}
BENCHMARK(BM_DecompressAndSplit)->Unit(benchmark::kMillisecond);

std::unique_ptr<SecurityTable> load()
{
    std::vector<unsigned char> out;
    unpack(out);
    std::string_view text(reinterpret_cast<const char*>(out.data()), out.size());
    SecurityFileContent c = ParseSecurityText(text, SecurityReading::Full);
    auto table = std::make_unique<SecurityTable>();
    table->build(std::move(c.rows), SecurityTable::Build::Full, c.extended);
    return table;
}

long residentBytes()
{
    long pages = 0;
    long resident = 0;
    if (FILE* f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2)
            resident = 0;
        std::fclose(f);
    }
    return resident * 4096;
}

// Memory the loaded table keeps, measured once in a fresh process (resident
// set growth, the unpacked text already released).
double g_bytesPerSecurity = 0;

void BM_FullLoad(benchmark::State& state)
{
    for (auto _ : state) {
        auto table = load();
        state.PauseTiming();
        if (table->count() != kSecurities || table->searchToken(1, "NN") != 0)
            std::abort();
        table.reset();
        state.ResumeTiming();
    }
    state.counters["securities"] = kSecurities;
    state.counters["bytes_per_security"] = g_bytesPerSecurity;
    state.counters["sizeof_record"] = sizeof(SecurityRecord);
}
BENCHMARK(BM_FullLoad)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    packed(); // generate and pack outside the timed loops
    {
        const long before = residentBytes();
        auto table = load();
        g_bytesPerSecurity = static_cast<double>(residentBytes() - before) / table->count();
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
