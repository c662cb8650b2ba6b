#pragma once
// Order confirmations from the live feed (message 130) into the active
// client's order store. The feed's consumer calls ApplyOrderConfirmation with
// the raw payload; the store is updated only while the order book is open,
// not downloading, and shows that client or all clients.
#include "orders/OrderInfo.h"

#include <string>
#include <string_view>

// Reads a 130 payload ('|'-separated, fields trimmed) into the confirmation
// record the store's update takes: order number, the event's quantity (in the
// open-quantity field), status (field 13), price and trigger in rupees, time
// and the exchange order number. False when the kind is not one the store
// knows, the order number is missing or the quantity is not a 32-bit number.
bool ReadConfirmationRecord(std::string_view payload, int& kind, std::string& clientCode, OrderInfo& record);

// True when the book's rules let the confirmation through: it updated the
// store, or, when its order is not stored yet (the feed overtook the order's
// own reply), it waits for the order's arrival in the store.
bool ApplyOrderConfirmation(const std::string& clientCode, std::string_view payload);

// The order book calls this when an order was appended to the store: the
// confirmations that came before it are applied now, in arrival order.
void ApplyPendingConfirmations(double orderNo);
// A new download or a closed book makes waiting confirmations stale.
void ClearPendingConfirmations();
