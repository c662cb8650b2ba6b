#pragma once
// The library's blocking HTTP client: one object per exchange. The caller
// creates it with the program's HTTP session, sends the request with
// SyncDirect, reads the body with ReadHttpData until it returns -1, and calls
// Close (the destructor closes too).
#include "OrnwickExport.h"

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>

namespace pf {
class Clock;
class HttpSession;
class HttpCall;
} // namespace pf

class ORNWICK_API MyAsync {
public:
    // Log flag that turns on the per-call trace "SyncDirect-<log id>.log".
    static constexpr int kTraceFlag = 99999;

    // maxConnections: the process-wide limit of simultaneous connections to
    // one server (the program passes 50). Proxy credentials are copied when
    // useProxyCredentials is non-zero.
    MyAsync(pf::HttpSession* session, int useProxyCredentials, const char* proxyUser, const char* proxyPassword,
            int maxConnections);
    MyAsync(pf::HttpSession* session, int useProxyCredentials, const char* proxyUser, const char* proxyPassword);
    // The object owns a live connection: copies would close it twice.
    MyAsync(const MyAsync&) = delete;
    MyAsync& operator=(const MyAsync&) = delete;
    virtual ~MyAsync();

    // The program folder that receives "InternetError.log" and the trace
    // files; until it is set those files are not written. Process-wide.
    static void SetLogFolder(const std::filesystem::path& folder);
    static std::filesystem::path LogFolder();
    // The clock of the error log's time stamps (the library keeps its own
    // copy of the platform layer, so the program hands its clock in); null
    // restores the system clock. The clock must outlive its use.
    static void SetClock(pf::Clock* clock);

    // Sends one request and waits for the response status. Returns the HTTP
    // status (200, 407, ...), an error number (12002 time-out, 12007 name not
    // resolved, 12029 cannot connect, ...), or -1 when no status came.
    unsigned long SyncDirect(int logId, int logFlag, int port, const char* verb, const char* host, const char* path,
                             const char* data);
    // The same on port 80.
    unsigned long SyncDirect(int logId, int logFlag, const char* verb, const char* host, const char* path,
                             const char* data);

    // Reads up to size body bytes into buffer (which holds size + 1: a NUL
    // follows the data) and returns the count; -1 when no more data comes,
    // buffer untouched. A -1 after a failure (a body cut short, a broken
    // connection, a cancel) is told apart by ReadError().
    int ReadHttpData(unsigned char* buffer, long size);
    // 0 after a clean end of the body, else the error number of the failure.
    int ReadError() const;

    // Any thread: ends a blocked SyncDirect or ReadHttpData (error 12017).
    void Cancel();
    // The connection's socket, -1 when none (for a plain-HTTP stream).
    int ActiveSocket() const;

    // Ends the exchange and closes the trace; may be called again.
    void Close();

private:
    void getLogDateTime(char* buffer, int size);
    void trace(const char* format, ...) __attribute__((format(printf, 2, 3)));
    void appendErrorLine(int code, const std::string& text);

    pf::HttpSession* m_session;
    std::unique_ptr<pf::HttpCall> m_call;
    std::FILE* m_traceFile = nullptr;
    char m_proxyUser[128] = {};
    char m_proxyPassword[128] = {};
    int m_useProxyCredentials = 0;
};
