#pragma once
// The default market-watch column layout and its file "Data/watch_<user>.dat":
// 96 bytes, 24 little-endian int32: the number of value columns shown, then
// the 23 column kinds in display order.
#include "pf/paths.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

struct WatchColumnLayout {
    int32_t count = 11;                // value columns shown, 0..23
    std::array<int32_t, 23> kinds{};   // ColumnKind ids 0..22 in display order
};

constexpr size_t kWatchColumnFileSize = 96;

// 11 columns: Bid Prc, Bid Qty, Ask Prc, Ask Qty, Last Prc, % Change, Wt. Avg,
// High Prc, Low Prc, Close, Open, then the other kinds in id order.
WatchColumnLayout DefaultWatchColumns();

std::filesystem::path WatchColumnsFile(const pf::Paths& paths, std::string_view userId);

// Writes the layout (a temporary file renamed over the old one) and logs it.
// A file that cannot be written is skipped.
void SaveWatchColumns(const pf::Paths& paths, std::string_view userId, const WatchColumnLayout& layout);

// The stored layout; empty when the file is missing, not 96 bytes, or holds a
// count outside 0..23 or a kind outside 0..22.
std::optional<WatchColumnLayout> ReadWatchColumns(const pf::Paths& paths, std::string_view userId);

// Start-up: the stored layout, or the default, which is then written at once.
WatchColumnLayout LoadWatchColumns(const pf::Paths& paths, std::string_view userId);
