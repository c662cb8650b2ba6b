#include "MyAsync.h"

#include "pf/clock.h"
#include "pf/http_call.h"
#include "pf/http_session.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdarg>
#include <cstring>
#include <mutex>

namespace {

std::mutex g_folderMutex;
std::filesystem::path g_logFolder; // guarded by g_folderMutex
pf::Clock* g_clock = nullptr;      // guarded by g_folderMutex

// Appends to "InternetError.log" from several threads at once.
std::mutex g_errorLogMutex;

// The HTTP logs are the user's alone, like the program's own logs: created
// 0600 (fopen would leave them to the umask, readable by everyone).
std::FILE* openPrivateLog(const std::filesystem::path& path, bool append)
{
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | (append ? O_APPEND : O_TRUNC), 0600);
    if (fd < 0)
        return nullptr;
    ::fchmod(fd, 0600);
    std::FILE* file = ::fdopen(fd, append ? "a" : "w");
    if (!file)
        ::close(fd);
    return file;
}

void copyBounded(char (&target)[128], const char* source)
{
    if (!source)
        return;
    std::strncpy(target, source, sizeof target - 1);
    target[sizeof target - 1] = '\0';
}

} // namespace

MyAsync::MyAsync(pf::HttpSession* session, int useProxyCredentials, const char* proxyUser, const char* proxyPassword,
                 int maxConnections)
    : m_session(session), m_useProxyCredentials(useProxyCredentials)
{
    if (useProxyCredentials) {
        copyBounded(m_proxyUser, proxyUser);
        copyBounded(m_proxyPassword, proxyPassword);
    }
    if (m_session) {
        m_session->setMaxHostConnections(maxConnections);
        m_call = std::make_unique<pf::HttpCall>(*m_session);
    }
}

MyAsync::MyAsync(pf::HttpSession* session, int useProxyCredentials, const char* proxyUser, const char* proxyPassword)
    : MyAsync(session, useProxyCredentials, proxyUser, proxyPassword, pf::HttpSession::kDefaultMaxHostConnections)
{
}

MyAsync::~MyAsync()
{
    Close();
}

void MyAsync::SetLogFolder(const std::filesystem::path& folder)
{
    std::lock_guard lock(g_folderMutex);
    g_logFolder = folder;
}

std::filesystem::path MyAsync::LogFolder()
{
    std::lock_guard lock(g_folderMutex);
    return g_logFolder;
}

void MyAsync::SetClock(pf::Clock* clock)
{
    std::lock_guard lock(g_folderMutex);
    g_clock = clock;
}

void MyAsync::getLogDateTime(char* buffer, int size)
{
    pf::Clock* clock = nullptr;
    {
        std::lock_guard lock(g_folderMutex);
        clock = g_clock;
    }
    const pf::LocalTime t = clock ? clock->localNow() : pf::clock().localNow();
    std::snprintf(buffer, size_t(size), "%d-%02d-%02d-%02d:%02d:%02d", t.year, t.month, t.day, t.hour, t.minute,
                  t.second);
}

void MyAsync::trace(const char* format, ...)
{
    if (!m_traceFile)
        return;
    va_list args;
    va_start(args, format);
    std::vfprintf(m_traceFile, format, args);
    va_end(args);
    std::fflush(m_traceFile);
}

void MyAsync::appendErrorLine(int code, const std::string& text)
{
    const std::filesystem::path folder = LogFolder();
    if (folder.empty())
        return;
    char stamp[64];
    getLogDateTime(stamp, sizeof stamp);
    std::lock_guard lock(g_errorLogMutex);
    // A log that cannot be opened loses the line; the result stays the same.
    if (std::FILE* file = openPrivateLog(folder / "InternetError.log", true)) {
        std::fprintf(file, "%s - %d - %s\n", stamp, code, text.c_str());
        std::fclose(file);
    }
}

unsigned long MyAsync::SyncDirect(int logId, int logFlag, int port, const char* verb, const char* host,
                                  const char* path, const char* data)
{
    if (logFlag == kTraceFlag && !m_traceFile) {
        const std::filesystem::path folder = LogFolder();
        if (!folder.empty()) {
            const std::string name = "SyncDirect-" + std::to_string(logId) + ".log";
            m_traceFile = openPrivateLog(folder / name, false);
        }
    }
    if (!m_call)
        return static_cast<unsigned long>(-1);
    if (m_useProxyCredentials)
        m_call->setProxyCredentials(m_proxyUser, m_proxyPassword);

    // Connecting, opening and sending are one step here; the trace keeps the
    // lines its readers know.
    const int result = m_call->send(verb ? verb : "", host ? host : "", port, path ? path : "", data ? data : "");
    const bool gotStatus = result > 0 && result < 1000;
    if (!gotStatus && result == pf::HttpCall::ErrBadUrl) {
        trace("InternetConnect Successful.\n");
        appendErrorLine(result, m_call->errorText());
        trace("HttpOpenRequest Failed.\n");
        return static_cast<unsigned long>(result);
    }
    trace("InternetConnect Successful.\n");
    trace("HttpOpenRequest Successful.\n");
    trace("HttpSendRequest Ret :%d\n", gotStatus ? 1 : 0);
    if (!gotStatus)
        appendErrorLine(result, m_call->errorText());
    trace("Query Info Ret :%d,Status :%d\n", gotStatus ? 1 : 0, result);
    return static_cast<unsigned long>(result);
}

unsigned long MyAsync::SyncDirect(int logId, int logFlag, const char* verb, const char* host, const char* path,
                                  const char* data)
{
    return SyncDirect(logId, logFlag, 80, verb, host, path, data);
}

int MyAsync::ReadHttpData(unsigned char* buffer, long size)
{
    if (!m_call || !buffer || size <= 0)
        return -1;
    const long n = m_call->read(reinterpret_cast<char*>(buffer), size_t(size));
    if (n <= 0)
        return -1;
    buffer[n] = '\0';
    return int(n);
}

int MyAsync::ReadError() const
{
    return m_call ? m_call->error() : 0;
}

void MyAsync::Cancel()
{
    if (m_call)
        m_call->cancel();
}

int MyAsync::ActiveSocket() const
{
    return m_call ? m_call->activeSocket() : -1;
}

void MyAsync::Close()
{
    if (m_call)
        m_call->close();
    if (m_traceFile) {
        trace("Closing File\n");
        std::fclose(m_traceFile);
        m_traceFile = nullptr;
    }
}
