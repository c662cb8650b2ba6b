#pragma once
// The books in the running program: the trade book's command (32878, F8),
// the market watch's book opener (order book 1, trade book 2), the trade
// book's share of the settings broadcast, and the basket form behind
// BasketService with the frame's basket commands. UI thread.
class CMainFrame;

// After the order-entry links and the settings broadcast's other windows are set.
void InstallBooks(CMainFrame& frame);
// At exit, before the order-entry links and the client table go.
void UninstallBooks();
// Before a full security download: the trade book closes, an idle basket
// form and conversion form go (they hold the old table's security indices).
void CloseBooksForSecurityDownload();
