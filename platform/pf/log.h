#pragma once
// The layer's own log lines go to whatever sink the program installs (the
// terminal routes them into WriteLog). The layer never depends on the program.
#include <functional>
#include <string_view>

namespace pf {

using LogSink = std::function<void(int level, std::string_view text)>;

// Installs the sink; an empty function drops every line. Thread-safe.
void setLogSink(LogSink sink);

// Writes one line through the sink; any thread.
void logLine(int level, std::string_view text);

} // namespace pf
