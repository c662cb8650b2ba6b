#pragma once
// The order side of the buy and sell commands of the windows that list
// securities (the menu items, '+'/F1 and '-'/F2 on a row of the market watch,
// the depth window, the alert popup, the market dialog's security menu): the
// window calls these with its row's security and its list, and they open the
// order form through OpenOrderForm. Also the quote snapshot that fetches the
// companion security's prices first.
#include <QtCore/qnamespace.h>

#include <functional>
#include <string>

class QWidget;

// What the command needs of the watch list the row belongs to.
struct WatchOrderSource {
    int securityIndex = -1; // -1: no current row (an empty form opens)
    int listType = 0;       // the watch list's type (8 options list, 9 stop-loss product list)
    int listId = 0;         // the watch list's id (-974 .. -971 the built-in product lists)
};

// OnPopupBuy / OnPopupSell: side 'B' or 'S'. Refuses without an activated
// client ("Please Activate a Client", caption "Input Error") and does nothing
// while trading is off. UI thread.
void OpenOrderFromWatch(const WatchOrderSource& source, char side, QWidget* view);

// The buy and sell keys of a security list: 'B' for numeric '+', F1 and '=',
// 'S' for numeric '-', F2 and '-', else 0. Shifted keys are not theirs.
char OrderKeySide(int qtKey, Qt::KeyboardModifiers modifiers);

// Trading allowed for the session (false for a view-only user); the watch's
// keys are swallowed either way. Start-up sets it.
void SetTradingAllowed(bool allowed);
bool TradingAllowed();

// One snapshot of bid, ask and last price for a security from the server
// (transaction 7001, always plain), written into its quote. Blocks the caller:
// a worker's call only.
void SetFeedData(int securityIndex);

// SetFeedData on a worker while `view` shows busy (disabled, busy cursor);
// then, on the UI thread, `then` runs if the view is still there. UI thread.
void FetchQuoteThen(int securityIndex, QWidget* view, std::function<void()> then);

// The reply's use, for tests: "<x>*<f0>,<bid>,<f2>,<ask>,<f4>,<ltp>[,...]";
// false (nothing to store) when the reply has no second '*' item or it has
// fewer than six comma fields.
bool ParseQuoteSnapshot(const std::string& reply, double& bid, double& ask, double& ltp);
