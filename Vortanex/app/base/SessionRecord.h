#pragma once
// The program-wide state of the logged-in user: the user record, the exchange
// segments the user may trade, the clients the user may act for and the other
// values of the login reply. The login fills it on the UI thread before the
// workers that read it start; values that change later (the login switches)
// go through the accessors below.
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

// A server never gets to size a table beyond these; a reply that asks for more
// is cut (segments) or refused (clients) with a log line.
inline constexpr int kMaxSegments = 15;
inline constexpr int kMaxClients = 100000;

// One exchange segment the user may trade.
struct ExchangeSegment {
    int id = 0;
    char name[30] = {};
    char flag = 0;
    uint32_t text_colour = 0; // 0x00BBGGRR
    uint32_t row_colour = 0;  // by the entry's position, see SegmentRowColour
};

// The per-client order records; defined by order entry.
struct ClientOrderStore;
// The client's last risk reports (limits, positions, holdings, today's and
// unbilled positions); defined by the risk reports.
struct ClientRiskArrays;

// One trading client the user may act for. Never stored in a file, so its
// layout is free.
struct ClientInfo {
    char user_id[12] = {};
    char client_code[11] = {};
    char client_code2[11] = {};
    char session_id[32] = {};
    char reserved_head[34] = {};
    ClientOrderStore* orders = nullptr;
    void* reserved_ptr = nullptr;
    void* trades = nullptr;
    // The report arrays of the risk window: null until a report is stored;
    // replaced whole, on the UI thread only, by each reply.
    std::shared_ptr<ClientRiskArrays> risk;
    // The client code of the last limits, positions (also unbilled and
    // today's) and holdings request.
    char limits_client[11] = {};
    char positions_client[11] = {};
    char holdings_client[11] = {};
    char reserved_mid[12] = {};
    int order_count = 0;
    int order_extra1 = 0;
    int order_extra2 = 0;
    char reserved_tail[4] = {};
    char reserved_end[4] = {};
    int active = 0;
    int order_capacity = 0;
    int spare = 0;
};

// The logged-in user and session.
struct UserInfoRecord {
    char user_id[12] = {};
    char nick_name[26] = {};
    char client_code[11] = {};
    char client_code2[11] = {};
    char user_name[64] = {};
    char user_type = 0;
    char session_id[32] = {};
    char local_address[64] = {};
    char feed_update_host[64] = {};
    int feed_update_port = 0;
    // The segment table: empty until a login reply has been parsed, then
    // kMaxSegments entries of which segment_count are filled.
    std::vector<ExchangeSegment> segments;
    int segment_count = 0;
    int encrypt = 0;   // 0 none, 1 Base64, 2 RSA
    short id_kind = 0; // 1 = logged in with the user id, 2 = with the nick name
    int client_index = -1;
};

// The other values of the login reply.
struct SessionValues {
    int client_count = 0;
    int clients_in_use = 0;
    std::vector<ClientInfo> clients; // client_count entries once allocated
    int account_flag = 0;
    int category_version = 0;
    char security_stamp[32] = {};
    char last_login[32] = {};
    int login_value24 = 0;
    int compressed_replies = 0;
    int CloseTime = 0;
    int services_version = 0;
    int password_days = 0;
    char risk_accepted[2] = {};
    char login_message[151] = {};
};

extern UserInfoRecord pv_user_info;
extern SessionValues g_Session;

// The active client's entry (pv_user_info.client_index), null when none.
ClientInfo* ActiveClientEntry();

// Start-up: empties the session (client index -1, no tables, no switches).
void ClearSessionRecord();

// The background colour of the segment at `position` (0x00BBGGRR; 0 = none).
uint32_t SegmentRowColour(int position);

// Builds the segment table from the login reply's segment list: items
// separated by '^', each "id-name-flag". Items without a '-' after their first
// character are skipped; at most kMaxSegments are taken (the rest is logged
// and dropped). Returns the number of entries filled.
int ParseSegmentList(std::string_view field);

// Allocates the client table for the login reply's client count: 0 gives one
// entry for the user's own account (clients_in_use 1), n gives n entries
// (clients_in_use 0). A negative count or one above kMaxClients is refused
// with a log line, leaving no table; returns false then.
bool AllocateClientTable(int count);

// Start-up after the login: unless the user type is 'P', entry 0 takes the
// user's own ids, is marked active and becomes the current client and the
// one client in use.
void FillOwnClientEntry();

// The login switches (reply field 19, at most 128 characters): one character
// per switch, changed after the login by the notices, so kept behind a lock.
void SetLoginFlags(std::string_view flags);
// The switch at `position` (from 0), '\0' beyond the end.
char LoginFlagAt(int position);
void SetLoginFlagAt(int position, char value);
std::string LoginFlags();
