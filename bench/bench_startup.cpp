// Enter in the login dialog to the first quote on screen, as the program
// ships: its own start-up, configuration (the stream of scripts/run's
// Config/Vortanex.ini), feed and page engine, against the test broker's demo
// (--demo: the login opens its web page) with 200,000 securities. A market
// watch of the broker's "NIFTY BANK" list was open at the last close, so it
// comes back at the start and shows the first quotes.
//
// Every start is a fresh process (this program run as a child): the user
// types the id and password and presses Enter; the child times each step
// from Enter (the log's own lines, with milliseconds, and what it watches
// itself: the feed's slot, the first quote painted in the watch, the page of
// the login made) and prints them. Two cases, three starts each: the first
// start of the day (the master is downloaded, unpacked and loaded) and a
// later one (the master is read from disk). Beside them, the machine's limit
// for the same work, timed in the same run: a bare download of the master
// archive from the same broker, the library's raw decompress and a bare
// split of the records on the parser's threads, and a bare TCP connect to
// the feed. Prints the median of each step, the goal and the verdict; exits
// non-zero on a miss.
//   bench_startup [--securities N] [--runs N] [--http-port P] [--feed-port P]
//                 [--log-level N] [--no-log-sync]
// BENCH_KEEP=1 keeps the program folder (its logs) for a look; --log-level N
// and --no-log-sync change the log's cost for a look at what it takes.
// Needs a display (DISPLAY) or QT_QPA_PLATFORM; build it in Release.
#include "server/FeedState.h"
#include "server/SecurityTable.h"

#include "app/CLogin.h"
#include "app/CVortanexQtApp.h"
#include "app/ProgramFeed.h"
#include "app/VortanexApp.h"
#include "app/base/LogWriter.h"
#include "frame/Workspace.h"
#include "frame/controls/CMyGridCtrl.h"
#include "watch/CVortanexView.h"
#include "watch/base/WatchlistTable.h"

#include "pf/profile_store.h"
#include "pf/ui_guard.h"
#include "ui/browser_view.h"
#include "ui/form_driver.h"
#include "ui/ui_layer.h"
#ifdef VX_HAVE_WEBENGINE
#include "ui/webengine_browser_view.h"
#endif

#include "bench_split.h"
#include "bench_timing.h"
#include "bench_verdict.h"

#include <QApplication>
#include <QEvent>
#include <QTimer>
#include <QWidget>

#include <arpa/inet.h>
#include <curl/curl.h>
#include <fcntl.h>
#include <lzo/lzo1x.h>
#include <netinet/in.h>
#include <sched.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace fs = std::filesystem;
using benchtiming::nowNs;

namespace {

constexpr double kGoalMs = 1000;
constexpr const char* kUser = "U1";
constexpr const char* kPassword = "Test@123";

// ---------------------------------------------------------------- the child

// "2024-03-05-09:07:31.042" as milliseconds of the day.
long long msOfDay(const std::string& stamp)
{
    int h = 0, m = 0, s = 0, ms = 0;
    if (stamp.size() < 23 || std::sscanf(stamp.c_str() + 11, "%d:%d:%d.%d", &h, &m, &s, &ms) != 4)
        return -1;
    return ((h * 60LL + m) * 60 + s) * 1000 + ms;
}

// The steps the start-up logs, by the first line that begins with the text
// after Enter, in the order they come.
const std::vector<std::pair<std::string, std::string>>& loggedSteps()
{
    static const std::vector<std::pair<std::string, std::string>> steps = {
        {"login answered", "Login Ret : "},
        {"master loaded", "Security Download Completed"},
        {"lists loaded", "Services Download Completed"},
        {"look-ups done", "Indices Request Completed"},
        {"windows restored", "Workspace restored"},
        {"feed started", "Start-up completed"},
        {"login's page asked", "Opening the login's web links"},
    };
    return steps;
}

// A market watch shows a quote: a row's last price above zero (the default
// layout puts the value kinds in id order).
bool aWatchShowsAQuote()
{
    for (CVortanexView* v : CVortanexView::openViews()) {
        const ui::GridModel& m = v->grid()->model();
        for (int i = 0; i < 10; ++i) {
            const int row = v->gridRowOf(i);
            if (row >= 0 && m.text(row, kFixedWatchColumns + kLastPrc).toDouble() > 0)
                return true;
        }
    }
    return false;
}

struct ChildMarks {
    long long enterNs = 0;
    long long enterOfDay = -1;
    std::atomic<long long> feedUpNs{0};
    long long quoteNs = 0;
    long long pageStartNs = 0;
    long long pageEndNs = 0;
};
ChildMarks g_marks;

// The first paint of a market watch that shows a quote.
class QuoteOnScreen final : public QObject {
protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (g_marks.quoteNs == 0 && event->type() == QEvent::Paint && watched->isWidgetType()) {
            for (QObject* o = watched; o; o = o->parent())
                if (qobject_cast<CVortanexView*>(o)) {
                    if (aWatchShowsAQuote())
                        g_marks.quoteNs = nowNs();
                    break;
                }
        }
        return false;
    }
};

void printChildSteps(const fs::path& root)
{
    const auto ms = [](long long ns) { return double(ns - g_marks.enterNs) / 1e6; };
    std::map<std::string, double> found;
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(root / "Logs", ec)) {
        if (e.path().extension() != ".log")
            continue;
        std::ifstream in(e.path());
        std::string line;
        while (std::getline(in, line)) {
            const long long at = msOfDay(line.substr(0, 23));
            const size_t dash = line.find(" - ");
            if (at < g_marks.enterOfDay || dash == std::string::npos)
                continue;
            const std::string text = line.substr(dash + 3);
            for (const auto& [name, prefix] : loggedSteps())
                if (text.rfind(prefix, 0) == 0 && !found.count(name))
                    found[name] = double(at - g_marks.enterOfDay);
        }
    }
    for (const auto& [name, prefix] : loggedSteps())
        std::printf("STEP|%s|%.1f\n", name.c_str(), found.count(name) ? found[name] : -1.0);
    const auto mark = [&](const char* name, long long ns) { std::printf("STEP|%s|%.1f\n", name, ns ? ms(ns) : -1.0); };
    mark("feed up (slot given)", g_marks.feedUpNs.load());
    mark("first quote on screen", g_marks.quoteNs);
    mark("login's page made", g_marks.pageStartNs);
    mark("login's page ready", g_marks.pageEndNs);
    std::fflush(stdout);
}

int runChild(int argc, char** argv, const fs::path& root)
{
    const pf::Paths paths(root);
#ifdef VX_HAVE_WEBENGINE
    ui::WebEngineBrowserView::prepareProcess();
#endif
    CVortanexQtApp qt(argc, argv);
    pf::uiguard::setUiThread(std::this_thread::get_id());
    // The program's browser, timed while it is made (the page engine starts
    // with the first one).
    ui::setBrowserFactory([](QWidget* parent, pf::Shell& shell) -> std::unique_ptr<ui::BrowserView> {
        const long long start = nowNs();
        if (!g_marks.pageStartNs)
            g_marks.pageStartNs = start;
#ifdef VX_HAVE_WEBENGINE
        auto view = ui::WebEngineBrowserView::make(parent, shell);
#else
        ui::BrowserFactory none;
        ui::setBrowserFactory(none);
        auto view = ui::makeBrowserView(parent, shell);
#endif
        if (!g_marks.pageEndNs)
            g_marks.pageEndNs = nowNs();
        return view;
    });
    QuoteOnScreen painted;
    qt.installEventFilter(&painted);

    ProgramFeed feed;
    CVortanexApp::Options options;
    options.paths = paths;
    options.feed = &feed;
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "--no-log-sync") == 0)
            options.logSyncPerLine = false;
    theApp.setOptions(options);

    // The user: the id, the password, Enter.
    QTimer typist;
    typist.setInterval(10);
    QObject::connect(&typist, &QTimer::timeout, [&typist] {
        auto* login = dynamic_cast<CLogin*>(QApplication::activeModalWidget());
        if (!login || !login->isVisible())
            return;
        typist.stop();
        ui::FormDriver d(*login);
        d.type(CLogin::kUserId, kUser).type(CLogin::kPassword, kPassword);
        g_marks.enterOfDay = msOfDay(LogTimestamp());
        g_marks.enterNs = nowNs();
        d.click(1);
    });
    typist.start();

    std::atomic<bool> stop{false};
    std::thread slotWatch([&stop] {
        while (!stop.load() && !g_marks.feedUpNs.load()) {
            if (FeedState::instance().slot() >= 0)
                g_marks.feedUpNs = nowNs();
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
    });

    int code = 1;
    {
        ui::UiLayer layer;
        if (theApp.InitInstance()) {
            // Done when the quote is on screen and the login's page made, or
            // after 20 s.
            QTimer done;
            done.setInterval(50);
            const long long started = nowNs();
            QObject::connect(&done, &QTimer::timeout, [&] {
                const bool over = nowNs() - started > 20'000'000'000LL;
                if (!over && !(g_marks.quoteNs && g_marks.pageEndNs))
                    return;
                done.stop();
                // A moment for the log's last lines.
                QTimer::singleShot(200, [&root] {
                    printChildSteps(root);
                    // exit, not quit: quit would close the frame, which
                    // asks the user first.
                    QCoreApplication::exit(0);
                });
            });
            done.start();
            code = theApp.Run();
        } else {
            std::printf("STEP|start-up failed|-1\n");
        }
    }
    stop = true;
    slotWatch.join();
    const int exitCode = theApp.ExitInstance();
    return code == 0 ? exitCode : code;
}

// --------------------------------------------------------------- the parent

std::string g_self;

struct Broker {
    pid_t pid = -1;
    std::string connectTo;
};

pid_t spawn(const std::vector<std::string>& args, const std::string& out)
{
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_addopen(&fa, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_adddup2(&fa, 1, 2);
    std::vector<char*> argv;
    for (const std::string& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    pid_t pid = -1;
    if (posix_spawn(&pid, args[0].c_str(), &fa, nullptr, argv.data(), environ) != 0)
        pid = -1;
    posix_spawn_file_actions_destroy(&fa);
    return pid;
}

std::string readFile(const fs::path& p)
{
    std::ifstream in(p, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

bool startBroker(Broker& b, const fs::path& work, int securities, int httpPort, int feedPort)
{
    const fs::path out = work / "testbroker.out";
    // A market that moves: each subscribed security gets a quote every
    // 50 ms (the demo's default step of a second would add up to a second of
    // waiting for the broker to every start).
    b.pid = spawn({VX_TESTBROKER_PROGRAM, "--demo", "--tick-ms", "50", "--port", std::to_string(httpPort), "--feed-port",
                   std::to_string(feedPort), "--securities", std::to_string(securities), "--broadcast-minutes", "0"},
                  out.string());
    if (b.pid < 0)
        return false;
    for (int i = 0; i < 1200; ++i) {
        const std::string text = readFile(out);
        const size_t at = text.find("VORTANEX_CONNECT_TO=");
        if (at != std::string::npos) {
            const size_t end = text.find('\n', at);
            if (end != std::string::npos) {
                b.connectTo = text.substr(at + 20, end - at - 20);
                return true;
            }
        }
        if (waitpid(b.pid, nullptr, WNOHANG) == b.pid)
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    std::fprintf(stderr, "the test broker did not start:\n%s\n", readFile(out).c_str());
    return false;
}

void writeProgramFolder(const fs::path& root, int httpPort, int feedPort, int logLevel)
{
    fs::create_directories(root / "Config");
    std::ofstream(root / "Config" / "Vortanex.ini")
        << "Trade_Host 127.0.0.1\nTrade_Port " << httpPort
        << "\nWatch_Host 127.0.0.1\nSecurity_Host 127.0.0.1\nFeeds_Host 127.0.0.1\nFeed_Port " << feedPort
        << "\nMarket_Data_Host 127.0.0.1\nFeeds_Type 3\nRedirect_Url http://127.0.0.1:" << httpPort
        << "\nLog_Level " << logLevel << "\n";
    // The windows open at the last close: one market watch.
    WorkspaceState state;
    WorkspaceDocument watch;
    watch.kind = "Watchlist";
    watch.list = "NIFTY BANK";
    state.documents.push_back(watch);
    pf::ProfileStore profile(root / "Config" / "Vortanex.profile.ini");
    profile.setText(Workspace::kSection, Workspace::kValue, FormatWorkspace(state));
}

using Steps = std::vector<std::pair<std::string, double>>;

// One start in a fresh process; empty when it failed.
bool g_noLogSync = false;

Steps runOnce(const fs::path& root, const std::string& connectTo)
{
    setenv("VORTANEX_CONNECT_TO", connectTo.c_str(), 1);
    const fs::path out = root / "child.out";
    std::vector<std::string> args = {g_self, "--child", root.string()};
    if (g_noLogSync)
        args.push_back("--no-log-sync");
    const pid_t pid = spawn(args, out.string());
    int status = 0;
    if (pid < 0)
        return {};
    // A start that hangs counts as failed (it would hold every start after it).
    const long long deadline = nowNs() + 120'000'000'000LL;
    while (waitpid(pid, &status, WNOHANG) != pid) {
        if (nowNs() > deadline) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            std::fprintf(stderr, "a start did not end within 120 s\n");
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    Steps steps;
    std::istringstream in(readFile(out));
    std::string line;
    while (std::getline(in, line))
        if (line.rfind("STEP|", 0) == 0) {
            const size_t bar = line.rfind('|');
            steps.emplace_back(line.substr(5, bar - 5), std::atof(line.c_str() + bar + 1));
        }
    if (steps.empty())
        std::fprintf(stderr, "a start printed no steps (exit %d):\n%s\n", status, readFile(out).c_str());
    return steps;
}

double median(std::vector<double> v)
{
    if (v.empty())
        return -1;
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

std::string loadText()
{
    std::string text = readFile("/proc/loadavg");
    return text.substr(0, text.find(' ', text.find(' ', text.find(' ') + 1) + 1));
}

int cpusAllowed()
{
    cpu_set_t set;
    CPU_ZERO(&set);
    return sched_getaffinity(0, sizeof set, &set) == 0 ? std::max(1, CPU_COUNT(&set)) : 1;
}

// ---- the limit: the same work bare

size_t appendBody(char* data, size_t size, size_t n, void* out)
{
    static_cast<std::string*>(out)->append(data, size * n);
    return size * n;
}

struct Limit {
    double downloadMs = 0, unpackSplitMs = 0, readSplitMs = 0, feedConnectMs = 0;
    size_t records = 0;
    double total() const { return downloadMs + unpackSplitMs + feedConnectMs; }
};

Limit bareLimit(int httpPort, int feedPort, const fs::path& plainMaster)
{
    Limit l;
    std::string body;
    long long t0 = nowNs();
    CURL* easy = curl_easy_init();
    const std::string url = "http://127.0.0.1:" + std::to_string(httpPort) + "/security/security.lzo";
    curl_easy_setopt(easy, CURLOPT_URL, url.c_str());
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, appendBody);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, &body);
    curl_easy_perform(easy);
    curl_easy_cleanup(easy);
    l.downloadMs = double(nowNs() - t0) / 1e6;

    t0 = nowNs();
    const size_t room = body.size() * 20;
    std::unique_ptr<unsigned char[]> out(new unsigned char[room]); // fresh, not zero-filled
    lzo_uint outLen = room;
    if (lzo1x_decompress_safe(reinterpret_cast<const unsigned char*>(body.data()), body.size(), out.get(), &outLen,
                              nullptr) == LZO_E_OK)
        l.records = benchsplit::splitOnThreads(std::string_view(reinterpret_cast<const char*>(out.get()), outLen));
    l.unpackSplitMs = double(nowNs() - t0) / 1e6;

    // The later start reads the plain master the first one wrote.
    t0 = nowNs();
    const int fd = ::open(plainMaster.c_str(), O_RDONLY);
    if (fd >= 0) {
        std::error_code ec;
        const size_t size = size_t(fs::file_size(plainMaster, ec));
        std::unique_ptr<char[]> text(new char[size + 1]);
        size_t got = 0;
        for (ssize_t n = 1; got < size && n > 0; got += size_t(std::max<ssize_t>(n, 0)))
            n = ::read(fd, text.get() + got, size - got);
        ::close(fd);
        benchsplit::splitOnThreads(std::string_view(text.get(), got));
    }
    l.readSplitMs = double(nowNs() - t0) / 1e6;

    t0 = nowNs();
    const int s = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(uint16_t(feedPort));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
    close(s);
    l.feedConnectMs = double(nowNs() - t0) / 1e6;
    return l;
}

int intArg(int argc, char** argv, const char* name, int fallback)
{
    for (int i = 1; i + 1 < argc; ++i)
        if (std::strcmp(argv[i], name) == 0)
            return std::atoi(argv[i + 1]);
    return fallback;
}

int runParent(int argc, char** argv)
{
    const int securities = intArg(argc, argv, "--securities", 200000);
    const int runs = std::max(1, intArg(argc, argv, "--runs", 3));
    const char* envHttp = std::getenv("HTTP_PORT");
    const int httpPort = intArg(argc, argv, "--http-port", envHttp ? std::atoi(envHttp) : 20000 + getpid() % 20000);
    const int feedPort = intArg(argc, argv, "--feed-port", httpPort + 1);
    char dir[] = "/tmp/vx-bench-startup-XXXXXX";
    if (!mkdtemp(dir))
        return 2;
    const fs::path work(dir);
    const fs::path root = work / "program";
    Broker broker;
    if (!startBroker(broker, work, securities, httpPort, feedPort))
        return 2;
    // What costs the time: the log's level (3 as scripts/run configures it)
    // and its commit of every line to disk can be changed for a look.
    const int logLevel = intArg(argc, argv, "--log-level", 3);
    for (int i = 1; i < argc; ++i)
        g_noLogSync = g_noLogSync || std::strcmp(argv[i], "--no-log-sync") == 0;
    writeProgramFolder(root, httpPort, feedPort, logLevel);
    std::printf("== bench_startup: %d securities, %d CPUs allowed, Log_Level %d, %s, load before %s\n", securities,
                cpusAllowed(), logLevel, g_noLogSync ? "log lines not committed one by one (a look, not as shipped)"
                                                     : "every log line committed to disk (as shipped)",
                loadText().c_str());
    std::fflush(stdout);

    // A first start makes the user's files; it is not counted.
    runOnce(root, broker.connectTo);
    struct Case {
        const char* name;
        bool download;
        std::vector<Steps> starts;
    };
    std::vector<Case> cases = {{"first start of the day (master downloaded)", true, {}},
                               {"later start (master read from disk)", false, {}}};
    std::vector<Limit> limits;
    for (int r = 0; r < runs; ++r) {
        for (Case& c : cases) {
            if (c.download) {
                std::error_code ec;
                fs::remove(root / "Comp" / "security.lst", ec);
            }
            c.starts.push_back(runOnce(root, broker.connectTo));
        }
        limits.push_back(bareLimit(httpPort, feedPort, root / "Comp" / "security.lst"));
    }
    const std::string loadAfter = loadText();
    kill(broker.pid, SIGTERM);
    waitpid(broker.pid, nullptr, 0);

    std::vector<double> dl, us, fc, tot;
    size_t records = 0;
    for (const Limit& l : limits) {
        dl.push_back(l.downloadMs);
        us.push_back(l.unpackSplitMs);
        fc.push_back(l.feedConnectMs);
        tot.push_back(l.total());
        records = l.records;
    }
    const double limitDownloaded = median(tot);
    std::vector<double> diskOnly;
    std::vector<double> rs;
    for (const Limit& l : limits) {
        diskOnly.push_back(l.readSplitMs + l.feedConnectMs);
        rs.push_back(l.readSplitMs);
    }
    const double limitFromDisk = median(diskOnly);

    benchverdict::Verdict verdict("bench_startup");
    for (const Case& c : cases) {
        std::printf("\n%s, median of %d starts (ms from Enter; each start's figure after it):\n", c.name, runs);
        std::vector<std::string> order;
        for (const Steps& s : c.starts)
            for (const auto& [name, ms] : s)
                if (std::find(order.begin(), order.end(), name) == order.end())
                    order.push_back(name);
        std::map<std::string, double> med;
        for (const std::string& name : order) {
            std::vector<double> values;
            std::string each;
            for (const Steps& s : c.starts)
                for (const auto& [n, ms] : s)
                    if (n == name) {
                        if (ms >= 0)
                            values.push_back(ms);
                        char t[32];
                        std::snprintf(t, sizeof t, " %.0f", ms);
                        each += t;
                    }
            med[name] = values.size() == c.starts.size() ? median(values) : -1;
            std::printf("  %-28s %8.1f   (%s )\n", name.c_str(), med[name], each.c_str());
        }
        const double quote = med.count("first quote on screen") ? med["first quote on screen"] : -1;
        const double limit = c.download ? limitDownloaded : limitFromDisk;
        verdict.require(std::string(c.name) + ": every start showed a quote", quote > 0,
                        quote > 0 ? "yes" : "no");
        verdict.atMost(std::string(c.name) + ": Enter to the first quote on screen", quote > 0 ? quote : 1e9,
                       kGoalMs, "ms");
        verdict.figure(std::string(c.name) + ": Enter to the first quote against the same work bare", quote, limit,
                       "ms", c.download ? "bare download, unpack, split, feed connect" : "bare read, split, feed connect");
        // No step of the start-up waits for the login's page.
        bool after = true;
        for (const Steps& s : c.starts) {
            double q = -1, page = -1;
            for (const auto& [n, ms] : s) {
                if (n == "first quote on screen")
                    q = ms;
                if (n == "login's page made")
                    page = ms;
            }
            after = after && q >= 0 && page >= q;
        }
        verdict.require(std::string(c.name) + ": the login's page made after the first quote, every start", after,
                        after ? "yes" : "no");
    }
    std::printf("\nthe machine's limit, median of %d: download %.1f ms, raw decompress and split of %zu records on "
                "%d threads %.1f ms, read of the plain master and split %.1f ms, feed connect %.2f ms\n",
                runs, median(dl), records, std::min(cpusAllowed(), 8), median(us), median(rs), median(fc));
    std::printf("load after %s\n\n", loadAfter.c_str());
    if (std::getenv("BENCH_KEEP")) {
        std::printf("program folder kept: %s\n", root.c_str());
    } else {
        std::error_code ec;
        fs::remove_all(work, ec);
    }
    return verdict.finish();
}

} // namespace

int main(int argc, char** argv)
{
    g_self = fs::canonical("/proc/self/exe").string();
    for (int i = 1; i + 1 < argc; ++i)
        if (std::strcmp(argv[i], "--child") == 0)
            return runChild(argc, argv, fs::absolute(argv[i + 1]).lexically_normal());
    return runParent(argc, argv);
}
