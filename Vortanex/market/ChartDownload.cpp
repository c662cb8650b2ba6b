#include "market/ChartDownload.h"

#include "market/ChartSeries.h"
#include "server/FileDownloads.h"
#include "server/RequestServer.h"

#include "app/base/ConfigFile.h"
#include "app/base/FixedText.h"
#include "app/base/LogWriter.h"

#include "pf/files.h"
#include "pf/lzo.h"

#include <algorithm>
#include <system_error>

ChartDataRequest MakeChartDataRequest(int kind, int token, const std::string& securityHost,
                                      const std::string& tradeHost)
{
    ChartDataRequest r;
    r.token = token;
    r.kind = kind;
    r.port = 80;
    if (kind == kChartEod) {
        r.host = securityHost;
        r.path = "/charts/" + std::to_string(token) + ".lzo";
    } else {
        r.host = tradeHost;
        r.path = "/qtrade/feeds.exe";
        r.query = "ctoken=" + std::to_string(token) + (kind == kChartIndex ? "|1" : "|0");
    }
    return r;
}

ChartDataRequest MakeCompareRequest(int kind, int token, const std::string& securityHost,
                                    const std::string& tradeHost)
{
    return MakeChartDataRequest(kind == kChartEod ? kChartEod : kChartIntraday, token, securityHost, tradeHost);
}

std::string ChartSecurityHost()
{
    return DownloadHost();
}

std::string ChartTradeHost()
{
    return std::string(FixedTextView(g_Config.Trade_Host));
}

bool UnpackChartBody(const std::string& packed, std::string& out, int* libraryCode)
{
    out.clear();
    if (packed.empty())
        return false;
    const size_t room = std::min<size_t>(packed.size() * 100, kChartTextLimit);
    std::vector<unsigned char> unpacked;
    if (!pf::lzo::inflate(reinterpret_cast<const unsigned char*>(packed.data()), packed.size(), unpacked, room,
                          libraryCode))
        return false;
    out.assign(reinterpret_cast<const char*>(unpacked.data()), unpacked.size());
    return true;
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
