#pragma once
// A security table of a few hand-made securities for the risk parsers and the
// profit-and-loss math, without the program's master.
#include "positions/RiskReplies.h"

#include <map>
#include <string>
#include <utility>

namespace risktest {

class Securities final : public RiskSecurities {
public:
    // Adds a security under a token and exchange; returns its index.
    int add(int token, const std::string& exchange, RiskSecurityFacts s)
    {
        const int index = static_cast<int>(m_facts.size());
        m_index[{token, exchange}] = index;
        m_facts[index] = std::move(s);
        return index;
    }
    int find(int token, std::string_view exchange) const override
    {
        const auto it = m_index.find({token, std::string(exchange)});
        return it == m_index.end() ? -1 : it->second;
    }
    RiskSecurityFacts facts(int index) const override
    {
        const auto it = m_facts.find(index);
        return it == m_facts.end() ? RiskSecurityFacts{} : it->second;
    }
    RiskSecurityFacts& at(int index) { return m_facts[index]; }

private:
    std::map<std::pair<int, std::string>, int> m_index;
    std::map<int, RiskSecurityFacts> m_facts;
};

inline RiskSecurityFacts Equity(double lastPaise)
{
    RiskSecurityFacts s;
    s.lot = 1;
    s.last_paise = lastPaise;
    s.series = "EQ";
    return s;
}

} // namespace risktest
