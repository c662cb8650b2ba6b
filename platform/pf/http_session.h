#pragma once
// The process-wide HTTP settings that every exchange shares: user agent,
// time-outs, the per-server connection limit, certificate checks, the proxy and
// the connection redirect map. One session stands in for the program's root
// internet handle; HttpCall objects on any thread use it.
#include <atomic>
#include <condition_variable>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pf {

class HttpSession {
public:
    static constexpr const char* kUserAgent = "Vortanex";
    // Connect and idle time-outs. There is deliberately no total time-out: the
    // feed stream stays open for hours.
    static constexpr int kTimeoutSeconds = 90;
    static constexpr int kDefaultMaxHostConnections = 10;
    // "host:port:connect-host:connect-port[,more]": sends the named servers to
    // other addresses (tests and the local run point the broker's fixed hosts
    // at the loopback test broker). A real installation never sets it.
    static constexpr const char* kConnectToVariable = "VORTANEX_CONNECT_TO";

    struct Settings {
        bool verifyPeer = true;
        std::string caFile;                // empty: the system's trust store
        std::optional<std::string> proxy;  // nullopt: from the environment; "": none
        std::vector<std::string> connectTo;
    };

    // Reads the redirect map from the environment.
    HttpSession();
    ~HttpSession();
    HttpSession(const HttpSession&) = delete;
    HttpSession& operator=(const HttpSession&) = delete;

    // At most this many calls to one host and port are open at once; further
    // calls wait for a free slot. Values below 1 count as 1.
    void setMaxHostConnections(int count);
    int maxHostConnections() const;

    // Certificate checks are on unless switched off here explicitly.
    void setVerifyPeer(bool verify);
    void setCaFile(std::string path);
    void setProxy(std::optional<std::string> proxy);
    void setConnectTo(std::vector<std::string> entries);

    Settings settings() const;

    // Well-formed entries of a VORTANEX_CONNECT_TO text (four ':'-separated
    // fields each); malformed ones are dropped.
    static std::vector<std::string> parseConnectTo(std::string_view text);

    // For HttpCall: the libcurl share handle (DNS cache and TLS sessions).
    void* shareHandle() const { return m_share; }

    // For HttpCall: takes a connection slot for key, waiting while the limit
    // is reached; false when cancelled became true while waiting.
    bool acquireSlot(const std::string& key, const std::atomic<bool>& cancelled);
    void releaseSlot(const std::string& key);
    // Wakes slot waiters so that they look at their cancel flags again.
    void wakeSlotWaiters();

private:
    void* m_share = nullptr; // CURLSH*, thread-safe through its lock callbacks

    mutable std::mutex m_mutex;
    Settings m_settings;                     // guarded by m_mutex
    int m_maxHostConnections;                // guarded by m_mutex
    std::map<std::string, int> m_openSlots;  // guarded by m_mutex
    std::condition_variable m_slotFreed;
};

} // namespace pf
