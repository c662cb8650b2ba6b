// Loading a 200,000-security master (unpack, parse, build the letter index and
// token maps): the first load of a fresh process, repeated loads, the first
// login's path (unpack, load from memory, write the plain file) and the load
// from disk, each in wall and CPU time beside a limit timed in the same run
// that does the same work bare on the same threads: the library's raw
// decompress into fresh memory (a bare read for the load from disk) and a
// bare split of the text into records on the parser's threads. The first
// load and its limits are each timed in fresh processes of their own, its
// CPU time against the tightest single-thread parse that stores the same
// values (the goal), its wall time against the bare split. The first login's
// wall time is also printed beside the tight parse on the parser's threads,
// which its goal's bare split leaves out.
// Prints every goal with its limit and verdict; exits non-zero on a miss.
#include "server/SecurityFile.h"
#include "server/SecurityMaster.h"
#include "server/SecurityTable.h"

#include "Universe.h"

#include "pf/files.h"
#include "pf/large_memory.h"
#include "pf/lzo.h"
#include "pf/threads.h"

#include <lzo/lzo1x.h>
#include <fcntl.h>
#include <unistd.h>

#include <benchmark/benchmark.h>

#include "bench_split.h"
#include "bench_timing.h"
#include "bench_verdict.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <future>
#include <memory>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

using benchsplit::onShares;
using benchsplit::partsFor;
using benchsplit::splitOnThreads;

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

// What one timed piece of work cost: wall time and the whole process's CPU
// time (every thread it used), seconds.
struct Cost {
    double wall = 0;
    double cpu = 0;
    Cost& operator+=(const Cost& o)
    {
        wall += o.wall;
        cpu += o.cpu;
        return *this;
    }
};

template <typename F>
Cost timed(F&& f)
{
    const long long w0 = benchtiming::nowNs();
    const long long c0 = benchtiming::processCpuNs();
    f();
    return Cost{double(benchtiming::nowNs() - w0) / 1e9, double(benchtiming::processCpuNs() - c0) / 1e9};
}

// The machine's limit for a load from the archive, timed in the same run as
// what it bounds and doing the same work on the same threads: the library's
// raw decompress into fresh memory of the known size (as the program's: not
// zero-filled, on large pages, its pages first touched by the decompress),
// then a bare split of the text into records on the parser's threads.
Cost limitCost(pf::lzo::Bytes* keep = nullptr)
{
    const Packed& p = packed();
    return timed([&] {
        pf::lzo::Bytes out(p.text.size());
        lzo_uint outLen = out.size();
        if (lzo1x_decompress_safe(p.lzo.data(), p.lzo.size(), out.data(), &outLen, nullptr) != LZO_E_OK)
            std::abort();
        benchmark::DoNotOptimize(splitOnThreads(std::string_view(reinterpret_cast<const char*>(out.data()), outLen)));
        // Where the load's own text outlives its timing (the first login's
        // write holds it), so does this one; elsewhere both go inside it.
        if (keep)
            *keep = std::move(out);
    });
}

// The tightest plain loop that does a load's work on one thread: the raw
// decompress into fresh memory of the known size, then every record cut with
// memchr and its fields cut by a byte loop, each value stored once into a
// fresh row (on large pages, as the program's) as the table keeps it
// (integers as integers, prices and strikes as doubles, texts cut to their
// widths, the display key with '~' for '|', the long texts of the few records
// that carry them in strings of their own). No index and no look-up maps: those are the program's own work, and
// the goal leaves room for them.
struct TightRow {
    int token, scripCode, lot, tick, multiplier, wtoken;
    double strike, yearHigh, yearLow;
    char exchange[3], instType[3], optionType[3], status[5], expiry[10], symbol[32], display[50];
};
struct TightExtras {
    size_t row;
    std::string priceUnit, priceQuantity, delvuni, description, text1, text2;
    int denominator, aux1, aux2;
};

int tightInt(const char* p, const char* e)
{
    bool neg = p < e && *p == '-';
    p += neg;
    int v = 0;
    for (; p < e && unsigned(*p - '0') < 10; ++p)
        v = v * 10 + (*p - '0');
    return neg ? -v : v;
}

double tightReal(const char* p, const char* e)
{
    static constexpr double kPow10[] = {1e0, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7, 1e8};
    int64_t mant = 0;
    int frac = -1;
    const char* q = p;
    for (; q < e; ++q) {
        if (unsigned(*q - '0') < 10) {
            mant = mant * 10 + (*q - '0');
            frac += frac >= 0;
        } else if (*q == '.' && frac < 0) {
            frac = 0;
        } else {
            break;
        }
    }
    if (q == e && q - p <= 15 && frac <= 8)
        return frac > 0 ? double(mant) / kPow10[frac] : double(mant);
    double v = 0;
    std::from_chars(p, e, v);
    return v;
}

template <size_t N>
void tightText(char (&to)[N], const char* p, const char* e)
{
    const size_t n = std::min(size_t(e - p), N - 1);
    std::memcpy(to, p, n);
    to[n] = 0;
}

// The rows' memory as the program's: a large block on large pages.
struct TightRowsFree {
    size_t count = 0;
    void operator()(TightRow* p) const noexcept { pf::memory::LargeAllocator<TightRow>().deallocate(p, count); }
};

struct TightTable {
    std::unique_ptr<TightRow[], TightRowsFree> rows;
    std::vector<TightExtras> extras;
    size_t count = 0;
};

// Parses the records that begin in [p, stop] (up to end) into t's rows,
// after those it holds.
void tightParseRecords(const char* p, const char* stop, const char* const end, TightTable& t, size_t capacity)
{
    while (p < end && p <= stop && t.count < capacity) {
        const char* tilde = static_cast<const char*>(std::memchr(p, '~', size_t(end - p)));
        const char* const e = tilde ? tilde : end;
        if (e == p)
            break;
        const char* from[20];
        const char* to[20];
        int n = 0;
        from[0] = p;
        for (const char* q = p; q < e && n < 19; ++q)
            if (*q == ',') {
                to[n++] = q;
                from[n] = q + 1;
            }
        to[n++] = e;
        for (int k = n; k < 20; ++k)
            from[k] = to[k] = e;
        TightRow& r = t.rows[t.count];
        r.token = tightInt(from[0], to[0]);
        tightText(r.exchange, from[1], to[1]);
        // Field 2: symbol|type|expiry|strike|option, and the display key.
        const char* part[5] = {to[2], to[2], to[2], to[2], to[2]};
        const char* partEnd[5] = {to[2], to[2], to[2], to[2], to[2]};
        int parts = 0;
        part[0] = from[2];
        for (const char* q = from[2]; q < to[2] && parts < 4; ++q)
            if (*q == '|') {
                partEnd[parts++] = q;
                part[parts] = q + 1;
            }
        partEnd[parts] = to[2];
        tightText(r.symbol, part[0], partEnd[0]);
        tightText(r.instType, part[1], partEnd[1]);
        tightText(r.expiry, part[2], partEnd[2]);
        r.strike = part[3] < partEnd[3] ? tightReal(part[3], partEnd[3]) : 0;
        tightText(r.optionType, part[4], partEnd[4]);
        const size_t keyLength = std::min<size_t>(size_t(to[2] - from[2]), 49);
        for (size_t i = 0; i < keyLength; ++i)
            r.display[i] = from[2][i] == '|' ? '~' : from[2][i];
        r.display[keyLength] = 0;
        r.scripCode = tightInt(from[3], to[3]);
        r.lot = tightInt(from[4], to[4]);
        r.tick = tightInt(from[5], to[5]);
        tightText(r.status, from[6], to[6]);
        r.multiplier = tightInt(from[7], to[7]);
        r.yearHigh = tightReal(from[8], to[8]);
        r.yearLow = tightReal(from[9], to[9]);
        r.wtoken = tightInt(from[10], to[10]);
        if (n > 11 && (to[11] > from[11] || to[17] > from[17])) {
            TightExtras& x = t.extras.emplace_back();
            x.row = t.count;
            x.priceUnit.assign(from[11], to[11]);
            x.priceQuantity.assign(from[12], to[12]);
            x.denominator = tightInt(from[13], to[13]);
            x.delvuni.assign(from[14], to[14]);
            x.aux1 = tightInt(from[15], to[15]);
            x.aux2 = tightInt(from[16], to[16]);
            x.description.assign(from[17], to[17]);
            x.text1.assign(from[18], to[18]);
            x.text2.assign(from[19], to[19]);
        }
        ++t.count;
        if (!tilde)
            break;
        p = tilde + 1;
    }
}

// Fresh rows for a tight table, not zero-filled: each field is written once.
void tightRoom(TightTable& t, size_t capacity)
{
    t.rows = std::unique_ptr<TightRow[], TightRowsFree>(pf::memory::LargeAllocator<TightRow>().allocate(capacity),
                                                        TightRowsFree{capacity});
}

TightTable tightParse(std::string_view text)
{
    TightTable t;
    const char* const end = text.data() + text.size();
    const char* head = static_cast<const char*>(std::memchr(text.data(), '~', text.size()));
    if (!head)
        return t;
    const size_t capacity = kSecurities + 16;
    tightRoom(t, capacity);
    tightParseRecords(head + 1, end, end, t, capacity);
    return t;
}

// The tight parse on as many threads as the program's parser uses, each
// parsing the records that begin in its share of the text into rows of its
// own: the least a parse on those threads can cost, with nothing to join.
// The tables are the caller's, to be let go of outside the timing.
size_t tightParseOnThreads(std::string_view text, std::vector<TightTable>& tables)
{
    const char* const end = text.data() + text.size();
    const char* head = static_cast<const char*>(std::memchr(text.data(), '~', text.size()));
    if (!head)
        return 0;
    const size_t parts = partsFor(text.size());
    tables = std::vector<TightTable>(parts);
    onShares(std::string_view(head + 1, static_cast<size_t>(end - head - 1)), parts,
             [&](size_t k, const char* p, const char* stop) {
                 const size_t capacity = kSecurities / parts + kSecurities / 8 + 16;
                 tightRoom(tables[k], capacity);
                 tightParseRecords(p, stop, end, tables[k], capacity);
             });
    size_t n = 0;
    for (const TightTable& t : tables)
        n += t.count;
    return n;
}

// The tight parse's cost from the archive: decompress and parse on one thread.
Cost tightCost()
{
    const Packed& p = packed();
    TightTable table;
    const Cost c = timed([&] {
        pf::lzo::Bytes out(p.text.size());
        lzo_uint outLen = out.size();
        if (lzo1x_decompress_safe(p.lzo.data(), p.lzo.size(), out.data(), &outLen, nullptr) != LZO_E_OK)
            std::abort();
        table = tightParse(std::string_view(reinterpret_cast<const char*>(out.data()), outLen));
    });
    if (table.count != kSecurities || table.rows[0].token != 1 || table.extras.empty())
        std::abort();
    return c;
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

benchverdict::Verdict g_verdict("bench_master");

// Prints the figure and its limit, wall and CPU, per load, and records the
// goal (a ratio of wall times; 0 for none). The CPU time is printed beside
// it: the load spreads over idle processors, so its CPU share is a figure to
// watch, not a goal.
void report(benchmark::State& state, const char* what, const Cost& total, const Cost& limit, double goal,
            const char* limitIs)
{
    const double n = static_cast<double>(state.iterations());
    state.counters["wall_ms"] = total.wall / n * 1000;
    state.counters["cpu_ms"] = total.cpu / n * 1000;
    state.counters["limit_wall_ms"] = limit.wall / n * 1000;
    state.counters["limit_cpu_ms"] = limit.cpu / n * 1000;
    state.counters["wall_x_limit"] = total.wall / limit.wall;
    state.counters["cpu_x_limit"] = total.cpu / limit.cpu;
    if (goal > 0)
        g_verdict.ratioAtMost(std::string(what) + ", wall", total.wall / n * 1000, limit.wall / n * 1000, goal, "ms",
                              limitIs);
    else
        g_verdict.figure(std::string(what) + ", wall", total.wall / n * 1000, limit.wall / n * 1000, "ms", limitIs);
    g_verdict.figure(std::string(what) + ", CPU", total.cpu / n * 1000, limit.cpu / n * 1000, "ms", limitIs);
}

// Times one load that yields a table, checks the table (after the timing)
// and frees it.
template <typename Load>
Cost timeLoad(benchmark::State& state, Load&& load)
{
    decltype(load()) table;
    const Cost c = timed([&] { table = load(); });
    state.SetIterationTime(c.wall);
    if (!table || table->count() != kSecurities || table->searchToken(1, "NN") != 0)
        std::abort();
    return c;
}

// A full load from the archive in memory, beside the limit, repeated in one
// process (its memory reused).
void BM_FullLoad(benchmark::State& state)
{
    Cost total, limit;
    for (auto _ : state) {
        total += timeLoad(state, load);
        limit += limitCost();
    }
    // Repeated loads reuse what the first one mapped: a figure beside the
    // goal, which is held on the first load of a fresh process.
    report(state, "full load, repeated", total, limit, 0, "raw decompress + split on the same threads");
    state.counters["securities"] = kSecurities;
    state.counters["bytes_per_security"] = g_bytesPerSecurity;
    state.counters["bytes_per_quoted_security"] = g_bytesPerQuotedSecurity;
    state.counters["sizeof_record"] = sizeof(SecurityRecord);
}
BENCHMARK(BM_FullLoad)->Unit(benchmark::kMillisecond)->UseManualTime();

// The disk's part of the first login's limit: the same bytes written to a
// fresh file, flushed, renamed into place and the folder flushed.
void bareWrite(const std::filesystem::path& dir)
{
    const std::string& text = packed().text;
    const auto tmp = dir / "bare.tmp";
    const auto to = dir / "bare.txt";
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
}

// The first login as the program runs it: the downloaded archive unpacked
// (with the program's cap), then the program's own load of a downloaded
// master: the table built from memory while the plain file is written
// atomically (flushed, renamed into place) on a thread of its own, timed to
// the table ready for use (the write may go on: the next start needs the
// file, this one does not). Its limit does the same on the same threads: the
// bare write on a thread of its own beside the processor's limit, timed to
// the end of the split. Beside them, not a goal: each write's end, from the
// same start.
void BM_FirstLogin(benchmark::State& state)
{
    const auto dir = std::filesystem::temp_directory_path() / ("bench_master_" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    const auto file = dir / "security.txt";
    Cost total, limit, tight;
    double writtenMs = 0, bareWrittenMs = 0;
    for (auto _ : state) {
        std::future<bool> written;
        const long long start = benchtiming::nowNs();
        total += timeLoad(state, [&] {
            auto out = std::make_shared<pf::lzo::Bytes>();
            SecurityRows room = unpackWithRoom(*out);
            const std::string_view text(reinterpret_cast<const char*>(out->data()), out->size());
            DownloadedMaster loaded = LoadDownloadedMaster(text, out, file, std::move(room));
            written = std::move(loaded.written);
            return std::move(loaded.table);
        });
        if (!written.get())
            std::abort();
        writtenMs += double(benchtiming::nowNs() - start) / 1e6;
        std::thread writer;
        long long bareStart = 0, bareEnd = 0;
        pf::lzo::Bytes limitText;
        limit += timed([&] {
            bareStart = benchtiming::nowNs();
            writer = std::thread([&] {
                bareWrite(dir);
                bareEnd = benchtiming::nowNs();
            });
            limitCost(&limitText);
        });
        writer.join();
        bareWrittenMs += double(bareEnd - bareStart) / 1e6;
        // The text and the tables are let go of after the clock stops, as
        // the program's table outlives its timing.
        pf::lzo::Bytes tightText;
        std::vector<TightTable> tightTables;
        tight += timed([&] {
            writer = std::thread([&] { bareWrite(dir); });
            const Packed& p = packed();
            tightText = pf::lzo::Bytes(p.text.size());
            lzo_uint outLen = tightText.size();
            if (lzo1x_decompress_safe(p.lzo.data(), p.lzo.size(), tightText.data(), &outLen, nullptr) != LZO_E_OK ||
                tightParseOnThreads(std::string_view(reinterpret_cast<const char*>(tightText.data()), outLen),
                                    tightTables) != kSecurities)
                std::abort();
        });
        writer.join();
    }
    std::filesystem::remove_all(dir);
    report(state, "first login, table ready", total, limit, 3.0,
           "the load's limit beside a bare write and flush, to its split's end");
    const double n = static_cast<double>(state.iterations());
    g_verdict.figure("first login, file written", writtenMs / n, bareWrittenMs / n, "ms",
                     "a bare write and flush beside the load's limit");
    // What the goal's limit leaves out, for reading beside it: the tight
    // parse of the same records on the same threads, beside the same write.
    g_verdict.figure("first login, table ready, wall, beside the tight parse", total.wall / n * 1000,
                     tight.wall / n * 1000, "ms",
                     "raw decompress + tight parse on the parser's threads beside a bare write and flush, to the "
                     "parse's end");
}
BENCHMARK(BM_FirstLogin)->Unit(benchmark::kMillisecond)->UseManualTime();

// The load of every later login: the plain file read from disk (the page
// cache, as the program's file usually is), parsed and indexed. Its limit
// does the same reading on the same threads: a bare read of the file into
// fresh memory and a bare split on the parser's threads (no decompress: the
// load does none).
void BM_LoadFromDisk(benchmark::State& state)
{
    const auto dir = std::filesystem::temp_directory_path() / ("bench_master_disk_" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    const auto file = dir / "security.lst";
    if (!pf::files::writeAtomic(file, packed().text))
        std::abort();
    const size_t size = packed().text.size();
    Cost total, limit;
    for (auto _ : state) {
        total += timeLoad(state, [&] { return build(LoadSecurity(file.string(), SecurityReading::Full)); });
        limit += timed([&] {
            pf::lzo::Bytes bare(size);
            const int fd = ::open(file.c_str(), O_RDONLY);
            size_t got = 0;
            for (ssize_t r; fd >= 0 && got < size && (r = ::read(fd, bare.data() + got, size - got)) > 0;)
                got += static_cast<size_t>(r);
            if (fd >= 0)
                ::close(fd);
            if (got != size)
                std::abort();
            benchmark::DoNotOptimize(splitOnThreads(std::string_view(reinterpret_cast<const char*>(bare.data()), size)));
        });
    }
    std::filesystem::remove_all(dir);
    report(state, "load from disk", total, limit, 0, "bare read + split on the same threads");
}
BENCHMARK(BM_LoadFromDisk)->Unit(benchmark::kMillisecond)->UseManualTime();

// A fresh process's first load (the one a user waits for: the program loads
// its master once per run, into memory no earlier load has touched) and,
// in another fresh process, the first limit: each child prints its wall and
// CPU seconds.
int freshChild(const std::string& what)
{
    packed(); // generated and packed before the clock starts
    Cost c;
    if (what == "load") {
        std::unique_ptr<SecurityTable> table;
        c = timed([&] { table = load(); });
        if (!table || table->count() != kSecurities)
            return 1;
    } else if (what == "tight") {
        c = tightCost();
    } else {
        c = limitCost();
    }
    std::printf("%.9f %.9f\n", c.wall, c.cpu);
    return 0;
}

Cost runFresh(const std::string& what)
{
    char self[4096];
    const ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
    if (n <= 0)
        std::abort();
    self[n] = 0;
    const std::string command = "'" + std::string(self) + "' --fresh=" + what;
    FILE* child = ::popen(command.c_str(), "r");
    Cost c;
    if (!child || std::fscanf(child, "%lf %lf", &c.wall, &c.cpu) != 2)
        std::abort();
    if (::pclose(child) != 0)
        std::abort();
    return c;
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

// Fresh processes, in turn a load, its wall limit and the tight parse,
// medians. The wall figure is held against the bare work on the parser's
// threads; the CPU figure (every thread's, the helpers that map the rows
// ahead included) against the tight parse on one thread, so that work spread
// over idle processors cannot hide in a short wall time.
void freshLoads(int runs)
{
    std::vector<double> wall, cpu, limitWall, limitCpu, tightWall, tightCpu;
    for (int i = 0; i < runs; ++i) {
        const Cost l = runFresh("load");
        const Cost b = runFresh("limit");
        const Cost t = runFresh("tight");
        wall.push_back(l.wall * 1000);
        cpu.push_back(l.cpu * 1000);
        limitWall.push_back(b.wall * 1000);
        limitCpu.push_back(b.cpu * 1000);
        tightWall.push_back(t.wall * 1000);
        tightCpu.push_back(t.cpu * 1000);
    }
    std::printf("first load of a fresh process (median of %d, %zu parser threads on %u usable processors): wall "
                "%.1f ms, CPU %.1f ms; its limit in a fresh process: wall %.1f ms, CPU %.1f ms; the tight "
                "single-thread parse in a fresh process: wall %.1f ms, CPU %.1f ms\n",
                runs, partsFor(packed().text.size()), pf::usableCpus(), median(wall), median(cpu),
                median(limitWall), median(limitCpu), median(tightWall), median(tightCpu));
    g_verdict.ratioAtMost("first load of a fresh process, wall", median(wall), median(limitWall), 2.0, "ms",
                          "raw decompress + split on the same threads, in a fresh process");
    g_verdict.ratioAtMost("first load of a fresh process, CPU", median(cpu), median(tightCpu), 2.0, "ms",
                          "tight single-thread decompress + parse, in a fresh process");
}

// The token maps' memory for the test broker's demo universe (its tokens lie
// in a few dense runs far apart, as a real master's do), beside one 4-byte
// slot per token each map holds.
void tokenMapMemory()
{
    constexpr int kDemoSecurities = 200'000;
    const tb::Universe universe(1, kDemoSecurities, 2026, 12, 11);
    SecurityFileContent c = ParseSecurityText(universe.masterText(), SecurityReading::Full);
    const auto table = build(std::move(c));
    if (table->count() != kDemoSecurities)
        std::abort();
    size_t tokens = 0;
    for (const SecurityRecord& r : table->rows()) {
        const bool mapped = std::any_of(std::begin(SecurityTable::kMapExchanges), std::end(SecurityTable::kMapExchanges),
                                        [&](const char* x) { return r.market_exchange == x; });
        tokens += (mapped && r.token >= 0 && r.token < SecurityTable::kMaxArrayToken) + (r.wtoken > 0);
    }
    constexpr double kMiB = 1 << 20;
    g_verdict.figure("token maps, demo universe of 200,000 securities", table->tokenMapBytes() / kMiB,
                     tokens * sizeof(int) / kMiB, "MiB", "one 4-byte slot per token of each map");
}

} // namespace

int main(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i)
        if (std::strncmp(argv[i], "--fresh=", 8) == 0)
            return freshChild(argv[i] + 8);
    packed(); // generate and pack outside the timed loops
    {
        const long before = residentBytes();
        auto table = load();
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
    freshLoads(5);
    tokenMapMemory();
    g_verdict.atMost("memory per security without a quote", g_bytesPerSecurity, 400, "B", true);
    g_verdict.atMost("memory per security with a quote", g_bytesPerQuotedSecurity, 700, "B", true);
    return g_verdict.finish();
}
