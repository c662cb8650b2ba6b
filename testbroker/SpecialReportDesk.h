#pragma once
// The broker's special reports on "/qtrade/qnews.exe" ("ReportData="): bulk
// deals of an exchange (1000), the FII activity (1002) and the MF activity
// (1004), answered from the broker's own records: a few deals in listed
// securities of each exchange (NN, BN, CN, CB, CM) plus one in a token the
// master does not list, and eight reporting days of each activity before the
// master's date. Replies: "<code>|0|OK~" then '^' records; a refusal keeps
// the header only, with status 1 and its text.
#include "RequestDecoder.h"
#include "Universe.h"

#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace tb {

class SpecialReportDesk {
public:
    // The token of the deal that names no listed security.
    static constexpr int kUnlistedToken = 9999991;

    explicit SpecialReportDesk(const Universe& universe);

    // True for the codes this desk answers.
    static bool handles(const RequestText& request);
    std::string reply(const RequestText& request);

    // The next request of this code ("1000", "1002" or "1004") is refused:
    // the header's status is 1 and its third field the text.
    void refuseNext(const std::string& code, const std::string& text);

    // The records as sent: "token|date|BUY or SELL|client|quantity|price" for
    // an exchange code (none for another code), and the six fields of an
    // activity day "date|type|gross purchase|gross sales|net (Rs. Cr)|net (USD mn)".
    std::vector<std::string> bulkDeals(const std::string& exchange) const;
    std::vector<std::string> fiiRows() const { return m_fii; }
    std::vector<std::string> mfRows() const { return m_mf; }

private:
    std::vector<std::string> activityRows(int salt) const;

    const Universe& m_universe;
    std::vector<std::string> m_fii;
    std::vector<std::string> m_mf;
    mutable std::mutex m_mutex;
    std::map<std::string, std::string> m_refusals; // guarded by m_mutex; by code
};

} // namespace tb
