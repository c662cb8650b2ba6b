#pragma once
// The only ways to open the order form from outside it: from the market
// watch, the depth window, the books, the positions and the research-call
// popup. Both refuse while the terminal is locked and open the form under
// the order-form lock, on the UI thread (a call from another thread is
// handed over to it).
#include "frame/OrderFormService.h"

#include <functional>
#include <string>
#include <vector>

class QWidget;

void OpenOrderForm(const OrderFormParams& params, QWidget* parent, int formType);

// A research call's fields (at least 27): field 2 the numeric scrip code,
// field 4 "BUY" or "SELL", field 19 the symbol. Opens a new-order form of
// trailing stop-loss kind 5 for the call's security.
void ShowMorrowpickOrderForm(QWidget* parent, const std::vector<std::string>& fields);

// The security look-up by scrip code within the bucket of a letter (-1 when
// not found), installed by the security table; without one nothing is found.
using ScripCodeLookup = std::function<int(int scripCode, char letter)>;
void SetScripCodeLookup(ScripCodeLookup lookup);
