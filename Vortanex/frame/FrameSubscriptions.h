#pragma once
// The frame's side of the token subscription: the subscription thread that
// sends the 201 and 203 texts through the feed connection, the slot a feed
// window holds while it is open, and the price alerts' securities that are
// subscribed without a window.
#include <array>
#include <memory>
#include <string>
#include <vector>

// The feed's window interface (server/FeedSubscriptions.h). Not included here:
// that header has a member named like a Qt keyword, so Qt sources that use
// this one stay away from it.
class FeedWindow;

// Where a subscription text goes: the feed connection sends it on its socket
// ("%05d%s") or, without a socket, as the body of the HTTP subscription
// request. Given the bare text; true when it was sent.
class SubscriptionSender {
public:
    virtual ~SubscriptionSender() = default;
    virtual bool sendSubscription(int which, const std::string& text) = 0;
};

// The subscription thread's body: which 1 sends the feeds subscription (201),
// 2 the depth subscription (203); only while the feed runs. The text is built
// once from a copy of the lists, so a rebuild meanwhile cannot tear it.
// Returns 0, or -1 when nothing was sent.
int UpdateTokensThreadX(int which, SubscriptionSender& sender);

// Routes the table's subscription requests to UpdateTokensThreadX on a worker
// thread (inline when asked, for tests). The sender must outlive the
// installation; nullptr uninstalls.
void InstallSubscriptionRequests(SubscriptionSender* sender, bool inlineForTests = false);

// The price alerts as the subscription needs them (the alerts' own store,
// subsystem 5): the security index of every stored alert, and the modal
// price-alert popup.
class AlertServices {
public:
    virtual ~AlertServices() = default;
    virtual std::vector<int> alertSecurities() const = 0;
    virtual void showAlertPopUp(int kind, const std::array<std::string, 3>& texts) = 0;
};
void SetAlertServices(std::shared_ptr<AlertServices> services);
std::shared_ptr<AlertServices> CurrentAlertServices();

// The securities of the stored alerts, alerts without a security left out;
// the subscription's rebuild takes them as securities without a window.
std::vector<int> AlertTokenSecurities();
// Subscribes each of them without a window (UpdateWatchToken add, slot -1).
// Returns how many were added.
int AddAlertTokens();

// A feed window's slot of the open-window table, held while the window is
// open: taken with its window, type and index, freed (its securities
// unlinked) when released or destroyed. The subscription is rebuilt both times.
class FeedWindowSlot {
public:
    FeedWindowSlot(std::shared_ptr<FeedWindow> window, int type, int index);
    ~FeedWindowSlot();
    FeedWindowSlot(const FeedWindowSlot&) = delete;
    FeedWindowSlot& operator=(const FeedWindowSlot&) = delete;

    int slot() const { return m_slot; }
    void release();

private:
    int m_slot = -1;
    int m_type = 0;
};
