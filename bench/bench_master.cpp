// Loading a 200,000-security master (unpack, parse, build the letter index and
// token maps), the first login's path (unpack, load from memory, write the
// plain file) and the load from disk, each beside the machine's limit timed
// in the same run: the library's raw decompress plus a bare split of the text
// into records.
#include "server/SecurityFile.h"
#include "server/SecurityMaster.h"
#include "server/SecurityTable.h"

#include "pf/files.h"
#include "pf/lzo.h"

#include <lzo/lzo1x.h>
#include <fcntl.h>
#include <unistd.h>

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
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

void unpack(pf::lzo::Bytes& out)
{
    const Packed& p = packed();
    if (!pf::lzo::inflate(p.lzo.data(), p.lzo.size(), out, p.lzo.size() * 20))
        std::abort();
}

// As the program unpacks a full master: the rows' room is made from the
// archive's first bytes and mapped while the rest unpacks.
SecurityRows unpackWithRoom(pf::lzo::Bytes& out)
{
    const Packed& p = packed();
    unsigned char head[kSecurityHeadBytes];
    const size_t got = pf::lzo::inflateHead(p.lzo.data(), p.lzo.size(), head, sizeof head);
    SecurityRowsAhead rows(std::string_view(reinterpret_cast<const char*>(head), got));
    unpack(out);
    return rows.take();
}

std::vector<std::string_view> split(std::string_view text)
{
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
    return records;
}

// The machine's limit for a load, timed in the same run as what it bounds:
// the library's raw decompress into a buffer of the known size, and a bare
// split of the text into records. Seconds.
double limitSeconds()
{
    const Packed& p = packed();
    static pf::lzo::Bytes out(p.text.size());
    const auto t0 = std::chrono::steady_clock::now();
    lzo_uint outLen = out.size();
    if (lzo1x_decompress_safe(p.lzo.data(), p.lzo.size(), out.data(), &outLen, nullptr) != LZO_E_OK)
        std::abort();
    const auto records = split(std::string_view(reinterpret_cast<const char*>(out.data()), outLen));
    benchmark::DoNotOptimize(records.data());
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

// Unpack (as the program does: a buffer grown to fit, never zero-filled) and
// split, the old "bare" figure.
void BM_DecompressAndSplit(benchmark::State& state)
{
    for (auto _ : state) {
        pf::lzo::Bytes out;
        unpack(out);
        const auto records = split(std::string_view(reinterpret_cast<const char*>(out.data()), out.size()));
        benchmark::DoNotOptimize(records.data());
        benchmark::ClobberMemory();
    }
    state.counters["securities"] = kSecurities;
    state.counters["packed_bytes"] = static_cast<double>(packed().lzo.size());
    state.counters["text_bytes"] = static_cast<double>(packed().text.size());
}
BENCHMARK(BM_DecompressAndSplit)->Unit(benchmark::kMillisecond);

std::unique_ptr<SecurityTable> build(SecurityFileContent c)
{
    auto table = std::make_unique<SecurityTable>();
    table->build(std::move(c.rows), SecurityTable::Build::Full, c.extended);
    return table;
}

std::unique_ptr<SecurityTable> load()
{
    pf::lzo::Bytes out;
    SecurityRows room = unpackWithRoom(out);
    return build(ParseSecurityText(std::string_view(reinterpret_cast<const char*>(out.data()), out.size()),
                                   SecurityReading::Full, std::move(room)));
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
// set growth, the unpacked text already released), without quotes and after
// every security got one.
double g_bytesPerSecurity = 0;
double g_bytesPerQuotedSecurity = 0;
// The process's first load, timed once: the program loads its master once per
// run, into memory no earlier load has mapped, so this is the load a user
// waits for; the loop's figure is the mean of repeated loads.
double g_coldLoadSeconds = 0;

void reportLimit(benchmark::State& state, double seconds, double limit)
{
    const double n = static_cast<double>(state.iterations());
    state.counters["limit_ms"] = limit / n * 1000;
    state.counters["x_limit"] = seconds / limit;
}

// A full load from the unpacked text in memory, beside the limit.
// Times one load that yields a table as the benchmark's iteration, checks
// the table (after the timing) and frees it. Seconds.
template <typename Load>
double timeLoad(benchmark::State& state, Load&& load)
{
    const auto t0 = std::chrono::steady_clock::now();
    auto table = load();
    const double d = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    state.SetIterationTime(d);
    if (!table || table->count() != kSecurities || table->searchToken(1, "NN") != 0)
        std::abort();
    return d;
}

void BM_FullLoad(benchmark::State& state)
{
    double seconds = 0, limit = 0;
    for (auto _ : state) {
        seconds += timeLoad(state, load);
        limit += limitSeconds();
    }
    reportLimit(state, seconds, limit);
    state.counters["securities"] = kSecurities;
    state.counters["bytes_per_security"] = g_bytesPerSecurity;
    state.counters["bytes_per_quoted_security"] = g_bytesPerQuotedSecurity;
    state.counters["sizeof_record"] = sizeof(SecurityRecord);
    state.counters["cold_load_ms"] = g_coldLoadSeconds * 1000;
    state.counters["cold_x_limit"] = g_coldLoadSeconds / (limit / static_cast<double>(state.iterations()));
}
BENCHMARK(BM_FullLoad)->Unit(benchmark::kMillisecond)->UseManualTime();

// The disk's limit for the first login's write, timed in the same run: the
// same bytes written to a fresh file, flushed, renamed into place and the
// folder flushed, with no other work. Seconds.
double diskLimitSeconds(const std::filesystem::path& dir)
{
    const std::string& text = packed().text;
    const auto tmp = dir / "bare.tmp";
    const auto to = dir / "bare.txt";
    const auto t0 = std::chrono::steady_clock::now();
    const int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (fd < 0)
        std::abort();
    for (size_t at = 0; at < text.size();) {
        const ssize_t w = ::write(fd, text.data() + at, text.size() - at);
        if (w <= 0)
            std::abort();
        at += static_cast<size_t>(w);
    }
    if (::fsync(fd) != 0 || ::close(fd) != 0 || ::rename(tmp.c_str(), to.c_str()) != 0)
        std::abort();
    const int dirFd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY);
    if (dirFd >= 0) {
        ::fsync(dirFd);
        ::close(dirFd);
    }
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

// The first login as the program runs it: the downloaded archive unpacked
// (with the program's cap), then the program's own load of a downloaded
// master: the table built from memory while the plain file is written
// atomically (flushed, renamed into place), both finished. Beside the
// processor's limit it prints the disk's: the file's flush alone can take
// longer than the whole of the processor's work.
void BM_FirstLogin(benchmark::State& state)
{
    const auto dir = std::filesystem::temp_directory_path() / ("bench_master_" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    const auto file = dir / "security.txt";
    double seconds = 0, limit = 0, diskLimit = 0;
    for (auto _ : state) {
        seconds += timeLoad(state, [&] {
            pf::lzo::Bytes out;
            SecurityRows room = unpackWithRoom(out);
            const std::string_view text(reinterpret_cast<const char*>(out.data()), out.size());
            DownloadedMaster loaded = LoadDownloadedMaster(text, file, std::move(room));
            if (!loaded.written)
                std::abort();
            return std::move(loaded.table);
        });
        limit += limitSeconds();
        diskLimit += diskLimitSeconds(dir);
    }
    std::filesystem::remove_all(dir);
    reportLimit(state, seconds, limit);
    state.counters["disk_limit_ms"] = diskLimit / static_cast<double>(state.iterations()) * 1000;
    state.counters["x_disk_limit"] = seconds / diskLimit;
}
BENCHMARK(BM_FirstLogin)->Unit(benchmark::kMillisecond)->UseManualTime();

// The load of every later login: the plain file read from disk (the page
// cache, as the program's file usually is), parsed and indexed, beside the
// same limit as the loads above and, timed in the same run too, a bare read
// of the file into memory already mapped plus a bare split of the text.
void BM_LoadFromDisk(benchmark::State& state)
{
    const auto dir = std::filesystem::temp_directory_path() / ("bench_master_disk_" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    const auto file = dir / "security.lst";
    if (!pf::files::writeAtomic(file, packed().text))
        std::abort();
    static std::string bare(packed().text.size(), '\0');
    double seconds = 0, limit = 0, readLimit = 0;
    for (auto _ : state) {
        seconds += timeLoad(state, [&] { return build(LoadSecurity(file.string(), SecurityReading::Full)); });

        const auto l0 = std::chrono::steady_clock::now();
        const int fd = ::open(file.c_str(), O_RDONLY);
        size_t got = 0;
        for (ssize_t r; fd >= 0 && got < bare.size() && (r = ::read(fd, bare.data() + got, bare.size() - got)) > 0;)
            got += static_cast<size_t>(r);
        if (fd >= 0)
            ::close(fd);
        if (got != bare.size())
            std::abort();
        const auto records = split(bare);
        benchmark::DoNotOptimize(records.data());
        readLimit += std::chrono::duration<double>(std::chrono::steady_clock::now() - l0).count();
        limit += limitSeconds();
    }
    std::filesystem::remove_all(dir);
    reportLimit(state, seconds, limit);
    state.counters["read_limit_ms"] = readLimit / static_cast<double>(state.iterations()) * 1000;
    state.counters["x_read_limit"] = seconds / readLimit;
}
BENCHMARK(BM_LoadFromDisk)->Unit(benchmark::kMillisecond)->UseManualTime();

} // namespace

int main(int argc, char** argv)
{
    packed(); // generate and pack outside the timed loops
    {
        const long before = residentBytes();
        const auto t0 = std::chrono::steady_clock::now();
        auto table = load();
        g_coldLoadSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        g_bytesPerSecurity = static_cast<double>(residentBytes() - before) / table->count();
        QuoteData q;
        q.quote[0] = 1;
        for (int i = 0; i < table->count(); ++i)
            table->row(i).storeQuote(q);
        g_bytesPerQuotedSecurity = static_cast<double>(residentBytes() - before) / table->count();
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
