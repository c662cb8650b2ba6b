#pragma once
// Fetching chart history from the broker: the hosts a chart asks, and the
// download of a request through the program's file download (with the day
// cache of end-of-day charts). Runs on a worker, never on the UI thread.
#include "market/ChartDownload.h"

#include <filesystem>
#include <string>

// The hosts from the configuration.
std::string ChartSecurityHost();
std::string ChartTradeHost();

// The text of a request. End-of-day charts (useCache) read today's cache file
// in `logs` first; one that does not unpack is deleted and fetched again. A
// download of an end-of-day chart is stored there under a temporary name and
// renamed when whole. Compare downloads pass useCache false.
ChartDownloadResult FetchChartText(const ChartDataRequest& request, const std::filesystem::path& logs,
                                   int year, int month, int day, bool useCache);
