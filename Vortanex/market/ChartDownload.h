#pragma once
// The chart history downloads: what a chart view asks for (a request held by
// value on the worker that serves it), what came back and the bounded
// unpacking. Qt-free; the fetch itself is in ChartFetch.h.
#include <cstdint>
#include <filesystem>
#include <string>

// Unpacked chart texts are capped at this size whatever the packed size.
inline constexpr size_t kChartTextLimit = 64u * 1024 * 1024;

struct ChartDataRequest {
    int token = 0;   // the security's watch token, or the index broadcast id
    int kind = 0;    // ChartKind
    std::string host;
    int port = 80;
    std::string path;
    std::string query;
    // The requesting view: its slot and its generation, so that a reply for
    // a closed view, or for a window that took the slot since, is dropped.
    int slot = -1;
    uint64_t generation = 0;
};

// The request of a chart kind (1 end of day, 2 intraday, 3 index) on the
// security host (end of day) or the trade host.
ChartDataRequest MakeChartDataRequest(int kind, int token, const std::string& securityHost,
                                      const std::string& tradeHost);
// The compare download of a security for a chart of this kind.
ChartDataRequest MakeCompareRequest(int kind, int token, const std::string& securityHost,
                                    const std::string& tradeHost);
struct ChartDownloadResult {
    std::string text;     // the unpacked chart text; empty when nothing came
    int status = 0;       // HTTP status of the download, 0 when served from the cache
    bool fromCache = false;
    bool failed = false;  // the download failed or came cut short: the chart could not be loaded
};

// Unpacks an LZO1X body into at most min(100 x its size, kChartTextLimit)
// bytes; false (and out empty) on any error.
bool UnpackChartBody(const std::string& packed, std::string& out, int* libraryCode = nullptr);
