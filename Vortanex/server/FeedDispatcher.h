#pragma once
// Routes every feed message by its three-digit code. Quotes, depth and index
// values are cheap and handled on the feed thread in arrival order: a quote is
// applied to its security's row before any window hears of it, and the
// windows are then told through their tick boxes, which never block. The
// handlers that do slow work (confirmations, alert checks, research calls,
// market status, information displays) go to a keyed handler pool: all order
// confirmations, and each key's messages, keep their arrival order, while
// unrelated ones run in parallel and the feed thread never waits for a window.
#include "server/FeedSubscriptions.h"

#include "pf/threads.h"

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

struct IndexRecord;
struct QuoteData;
struct SecurityRecord;
class SecurityTable;

// What the dispatcher hands on to the other subsystems. Calls come from the
// feed thread or a pool thread; an implementation that needs the UI thread
// posts there and returns (none of them may wait for a window or a dialog).
class FeedConsumers {
public:
    virtual ~FeedConsumers() = default;
    // A line for the message bar (CMainFrame::SetUserMessage): kind 1
    // Trading, 2 Exchange, 3 General, 4 Research Call.
    virtual void setUserMessage(int kind, char side, const std::string& text, bool popup, int eventId)
    {
        (void)kind, (void)side, (void)text, (void)popup, (void)eventId;
    }
    // Message 115 for a segment (CMainFrame::UpdateMarketStatus when the
    // segment's stored status differs).
    virtual void marketStatus(const std::string& segment, const std::string& status) { (void)segment, (void)status; }
    // Messages 141, 145, 155 and 160 for the information displays, with their
    // payload.
    virtual void informationDisplay(int code, const std::string& text) { (void)code, (void)text; }
    // A formatted confirmation for the current client's order store (the
    // order book applies it when it is open, loaded and its filter matches).
    virtual void orderConfirmation(const std::string& clientCode, const std::string& text)
    {
        (void)clientCode, (void)text;
    }
    // The same confirmation's raw payload (the '|' fields after "130,"), for
    // the order store's update (ApplyOrderConfirmation of order entry).
    virtual void orderConfirmationPayload(const std::string& clientCode, const std::string& payload)
    {
        (void)clientCode, (void)payload;
    }
    // The alerts setting, and the alert check of a qualifying tick. A check
    // is queued only when claimAlertCheck says none of the security is
    // pending already; checkAlerts then runs on the pool, keyed by security,
    // batched (it may wait up to the pool's kBatchWait: waking the pool for
    // every check cost more than the feed's own work of thousands of quotes),
    // and gets the quote that claimed it, so that a crossing undone by a
    // later tick before the check runs still fires.
    virtual bool alertsEnabled() const { return false; }
    // `rec` is the security's row with the quote just stored.
    virtual bool claimAlertCheck(int security, const SecurityRecord& rec)
    {
        return (void)security, (void)rec, true;
    }
    virtual void checkAlerts(int security, const QuoteData& claimed) { (void)security, (void)claimed; }
    // A quote of the security (its alert mark set) is about to be tested:
    // its thresholds may be fetched meanwhile. Looks, waits and claims
    // nothing.
    virtual void prefetchAlertCheck(int security) const { (void)security; }
    // The last-trades window after every quote of a security.
    virtual void lastTradesUpdated(int security) { (void)security; }
    // A quote carried this last-trade time (seconds since 1970): the frame's
    // "Feeds Date Time" pane shows the newest one.
    virtual void quoteTimeUpdated(int64_t epochSeconds) { (void)epochSeconds; }
    // An index row changed: the frame's feed time, the indices dialog, the
    // index view and the turnover tracker, in this order.
    virtual void indexUpdated(const IndexRecord& row) { (void)row; }
    // The net-position window: the index security's price was set.
    virtual bool netPositionOpen() const { return false; }
    virtual void netPositionPrice(int security) { (void)security; }
    // Message 250: the server's notice when it gave no slot (shown without
    // blocking), and a slot given (the depth subscription is due).
    virtual void serverNotice(const std::string& text) { (void)text; }
    virtual void feedSlotAssigned() {}
};

// The index rows the feed updates (the index table loaded at login).
class IndexRows {
public:
    virtual ~IndexRows() = default;
    // Runs change on the first row with this feed code, under the table's
    // lock; false when there is none. after gets the changed row.
    virtual bool update(int feedCode, const std::function<void(IndexRecord&)>& change, IndexRecord& after) = 0;
};

class FeedDispatcher {
public:
    struct Options {
        int poolThreads = 4;
        bool inlineForTests = false;   // the pool runs tasks on the posting thread
        std::filesystem::path logsDir; // set: the broadcast log is on (see setBroadcastLogFolder)
    };

    // Quote and index values beyond this are not prices, quantities or times;
    // a message carrying one (or inf, or nan) is refused whole, so no stored
    // value can overflow a later conversion to an integer. Below 2^53: every
    // whole number up to it is exact in a double.
    static constexpr double kMaxFeedValue = 9e15;

    FeedDispatcher(FeedConsumers& consumers, FeedSubscriptions& subscriptions, IndexRows& indices, Options options);
    ~FeedDispatcher();
    FeedDispatcher(const FeedDispatcher&) = delete;
    FeedDispatcher& operator=(const FeedDispatcher&) = delete;

    // One message (code, separator, payload) from the feed thread; returns
    // its code (0 when ignored). Called by one feed thread at a time.
    int Distribute_Feed(const char* message, int length);

    // Feed thread: the messages of one received buffer come between these.
    // The buffer's messages use the table published when it began, and the
    // newest quote time is handed on once, at its end.
    void beginBuffer();
    void endBuffer();
    class Buffer {
    public:
        explicit Buffer(FeedDispatcher& d) : m_d(d) { m_d.beginBuffer(); }
        ~Buffer() { m_d.endBuffer(); }
        Buffer(const Buffer&) = delete;
        Buffer& operator=(const Buffer&) = delete;

    private:
        FeedDispatcher& m_d;
    };

    // Message 101 and 105 applied to the row; the security index or -1.
    int UpdateFeeds(const char* text, int length);
    int UpdateRoundRobin(const char* text, int length);
    // A polled quote (a 101 payload): applied, then the windows are told.
    // Logged in only; the security index or -1.
    int UpdateFeedsAndNotify(const char* text, int length);
    // Message 250.
    void UpdateServerInfo(std::string_view text);
    // Message 110 applied to its index row, then handed on.
    void IndexDistribute(std::string_view text);
    // The confirmation text of a 130 payload (empty when none is shown).
    std::string ConfirmationText(std::string_view text, std::string* clientCode = nullptr) const;

    // Waits until every handed-over message has been handled (tests, exit).
    void drain();
    // True when every handed-over message has been handled (a UI-thread
    // wait polls it).
    bool idle() const;
    // The folder of the broadcast log (every message, written by the hundred
    // to the hour's file); empty switches it off. Any thread: the feed thread
    // follows from its next message.
    void setBroadcastLogFolder(std::filesystem::path folder);
    // Stops the pool after the queued work.
    void stop();

private:
    // What one applied quote hands to FeedsThread. Each call has its own:
    // the feed thread and the polling thread apply quotes at the same time.
    struct QuoteMark {
        short tick4 = 0;      // tick code of quote value 4 after the quote
        int64_t quoteTime = 0; // its last-trade time, 0 when it had none
    };
    // knownIndex >= 0: the row the text's watch token was already looked up to.
    // padded: the text is followed by kHeldQuotePadding readable bytes.
    // tokenEnd: where the token's separator was found already (npos: none;
    // kTokenEndUnknown: not looked for).
    static constexpr size_t kTokenEndUnknown = static_cast<size_t>(-2);
    int updateFeeds(const char* text, int length, SecurityTable* table, bool onFeedThread, QuoteMark& mark,
                    int knownIndex = -1, bool padded = false, size_t tokenEnd = kTokenEndUnknown);
    // Within a buffer a quote waits for the next kHeldQuotes messages: its
    // table entry is fetched as it comes, its row kRowAge messages later, its
    // live part and windows' entry at kLiveAge, and it is written last, so
    // each fetch overlaps other messages' work. Depth and index values wait
    // their turn among the quotes (they are handled as quickly), so they do
    // not cut the quotes' fetches short. Any other message, and the buffer's
    // end, apply the waiting ones first, in their order, so the order of
    // arrival is kept.
    void holdMessage(int code, const char* data, int length, SecurityTable* table);
    void applyHeldQuote(); // all that wait
    void applyOldestHeld();
    int updateRoundRobin(const char* text, int length, SecurityTable* table, QuoteMark& mark);
    // inBuffer: the feed thread within a received buffer (its newest quote
    // time is handed on at the buffer's end). fanOut: the feed thread's own
    // (fanOut()) or, on another thread, a snapshot of that thread's own.
    void FeedsThread(int security, const QuoteMark& mark, bool inBuffer, const FeedFanOut& fanOut);
    void MDepthThread(const std::string& text);
    void ConfirmationThreadX(const std::string& text);
    void MarketStatusThread(const std::string& text);
    void ResearchThread(int slot);
    void writeBroadcastLog(const char* message, int length);
    const FeedFanOut& fanOut();

    FeedConsumers& m_consumers;
    FeedSubscriptions& m_subscriptions;
    IndexRows& m_indices;
    const Options m_options;
    pf::HandlerPool m_pool;

    // Feed thread only (the polling path keeps to its own values).
    std::shared_ptr<const FeedFanOut> m_fanOut;
    uint64_t m_fanOutVersion = 0;
    bool m_inBuffer = false;
    std::shared_ptr<SecurityTable> m_bufferTable; // the table of the buffer being handled
    int64_t m_bufferQuoteTime = 0;                // the buffer's newest quote time so far
    int64_t m_bufferNow = 0;                      // the clock when the buffer began (seconds)
    // Times known to fall on the local day of m_bufferNow: a day is one run
    // of times (local dates only move forward), so any time between two of
    // the day's is of the day too, and a quote's test of "today" seldom
    // needs the calendar.
    int64_t m_dayFrom = 1;
    int64_t m_dayTo = 0;
    bool sameDayAsBuffer(int64_t epochSeconds); // feed thread, within a buffer
    static constexpr int kHeldQuoteBytes = 512;
    // Bytes after a held text that its parse may read (and ignore).
    static constexpr int kHeldQuotePadding = 16;
    struct HeldQuote {
        char text[kHeldQuoteBytes + kHeldQuotePadding] = {};
        int code = 0; // 101, or 104 and 110 waiting their turn
        int length = 0;
        int wtoken = 0;
        int row = -1; // the row its entry named when the row was fetched
        size_t tokenEnd = 0; // a quote's token separator, as tokenEnd gives it
    };
    // The slot of a position in the ring, the position below twice its size
    // (a first slot plus at most its size): one subtraction, no division.
    static int heldSlot(int position) { return position >= kHeldQuotes ? position - kHeldQuotes : position; }
    // A message's age is how many came after it. The entry's fetch is given
    // two messages' time (one measured too short), the row's two (one
    // measured too short once a quote's values were parsed all at once: the
    // messages in between take less time), the live part's one. A deeper
    // wait measured slower: more of a buffer's quotes are then written at
    // its end, before their fetches were asked for.
    static constexpr int kRowAge = 2;     // its entry came: fetch the row
    static constexpr int kLiveAge = 4;    // its row came: fetch the live part
    static constexpr int kHeldQuotes = 5; // written at this age
    HeldQuote m_held[kHeldQuotes]; // waiting quotes, oldest first from m_heldFirst
    // A depth update's text as the depth windows get it, its room kept from
    // one update to the next.
    std::string m_depthText;
    int m_heldFirst = 0;
    int m_heldCount = 0;
    // Within a buffer the market watches hear of its quotes together, after
    // the rows are written: a window's mark is an atomic write that waits for
    // every earlier write of the feed thread, so marking after each quote
    // would wait for each quote's row in turn. Told before any other message
    // is handled, at the buffer's end, and before the windows' list changes
    // (the windows are those of m_fanOut, which keeps them alive).
    struct PendingMark {
        FeedWindow* window = nullptr;
        int security = -1;
        int slot = -1;
    };
    static constexpr int kPendingMarks = 64;
    PendingMark m_marks[kPendingMarks];
    int m_markCount = 0;
    void tellMarkedWindows();
    // Serialises the polled quotes (UpdateFeedsAndNotify) of the polling feed
    // and of the market watch's snapshots among themselves.
    std::mutex m_pollMutex;
    std::string m_broadcastLog;
    int m_broadcastCount = 0;
    std::atomic<bool> m_broadcastOn{false};
    std::mutex m_broadcastMutex;
    std::filesystem::path m_broadcastFolder; // guarded by m_broadcastMutex
};

// The program's dispatcher (the main frame installs it; nullptr removes it).
void InstallFeedDispatcher(FeedDispatcher* dispatcher);
// Distribute_Feed of the installed dispatcher; 0 when none is installed.
int Distribute_Feed(const char* message, int length);
