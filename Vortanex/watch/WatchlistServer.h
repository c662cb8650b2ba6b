#pragma once
// The watch lists' server exchanges, without any window: the list changes of
// the watch-list dialog ("WD=101" add, "WD=103" rename, "WD=102" remove), the
// save of a list's rows ("WD=107"), and the holdings and positions lists
// built from the active client's records or from "RiskData=413"/"=412".
// Callable on a worker thread; the callers show the results.
#include <string>
#include <string_view>
#include <vector>

class SecurityTable;
class ServerAccess;
struct ClientRiskRecords;

// The session values a watch-list request carries.
struct WatchSession {
    std::string sessionId;
    std::string userId;
    std::string clientCode; // the logged-in user's own client code
    int encrypt = 0;
};
// The logged-in user's values (pv_user_info).
WatchSession CurrentWatchSession();

// A watch-list reply: "<code>|<result>|<message>|<x>|<id>". Every field is
// read, empty ones included, so an id after an empty field is not lost.
struct WatchReply {
    int status = 0;          // HTTP status; 0 when nothing was exchanged
    bool hasResult = false;  // a reply without a result field is a refusal
    int result = -1;         // 0 = accepted
    std::string message;
    bool hasId = false;
    int id = 0;
    bool accepted() const { return status == 200 && hasResult && result == 0; }
};
WatchReply ParseWatchReply(int status, std::string_view body);

// The request texts of the watch-list dialog: action 1 add, 2 rename,
// 3 remove. Transaction code = action + 2.
std::string WatchlistRequestText(const WatchSession& s, int action, int listId, std::string_view name,
                                 std::string_view secondName);
inline int WatchlistTransCode(int action) { return action + 2; }

// One grid row of a save, in grid order.
struct SaveRow {
    int exchangeToken = 0;
    std::string exchange; // the row's "ME" text (cut to 9 characters)
    int state = 0;
};
// "WD=107|sid|uid|name|n^tok|ME|state~...|4" (transaction code 8).
std::string SaveWatchlistText(const WatchSession& s, std::string_view listName, const std::vector<SaveRow>& rows);
inline constexpr int kSaveWatchlistCode = 8;
// The longest request text RSA request encoding can carry.
inline constexpr size_t kRsaRequestLimit = 629;
// True when the session's request encoding can carry the text.
bool RequestFitsEncoding(int encrypt, std::string_view text);

// Sends one text and parses the reply (status 200) into a WatchReply.
WatchReply ExchangeWatchText(ServerAccess& server, int encrypt, int transCode, const std::string& text);

// --- holdings and positions lists ---

// "RiskData=413|sid|uid|client|client|4&AClient=N" and the same with 412.
std::string RiskRequestText(const WatchSession& s, int code);

// One security of a reply: exchange token and exchange code.
struct RiskSecurity {
    int token = 0;
    std::string exchange;
};
// Holdings: a header up to the first '~', then '^' records of '|' fields
// (a leading empty field skipped); an empty record ends the parse.
std::vector<RiskSecurity> ParseHoldingsReply(std::string_view body);
// Positions: item 1 of '~', '^' records of at least 32 '|' fields; a record
// whose field 31 is "P" is left out.
std::vector<RiskSecurity> ParsePositionsReply(std::string_view body);

// Rebuilds the rows of the list at `watchIndex` as the holdings (kind 4) or
// positions (kind 5) of the active client: from `records` when they hold any,
// else from the server with the user's own client code. Each security once,
// in order; the capacity starts at 10 and grows by 10. Rows are swapped into
// the table whole. Returns the number of rows.
enum class RiskListKind { Holdings = 4, Positions = 5 };
int BuildRiskList(RiskListKind kind, int watchIndex, const SecurityTable& table, ClientRiskRecords& records,
                  ServerAccess& server, const WatchSession& session);
int BuildHoldingsList(int watchIndex, ServerAccess& server);
int BuildPositionsList(int watchIndex, ServerAccess& server);
