#include "market/ChartFetch.h"

#include "market/ChartSeries.h"
#include "server/FileDownloads.h"
#include "server/RequestServer.h"

#include "app/base/ConfigFile.h"
#include "app/base/FixedText.h"
#include "app/base/LogWriter.h"

#include "pf/files.h"

#include <system_error>

std::string ChartSecurityHost()
{
    return DownloadHost();
}

std::string ChartTradeHost()
{
    return std::string(FixedTextView(g_Config.Trade_Host));
}

ChartDownloadResult FetchChartText(const ChartDataRequest& request, const std::filesystem::path& logs,
                                   int year, int month, int day, bool useCache)
{
    WriteLog(1, "Entry : Thread GetChartDataThread");
    ChartDownloadResult result;
    const bool cached = useCache && request.kind == kChartEod;
    const std::filesystem::path cache = logs / EodCacheFileName(request.token, year, month, day);
    if (cached) {
        if (auto body = pf::files::readAll(cache)) {
            int code = 0;
            if (!body->empty() && UnpackChartBody(*body, result.text, &code)) {
                WriteLog(0, "Chart Data :LZO Ret <" + std::to_string(code) + ">, Len <" +
                                std::to_string(result.text.size()) + ">");
                result.fromCache = true;
                return result;
            }
            // A cache cut short or damaged is never read as a chart: fetch again.
            WriteLog(1, "Unable to Get File Size <" + std::to_string(body->size()) + ">: cache " +
                            cache.filename().string() + " deleted");
            std::error_code ec;
            std::filesystem::remove(cache, ec);
        }
    }
    std::string body;
    long length = 0;
    const int status = DownLoadFile(request.host, request.port, request.path, request.query, body, length);
    result.status = status;
    WriteLog(0, "Http Status :" + std::to_string(status) + ", Len :" + std::to_string(length));
    if (status != 200 || length <= 0 || body.empty()) {
        WriteLog(0, "Error: Http Status :" + std::to_string(status) + ", Len :" + std::to_string(length));
        result.failed = true;
        return result;
    }
    int code = 0;
    if (!UnpackChartBody(body, result.text, &code)) {
        WriteLog(0, "Decompress Error :" + std::to_string(code));
        result.failed = true;
        return result;
    }
    if (cached && !pf::files::writeAtomic(cache, body))
        WriteLog(1, "Chart cache cannot be written: " + cache.string());
    WriteLog(0, "Chart Data :LZO Ret <" + std::to_string(code) + ">, Len <" + std::to_string(result.text.size()) +
                    ">");
    WriteLog(1, "Exit : Thread GetChartDataThread");
    return result;
}
