#pragma once
// The frame's side of the token subscription: the slot a feed window holds
// while it is open, and the price alerts' securities that are subscribed
// without a window. The feed connection sends the subscription texts.
#include <array>
#include <memory>
#include <string>
#include <vector>

// The feed's window interface (server/FeedSubscriptions.h). Not included here:
// that header has a member named like a Qt keyword, so Qt sources that use
// this one stay away from it.
class FeedWindow;

// What a price-alert popup shows: the alert's security, name, description,
// the tracked-time text and the alert's key.
struct AlertPopUpTexts {
    int security = -1;
    std::string name;
    std::string description;
    std::string trackedTime;
    std::string key;
};

// The price alerts as the program needs them (the alerts' own store): the
// security index of every stored alert, the price-alert popup, and the
// user's alerts file, loaded at the end of the start-up and written when the
// main frame closes.
class AlertServices {
public:
    virtual ~AlertServices() = default;
    virtual std::vector<int> alertSecurities() const = 0;
    // UI thread: opens the popup (it does not wait for it to close).
    virtual void showAlertPopUp(const AlertPopUpTexts& texts) = 0;
    // Failures are the store's to log; nothing is shown. Stores without a
    // file keep these empty.
    virtual void ReadAlertDataFromFile() {}
    virtual void WriteAlertDataToFile() {}
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
