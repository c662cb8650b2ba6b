#pragma once
// The terminal's one log: a daily file in Logs, written from every thread.
#include <string_view>

// Appends one line "<stamp> - <text>\n" when `level` passes Log_Level and a log
// is open. Any thread; never blocks on the UI thread.
void WriteLog(int level, std::string_view text);
