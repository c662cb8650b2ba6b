#include "server/ServerRequests.h"

#include "server/ExchangeCancel.h"
#include "server/RequestServer.h"

#include "app/base/SmallUtilities.h"
#include "app/base/ConfigFile.h"
#include "app/base/FixedText.h"
#include "app/base/LogWriter.h"
#include "app/base/MachineDetails.h"
#include "app/base/MessageBox.h"
#include "app/base/SessionRecord.h"
#include "app/base/TextFormat.h"

#include "EncryptDecrypt.h"

#include <charconv>
#include <cstring>
#include <iconv.h>
#include <memory>
#include <optional>

WebLinkTable g_WebLinkTable;
EncryptionDetailsValues g_EncryptionDetails;

namespace server_requests_detail {
namespace {

// A web-link reply never announces more links than this; a larger count is cut.
constexpr int kMaxWebLinks = 10000;

std::vector<std::string> split(std::string_view text, char separator)
{
    std::vector<std::string> out;
    size_t start = 0;
    for (;;) {
        const size_t end = text.find(separator, start);
        out.emplace_back(text.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start));
        if (end == std::string_view::npos)
            return out;
        start = end + 1;
    }
}

// Fields of a reply: empty fields count, a trailing empty one is dropped.
std::vector<std::string> replyFields(std::string_view text)
{
    if (text.empty())
        return {};
    std::vector<std::string> out = split(text, '|');
    if (!out.empty() && out.back().empty())
        out.pop_back();
    return out;
}

std::string trim(std::string_view text)
{
    const size_t b = text.find_first_not_of(" \t\r\n");
    if (b == std::string_view::npos)
        return {};
    const size_t e = text.find_last_not_of(" \t\r\n");
    return std::string(text.substr(b, e - b + 1));
}

// A whole decimal number; nullopt for anything else.
std::optional<int> toInt(std::string_view text)
{
    const std::string t = trim(text);
    int value = 0;
    const auto [p, ec] = std::from_chars(t.data(), t.data() + t.size(), value);
    if (t.empty() || ec != std::errc() || p != t.data() + t.size())
        return std::nullopt;
    return value;
}

int intOr(std::string_view text, int fallback)
{
    return toInt(text).value_or(fallback);
}

std::string field(const std::vector<std::string>& f, size_t i)
{
    return i < f.size() ? f[i] : std::string();
}

std::string percent(unsigned char c)
{
    return formatText("%%%.2X", static_cast<unsigned>(c));
}

// UTF-8 of one Hebrew code-page byte; empty when the code page leaves it undefined.
std::string cp1255ToUtf8(unsigned char c)
{
    iconv_t cd = iconv_open("UTF-8", "CP1255");
    if (cd == reinterpret_cast<iconv_t>(-1))
        return {};
    char in[1] = {static_cast<char>(c)};
    char out[8] = {};
    char* inPtr = in;
    char* outPtr = out;
    size_t inLeft = 1;
    size_t outLeft = sizeof out;
    size_t rc = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
    // The converter holds a letter back in case a point follows: flush it.
    if (rc != static_cast<size_t>(-1))
        rc = iconv(cd, nullptr, nullptr, &outPtr, &outLeft);
    iconv_close(cd);
    if (rc == static_cast<size_t>(-1) || inLeft != 0)
        return {};
    return std::string(out, sizeof out - outLeft);
}

void fillWebLink(WebLinkRecord& link, const std::vector<std::string>& f)
{
    CopyFixedText(link.ButtonLabel, field(f, 0));
    link.IconIndex = static_cast<int16_t>(intOr(field(f, 1), 0));
    link.WebId = intOr(field(f, 2), 0);
    CopyFixedText(link.Name, field(f, 3));
    CopyFixedText(link.MainGroup, field(f, 4));
    link.Number = intOr(field(f, 5), 0);
    CopyFixedText(link.Pref, field(f, 6));
    const char kind = link.Pref[2];
    if (kind != 'W' && kind != 'B' && kind != 'O' && kind != 'T')
        link.Pref[2] = 'W';
    CopyFixedText(link.ToolTip, field(f, 7));
}

} // namespace
} // namespace server_requests_detail

int GetEncryptionKeyDetails(ExchangeCancel* cancel)
{
    try {
        WriteLog(0, "Entry GetEncryptionKeyDetails");
        std::string loginId;
        if (pv_user_info.id_kind == 1)
            loginId = std::string(FixedTextView(pv_user_info.user_id));
        else if (pv_user_info.id_kind == 2)
            loginId = std::string(FixedTextView(pv_user_info.nick_name));
        WriteLog(0, "Login Id :" + loginId);
        const std::string text = formatText(
            "ED=19|%d|%s|%s|%s|%d|%s", 4, "MRT382QJ", std::string(FixedTextView(pv_user_info.local_address)).c_str(),
            loginId.c_str(), static_cast<int>(pv_user_info.id_kind), MachineDetails().c_str());
        WriteLog(0, text);
        std::string reply;
        long length = 0;
        // Always Base64: the session's own type is what this reply decides.
        RequestServer(1, 19, text, reply, length, cancel);
        if (cancel && cancel->cancelled()) {
            WriteLog(0, "Encryption details request cancelled");
            return -1;
        }
        WriteLog(0, reply);

        const std::vector<std::string> f = server_requests_detail::replyFields(reply);
        const int status = f.empty() ? -1 : ReplyStatus(f[0]);
        const std::string message = server_requests_detail::field(f, 1).substr(0, 99);
        if (f.size() > 3)
            pv_user_info.encrypt = server_requests_detail::intOr(f[3], pv_user_info.encrypt);
        if (f.size() > 6) {
            if (IsSingleToken(f[6])) {
                WriteLog(0, "Trade Host :" + f[6]);
                CopyFixedText(g_Config.Trade_Host, f[6]);
            } else {
                WriteLog(0, "Trade Host with a blank or a control character refused");
            }
            WriteLog(0, "Trade Host Set :" + std::string(FixedTextView(g_Config.Trade_Host)));
        }
        if (f.size() > 7) {
            const std::optional<int> port = server_requests_detail::toInt(f[7]);
            if (!port || *port <= 0 || *port > 65535)
                WriteLog(0, "Trade Port is not valid :" + f[7]);
            else if (g_Config.Trade_Port == 443 && *port != 443)
                // The login and the session would leave TLS.
                WriteLog(0, "Trade Port " + f[7] + " refused: the session stays on 443");
            else
                g_Config.Trade_Port = *port;
        }
        if (f.size() > 8)
            g_EncryptionDetails.text1 = f[8];
        if (f.size() > 9)
            g_EncryptionDetails.text2 = f[9];
        if (f.size() > 10)
            g_EncryptionDetails.value1 = server_requests_detail::intOr(f[10], 0);
        if (f.size() > 11)
            g_EncryptionDetails.value2 = server_requests_detail::intOr(f[11], 0);

        if (status == 1) {
            WriteLog(0, message);
            MyMessageBox("Invalid Credential", kProductCaption, MsgOk | MsgIconWarning);
            return -1;
        }
        WriteLog(0, "Exit GetEncryptionKeyDetails");
        return status;
    } catch (...) {
        WriteLog(0, "Exception in GetEncryptionKeyDetails");
        return -1;
    }
}

bool EncryptRequest(std::string_view text, std::string& out)
{
    out.clear();
    CEncryptDecrypt factory;
    std::unique_ptr<CEncryptDecrypt> encoder(factory.GetInstance(pv_user_info.encrypt));
    if (!encoder) {
        WriteLog(0, formatText("Encryption Type is not Valid pv_user_info.encrypt[%d]", pv_user_info.encrypt));
        return false;
    }
    const std::string plain(text.substr(0, text.find('\0')));
    unsigned char* encoded = nullptr;
    const int rc = encoder->GetEncryptData(reinterpret_cast<const unsigned char*>(plain.c_str()), &encoded,
                                           static_cast<int>(plain.size()), 1, 4);
    if (rc < 0 || !encoded) {
        delete[] encoded;
        WriteLog(0, formatText("Encryption of the request failed [%d]", rc));
        return false;
    }
    out.assign(reinterpret_cast<const char*>(encoded));
    delete[] encoded;
    return true;
}

int GetWebLinks()
{
    try {
        std::string session(FixedTextView(pv_user_info.session_id));
        const int active = pv_user_info.client_index;
        if (active >= 0 && static_cast<size_t>(active) < g_Session.clients.size())
            session = std::string(FixedTextView(g_Session.clients[static_cast<size_t>(active)].session_id));
        const std::string user(FixedTextView(pv_user_info.user_id));
        const std::string text = formatText("LoginData=1010|%s|%s|%d", user.c_str(), session.c_str(), 4);
        std::string reply;
        long length = 0;
        const int status = RequestServer(pv_user_info.encrypt, 1010, text, reply, length);
        if (status == 407) {
            MsgBoxOk("Proxy Authentication Failed");
            return 0;
        }
        if (status != 200) {
            MsgBoxInfo(formatText("Internet Connectivity Error [%d]. Pls contact System Administrator", status));
            return 0;
        }
        g_WebLinkTable.links.clear();
        // Record 0 (the header) ends at '~', every later record at '^'.
        const size_t tilde = reply.find('~');
        const std::string header = server_requests_detail::trim(std::string_view(reply).substr(0, tilde));
        if (header.empty())
            return 0;
        const std::vector<std::string> h = server_requests_detail::split(header, '|');
        if (server_requests_detail::intOr(server_requests_detail::field(h, 1), 0) != 0) {
            WriteLog(0, "WebLinks error :" + header);
            return -1;
        }
        int count = server_requests_detail::intOr(server_requests_detail::field(h, 3), 0);
        if (count < 0)
            count = 0;
        if (count > server_requests_detail::kMaxWebLinks) {
            WriteLog(0, formatText("WebLinks count %d cut to %d", count, server_requests_detail::kMaxWebLinks));
            count = server_requests_detail::kMaxWebLinks;
        }
        std::vector<WebLinkRecord> links(static_cast<size_t>(count));
        size_t filled = 0;
        if (tilde != std::string::npos) {
            const std::vector<std::string> records = server_requests_detail::split(std::string_view(reply).substr(tilde + 1), '^');
            for (size_t i = 0; i < records.size() && i < links.size(); ++i) {
                const std::string record = server_requests_detail::trim(records[i]);
                if (record.empty())
                    break;
                server_requests_detail::fillWebLink(links[i], server_requests_detail::split(record, '|'));
                filled = i + 1;
                WriteLog(0, formatText("Link No :%d, WebLinks : %s, MainGrp : %s", static_cast<int>(i), links[i].Name,
                                       links[i].MainGroup));
            }
        }
        // A header that announces more links than came would leave empty
        // links behind, and an empty panel on the ribbon: only those that came.
        if (filled < links.size()) {
            WriteLog(0, formatText("WebLinks: %d announced, %d sent", count, static_cast<int>(filled)));
            links.resize(filled);
        }
        g_WebLinkTable.links = std::move(links);
    } catch (...) {
        WriteLog(0, "Exception while getting WebLinks");
    }
    return 0;
}

std::string UrlEncode(std::string_view text, bool reserved)
{
    static constexpr std::string_view kReserved = "$&+,./:;=?@-_!*()'";
    static constexpr std::string_view kUnsafe = " \"<>#{}|\\^~[]`";
    std::string out;
    out.reserve(text.size() * 3);
    for (const char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        if (c == 0)
            break; // a NUL ends the text
        if (c == '%' || (reserved && kReserved.find(ch) != std::string_view::npos)
            || kUnsafe.find(ch) != std::string_view::npos || c < 32 || c == 127) {
            out += server_requests_detail::percent(c);
        } else if (c >= 0x80) {
            // Every byte of the character's UTF-8 sequence, so that three-byte
            // characters (the shekel and euro signs) arrive whole.
            const std::string utf8 = server_requests_detail::cp1255ToUtf8(c);
            if (utf8.empty()) {
                out += server_requests_detail::percent(c);
            } else {
                for (const char b : utf8)
                    out += server_requests_detail::percent(static_cast<unsigned char>(b));
            }
        } else {
            out += ch;
        }
    }
    return out;
}

std::string GetSegmentExchanges(std::string_view instrument)
{
    if (instrument == "FC" || instrument == "OC")
        return "NSE-FX";
    if (instrument == "CF" || instrument == "CO" || instrument == "CI")
        return "MCX-CM";
    return formatText("%s|%s", "NSE", "BSE");
}
