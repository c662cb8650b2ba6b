#include "app/base/LogWriter.h"

#include "pf/append_file.h"
#include "pf/clock.h"
#include "pf/files.h"
#include "pf/log.h"
#include "pf/paths.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <fcntl.h>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>
#include <unistd.h>
#include <vector>

std::atomic<int> Log_Level{0};

namespace {

constexpr int64_t kLogKeepSeconds = 2'592'000; // 30 days
constexpr int64_t kMsgKeepSeconds = 259'200;   // 3 days
constexpr int kOldLogDays = 32;                // today and the 31 days before

struct LogState {
    std::mutex mutex;
    pf::AppendFile file;             // guarded by mutex
    std::filesystem::path path;      // guarded by mutex; empty when closed
    std::string line;                // guarded by mutex; grows, reused for every line
    std::filesystem::path logFolder; // guarded by mutex; empty before StartLog
    bool syncPerLine = false;        // guarded by mutex
    std::string sessionId;           // guarded by mutex; masked in every line

    // The commit to disk runs on a thread of its own, so that no logging
    // thread waits for the disk: each line reaches the file (the kernel) by
    // one write before WriteLog returns, which a crash of the program cannot
    // undo, and the committer then takes every line written so far to disk
    // in one go. All guarded by mutex.
    LogCommit commit;                 // empty: fdatasync
    bool commitWanted = false;        // lines written since the last commit began
    std::vector<int> retired;         // copies of closed logs' descriptors still to commit
    std::condition_variable wake;     // the committer waits here for lines
    std::thread committer;            // started by the first line to commit, ended by CloseLog
    uint64_t committerRun = 0;        // a committer whose run is not this one ends
};

LogState& state()
{
    // Never destroyed: a thread still logging while the process exits must
    // not find the lock gone.
    static LogState* s = new LogState;
    return *s;
}

std::filesystem::path logFolder()
{
    std::lock_guard lock(state().mutex);
    return state().logFolder;
}

// The stamp into a caller buffer, without allocating; returns its length.
size_t formatStamp(char (&out)[64])
{
    const pf::LocalTime t = pf::clock().localNow();
    const int n = std::snprintf(out, sizeof out, "%d-%02d-%02d-%02d:%02d:%02d.%03d", t.year, t.month, t.day, t.hour,
                                t.minute, t.second, t.millis);
    return n < 0 ? 0 : std::min(static_cast<size_t>(n), sizeof out - 1);
}

bool isWordChar(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

// Appends text with every whole-word occurrence of secret masked.
void appendMasked(std::string& out, std::string_view text, std::string_view secret)
{
    size_t from = 0;
    size_t at = secret.empty() ? std::string_view::npos : text.find(secret);
    while (at != std::string_view::npos) {
        const size_t end = at + secret.size();
        if ((at == 0 || !isWordChar(text[at - 1])) && (end == text.size() || !isWordChar(text[end]))) {
            out.append(text.substr(from, at - from)).append(MaskSecret(secret));
            from = end;
            at = text.find(secret, end);
        } else {
            at = text.find(secret, at + 1);
        }
    }
    out.append(text.substr(from));
}

void commitNow(const LogCommit& commit, int fd)
{
    if (commit)
        commit(fd);
    else
        ::fdatasync(fd);
}

// The committer: whenever lines were written since its last commit, commits
// the log they went to (a copy of its descriptor, so that a switch or the
// exit may close the log meanwhile), and first any log closed since.
void commitLoop(LogState& s, uint64_t run)
{
    std::unique_lock lock(s.mutex);
    for (;;) {
        s.wake.wait(lock, [&s, run] { return s.commitWanted || !s.retired.empty() || s.committerRun != run; });
        if (!s.commitWanted && s.retired.empty())
            return; // ended, nothing left
        std::vector<int> fds;
        fds.swap(s.retired);
        if (s.commitWanted && s.file.isOpen()) {
            const int copy = ::fcntl(s.file.fd(), F_DUPFD_CLOEXEC, 0);
            if (copy >= 0)
                fds.push_back(copy);
        }
        s.commitWanted = false;
        const LogCommit commit = s.commit;
        lock.unlock();
        for (int fd : fds) {
            commitNow(commit, fd);
            ::close(fd);
        }
        lock.lock();
    }
}

// Lines were written with syncPerLine on: wakes the committer, starting it
// the first time. The caller holds the lock.
void wantCommitLocked(LogState& s)
{
    s.commitWanted = true;
    if (!s.committer.joinable()) {
        try {
            s.committer = std::thread(commitLoop, std::ref(s), s.committerRun);
        } catch (const std::system_error&) {
            // No thread to be had: the caller commits its own line.
            s.commitWanted = false;
            commitNow(s.commit, s.file.fd());
            return;
        }
    }
    s.wake.notify_all();
}

// The open log is closing: with syncPerLine on, the committer commits what
// was written to it (a copy of its descriptor outlives the close). The caller
// holds the lock.
void retireLocked(LogState& s)
{
    if (!s.file.isOpen() || !s.commitWanted)
        return;
    const int copy = ::fcntl(s.file.fd(), F_DUPFD_CLOEXEC, 0);
    if (copy < 0 || !s.committer.joinable()) {
        commitNow(s.commit, s.file.fd());
        if (copy >= 0)
            ::close(copy);
    } else {
        s.retired.push_back(copy);
        s.wake.notify_all();
    }
    s.commitWanted = false;
}

// Formats and writes one line; the caller holds the lock. False when the line
// could not be formatted for want of memory.
bool writeLocked(LogState& s, std::string_view text)
{
    char stamp[64];
    const size_t stampLength = formatStamp(stamp);
    try {
        s.line.clear(); // keeps the capacity: steady logging allocates nothing
        s.line.append(stamp, stampLength).append(" - ");
        const size_t textStart = s.line.size();
        appendMasked(s.line, text, s.sessionId);
        // One call, one line: a line break or another control character of
        // server text must not forge the program's own lines.
        for (size_t i = textStart; i < s.line.size(); ++i) {
            const auto c = static_cast<unsigned char>(s.line[i]);
            if ((c < 0x20 && c != '\t') || c == 0x7F)
                s.line[i] = ' ';
        }
        s.line.push_back('\n');
    } catch (const std::bad_alloc&) {
        return false;
    }
    if (s.file.appendLine(s.line) && s.syncPerLine)
        wantCommitLocked(s);
    return true;
}

// A user id may come from the server: keep it from naming another folder.
std::string fileNamePart(std::string_view part)
{
    std::string out(part);
    for (char& c : out)
        if (c == '/' || c == '\0')
            c = '_';
    return out;
}

bool openLocked(LogState& s, const std::string& fileName)
{
    retireLocked(s);
    s.file.close();
    s.path.clear();
    if (s.logFolder.empty())
        return false;
    const auto path = s.logFolder / fileName;
    if (!s.file.open(path))
        return false;
    s.path = path;
    return true;
}

void installSink()
{
    pf::setLogSink([](int level, std::string_view text) { WriteLog(level, text); });
}

// Closes the open log and opens fileName in one step under the lock, so that no
// thread's line falls between the two; then routes the platform's lines here.
bool switchTo(const std::string& fileName)
{
    bool opened;
    {
        std::lock_guard lock(state().mutex);
        opened = openLocked(state(), fileName);
    }
    if (opened)
        installSink();
    return opened;
}

} // namespace

void WriteLog(int level, std::string_view text)
{
    LogState& s = state();
    bool formatted = true;
    {
        std::lock_guard lock(s.mutex);
        // Level 0 is always written, whatever the threshold (even a negative one).
        if ((level > 0 && Log_Level.load(std::memory_order_relaxed) < level) || !s.file.isOpen())
            return;
        formatted = writeLocked(s, text);
    }
    if (!formatted) {
        // Never a message box here: it would make every logging thread wait
        // for the user. One note on stderr, written without allocating.
        static const char note[] = "Error while memory allocation for writing to log file\n";
        [[maybe_unused]] ssize_t n = ::write(STDERR_FILENO, note, sizeof note - 1);
    }
}

std::string LogTimestamp()
{
    char out[64];
    const size_t length = formatStamp(out);
    return std::string(out, length);
}

std::string CheckLogFiles(std::string_view namePart)
{
    // The date is that of the opening; a log kept open past midnight stays
    // the file of the day it was opened.
    const pf::LocalTime t = pf::clock().localNow();
    char name[256];
    std::snprintf(name, sizeof name, "Vortanex_%s_%02d%02d%d.log", fileNamePart(namePart).c_str(), t.day, t.month,
                  t.year);

    // Age by modification time: creation time is not kept reliably here.
    const auto folder = logFolder();
    if (!folder.empty()) {
        pf::files::removeOlderThan(folder, "Vortanex_*.log", pf::clock().nowSeconds() - kLogKeepSeconds);
        // The charts' day caches live beside the logs and go with them.
        pf::files::removeOlderThan(folder, "EChart_*.dat", pf::clock().nowSeconds() - kLogKeepSeconds);
    }
    return name;
}

void CheckMsgFiles()
{
    const auto folder = logFolder();
    if (!folder.empty())
        pf::files::removeOlderThan(folder, "Vortanex*.msg", pf::clock().nowSeconds() - kMsgKeepSeconds);
}

bool StartLog(const pf::Paths& paths)
{
    const auto folder = paths.logs();
    {
        std::lock_guard lock(state().mutex);
        state().logFolder = folder;
    }

    std::error_code ec;
    if (!std::filesystem::is_directory(folder, ec)) {
        // First start with this layout: the daily logs of the last month still
        // lie in the program folder.
        if (pf::files::ensureDir(folder)) {
            using namespace std::chrono;
            const pf::LocalTime t = pf::clock().localNow();
            const sys_days today{year{t.year} / month{static_cast<unsigned>(t.month)} / day{static_cast<unsigned>(t.day)}};
            for (int back = 0; back < kOldLogDays; ++back) {
                const year_month_day d{today - days{back}};
                char name[64];
                std::snprintf(name, sizeof name, "Vortanex_%02u%02u%d.log", static_cast<unsigned>(d.day()),
                              static_cast<unsigned>(d.month()), static_cast<int>(d.year()));
                std::filesystem::rename(paths.root() / name, folder / name, ec); // a missing day is skipped
            }
        }
    }

    CheckMsgFiles();
    return switchTo(CheckLogFiles("Common"));
}

bool SwitchToUserLog(std::string_view userId)
{
    return switchTo(CheckLogFiles(userId));
}

void CloseLog()
{
    LogState& s = state();
    std::thread committer;
    {
        std::lock_guard lock(s.mutex);
        if (s.file.isOpen()) {
            writeLocked(s, "Closing LogFile Connection");
            writeLocked(s, "**************************Vortanex is shutdown properly*******************");
            retireLocked(s);
            // Closed under the lock: a late thread finds the log closed and
            // drops its line instead of writing to a closed descriptor.
            s.file.close();
            s.path.clear();
            std::string().swap(s.line);
        }
        ++s.committerRun;
        s.wake.notify_all();
        committer = std::move(s.committer);
    }
    // The exit waits for the last commit: every line is on disk when the
    // program ends.
    if (committer.joinable())
        committer.join();
}

std::filesystem::path CurrentLogPath()
{
    std::lock_guard lock(state().mutex);
    return state().path;
}

bool LogSyncPerLine()
{
    std::lock_guard lock(state().mutex);
    return state().syncPerLine;
}

void SetLogSyncPerLine(bool on)
{
    std::lock_guard lock(state().mutex);
    state().syncPerLine = on;
}

void SetLogCommit(LogCommit commit)
{
    std::lock_guard lock(state().mutex);
    state().commit = std::move(commit);
}

std::string MaskSecret(std::string_view)
{
    // Always the same text, so that not even the secret's length shows.
    return "****";
}

std::string MaskSecretIn(std::string_view text, std::string_view secret)
{
    if (secret.empty())
        return std::string(text);
    // Every occurrence, not only whole fields: masking a little too much is
    // harmless, a secret left in a line that goes to the server is not.
    std::string out;
    out.reserve(text.size());
    size_t from = 0;
    for (size_t at; (at = text.find(secret, from)) != std::string_view::npos; from = at + secret.size())
        out.append(text.substr(from, at - from)).append(MaskSecret(secret));
    out.append(text.substr(from));
    return out;
}

void SetLoggedSessionId(std::string_view sessionId)
{
    std::lock_guard lock(state().mutex);
    state().sessionId.assign(sessionId);
}
