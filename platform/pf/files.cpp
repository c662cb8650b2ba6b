#include "pf/files.h"

#include "pf/large_memory.h"

#include <cerrno>
#include <fcntl.h>
#include <fnmatch.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <exception>
#include <mutex>
#include <set>
#include <string>
#include <system_error>
#include <vector>

namespace pf::files {
namespace files_detail {

// Closes a descriptor on every return path.
class Fd {
public:
    explicit Fd(int fd) : m_fd(fd) {}
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    ~Fd() { reset(); }
    int get() const { return m_fd; }
    bool valid() const { return m_fd >= 0; }
    // Closes now and reports whether the close succeeded (a late write error
    // can surface only here).
    bool reset()
    {
        if (m_fd < 0)
            return true;
        const int rc = ::close(m_fd);
        m_fd = -1;
        return rc == 0;
    }

private:
    int m_fd;
};

int openRetry(const char* path, int flags, mode_t mode = 0)
{
    int fd;
    do
        fd = ::open(path, flags | O_CLOEXEC, mode);
    while (fd < 0 && errno == EINTR);
    return fd;
}

bool writeFully(int fd, std::string_view data)
{
    while (!data.empty()) {
        const ssize_t n = ::write(fd, data.data(), data.size());
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data.remove_prefix(static_cast<size_t>(n));
    }
    return true;
}

bool readFully(int fd, std::string& out)
{
    char buf[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        if (n == 0)
            return true;
        out.append(buf, static_cast<size_t>(n));
    }
}

// The names of the regular files of dir that match the pattern.
std::vector<std::string> matchingFiles(const Path& dir, std::string_view pattern)
{
    std::vector<std::string> names;
    const std::string pat(pattern);
    std::error_code ec;
    std::filesystem::directory_iterator it(dir, ec), end;
    for (; !ec && it != end; it.increment(ec)) {
        std::error_code typeEc;
        if (!it->is_regular_file(typeEc))
            continue;
        const std::string name = it->path().filename().string();
        if (::fnmatch(pat.c_str(), name.c_str(), 0) == 0)
            names.push_back(name);
    }
    return names;
}

bool copyThenUnlink(const Path& from, const Path& to)
{
    auto data = readAll(from);
    if (!data || !writeAtomic(to, *data))
        return false;
    return ::unlink(from.c_str()) == 0;
}

} // namespace files_detail

bool exists(const Path& path)
{
    struct stat st;
    return ::stat(path.c_str(), &st) == 0;
}

int64_t size(const Path& path)
{
    struct stat st;
    if (::stat(path.c_str(), &st) != 0)
        return -1;
    return static_cast<int64_t>(st.st_size);
}

std::optional<int64_t> stampTime(const Path& path)
{
    struct stat st;
    if (::stat(path.c_str(), &st) != 0)
        return std::nullopt;
    return static_cast<int64_t>(st.st_mtim.tv_sec);
}

std::optional<std::string> readAll(const Path& path)
{
    files_detail::Fd fd(files_detail::openRetry(path.c_str(), O_RDONLY));
    if (!fd.valid())
        return std::nullopt;
    std::string out;
    // Sized once from the file's length (a file that grows meanwhile still
    // reads whole); a large file's fresh memory is on large pages or, where
    // pages are small, mapped ahead while the reads fill it.
    struct stat st;
    size_t expected = 0;
    if (::fstat(fd.get(), &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0)
        expected = static_cast<size_t>(st.st_size);
    try {
        out.reserve(expected + 1);
    } catch (const std::exception&) {
        return std::nullopt;
    }
    {
        const memory::MapAhead ahead(out.data(), expected, memory::mapAheadThreads());
        // Only up to the length it had: the buffer must not move while the
        // helpers map it.
        char buf[65536];
        while (out.size() < expected) {
            const ssize_t n = ::read(fd.get(), buf, std::min(sizeof buf, expected - out.size()));
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0)
                return std::nullopt;
            if (n == 0)
                break;
            out.append(buf, static_cast<size_t>(n));
        }
    }
    if (!files_detail::readFully(fd.get(), out))
        return std::nullopt;
    return out;
}

std::string readHead(const Path& path, size_t n)
{
    files_detail::Fd fd(files_detail::openRetry(path.c_str(), O_RDONLY));
    if (!fd.valid())
        return {};
    std::string out(n, '\0');
    size_t got = 0;
    while (got < n) {
        const ssize_t r = ::read(fd.get(), out.data() + got, n - got);
        if (r < 0 && errno == EINTR)
            continue;
        if (r <= 0)
            break;
        got += static_cast<size_t>(r);
    }
    out.resize(got);
    return out;
}

bool writeAll(const Path& path, std::string_view data)
{
    files_detail::Fd fd(files_detail::openRetry(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, kPrivateFileMode));
    if (!fd.valid())
        return false;
    // A file made by an older version may still be readable by others.
    ::fchmod(fd.get(), kPrivateFileMode);
    const bool written = files_detail::writeFully(fd.get(), data);
    return fd.reset() && written;
}

namespace files_detail {

// The writing process of a temporary name "<name>.tmp.<pid>.<n>"; 0 when the
// name is not one.
pid_t temporaryOwner(std::string_view name)
{
    const size_t mark = name.rfind(".tmp.");
    if (mark == std::string_view::npos)
        return 0;
    const std::string_view rest = name.substr(mark + 5);
    const size_t dot = rest.find('.');
    if (dot == 0 || dot == std::string_view::npos || dot + 1 == rest.size() || dot > 9)
        return 0;
    const auto digits = [](std::string_view s) {
        return std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
    };
    if (!digits(rest.substr(0, dot)) || !digits(rest.substr(dot + 1)))
        return 0;
    long pid = 0;
    for (const char c : rest.substr(0, dot))
        pid = pid * 10 + (c - '0');
    return pid > 0 && pid <= INT32_MAX ? static_cast<pid_t>(pid) : 0;
}

bool processRuns(pid_t pid)
{
    // EPERM: it runs as another user.
    return pid == ::getpid() || ::kill(pid, 0) == 0 || errno == EPERM;
}

// Once per folder and process: later stale files in it are left for the next run.
void sweepOnce(const Path& dir)
{
    static std::mutex mutex;
    static std::set<std::string> swept;
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (!swept.insert(dir.string()).second)
            return;
    }
    removeStaleTemporaries(dir);
}

} // namespace files_detail

int removeStaleTemporaries(const Path& dir)
{
    int removed = 0;
    for (const auto& name : files_detail::matchingFiles(dir, "*.tmp.*")) {
        const pid_t owner = files_detail::temporaryOwner(name);
        if (owner == 0 || files_detail::processRuns(owner))
            continue;
        if (::unlink((dir / name).c_str()) == 0)
            ++removed;
    }
    return removed;
}

bool writeAtomic(const Path& path, std::string_view data)
{
    // A name unique within the process and among processes, so that two
    // writers never share a temporary file.
    static std::atomic<unsigned> counter{0};
    files_detail::sweepOnce(path.parent_path().empty() ? Path(".") : path.parent_path());
    Path tmp = path;
    tmp += ".tmp." + std::to_string(::getpid()) + "." + std::to_string(counter.fetch_add(1));

    files_detail::Fd fd(files_detail::openRetry(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL, kPrivateFileMode));
    if (!fd.valid())
        return false;
    const bool ok = files_detail::writeFully(fd.get(), data) && ::fsync(fd.get()) == 0;
    if (!fd.reset() || !ok || ::rename(tmp.c_str(), path.c_str()) != 0) {
        ::unlink(tmp.c_str());
        return false;
    }
    // Make the rename itself durable.
    Path parent = path.parent_path();
    if (parent.empty())
        parent = ".";
    files_detail::Fd dirFd(files_detail::openRetry(parent.c_str(), O_RDONLY | O_DIRECTORY));
    if (dirFd.valid())
        ::fsync(dirFd.get());
    return true;
}

std::string readTail(const Path& path, size_t n)
{
    files_detail::Fd fd(files_detail::openRetry(path.c_str(), O_RDONLY));
    if (!fd.valid())
        return {};
    struct stat st;
    if (::fstat(fd.get(), &st) != 0)
        return {};
    const auto fileSize = static_cast<uint64_t>(st.st_size);
    if (fileSize > n && ::lseek(fd.get(), static_cast<off_t>(fileSize - n), SEEK_SET) < 0)
        return {};
    std::string out;
    if (!files_detail::readFully(fd.get(), out))
        return {};
    // The file may have grown since fstat.
    if (out.size() > n)
        out.erase(0, out.size() - n);
    return out;
}

int moveMatching(const Path& dir, std::string_view pattern, const Path& toDir)
{
    const auto names = files_detail::matchingFiles(dir, pattern);
    if (names.empty() || !ensureDir(toDir))
        return 0;
    int moved = 0;
    for (const auto& name : names) {
        const Path from = dir / name;
        const Path to = toDir / name;
        if (::rename(from.c_str(), to.c_str()) == 0 || (errno == EXDEV && files_detail::copyThenUnlink(from, to)))
            ++moved;
    }
    return moved;
}

int removeOlderThan(const Path& dir, std::string_view pattern, int64_t cutoffSeconds)
{
    int removed = 0;
    for (const auto& name : files_detail::matchingFiles(dir, pattern)) {
        const Path file = dir / name;
        const auto stamp = stampTime(file);
        if (stamp && *stamp < cutoffSeconds && ::unlink(file.c_str()) == 0)
            ++removed;
    }
    return removed;
}

bool ensureDir(const Path& path)
{
    std::error_code ec;
    if (path.empty() || std::filesystem::is_directory(path, ec))
        return !path.empty();
    // Parents first, each made private as it is created (create_directories
    // would leave them to the umask, readable by everyone).
    const Path parent = path.parent_path();
    if (!parent.empty() && parent != path && !ensureDir(parent))
        return false;
    if (::mkdir(path.c_str(), kPrivateDirMode) != 0 && errno != EEXIST)
        return false;
    return std::filesystem::is_directory(path, ec);
}

bool ensurePrivateDir(const Path& path)
{
    if (!ensureDir(path))
        return false;
    struct stat st;
    if (::stat(path.c_str(), &st) == 0 && st.st_uid == ::getuid() && (st.st_mode & 077) != 0)
        ::chmod(path.c_str(), kPrivateDirMode);
    return true;
}

} // namespace pf::files
