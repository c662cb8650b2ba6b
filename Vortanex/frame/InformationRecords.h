#pragma once
// The records behind the broadcast information displays, without widgets:
// the day's product events (feed code 155), the live advisory calls (code
// 145), the options-list advisory (code 141), the reference-rate broadcast
// (code 160) and the day-event acceptance exchange. The frame keeps one of
// each table and changes them on the UI thread only; the parsers run on any
// thread.
#include <array>
#include <string>
#include <string_view>
#include <vector>

// Splits at every separator; an empty text is one empty field.
std::vector<std::string> SplitInformationFields(std::string_view text, char separator);

// ---------------------------------------------------------------- day events

inline constexpr int kDayEventSlots = 10;
inline constexpr int kDayEventFirstCommand = 33365; // 33365-33374, one per slot
inline constexpr size_t kDayEventNameChars = 25; // the name's fixed field holds 25 and a NUL
inline constexpr size_t kDayEventLinkChars = 511; // the terms link's fixed field holds 511 and a NUL

struct DayProductEvent {
    int productId = -1;
    short state = -1; // 2 = withdrawn
    std::string name;
    std::string text; // the row's preview line
    char show = 0; // 'Y' lists the event in the popup
    std::string termsLink;
    char accept = 0; // 'Y' gives the row an Accept button
    int commandId = -1;
    short inUse = 0;
};

class CDaysProductEvents {
public:
    // Fields of a 155 message: 1 state, 2 product id, 8 name, 9 text, 10
    // show, 11 terms link, 12 accept. 0 when the table took it (stored,
    // changed or withdrawn), -1 when refused.
    int SetData(const std::vector<std::string>& fields);
    int SearchEvent(int productId) const; // slot, -1 when none
    void RemoveEvent(int slot);
    void Clear();

    int Count() const { return m_count; }
    const std::array<DayProductEvent, kDayEventSlots>& Slots() const { return m_slots; }
    int SlotOfCommand(int commandId) const; // -1 when no event has it

private:
    std::array<DayProductEvent, kDayEventSlots> m_slots;
    int m_count = 0;
};

// "Days Events (%d)".
std::string DayEventsCaption(int count);

// "LoginData=1013|<session>|<user>|<client>|1|4|<local address>|<id>|<last>".
std::string AcceptDaysEventRequest(std::string_view sessionId, std::string_view userId, std::string_view clientCode,
                                   std::string_view localAddress, int offerOrProductId, int lastField);

// The acceptance reply ('|' fields from 0): field 1 the error flag, field 2 the
// text.
struct AcceptReply {
    enum Kind { Accepted, Refused, Blank, Transport } kind = Blank;
    std::string text;
    int status = 0;
};
AcceptReply ReadAcceptReply(int httpStatus, std::string_view body);

// ---------------------------------------------------------------- advisory
// calls

inline constexpr int kAdvisorySlots = 5;
inline constexpr int kAdvisoryMainButton = 1471;
inline constexpr int kAdvisoryFirstCommand = 33327; // 33327-33331, one per slot
// A call needs fields 0-26: the tool tip reads the stop loss in field 26.
inline constexpr size_t kAdvisoryMinFields = 27;

struct CEventData {
    short inUse = 0;
    int security = -1;
    std::string buttonText;
    std::string toolTip;
    std::vector<std::string> fields;
    int commandId = -1;
    int callId = 0;
    short displayType = 0;
    short number = 0; // field 28, 2 when empty
    std::string field1;

    void Reset() { *this = CEventData{}; }
    // "%s : %s" (side word, display key) and the stop-loss/target tool tip.
    void FormatText(const std::string& displayKey);
};

// The advisory call of one 145 message, looked up off the UI thread.
struct AdvisoryCall {
    std::vector<std::string> fields;
    bool closed = false; // field 12 "Closed"
    long callId = 0; // field 13
    int security = -1; // by scrip code (field 2) in the bucket of field 19's first letter
    std::string displayKey; // the security's display key
};

class SecurityTable;

// The calls of the advisory ribbon control (display type 2 for advisory
// calls; 1 and 3 would be the offers, which nothing sends).
class CMyRibbonCtrl {
public:
    // The first free slot filled with the call, or -1 (no slot free, or an
    // advisory call without its 27 fields).
    int FillDataArray(const AdvisoryCall& call);
    void UpdateData(long callId, const AdvisoryCall& call);
    // Empties the call's slot; the number of slots still in use.
    int RemoveData(long callId);
    int GetSecurityIndex(long callId) const;
    int SlotOfCall(long callId) const; // -1 when no slot holds it
    int SlotOfCommand(int commandId) const;
    void Clear();

    short displayType = 0; // 0 nothing shown, 1 Sunvale Hours, 2 advisory calls, 3 Brackenfold
    int Count() const { return m_count; }
    const std::array<CEventData, kAdvisorySlots>& Slots() const { return m_slots; }
    std::vector<int> Securities() const;
    // After a re-download every call finds its security again by token and
    // exchange (-1 when it is gone).
    void Reresolve(const SecurityTable& before, const SecurityTable& after);

private:
    std::array<CEventData, kAdvisorySlots> m_slots;
    int m_count = 0;
};

// What ProcessMorrowpickMsg did to the calls, for the ribbon.
struct MorrowpickChange {
    int filledSlot = -1; // a new call took this slot
    bool removed = false; // a call went
    bool destroyed = false; // the last call went: the panel goes
    bool updated = false;
};
MorrowpickChange ProcessMorrowpickCalls(CMyRibbonCtrl& calls, const AdvisoryCall& call);

// ---------------------------------------------------------------- options
// advisory

// A 141 payload: 0 marker, 1 text, 2 status, 3 exchange token, 4 exchange code.
struct DerivaneAdvice {
    bool valid = false; // more than 4 fields
    bool report = false; // field 0 not empty: the text goes to the message bar
    std::string text;
    short status = 0;
    int token = 0;
    std::string exchange;
};
DerivaneAdvice ParseDerivaneMsg(std::string_view payload);

// ---------------------------------------------------------------- reference
// rates

// A 160 payload made ready for UpdateRbiRefRate: every ',' becomes '^' (one
// '^' is appended when there is none), then "<header>~<records>" with at
// least two header fields gives the count (header field 1) and the records.
struct RbiRefRateUpdate {
    bool valid = false;
    int count = 0;
    std::string records;
};
std::string NormaliseRbiRefRatePayload(std::string_view payload);
RbiRefRateUpdate ParseRbiRefRatePayload(std::string_view payload);
