#pragma once
// How one window folder (watch/, orders/, positions/, market/) opens the
// windows of another: slots that the frame owns and the start-up fills
// (app/*Wiring and the parts it installs), so that no window folder includes
// another's windows. The order form, the basket and conversion forms, the
// market watch's openers and the order form's links have slots of their own
// beside these (OrderFormOpener, PositionServices, WatchOpeners,
// OrderFormLinks). A slot not filled yet opens nothing. UI thread.
#include <functional>
#include <map>

class QPoint;
class QWidget;

// The application's document windows and dialogs by command id: how each
// part brings its window up and opens it, the login's right to the books and
// reports, and the risk window's report kind. The market watch's command
// table (AppWindowCommands) runs them with their rules.
struct AppWindowServices {
    struct Window {
        // Brings the open window up and brings it up to date; false when
        // none is open.
        std::function<bool()> activate;
        // Opens a new window, or runs a modal dialog; true on OK (the
        // settings dialog's OK broadcasts the change).
        std::function<bool()> open;
    };
    std::map<int, Window> windows;    // by command id
    std::function<bool()> viewRights; // the login's right to the books and reports
    // The risk window's report kind (11 limits ... 15 sell from existing).
    std::function<void(int kind)> setRiskKind;
};
AppWindowServices& appWindowServices();

struct WindowOpeners {
    // The report dialog's history of an order of the order store (the order
    // book's "Order History"), and of a trailing order (the trailing book's).
    std::function<void(int storeIndex, QWidget* parent)> orderHistory;
    std::function<void(int recordIndex)> tsloHistory;
    // A market watch of the derivative (kind 2) or future (kind 3) chain of
    // a security.
    std::function<void(int kind, int security)> chain;
    // The scrip search, run modally at a point in global pixels: mode 2
    // hands the chosen security of a basket leg (1..5) back to onChosen. The
    // search installs it when it is linked into the program.
    std::function<void(int mode, std::function<void(int leg, int security)> onChosen, int leg, QWidget* parent,
                       const QPoint& at)>
        scripSearch;
};
WindowOpeners& windowOpeners();

// The history slots by their own names, installed by the report dialog;
// until then the books' "Order &History" says it is not available.
using OrderHistoryOpener = std::function<void(int storeIndex, QWidget* parent)>;
void SetOrderHistoryOpener(OrderHistoryOpener opener);
using TsloHistoryOpener = std::function<void(int recordIndex)>;
void SetTsloHistoryOpener(TsloHistoryOpener opener);
