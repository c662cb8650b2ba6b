#pragma once
// The time of the user's last action, which the main frame's timer compares
// with the lock and logout limits, and the refusal every command gives while
// the terminal is locked. Any thread.
#include <cstdint>
#include <string>
#include <string_view>

// Stores now (pf::clock(), epoch seconds) as the last activity time and
// returns it.
int64_t SetAccessTime();
int64_t GetAccessTime();

// Set while the unlock dialog of a locked terminal is up.
bool IsTerminalLocked();
void SetTerminalLocked(bool locked);

// "Terminal is Locked. Pls Unlock to " followed by the action, which carries
// its own full stop ("Place Order.").
std::string TerminalLockedText(std::string_view action);

// The refusal of a command: while the terminal is locked, shows the product's
// OK box with TerminalLockedText(action) and returns true; the command then
// does nothing else (and does not stamp the activity time).
bool RefuseWhileLocked(std::string_view action);
