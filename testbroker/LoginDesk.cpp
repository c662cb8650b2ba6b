// The session desk ("/qtrade/qlogin.exe" "LoginData=", "/qtrade/qphone.exe"
// "ReportData="): the users, the login reply and its scripted statuses and
// fields, logout, password changes and unlock, the security key and access
// code, the web links, and the forgotten-password and one-time-password steps.
#include "TestBroker.h"

#include "BrokerText.h"
#include "RequestDecoder.h"

#include <openssl/evp.h>

#include <cstdio>
#include <tuple>

namespace tb {

void TestBroker::addUser(const std::string& id, const std::string& password, const std::string& name,
                         const std::string& clientCode, char userType)
{
    std::lock_guard lock(m_mutex);
    m_users[id] = User{password, name, clientCode, userType};
}

void TestBroker::scriptLogin(int status, const std::string& message)
{
    std::lock_guard lock(m_mutex);
    m_loginScript.emplace_back(status, message);
}

void TestBroker::setLoginField(int field, const std::string& value, bool clear)
{
    std::lock_guard lock(m_mutex);
    if (clear)
        m_loginFields.erase(field);
    else
        m_loginFields[field] = value;
}

std::string TestBroker::md5Base64(const std::string& text) const
{
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int len = 0;
    EVP_Digest(text.data(), text.size(), digest, &len, EVP_md5(), nullptr);
    return base64Encode(std::string_view(reinterpret_cast<const char*>(digest), len));
}

std::string TestBroker::digestOf(const std::string& password) const
{
    // After a change by digest only the digest is known.
    return password.rfind("digest:", 0) == 0 ? password.substr(7) : md5Base64(password);
}

void TestBroker::setWebLinks(std::vector<std::string> records)
{
    std::lock_guard lock(m_mutex);
    m_webLinks = std::move(records);
}

std::vector<std::string> TestBroker::demoWebLinks()
{
    // Pref: open mode ('0' embedded, '1' outside), client rule, kind, place
    // ('S' quick access, 'F' feedback, 'T' off the ribbon, blank: none).
    return {
        "Reports|0|101|Research Reports|Research|1|00B |Daily research reports",
        "Calls|1|102|Morning Call|Research|2|02WS|Calls for the client typed",
        "Calls|2|103|Evening Call|Research|3|00OS|Evening calls",
        "Charges|3|104|Estimated Charges|Tools|4|10BS|Charges of an order",
        "Feedback|4|105|Feedback|Tools|5|00BF|Tell us what you think",
        "Holidays|5|106|Holidays|Tools|6|10BT|Exchange holidays",
        "Terms|6|107|Terms and Conditions|Tools|7|10BT|Terms of the research calls",
    };
}

std::string TestBroker::sessionReply(const RecordedRequest& req)
{
    const RequestText& r = req.request;
    const std::vector<std::string>& f = r.fields;
    const std::string code = r.code();
    const std::string& path = req.path;
    auto flags = [] { return detail::defaultLoginFlags(); };

    if (path == "/qtrade/qlogin.exe" && r.keyword == "LoginData") {
        if (code == "3000")
            return loginReply(req);
        if (code == "3015") {
            std::lock_guard lock(m_mutex);
            const auto it = m_loginFields.find(19);
            return "3015|0|Nominee details updated||" + (it == m_loginFields.end() ? flags() : it->second);
        }
        if (code == "3010")
            return "3010|0|Crash report received";
        if (code == "1001")
            return "1001|0|Logged out";
        if (code == "1010") {
            std::lock_guard lock(m_mutex);
            std::string out = "1010|0||" + std::to_string(m_webLinks.size()) + "~";
            for (size_t i = 0; i < m_webLinks.size(); ++i)
                out += (i ? "^" : "") + m_webLinks[i];
            return out;
        }
        if (code == "1013")
            return m_informationDesk->accept(r);
        if (code == "1005" || code == "1004" || code == "1006") {
            std::lock_guard lock(m_mutex);
            auto it = m_users.find(detail::field(f, 1));
            if (code == "1006")
                return it != m_users.end() && digestOf(it->second.password) == detail::field(f, 4)
                    ? "1006|0|Terminal unlocked"
                    : "1006|1|Invalid Password";
            // 1005 carries digests, 1004 the passwords as typed.
            const std::string oldText = detail::field(f, 2);
            const bool plain = code == "1004";
            if (it == m_users.end() || (plain ? oldText != it->second.password : oldText != digestOf(it->second.password)))
                return code + "|1|Old Password is incorrect";
            if (plain)
                it->second.password = detail::field(f, 3);
            else
                it->second.password = "digest:" + detail::field(f, 3); // only its digest is known from now on
            return code + "|0|Password changed successfully";
        }
        if (code == "1008")
            return "1058|0|Security key sent to your registered mobile|98XXXXXX21|" + detail::field(f, 1)
                + "||Please confirm your mobile number";
        if (code == "1009")
            return "1059|0|Mobile number confirmed|" + detail::field(f, 1);
        if (code == "1011")
            return "1061|0|" + detail::field(f, 1) + "|Access code accepted";
    }
    if (path == "/qtrade/qphone.exe" && r.keyword == "ReportData") {
        if (code == "1007")
            return "1007|1|Please answer your security questions|" + detail::field(f, 1)
                + "||2|1|1^1^Your city of birth^C^Mumbai,Delhi,Chennai,Kolkata~2^0^Your favourite colour^C^Red,Blue,Green";
        if (code == "1110")
            return "1110|0|Your answers are verified. The new password is sent to your registered e-mail.";
        if (code == "1114")
            return "1114|0|OTP sent again to your registered mobile|" + detail::field(f, 1);
        if (code == "1116")
            return "1116|0|OTP sent to your registered mobile";
    }
    return {};
}

std::string TestBroker::loginReply(const RecordedRequest& req)
{
    const std::vector<std::string>& f = req.request.fields;
    const std::string id = detail::field(f, 1);
    const std::string digest = detail::field(f, 2);
    const auto secIt = req.request.items.find("SecDate");
    const std::string stamp = securityStamp(secIt == req.request.items.end() ? std::string() : secIt->second);

    std::lock_guard lock(m_mutex);
    int status = 0;
    std::string message;
    if (!m_loginScript.empty()) {
        std::tie(status, message) = m_loginScript.front();
        m_loginScript.pop_front();
    } else {
        const auto it = m_users.find(id);
        const bool ok = it != m_users.end()
            && digestOf(it->second.password) == digest;
        status = ok ? 0 : 109;
    }
    if (message.empty()) {
        switch (status) {
        case 0: message = "Login Successful"; break;
        case 2: message = "Please wait, logging in again"; break;
        case 3:
        case 4: message = "Please complete the form in your browser"; break;
        case 109:
        case 6002: message = "Invalid Credential"; break;
        case 110: message = "Your password has expired. Please change your password."; break;
        case 60041: message = "A newer version is available. Please upgrade."; break;
        default: message = "Account Locked"; break;
        }
    }
    const auto user = m_users.find(id);
    const std::string name = user != m_users.end() ? user->second.name : "Test User";
    const std::string client = user != m_users.end() ? user->second.clientCode : "ABC12";
    const char type = user != m_users.end() ? user->second.type : 'C';
    char session[32];
    std::snprintf(session, sizeof session, "SESS%04d", ++m_sessions);
    const std::string host = m_options.host;
    const std::string web = "http://" + host + ":" + std::to_string(httpPort());
    // 37 fields, numbered from 1 by the terminal.
    std::vector<std::string> fields = {
        "3000",
        std::to_string(status),
        message,
        host,
        std::to_string(feedPort()),
        session,
        id,
        name,
        std::string(1, type),
        client,
        client,
        "",
        "",
        "0-Normal-A^1-Delivery-A^2-BNST-A^4-MTF-A^5-Stop Loss-A^7-DDS-A^12-MIS Options-A",
        "",
        "",
        "0",
        "0",
        detail::defaultLoginFlags(),
        "",
        std::to_string(m_options.categoryVersion),
        stamp,
        detail::timeStamp("date"),
        "1",
        "0",
        "480",
        status == 3 || status == 4 ? web + "/qtrade/qlogin.exe" : host,
        std::to_string(httpPort()),
        web,
        "CRN001",
        "1",
        std::to_string(m_options.servicesVersion),
        host,
        "30",
        "",
        "Y",
        "Welcome to the Vortanex test broker",
    };
    for (const auto& [n, value] : m_loginFields)
        if (n >= 1 && n <= static_cast<int>(fields.size()))
            fields[static_cast<size_t>(n - 1)] = value;
    return detail::join(fields, '|');
}

} // namespace tb
