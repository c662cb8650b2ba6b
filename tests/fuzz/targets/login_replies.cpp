// The login's replies and the watch list's: the login reply (into the
// session record, its segment and client tables and the configuration's
// hosts), the client-services reply, the security questions, and the watch
// list's own replies (add, rename, remove; holdings and positions lists).
// The first byte picks the reader.
// Properties: every fixed text of the session record ends inside its field;
// the segment and client tables hold no more than their bounds and the
// counts they announce; no more questions, services or securities than the
// reply has records.
#include "../FuzzTarget.h"

#include "app/LoginExchange.h"
#include "app/base/ConfigFile.h"
#include "app/base/ListRecords.h"
#include "app/base/SessionRecord.h"
#include "watch/WatchlistServer.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

using namespace login;

namespace login_replies {

namespace {

size_t pieces(std::string_view text, char separator)
{
    return size_t(std::count(text.begin(), text.end(), separator)) + 1;
}

template <size_t N>
bool ends(const char (&field)[N])
{
    return std::memchr(field, 0, N) != nullptr;
}

void loginReply(std::string_view reply)
{
    ClearSessionRecord();
    g_Config = ConfigRecord{};
    const LoginReply r = ApplyLoginReply(reply);
    FUZZ_CHECK(r.fieldCount <= pieces(reply, '|'));
    const UserInfoRecord& u = pv_user_info;
    FUZZ_CHECK(ends(u.user_id) && ends(u.nick_name) && ends(u.client_code) && ends(u.client_code2)
               && ends(u.user_name) && ends(u.session_id) && ends(u.local_address) && ends(u.feed_update_host));
    FUZZ_CHECK(u.segment_count >= 0 && size_t(u.segment_count) <= u.segments.size());
    for (const ExchangeSegment& s : u.segments)
        FUZZ_CHECK(ends(s.name));
    FUZZ_CHECK(g_Session.client_count >= 0 && g_Session.client_count <= kMaxClients);
    FUZZ_CHECK(g_Session.clients.size() <= size_t(std::max(g_Session.client_count, 1)));
    for (const ClientInfo& c : g_Session.clients)
        FUZZ_CHECK(ends(c.user_id) && ends(c.client_code) && ends(c.client_code2) && ends(c.session_id));
    FUZZ_CHECK(ends(g_Session.security_stamp) && ends(g_Session.last_login) && ends(g_Session.login_message));
    FUZZ_CHECK(ends(g_Config.Feeds_Host) && ends(g_Config.Watch_Host) && ends(g_Config.Security_Host)
               && ends(g_Config.Redirect_Url) && ends(g_Config.Market_Data_Host) && ends(g_Config.Gcrn));
}

void servicesReply(std::string_view reply)
{
    std::vector<ServiceRecord> services(4);
    for (int i = 0; i < 4; ++i) {
        services[size_t(i)].id = i + 1;
        services[size_t(i)].name.assign("Service " + std::to_string(i + 1));
    }
    const ServicesOutcome out = ApplyServicesReply(reply, services);
    FUZZ_CHECK(out.marked >= 0 && size_t(out.marked) <= services.size());
    FUZZ_CHECK(size_t(out.marked) <= pieces(reply, '^') + pieces(reply, '~'));
}

void questions(std::string_view data)
{
    std::vector<Question> out;
    const bool ok = ParseQuestionData(data, out);
    FUZZ_CHECK(ok || out.empty());
    FUZZ_CHECK(out.size() <= pieces(data, '~'));
}

void watchReplies(std::string_view body, uint8_t pick)
{
    const WatchReply w = ParseWatchReply(pick & 1 ? 200 : 500, body);
    FUZZ_CHECK(!w.accepted() || w.hasResult);
    const std::vector<RiskSecurity> holdings = ParseHoldingsReply(body);
    FUZZ_CHECK(holdings.size() <= pieces(body, '^'));
    const std::vector<RiskSecurity> positions = ParsePositionsReply(body);
    FUZZ_CHECK(positions.size() <= pieces(body, '^'));
}

} // namespace

FUZZ_TARGET(login_replies)
{
    if (size < 1)
        return;
    const std::string_view text = fuzz::text(data + 1, size - 1);
    switch (data[0] % 4) {
    case 0:
        loginReply(text);
        break;
    case 1:
        servicesReply(text);
        break;
    case 2:
        questions(text);
        break;
    default:
        watchReplies(text, data[0]);
        break;
    }
}

} // namespace login_replies
