#pragma once
// A depth window as the feed sees it. The depth handler reads field 0 of each
// record on its own thread, drops records of other tokens and keeps only the
// latest for the window's 100 ms timer, which applies it on the UI thread.
// Kept Qt-free (and out of the window's header) like the watch's feed side.
#include "server/FeedSubscriptions.h"
#include "ui/tick_box.h"

#include <atomic>
#include <string>

class DepthFeed final : public FeedWindow {
public:
    bool isClosing() const override { return m_closing.load(std::memory_order_acquire); }
    void depthUpdated(const std::string& text, bool currency) override;

    // UI thread: the second token of the security shown; records of any other
    // token are dropped from now on (and one already kept is discarded).
    void setToken(int secondToken);
    int token() const { return m_token.load(std::memory_order_acquire); }
    void setClosing();

    // The latest record of the window's token, keyed by that token.
    ui::TickBox<int, std::string>& records() { return m_records; }

private:
    std::atomic<bool> m_closing{false};
    std::atomic<int> m_token{0};
    ui::TickBox<int, std::string> m_records;
};

// The open-window table as the depth windows and their opener use it.
namespace DepthFeedLink {
// Takes a slot for a depth window showing the security; -1 when none.
int takeSlot(const std::shared_ptr<DepthFeed>& feed, int security);
// The window switched security (ReturnMessage).
void setSecurity(int slot, const std::shared_ptr<DepthFeed>& feed, int security);
// OnCancel: the security leaves the depth table, the slot is freed and the
// depth list rebuilt without sending; the quote list follows.
void release(int slot, int security);
// Update_MDepth_Token(1), and the quote list with the window's security.
void sendDepthTokens();
} // namespace DepthFeedLink

// The rule every opener of a depth window follows: at most five open; a
// security already shown brings its window forward.
struct DepthOpenDecision {
    enum Kind { Open, BringForward, Refuse };
    Kind kind = Open;
    int slot = -1; // BringForward: the slot of the window showing the security
};
constexpr int kMaxDepthWindows = 5;
DepthOpenDecision DecideDepthOpen(int security);
