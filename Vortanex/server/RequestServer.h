#pragma once
// The one blocking request function through which every interactive exchange
// with the broker's servers goes: the transaction code picks host, port, path
// and verb, the text is encoded as the session asks, proxy authentication
// (HTTP 407) is handled, and the HTTP status comes back with the reply bytes.
// Any thread; each call has its own client object and buffers.
#include <cstddef>
#include <source_location>
#include <string>
#include <string_view>

class ExchangeCancel;

namespace pf {
class HttpSession;
}

// Where a transaction code goes.
struct TransCodeRoute {
    std::string host;
    int port = 80;
    std::string path;
    std::string verb;
    bool toFile = false;  // the codes whose body is written to a file of Comp
    bool loginCode = false; // the host is logged before the exchange
};

// The route of a code from the configuration and the session as they are now;
// false for a code outside the table.
bool LookupTransCode(int transCode, TransCodeRoute& route);

// The codes of the order-book and trade-book requests, whose replies arrive
// LZO-packed while the login's compression flag is 1.
inline constexpr int kOrderBookTransCode = 600;
inline constexpr int kTradeBookTransCode = 610;

// The feed's own codes (subscription, heartbeat, polling): they do not count
// as user activity, or an idle terminal would never lock.
bool IsFeedTransCode(int transCode);

// The host of the file downloads: Security_Host, else Watch_Host.
std::string DownloadHost();

// The user name handed to the proxy: "domain\\user" when a domain is stored,
// else the user name alone.
std::string ProxyUserName();

// The text of a failed exchange's status for the log: "no response", the
// client's error text, or "HTTP error status".
const char* FailedStatusText(int status);

// The process-wide HTTP session every exchange shares (the root internet
// handle), made on first use.
pf::HttpSession& RootInternetSession();

// Applies the configuration's TLS keys (Tls_CA_File, Tls_Verify) to the
// session; start-up calls it once the configuration file has been read.
void ApplyConfiguredTls();

// Sends `text` with transaction code `transCode` and encryption type
// `encryptType` (0 none, 1 Base64, 2 RSA). Returns the HTTP status (200 on
// success, 407 when the proxy dialog was cancelled), a client error number, or
// -1 when no exchange was made (unknown code, failed encoding, a packed reply
// that does not unpack). `reply` receives the body bytes and `length` their
// count for 200 and 407; both are empty otherwise.
// With `cancel`, another thread can end the exchange early (12017, empty reply).
// Never on the UI thread: the UI-thread guard reports the code and `where`.
int RequestServer(int encryptType, int transCode, std::string_view text, std::string& reply, long& length,
                  ExchangeCancel* cancel = nullptr, std::source_location where = std::source_location::current());

// A reply body larger than this is no reply of ours (a server that keeps
// sending): the exchange ends with kReplyTooLarge instead of growing the
// process. Far above the largest real reply (a day's order book).
inline constexpr size_t kDefaultReplyBodyLimit = size_t{256} << 20;
inline constexpr int kReplyTooLarge = -2;
// Replaces the bound (tests); 0 restores the default. Any thread.
void SetReplyBodyLimit(size_t bytes);
size_t ReplyBodyLimit();

// Asks for proxy credentials with CProxyDetails on the UI thread, one dialog
// at a time: a caller that asks while another caller's dialog is open waits
// for it and takes its answer. True when credentials were stored. Any thread
// (the feed's own 407 uses it too).
bool AskProxyCredentials();

// One text exchange (used by RequestServer): the status, with the body in
// `reply` for 200 and 407. A body cut short is a failure: its error number is
// returned and the reply is empty.
int ConnectServer(int transCode, const std::string& verb, const std::string& host, int port, const std::string& path,
                  const std::string& body, std::string& reply, long& length, ExchangeCancel* cancel = nullptr);

