#include "InformationDesk.h"

#include <algorithm>
#include <cstdio>
#include <stdexcept>

namespace tb {
namespace {

std::string rupees(int64_t paise)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, "%lld.%02lld", static_cast<long long>(paise / 100),
                  static_cast<long long>(paise % 100));
    return buf;
}

std::string joined(const std::vector<std::string>& fields, char sep)
{
    std::string out;
    for (size_t i = 0; i < fields.size(); ++i)
        out += (i ? std::string(1, sep) : std::string()) + fields[i];
    return out;
}

} // namespace

InformationDesk::InformationDesk(const Universe& universe) : m_universe(universe)
{
    for (const Security& s : m_universe.securities()) {
        if (!m_advisory && s.exchange == "NN" && s.inst == "EQ" && s.scripCode > 0 && !s.symbol.empty())
            m_advisory = &s;
        if (!m_option && s.exchange == "NN" && (s.inst == "OI" || s.inst == "OS"))
            m_option = &s;
    }
}

// A small universe (the unit tests' own) may lack either security: the desk
// then sends no broadcasts, and asking for the security is a test's mistake.
const Security& InformationDesk::advisorySecurity() const
{
    if (!m_advisory)
        throw std::runtime_error("the universe has no NSE equity for the advisory call");
    return *m_advisory;
}

const Security& InformationDesk::optionSecurity() const
{
    if (!m_option)
        throw std::runtime_error("the universe has no NSE option for the options advice");
    return *m_option;
}

std::string InformationDesk::derivaneAdvice(bool report, int status) const
{
    if (!m_option)
        return {};
    const Security& s = *m_option;
    return "141|" + std::string(report ? "D" : "") + "|Options advice: " + s.symbol + " " + s.option + "|"
           + std::to_string(status) + "|" + std::to_string(s.token) + "|" + s.exchange;
}

std::string InformationDesk::advisoryCall(int callId, bool closed, bool buy, int fieldCount) const
{
    if (!m_advisory)
        return {};
    const Security& s = *m_advisory;
    std::vector<std::string> f(29);
    f[0] = "MP";
    f[1] = buy ? "B" : "S";
    f[2] = std::to_string(s.scripCode);
    f[3] = s.exchange;
    f[4] = buy ? "BUY" : "SELL";
    f[5] = closed ? "Nifty Morrowpick call " + std::to_string(callId) + " on " + s.symbol + " closed"
                  : std::string(buy ? "Buy " : "Sell ") + s.symbol + " at " + rupees(s.price);
    f[12] = closed ? "Closed" : "Open";
    f[13] = std::to_string(callId);
    f[19] = s.symbol;
    const int64_t step = s.price / 20;
    f[25] = rupees(buy ? s.price + step : s.price - step);
    f[26] = rupees(buy ? s.price - step : s.price + step);
    f[27] = rupees(s.price);
    f[28] = "";
    if (fieldCount > 0 && fieldCount < 29)
        f.resize(static_cast<size_t>(fieldCount));
    return "145|" + joined(f, '|');
}

std::string InformationDesk::dayEventText(int productId)
{
    return "Day event " + std::to_string(productId) + ": zero brokerage on intraday orders placed today";
}

std::string InformationDesk::dayEvent(int productId, int state, char show, char accept, const std::string& name) const
{
    std::vector<std::string> f(13);
    f[0] = "DE";
    f[1] = std::to_string(state);
    f[2] = std::to_string(productId);
    f[8] = name;
    f[9] = dayEventText(productId);
    f[10] = std::string(1, show);
    f[11] = termsLink();
    f[12] = std::string(1, accept);
    return "155|" + joined(f, '|');
}

std::string InformationDesk::refRates() const
{
    std::vector<std::string> rows;
    for (const Security& s : m_universe.securities())
        if (s.exchange == "CN" && s.inst == "FC" && rows.size() < 4)
            rows.push_back(std::to_string(s.wtoken) + "|" + std::to_string(s.price * 100 + 25));
    return "160|160|" + std::to_string(rows.size()) + "~" + joined(rows, ',');
}

void InformationDesk::setTermsLink(std::string link)
{
    std::lock_guard lock(m_mutex);
    m_termsLink = std::move(link);
}

std::string InformationDesk::termsLink() const
{
    std::lock_guard lock(m_mutex);
    return m_termsLink;
}

std::string InformationDesk::accept(const RequestText& r)
{
    const std::string id = r.fields.size() > 7 ? r.fields[7] : std::string();
    std::lock_guard lock(m_mutex);
    if (m_refuse)
        return std::string("1013|1|") + kRefuseText;
    try {
        m_accepted.push_back(std::stoi(id));
    } catch (...) {
        return "1013|1|Invalid product id";
    }
    return std::string("1013|0|") + kAcceptText;
}

void InformationDesk::refuseAccepts(bool on)
{
    std::lock_guard lock(m_mutex);
    m_refuse = on;
}

std::vector<int> InformationDesk::acceptedIds() const
{
    std::lock_guard lock(m_mutex);
    return m_accepted;
}

std::vector<std::string> InformationDesk::demoMessages(int64_t tick) const
{
    std::vector<std::string> out;
    if (tick == kDemoOpenTick)
        out = {advisoryCall(kDemoCallId, false), dayEvent(kDemoProductId)};
    else if (tick == kDemoCloseTick)
        out = {advisoryCall(kDemoCallId, true)};
    out.erase(std::remove(out.begin(), out.end(), std::string()), out.end());
    return out;
}

} // namespace tb
