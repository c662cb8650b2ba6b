#include "market/ChartDownload.h"

#include "market/ChartSeries.h"

#include "pf/lzo.h"

#include <algorithm>
#include <vector>

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
