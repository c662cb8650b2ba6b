#pragma once
// The "RiskData=" exchanges of the risk window as pure functions: the request
// texts, the client-code check, and the reading of the five report replies
// into new record arrays plus what the window is to do with them (the note it
// gets, its message-bar lines, a box). Nothing here touches a window, a
// global array or the network, so a worker can run it and hand the result to
// the UI thread.
#include "server/RiskRecords.h"

#include <memory>
#include <string>
#include <string_view>
#include <vector>

// Report types, which are also the transaction codes.
inline constexpr int kRiskLimits = 411;
inline constexpr int kRiskPositions = 412;
inline constexpr int kRiskHoldings = 413;
inline constexpr int kRiskUnbilled = 414;
inline constexpr int kRiskTodays = 415;
inline constexpr int kRiskPledge = 419;

// The window's data index of a report (0 limits, 1 open, 2 holdings,
// 3 unbilled, 4 today's) and back; -1 / 0 outside.
int RiskTypeOfDataIndex(int dataIndex);
int DataIndexOfRiskType(int type);
// The data index a tab caption stands for; -1 for an unknown caption.
int DataIndexOfCaption(std::string_view caption);
// The five tab captions in tab order.
const std::vector<std::string>& RiskTabCaptions();

// What the reading of a security needs from the security table.
struct RiskSecurityFacts {
    int lot = 0; // market lot
    bool currency = false;
    bool commodity = false;
    int price_multiplier = 0;
    int price_divisor = 0;
    double last_paise = 0;
    std::string series; // instrument code ("OI", "FS", "EQ" ...)
};

class RiskSecurities {
public:
    virtual ~RiskSecurities() = default;
    // The security index of a token on an exchange, -1 when not in the table.
    virtual int find(int token, std::string_view exchange) const = 0;
    // Facts of a valid index.
    virtual RiskSecurityFacts facts(int index) const = 0;
};

// The published security table (Search_Token and its rows).
const RiskSecurities& TableRiskSecurities();

struct RiskParseContext {
    const RiskSecurities* securities = nullptr;
    std::vector<int> segment_ids; // the ExchangeSegment ids in table order (delivery marks)
};

// One reply's header record: [1] status, [2] text, [3] count.
struct RiskHeader {
    int status = 0;
    std::string text;
    long count = 0;
    int fields = 0; // how many '|' fields the record had
};
RiskHeader ParseRiskHeader(std::string_view record);

// The notes of the risk window (their wParam values).
inline constexpr int kRiskNoteFailed = 0;   // re-enable only
inline constexpr int kRiskNoteRefused = -1; // the server's text in the note
inline constexpr int kRiskNoteSession = -2; // status 1205
inline constexpr int kRiskNoteMis = 1;      // the MIS figures of the "Get" button

// Everything one reply leads to. The store flags say which client arrays the
// UI thread replaces with the new ones.
struct RiskOutcome {
    int type = 0;
    bool post = false; // a note follows
    int note = 0;      // 411..415 or kRiskNote*
    long count = 0;    // 411: the header's count (lParam)
    std::string text;  // kRiskNoteRefused: the server's text
    std::vector<std::string> bar_lines; // message bar, kind General
    std::string box;                    // an information box for the UI thread; empty = none
    std::string box_caption;            // empty = the product's caption
    bool renew_feed = false;            // the feed subscription is to be renewed

    bool store_limits = false;
    std::shared_ptr<LimitsRecord> limits;
    bool store_positions = false; // 412 into positions, 413 into holdings
    std::vector<PositionRecord> positions;
    bool store_todays = false;
    std::vector<TodaysPositionRecord> todays;
    bool store_unbilled = false;
    std::vector<UnbilledPositionRecord> unbilled;

    bool has_mis_texts = false;
    std::string mis_cutoff_text;
    std::string mis_profit_loss_text;
    bool has_unbilled_texts = false;
    std::string unbilled_total_text;
    std::string unbilled_hold_value_text;
};

// The outcome of an exchange that gave no reply to read: an HTTP status other
// than 200 (the box "Proxy Authentication Failed" or "Internet Connectivity
// Error [%d]...") and the note 0.
RiskOutcome RiskHttpFailure(int type, int status);

// Reads one reply of a report type (an empty body gives "Server Error. Please
// Try Again..."). client: the code the request was for (message-bar lines);
// clientText: the window's client edit (lines of 414 and 415).
RiskOutcome ParseRiskReply(int type, std::string_view reply, const std::string& client,
                           const std::string& clientText, const RiskParseContext& context);

// The parts, for tests and the MIS fetch.
RiskOutcome ParseLimitsReply(std::string_view reply, const std::string& client);
RiskOutcome ParsePositionsReply(int type, std::string_view reply, const std::string& client,
                                const RiskParseContext& context);
RiskOutcome ParseUnbilledReply(std::string_view reply, const std::string& clientText);
RiskOutcome ParseTodaysReply(std::string_view reply, const std::string& clientText, const RiskParseContext& context);
// Stores one '|' field of a limits data record into its slot(s); fields 56 and
// 57 go to the two MIS texts.
void StoreLimitsField(LimitsRecord& record, int field, const std::string& text, std::string& misCutoff,
                      std::string& misProfitLoss, bool& hasMis);
// The rows of a 414 reply's record 1 ('^' rows of at least 9 '|' fields).
std::vector<UnbilledPositionRecord> ParseUnbilledRows(std::string_view rows);
// The rows of a 415 reply's record 1: complete rows of known securities, with
// their starting last price and unrealised profit and loss.
std::vector<TodaysPositionRecord> ParseTodaysRows(std::string_view rows, const RiskParseContext& context);
// The MIS limits fetch's reply: fields 56 and 57 of the data records.
RiskOutcome ParseMisReply(std::string_view reply, const std::string& clientText);

// --- requests ---

// A code a dealer or administrator types for the risk reports: exactly five
// characters, none of them blank or one of `~!@#$%^&*()_-=+\|;:"'[{]}<,>/?.
bool IsProperRiskClientCode(std::string_view code);

// Who a request is for.
struct RiskClient {
    std::string code;
    std::string id;
    bool aclient = false; // "&AClient=Y"
};
// The client rule of the risk requests: the active client entry's code and id,
// unless a dealer or administrator works at client index 0, who types the
// code (checked with IsProperRiskClientCode) and sends the session id. False
// when the typed code is refused.
bool ChooseRiskClient(int activeIndex, char userType, const std::string& activeCode, const std::string& activeId,
                      const std::string& editText, const std::string& sessionId, RiskClient& out);

// "RiskData=<type>|<id>|<user>|<client>|<client>|4&AClient=Y|N".
std::string RiskRequestText(int type, const RiskClient& client, const std::string& userId);
// The MIS fetch: the same without the final 4.
// The MIS figures' limits request ("Get"): the login's session id, not the
// client's id, with the client's code twice and no final field.
std::string MisRequestText(const RiskClient& client, const std::string& userId, const std::string& sessionId);
// "Downloading ... for Client :%s" of a report type.
std::string RiskDownloadingLine(int type, const std::string& client);
// The additional-margin page's query text.
std::string AdditionalMarginText(const std::string& userId, const std::string& sessionId, const std::string& client);

// --- pledge and unpledge (419) ---

struct PledgeLine {
    int token = 0;
    std::string exchange;
    long quantity = 0;
};
// "RiskData=419|id|user|client|kind|4|n~tok|ex|qty^...~"; the items end in '~'.
std::string PledgeRequestText(const RiskClient& client, const std::string& userId, int kind,
                              const std::vector<PledgeLine>& lines);
struct PledgeResult {
    int note = 0; // 0: the answer lines; -1: an error text
    std::string text;
};
// names: the display key per token of the dialog's items (a token without a
// name repeats the line before). An unreadable reply gives -1 with "Invalid
// Response Received For Pledge/Unpledge" so the dialog is never left waiting.
PledgeResult ParsePledgeReply(int httpStatus, std::string_view reply,
                              const std::vector<std::pair<int, std::string>>& names);
