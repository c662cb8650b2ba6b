#pragma once
// A logged-in session against the test broker for order entry: the broker's
// securities as the master, one active client, the order marks, the order
// form installed and the message bar recorded.
#include "testkit/headless.h"

#include "OrderDesk.h"
#include "TestBroker.h"
#include "orders/ClientOrderStore.h"
#include "frame/OrderFormLinks.h"

#include <memory>
#include <mutex>
#include <string>
#include <vector>

class CDlgOrderFormExp;

namespace ordertest {

// An order book that is open on every client and records its notes.
class OpenBook final : public OrderBookLink {
public:
    bool isOpen() const override { return true; }
    void storeChanged(int code, int index, const std::string&) override
    {
        std::lock_guard lock(mutex);
        notes.emplace_back(code, index);
    }
    std::mutex mutex;
    std::vector<std::pair<int, int>> notes; // guarded by mutex
};

struct BarLine {
    int kind = 0;
    char side = ' ';
    std::string text;
};

class OrderFixture : public testkit::Headless {
protected:
    void SetUp() override;
    void TearDown() override;

    // The first security of the master with this exchange and instrument type.
    int findSecurity(const std::string& exchange, const std::string& inst) const;
    // Opens the form through OpenOrderForm and returns it (null when refused).
    CDlgOrderFormExp* open(int mode, int index, char side, double price = 0);
    // Waits until the order in flight has come back.
    bool waitIdle(CDlgOrderFormExp* form);
    std::vector<BarLine> barLines() const;
    bool barHas(const std::string& part) const;
    std::vector<tb::RecordedRequest> orderRequests() const;
    bool boxShown(const std::string& text) const;

    std::unique_ptr<tb::TestBroker> broker;
    OpenBook book;
    mutable std::mutex barMutex;
    std::vector<BarLine> bar; // guarded by barMutex
};

// The order forms' outside pages, recorded instead of opened.
class RecordingLinks final : public OrderFormLinks {
public:
    void openInBrowser(const std::string& address) override { opened.push_back(address); }
    std::vector<std::string> opened;
};

// Installs `links` for the order forms and a web-links table holding the
// "Estimated Charges" page (104) on the redirect host http://127.0.0.1:9.
void InstallChargesLink(RecordingLinks& links);

} // namespace ordertest
