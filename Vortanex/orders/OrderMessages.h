#pragma once
// The message bar as order entry and the order store reach it: one line on a
// list (1 Trading, 3 General) with a side mark ('+', '-' or ' '). Any thread.
// The frame installs its own sink when it is up; tests install a recorder.
#include <functional>
#include <string>

using OrderMessageSink = std::function<void(int kind, char side, const std::string& text)>;

// An empty sink drops the lines (after logging them).
void SetOrderMessageSink(OrderMessageSink sink);
void OrderUserMessage(int kind, char side, const std::string& text);
