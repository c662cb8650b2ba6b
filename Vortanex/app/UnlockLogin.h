#pragma once
// The login dialog in its unlock mode, which the main frame's terminal lock
// shows while the terminal is locked, and the unlock request it sends.
#include <string_view>

class ExchangeCancel;
class LoginHost;
class TerminalLock;

namespace pf {
class Shell;
}
namespace ui {
class Form;
}

// A new unlock dialog for the lock (the lock owns it). UI thread.
ui::Form* MakeUnlockDialog(pf::Shell& shell, LoginHost* host, TerminalLock& lock);

// The unlock request (code 1006): 1 accepted, 0 refused by the server (a
// wrong attempt, counted), -1 anything else, not counted: a network failure
// or an unreadable reply (its box shown), a reply of one field or an
// exchange cancelled through `cancel` (no message). Any thread; its boxes are
// shown on the UI thread.
int UnlockTerminal(std::string_view id, std::string_view digest, std::string_view token,
                   ExchangeCancel* cancel = nullptr);
