#pragma once
// How the index view and the indices bar show an index, and the indices bar's
// file: pure functions over IndexRecord values, Qt-free.
#include "server/MarketLookups.h"

#include <array>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// --- index view ---
// "NSE", "BSE", "NSE-FX", "BSE-CDX", "MCX-SX" (CM), "MCX-CM" (MC); empty otherwise.
std::string IndexExchangeName(std::string_view code);
// A value kept in hundredths: "/100 unless 0", four decimals for CN, CB and CM.
std::string IndexValueText(double hundredths, std::string_view exchangeCode);
// The row's highlight by the % change thresholds of the settings (0 = off),
// compared with the stored value as the market watch does: 0 none, 1 upper,
// 2 lower (the lower test runs second and wins).
int IndexHighlight(double storedPercent, double upperThreshold, double lowerThreshold);
// Column 2's data icon from the direction code of the net change.
int IndexDirectionIcon(short netChangeTick);

// --- indices bar ---
bool IsCurrencyPairName(std::string_view name);
// The button's text: compact (bar 34 px high or less) on one line, else three.
std::string IndexButtonText(const IndexRecord& index, bool compact);
// The image after a new value: 252 unchanged, 253 down, 254 up.
int IndexButtonImage(double previous, double value);

// --- the indices file "Data/Indices_<user>.dat" ---
std::filesystem::path IndicesFilePath(const std::filesystem::path& dataFolder, std::string_view userId);
// "id~" for each button 1-4 in order whose broadcast id is above 0.
std::string IndicesLine(const std::array<int, 4>& broadcastIds);
// The entries of a stored line (any non-empty line; empty entries are skipped).
std::vector<int> ReadIndicesLine(std::string_view line);

// The four indices of the bar from the stored entries: an entry names an
// index by its broadcast id, or (older files) by the watch token of the
// index's feed security. Missing or unknown places take a default index (the
// default watch tokens, then the first indices of the table) and ask for the
// file to be rewritten.
struct BarChoice {
    std::array<int, 4> indexNumbers{-1, -1, -1, -1};
    bool rewrite = false;
    std::vector<std::string> notFound; // log lines
};
// feedWatchTokens[i]: the watch token of index i's feed security, 0 when none.
BarChoice ChooseBarIndices(const std::vector<IndexRecord>& indices, const std::vector<int>& feedWatchTokens,
                           const std::optional<std::vector<int>>& entries);
constexpr std::array<int, 4> kDefaultIndexTokens = {11721, 11717, 11699, 11729};
