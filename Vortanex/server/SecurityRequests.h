#pragma once
// Server requests that work on the security table: the cross-currency
// reference rates and the rows of the special options watch list.
#include <string>
#include <string_view>
#include <vector>

class SecurityTable;
class ServerAccess;

// The session values these requests send.
struct RequestSession {
    std::string session_id;
    std::string user_id;
    int encrypt = 0; // request encryption type of the session
};

// "ReportData=930": returns 0 on success and on transport errors, -1 when the
// reply is malformed or reports an error.
int GetCrossCurrencyRefRate(ServerAccess& server, const RequestSession& session);

// Applies "wtoken|rate^..." records (rates in paise) to the published table,
// at most `count` of them and no more than are present. Returns 0.
int UpdateRbiRefRate(int count, std::string_view text);
int UpdateRbiRefRate(SecurityTable& table, int count, std::string_view text);

// One row of the options watch list, shaped as the watch list's rows.
struct DerivaneWatchRow {
    int token = 0;          // the security's watch token
    int securityIndex = -1;
    short state = 1;        // added since the server's copy
    char origin = '0';      // not stored on the server
    short status = 0;       // trading status from the server
};

// "WD=121": fills `rows` afresh (the caller swaps them into its list, so
// live readers never see a freed array). Unknown securities and repeats are
// skipped. Returns 0.
int GetDerivaneWatch(ServerAccess& server, const RequestSession& session, const SecurityTable& table,
                     std::string_view listName, std::vector<DerivaneWatchRow>& rows);
