#pragma once
// The windows the order form and the depth window reach by their keys and
// buttons that order entry does not own: the books, the margin query, the
// scrip search and the desktop browser. Each defaults to a log line until the
// start-up installs the application's links.
#include <string>

class OrderFormLinks {
public:
    virtual ~OrderFormLinks() = default;
    // Shift+F3 / Shift+F8: the book filtered to the security (-1 none).
    virtual void openOrderBook(int securityIndex);
    virtual void openTradeBook(int securityIndex);
    // F7.
    virtual void openTsloBook();
    // The margin button and Ctrl+Shift+M.
    virtual void calculateMargin();
    // The "..." button: runs the scrip search, which hands its choice back
    // through CDlgOrderFormExp::ReturnMessage.
    virtual void searchScrip();
    // Opens a web address in the desktop browser ("Estimated Charges").
    virtual void openInBrowser(const std::string& address);
};

// nullptr restores the logging defaults. The links must outlive their installation.
void SetOrderFormLinks(OrderFormLinks* links);
OrderFormLinks& CurrentOrderFormLinks();
