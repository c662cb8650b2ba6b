#pragma once
// The windows a market-watch row opens that other parts of the program own:
// market depth and scrip details (market views), charts (chart view), the
// alert manager (price alerts), the basket form (books and baskets), the
// order and trade books, and the browser window; the market dialog's
// security menu and the books use some of them too. Each part installs its
// opener at start-up; until one is installed the command tells the user
// "<name> is not available in this version." The spreadsheet link's slots
// are the market watch's own: it installs them with its first view. UI
// thread.
#include <functional>
#include <string>
#include <vector>

class CVortanexView;
class QWidget;

struct WatchOpeners {
    // A depth window for the security (the opener keeps the five-window rule
    // and activates one already showing it).
    std::function<void(QWidget* view, int security)> depth;
    // The scrip-details dialog of the security.
    std::function<void(int security)> details;
    // The chart of the security: kind 1 end of day, 2 intraday.
    std::function<void(int security, int kind)> chart;
    // The alert manager for the security.
    std::function<void(int security)> alert;
    // The basket form with the active client's code and up to five legs
    // (security index and price in rupees).
    struct BasketLeg {
        int security = -1;
        double price = 0;
    };
    std::function<void(const std::string& clientCode, const std::vector<BasketLeg>& legs)> basket;
    // The order book (book 1) or trade book (book 2) filtered on a security.
    std::function<void(int book, int security)> book;
    // The program's browser window (address, title).
    std::function<void(const std::string& address, const std::string& title)> browser;
    // The desktop browser for an outside address (the system's by default).
    std::function<bool(const std::string& address)> desktop;
    // The spreadsheet link of a view whose cells are live there: rows added,
    // rows removed (list positions), the list saved.
    std::function<void(CVortanexView* view)> addExcelScripts;
    std::function<void(CVortanexView* view, const std::vector<int>& positions)> deleteExcelRows;
    std::function<void(CVortanexView* view)> saveExcelWatchlist;
    // "Export to Excel" of a view; a tick of a linked view's row (false: the
    // view is not linked any more); a view that switched list or closes.
    std::function<void(CVortanexView* view)> exportToExcel;
    std::function<bool(CVortanexView* view, int position, int security)> excelTick;
    std::function<void(CVortanexView* view)> excelViewGone;
};
WatchOpeners& watchOpeners();

// The message of a command whose window is not there yet.
void TellNotAvailable(const std::string& name);
