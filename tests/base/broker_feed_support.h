#pragma once
// Pieces the feed's end-to-end tests share: the feed's request codes sent
// straight to the test broker, and a small security table of the broker's
// own equities.
#include "TestBroker.h"
#include "pf/http_call.h"
#include "pf/http_session.h"
#include "server/ExchangeCancel.h"
#include "server/SecurityTable.h"
#include "server/ServerAccess.h"

#include <memory>
#include <string>
#include <vector>

namespace brokerfeed {

// The request function's feed codes (11 and 12 to the update path, 13 to the
// polling path), straight to the broker's HTTP port.
class BrokerFeedServer : public ServerAccess {
public:
    BrokerFeedServer(pf::HttpSession& session, int port) : m_session(session), m_port(port) {}
    ServerReply downLoadFile(const std::string&, int, const std::string&) override { return {}; }
    ServerReply requestServer(int, int code, const std::string& text) override { return exchange(code, text, nullptr); }
    // As the program's request function does: a cancel ends the exchange.
    ServerReply requestServerCancellable(int, int code, const std::string& text, ExchangeCancel& cancel) override
    {
        return exchange(code, text, &cancel);
    }

private:
    ServerReply exchange(int code, const std::string& text, ExchangeCancel* cancel)
    {
        pf::HttpCall call(m_session);
        const int id = cancel ? cancel->attach([&call] { call.cancel(); }) : 0;
        if (cancel && id == 0)
            return {};
        ServerReply reply;
        reply.status = call.send("POST", "127.0.0.1", m_port,
                                 code == 13 ? "/cgi-bin/feeds" : "/cgi-bin/Glenvarro/upd_feeds.exe", text);
        char buf[4096];
        for (long n; (n = call.read(buf, sizeof buf)) > 0;)
            reply.body.append(buf, static_cast<size_t>(n));
        if (call.failed())
            reply.status = call.error();
        if (cancel)
            cancel->detach(id);
        return reply;
    }

    pf::HttpSession& m_session;
    int m_port;
};

// The broker's first `count` NSE equities as the published security table;
// null when its universe has fewer.
inline std::shared_ptr<SecurityTable> publishBrokerEquities(const tb::TestBroker& broker, size_t count)
{
    SecurityRows rows;
    for (const tb::Security& s : broker.universe().securities()) {
        if (s.inst != "EQ" || s.exchange != "NN" || rows.size() == count)
            continue;
        SecurityRecord r;
        r.token = s.token;
        r.wtoken = s.wtoken;
        r.market_exchange.assign(s.exchange);
        r.inst_type.assign(s.inst);
        r.symbol.assign(s.symbol);
        r.setDisplayKey(s.symbol + "-EQ");
        rows.push_back(std::move(r));
    }
    if (rows.size() != count)
        return nullptr;
    auto table = std::make_shared<SecurityTable>();
    table->build(std::move(rows), SecurityTable::Build::Full, true);
    SecurityTable::publish(table);
    return table;
}

} // namespace brokerfeed
