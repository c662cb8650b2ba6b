#pragma once
// Which open windows show which securities, and the subscription texts the
// feed server is sent from that. Windows take a slot of the open-window table
// and link it to the securities they show; the dispatcher walks the links
// backwards, from a ticked security to the windows to tell.
//
// The tables change on the UI thread while the feed threads read them: every
// change happens under one lock, and the feed side reads an immutable fan-out
// snapshot that is rebuilt after a change, so it never sees a table half
// rebuilt and never holds the lock while calling a window.
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <mutex>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

// Window types of the open-window table.
enum FeedWindowType : int {
    kWindowMarketWatch = 1,
    kWindowNetPosition = 2,
    kWindowMarketDepth = 3,
    kWindowIntradayChart = 4,
    kWindowIndexChart = 5,
    kWindowEodChart = 6,
    kWindowMisOptionsWatch = 8,
    kWindowOtherWatch = 9,
};

// What a window taking part in the feed offers. The update calls come from
// feed-side threads: an implementation records the update (the window's tick
// box) and returns at once; the window's own timer applies it on the UI thread.
class FeedWindow {
public:
    virtual ~FeedWindow() = default;
    // True once the window is closing: it is told nothing more.
    virtual bool isClosing() const { return false; }
    // The securities the window shows and wants ticks for (a watch list's
    // rows with a token and a grid row; a chart's own security and series; the
    // net position's positions).
    virtual std::vector<int> feedSecurities() const { return {}; }
    // The security's quote changed (market watch, net position, chart).
    virtual void quoteUpdated(int security) { (void)security; }
    // quoteUpdated(security) follows shortly (the feed thread tells the
    // windows of a received buffer's quotes together): a window may fetch
    // what that call will write, so it need not wait then.
    virtual void quoteUpdateComing(int security) const { (void)security; }
    // A depth update (message 104 payload) for the depth window.
    virtual void depthUpdated(const std::string& text, bool currency)
    {
        (void)text;
        (void)currency;
    }
    // An index's values changed (index charts check that they show it).
    virtual void indexUpdated(int feedCode) { (void)feedCode; }
};

struct OpenWindowEntry {
    std::shared_ptr<FeedWindow> window;
    int in_use = 0;
    int type = 0;
    int index = -1; // watch-list index (1, 8, 9) or security index (3, 4)
};

struct TokenSubscriptionEntry {
    int security = -1;
    short segment = 0; // FeedSegmentCode
    short in_use = 0;
    std::vector<int> windowSlots; // window slots; -1 marks a removed one
};

struct DepthSubscriptionEntry {
    int security = -1;
    short segment = 0;
    short in_use = 0;
};

// What the feed side reads: per security the windows to tell, and the depth
// and index-chart windows. Immutable once published.
struct FeedFanOut {
    struct Target {
        std::shared_ptr<FeedWindow> window;
        int type = 0;
        int slot = -1;
        int index = -1;
    };
    // The windows to tell of one security's quote (none when it has none).
    // Found by the security index, not hashed: one look-up per quote.
    std::span<const Target> windowsOf(int security) const
    {
        if (security < 0 || static_cast<size_t>(security) + 1 >= firstTarget.size())
            return {};
        const uint32_t a = firstTarget[static_cast<size_t>(security)];
        const uint32_t b = firstTarget[static_cast<size_t>(security) + 1];
        return {targets.data() + a, b - a};
    }
    // Security s's windows are targets[firstTarget[s], firstTarget[s + 1]).
    std::vector<uint32_t> firstTarget;
    std::vector<Target> targets;
    // Every open market watch and the net-position window, subscribed or
    // not: a polled quote goes to them all (without a stream feed nothing is
    // subscribed).
    std::vector<Target> pollWindows;
    std::vector<Target> depthWindows;
    std::vector<Target> indexCharts;
    bool netPositionOpen = false;
};

class FeedSubscriptions {
public:
    static constexpr int kInitialWindowCapacity = 30;

    static FeedSubscriptions& instance();

    // --- open-window table ---
    // Takes a free slot (growing the table by 5 when full); -1 on failure.
    int getClientDlg();
    // The window of a taken slot.
    void setWindow(int slot, std::shared_ptr<FeedWindow> window, int type, int index);
    // The closing window's slot becomes free (after RemoveWatchInfoDlgRef).
    void releaseSlot(int slot);
    OpenWindowEntry window(int slot) const;
    int windowCount() const;
    int windowCapacity() const;

    // --- token subscription ---
    // Action 1 adds (slot -1: subscribed, no window), 2 removes (keep 1 leaves
    // the entry subscribed). The entry index, or -1.
    int UpdateWatchToken(short action, int security, int slot, short keep);
    // Adds (1) or removes (2) a slot in an entry; remove with entry -1 unlinks
    // the slot from every entry.
    void AddWindowRef(int entry, short action, int slot);
    // A closing window unlinks its securities; 0, or -1 after a failure.
    int RemoveWatchInfoDlgRef(int slot);
    std::vector<TokenSubscriptionEntry> tokenEntries() const;

    // --- depth subscription ---
    void UpdateMdepthToken(short action, int security);

    // --- token lists ---
    // Rebuilds the feed lists from the open windows and asks for a 201 when
    // the list changed while a feed with a slot runs.
    void Update_Feeds_Token();
    // Rebuilds the depth list; send: also asks for a 203.
    void Update_MDepth_Token(int send);

    // The texts (without the frame). which: 1 = 201, 2 = 203.
    std::string subscriptionText(int which) const;
    std::string logoutText() const;    // 202
    std::string heartbeatText() const; // 900

    std::string feedTokenList() const;
    int feedTokenCount() const;
    std::string indexTokenList() const;
    int indexTokenCount() const;
    std::string depthTokenList() const;

    // The index views' list: the index view (one entry per index, "0," for
    // one without a security) or the indices bar (its four indices, then the
    // chart-index list) replace it whole before asking for a 201.
    void SetIndexTokenList(std::string list, int count);
    // The open index charts' tokens: never added to the index list by the
    // rebuild, and appended by the indices bar after its own.
    void AddChartIndexToken(int token);
    void RemoveChartIndexToken(int token);
    std::string chartIndexTokenList() const;
    int chartIndexTokenCount() const;
    // Sends the 201 (1) or the 203 (2) of the current lists now, while a
    // feed with a slot runs.
    void UpdateTokensThread(int which);

    // Wiring: securities subscribed without a window (trailing stop-loss
    // orders, advisory calls, alerts), and where the 201/203 requests go.
    void setExtraSecurities(std::function<std::vector<int>()> source);
    void setSubscriptionRequest(std::function<void(int which)> request);

    // The snapshot the feed side reads; cheap when nothing changed.
    std::shared_ptr<const FeedFanOut> fanOut() const;
    // Bumped by every change of the tables.
    uint64_t version() const { return m_version.load(std::memory_order_acquire); }

    // Tests: an empty table of the start-up capacity.
    void reset();

private:
    int updateWatchTokenLocked(short action, int security, int slot, short keep);
    void addWindowRefLocked(int entry, short action, int slot);
    void changed();
    std::shared_ptr<const FeedFanOut> buildFanOut() const;

    mutable std::mutex m_mutex;
    std::vector<OpenWindowEntry> m_windows = std::vector<OpenWindowEntry>(kInitialWindowCapacity); // guarded by m_mutex
    int m_windowCount = 0;                          // guarded by m_mutex
    std::vector<TokenSubscriptionEntry> m_tokens;   // guarded by m_mutex; [0, m_tokenCount) live
    int m_tokenCount = 0;                           // guarded by m_mutex
    // Within [0, m_tokenCount): the entry of each security (a security has at
    // most one) and the entries not in use, so a subscription of n securities
    // costs n look-ups instead of n scans of the table.
    std::unordered_map<int, int> m_entryOfSecurity; // guarded by m_mutex
    std::set<int> m_freeEntries;                    // guarded by m_mutex
    std::vector<DepthSubscriptionEntry> m_depth;    // guarded by m_mutex; [0, m_depthCount) live
    int m_depthCount = 0;                           // guarded by m_mutex
    std::string m_feedTokenList;                    // guarded by m_mutex
    int m_feedTokenCount = 0;                       // guarded by m_mutex
    std::string m_indexTokenList;                   // guarded by m_mutex
    int m_indexTokenCount = 0;                      // guarded by m_mutex
    std::string m_chartIndexTokenList;              // guarded by m_mutex
    int m_chartIndexTokenCount = 0;                 // guarded by m_mutex
    std::string m_depthTokenList;                   // guarded by m_mutex
    int m_depthTokenCount = 0;                      // guarded by m_mutex
    std::function<std::vector<int>()> m_extraSecurities; // guarded by m_mutex
    std::function<void(int)> m_request;                  // guarded by m_mutex
    mutable std::shared_ptr<const FeedFanOut> m_fanOut;  // guarded by m_mutex; null when stale
    std::atomic<uint64_t> m_version{1};
};

// The global table's operations under their own names.
int getClientDlg();
int UpdateWatchToken(short action, int security, int slot, short keep);
void AddWindowRef(int entry, short action, int slot);
int RemoveWatchInfoDlgRef(int slot);
void UpdateMdepthToken(short action, int security);
void Update_Feeds_Token();
void Update_MDepth_Token(int send);
void UpdateTokensThread(int which);

// "%05d%s": the text's length in five digits, then the text. Empty when the
// text is longer than five digits can say (it is then not sent).
std::string SubscriptionFrame(const std::string& text);
