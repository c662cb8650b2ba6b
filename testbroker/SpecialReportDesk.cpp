#include "SpecialReportDesk.h"

#include <cstdio>
#include <ctime>

namespace tb {

namespace special_report_desk_detail {
namespace {

const char* const kClients[] = {"Saranya Traders LLP", "Rao, Mehta & Co", "Kestrel Capital Fund",
                                "Vihaan Securities Pvt Ltd", "Northgate Investments"};
const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

std::string money(double v)
{
    char buf[48];
    std::snprintf(buf, sizeof buf, "%.2f", v);
    return buf;
}

// The master's date ("ddmmyyyy") as a UTC day.
std::time_t masterDay(const std::string& ddmmyyyy)
{
    std::tm t{};
    if (ddmmyyyy.size() == 8) {
        t.tm_mday = std::stoi(ddmmyyyy.substr(0, 2));
        t.tm_mon = std::stoi(ddmmyyyy.substr(2, 2)) - 1;
        t.tm_year = std::stoi(ddmmyyyy.substr(4, 4)) - 1900;
    } else {
        t.tm_mday = 1;
        t.tm_year = 126;
    }
    t.tm_hour = 12;
    return timegm(&t);
}

std::string dayText(std::time_t day, bool named)
{
    std::tm t{};
    gmtime_r(&day, &t);
    char buf[32];
    if (named)
        std::snprintf(buf, sizeof buf, "%02d-%s-%04d", t.tm_mday, kMonths[t.tm_mon], t.tm_year + 1900);
    else
        std::snprintf(buf, sizeof buf, "%02d/%02d/%04d", t.tm_mday, t.tm_mon + 1, t.tm_year + 1900);
    return buf;
}

std::string joined(const std::vector<std::string>& records)
{
    std::string out;
    for (size_t i = 0; i < records.size(); ++i)
        out += (i ? "^" : "") + records[i];
    return out;
}

} // namespace
} // namespace special_report_desk_detail

SpecialReportDesk::SpecialReportDesk(const Universe& universe) : m_universe(universe)
{
    m_fii = activityRows(1);
    m_mf = activityRows(2);
}

bool SpecialReportDesk::handles(const RequestText& request)
{
    const std::string code = request.code();
    return request.keyword == "ReportData" && (code == "1000" || code == "1002" || code == "1004");
}

void SpecialReportDesk::refuseNext(const std::string& code, const std::string& text)
{
    std::lock_guard lock(m_mutex);
    m_refusals[code] = text;
}

std::string SpecialReportDesk::reply(const RequestText& request)
{
    const std::string code = request.code();
    {
        std::lock_guard lock(m_mutex);
        const auto it = m_refusals.find(code);
        if (it != m_refusals.end()) {
            const std::string text = it->second;
            m_refusals.erase(it);
            return code + "|1|" + text;
        }
    }
    if (code == "1000")
        return "1000|0|OK~" + special_report_desk_detail::joined(bulkDeals(request.fields.size() > 3 ? request.fields[3] : std::string()));
    if (code == "1002")
        return "1002|0|OK~" + special_report_desk_detail::joined(m_fii);
    if (code == "1004")
        return "1004|0|OK~" + special_report_desk_detail::joined(m_mf);
    return {};
}

std::vector<std::string> SpecialReportDesk::bulkDeals(const std::string& exchange) const
{
    std::vector<std::string> out;
    if (exchange != "NN" && exchange != "BN" && exchange != "CN" && exchange != "CB" && exchange != "CM")
        return out;
    const std::string date = special_report_desk_detail::dayText(special_report_desk_detail::masterDay(m_universe.date()), false);
    size_t n = 0;
    for (const Security& s : m_universe.securities()) {
        if (s.exchange != exchange || s.isIndex())
            continue;
        // Bulk deals on the stock exchanges are deals in shares, not contracts.
        if ((exchange == "NN" || exchange == "BN") && !s.expiry.empty())
            continue;
        const long quantity = 250000 + static_cast<long>(n) * 12500;
        out.push_back(std::to_string(s.token) + "|" + date + "|" + (n % 2 ? "SELL" : "BUY") + "|"
                      + special_report_desk_detail::kClients[n % 5] + "|" + std::to_string(quantity) + "|"
                      + special_report_desk_detail::money(static_cast<double>(s.price) / 100.0));
        if (++n == 6)
            break;
    }
    // A deal in a security the master no longer lists.
    if (exchange == "NN")
        out.push_back(std::to_string(kUnlistedToken) + "|" + date + "|BUY|" + special_report_desk_detail::kClients[4] + "|300000|12.50");
    return out;
}

std::vector<std::string> SpecialReportDesk::activityRows(int salt) const
{
    std::vector<std::string> out;
    std::time_t day = special_report_desk_detail::masterDay(m_universe.date());
    while (out.size() < 8) {
        day -= 24 * 3600;
        std::tm t{};
        gmtime_r(&day, &t);
        if (t.tm_wday == 0 || t.tm_wday == 6)
            continue; // reported on trading days only
        const int k = static_cast<int>(out.size());
        const double purchase = (salt == 1 ? 9200.0 : 4100.0) + ((k * 731 + salt * 97) % 2900) + 0.35 * (k + 1);
        const double sales = (salt == 1 ? 9400.0 : 3900.0) + ((k * 577 + salt * 53) % 3100) + 0.15 * (k + 2);
        const double net = purchase - sales;
        out.push_back(special_report_desk_detail::dayText(day, true) + "|" + (salt == 1 ? "Equity" : (k % 2 ? "Debt" : "Equity")) + "|"
                      + special_report_desk_detail::money(purchase) + "|" + special_report_desk_detail::money(sales) + "|" + special_report_desk_detail::money(net) + "|"
                      + special_report_desk_detail::money(net * 10.0 / 83.2));
    }
    return out;
}

} // namespace tb
