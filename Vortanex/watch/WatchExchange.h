#pragma once
// Runs one server exchange of a market-watch command or dialog on a worker
// thread. The window that asked is disabled and shows the busy cursor while
// the UI thread goes on handling events, so nothing freezes while the network
// works and nothing can be pressed twice. UI thread.
#include <functional>
#include <string>

class QWidget;

// Returns when `work` has finished on its worker.
void RunWatchExchange(QWidget* busy, const std::function<void()>& work);

class ServerAccess;
// The server the market watch's commands and dialogs talk to: the one tests
// install in CVortanexView::services(), else the program's request function.
ServerAccess& WatchServerAccess();
// A line on the message bar's general list.
void WatchUserMessage(const std::string& text);
