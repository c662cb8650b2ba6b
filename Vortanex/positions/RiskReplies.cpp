#include "positions/RiskReplies.h"

#include "app/base/LogWriter.h"
#include "app/base/TextFormat.h"
#include "positions/PositionMath.h"
#include "server/SecurityTable.h"
#include "watch/base/TextSplit.h"

#include <algorithm>
#include <charconv>
#include <climits>
#include <cmath>

namespace {

std::string_view trim(std::string_view s)
{
    while (!s.empty() && s.front() == ' ')
        s.remove_prefix(1);
    while (!s.empty() && s.back() == ' ')
        s.remove_suffix(1);
    return s;
}

// atol: optional sign and leading digits, 0 without digits, clamped.
long riskLong(std::string_view s)
{
    s = trim(s);
    if (!s.empty() && s.front() == '+')
        s.remove_prefix(1);
    long long v = 0;
    const auto r = std::from_chars(s.data(), s.data() + s.size(), v);
    if (r.ec == std::errc::result_out_of_range)
        return !s.empty() && s.front() == '-' ? LONG_MIN : LONG_MAX;
    return static_cast<long>(std::clamp<long long>(v, LONG_MIN, LONG_MAX));
}

int riskInt(std::string_view s)
{
    return static_cast<int>(std::clamp<long>(riskLong(s), INT_MIN, INT_MAX));
}

// atof: the leading number, 0 without one; never inf or nan.
double toDouble(std::string_view s)
{
    s = trim(s);
    if (!s.empty() && s.front() == '+')
        s.remove_prefix(1);
    double v = 0;
    const auto r = std::from_chars(s.data(), s.data() + s.size(), v, std::chars_format::general);
    if (r.ec != std::errc() || !std::isfinite(v))
        return 0;
    return v;
}

std::vector<std::string> split(std::string_view text, char sep)
{
    std::vector<std::string> out;
    SplitString(text, sep, out);
    return out;
}

// A field of a split record; empty when the record is shorter.
const std::string& riskField(const std::vector<std::string>& f, size_t i)
{
    static const std::string empty;
    return i < f.size() ? f[i] : empty;
}

int markingIndex(const std::vector<int>& segmentIds, int productCode)
{
    for (size_t i = 0; i < segmentIds.size(); ++i)
        if (segmentIds[i] == productCode)
            return static_cast<int>(i);
    return 0;
}

// The outcome of a header whose status is not 0.
void refused(RiskOutcome& out, const RiskHeader& h)
{
    WriteLog(0, h.text);
    out.post = true;
    if (h.status == 1205) {
        out.note = kRiskNoteSession;
    } else {
        out.note = kRiskNoteRefused;
        out.text = h.text;
    }
    out.bar_lines.push_back(h.text);
}

void invalid(RiskOutcome& out, const char* code, const std::string& barLine)
{
    out.post = true;
    out.note = kRiskNoteFailed;
    out.box = formatText("The response received from server is invalid [%s], Please try again", code);
    out.box_caption = "Client Message";
    out.bar_lines.push_back(barLine);
}

void storeList(LimitsRecord& r, const std::string& text, int firstSlot)
{
    const std::vector<std::string> items = split(text, ',');
    for (size_t i = 0; i < items.size() && i < static_cast<size_t>(LimitsRecord::kListCapacity); ++i)
        r.value[firstSlot + static_cast<int>(i)] = toDouble(items[i]);
}

PositionRecord positionRow(int type, const std::vector<std::string>& f, int recordNo, const RiskParseContext& c)
{
    auto num = [&](size_t i) { return toDouble(riskField(f, i)); };
    auto integer = [&](size_t i) { return riskInt(riskField(f, i)); };
    PositionRecord p;
    p.record_no = recordNo;
    p.side = ' ';
    p.token = integer(0);
    p.exchange = riskField(f, 1).substr(0, 2);
    p.sec_index = c.securities ? c.securities->find(p.token, p.exchange) : -1;
    p.buy_open_qty = integer(2);
    p.buy_open_value = num(3) / 100;
    p.sell_open_qty = integer(4);
    p.sell_open_value = num(5) / 100;
    p.net_qty = integer(6);
    p.net_value = num(7) / 100;
    p.prev_stock_qty = integer(8);
    p.prev_stock_value = num(9) / 100;
    p.product_code = integer(10);
    p.actual_pl = num(11) / 100;
    p.haircut = integer(12);
    p.hold_stock = integer(13);
    p.number_14 = num(14);
    p.bnst_credit = num(15) / 100;
    p.stock_value_price = num(16) / 100;
    p.multiple = num(17);
    p.int_18 = integer(18);
    p.number_19 = num(19);
    p.premium = num(20);
    p.int_21 = integer(21);
    if (type == kRiskPositions) {
        p.display_name = riskField(f, 25).substr(0, 49);
        p.avg_price = num(28);
        p.multiplier = num(29);
        p.utilization = num(30) / 100;
        p.margin_type = riskField(f, 31).substr(0, 1);
        p.number_32 = num(32);
        p.number_33 = num(33);
        p.number_34 = num(34);
        p.number_35 = num(35);
        p.spread_benefit = num(36) / 100;
        p.int_37 = integer(37);
        p.int_38 = integer(38);
        p.product_class = p.product_code >= 1 && p.product_code <= 3 ? 2 : 1;
        p.side = p.net_qty > 0 ? 'B' : (p.net_qty < 0 ? 'S' : ' ');
    } else {
        p.holding_text = riskField(f, 28).substr(0, 31);
        p.product_class = p.product_code >= 1 && p.product_code <= 4 ? 2 : 1;
    }
    p.marking_index = markingIndex(c.segment_ids, p.product_code);
    return p;
}

} // namespace

int RiskTypeOfDataIndex(int dataIndex)
{
    static constexpr int kTypes[5] = {kRiskLimits, kRiskPositions, kRiskHoldings, kRiskUnbilled, kRiskTodays};
    return dataIndex >= 0 && dataIndex < 5 ? kTypes[dataIndex] : -1;
}

int DataIndexOfRiskType(int type)
{
    return type >= kRiskLimits && type <= kRiskTodays ? type - kRiskLimits : 0;
}

const std::vector<std::string>& RiskTabCaptions()
{
    static const std::vector<std::string> captions = {"&Limits", "To&days Positions", "Open &Positions",
                                                      "&Unbilled Positions", "&Sell from existing"};
    return captions;
}

int DataIndexOfCaption(std::string_view caption)
{
    if (caption == "&Limits")
        return 0;
    if (caption == "Open &Positions")
        return 1;
    if (caption == "&Sell from existing")
        return 2;
    if (caption == "&Unbilled Positions")
        return 3;
    if (caption == "To&days Positions")
        return 4;
    return -1;
}

namespace {

class TableSecurities final : public RiskSecurities {
public:
    int find(int token, std::string_view exchange) const override { return Search_Token(token, exchange); }
    RiskSecurityFacts facts(int index) const override
    {
        RiskSecurityFacts s;
        const auto table = SecurityTable::current();
        if (!table || !table->valid(index))
            return s;
        const SecurityRecord& r = table->row(index);
        s.lot = r.market_lot;
        s.currency = r.currency != 0;
        s.commodity = r.commodity != 0;
        s.price_multiplier = r.multiplier;
        s.price_divisor = r.denominator();
        s.last_paise = r.quote().quote[4];
        s.series = std::string(r.inst_type.view());
        return s;
    }
};

} // namespace

const RiskSecurities& TableRiskSecurities()
{
    static const TableSecurities table;
    return table;
}

RiskHeader ParseRiskHeader(std::string_view record)
{
    const std::vector<std::string> f = split(trim(record), '|');
    RiskHeader h;
    h.fields = static_cast<int>(f.size());
    h.status = riskInt(riskField(f, 1));
    h.text = riskField(f, 2);
    h.count = riskLong(riskField(f, 3));
    return h;
}

RiskOutcome RiskHttpFailure(int type, int status)
{
    RiskOutcome out;
    out.type = type;
    out.post = true;
    out.note = kRiskNoteFailed;
    out.box = status == 407 ? std::string("Proxy Authentication Failed")
                            : formatText("Internet Connectivity Error [%d]. Pls contact System Administrator", status);
    return out;
}

void StoreLimitsField(LimitsRecord& r, int field, const std::string& text, std::string& misCutoff,
                      std::string& misProfitLoss, bool& hasMis)
{
    const double v = toDouble(text);
    if (field == 2) {
        r.client_code = text.substr(0, 10);
    } else if (field >= 3 && field <= 10) {
        r.value[field - 1] = v;
    } else if (field == 11) {
        storeList(r, text, 10);
    } else if (field == 12) {
        storeList(r, text, 18);
    } else if (field == 13) {
        r.limit_flag = text.empty() ? 0 : text[0];
    } else if (field >= 14 && field <= 33) {
        r.value[field + 12] = v;
    } else if (field == 34) {
        r.value[48] = v;
    } else if (field == 35) {
        r.value[47] = v;
    } else if (field == 36) {
        r.value[46] = v;
    } else if (field == 37) {
        r.value[49] = v;
    } else if (field == 39) {
        r.value[50] = v;
    } else if (field >= 42 && field <= 44) {
        r.value[field + 9] = v;
    } else if (field == 45) {
        storeList(r, text, 54);
    } else if (field == 46 || field == 47) {
        r.value[field + 16] = v;
    } else if (field == 48) {
        storeList(r, text, 64);
    } else if (field == 49) {
        storeList(r, text, 72);
    } else if (field == 50) {
        storeList(r, text, 80);
    } else if (field == 51 || field == 52) {
        r.value[field + 37] = v;
    } else if (field == 53) {
        // x, then pairs a, b: x to 90, the i-th a to 90+i, its b to 98+i.
        const std::vector<std::string> items = split(text, ',');
        if (!items.empty())
            r.value[90] = toDouble(items[0]);
        for (int pair = 1; pair <= LimitsRecord::kListCapacity; ++pair) {
            const size_t a = static_cast<size_t>(2 * pair - 1);
            if (a < items.size())
                r.value[90 + pair] = toDouble(items[a]);
            if (a + 1 < items.size())
                r.value[98 + pair] = toDouble(items[a + 1]);
        }
    } else if (field == 54) {
        r.value[107] = v;
    } else if (field == 55) {
        r.value[108] = v;
    } else if (field == 56) {
        misCutoff = text;
        hasMis = true;
    } else if (field == 57) {
        misProfitLoss = text;
        hasMis = true;
    }
}

RiskOutcome ParseLimitsReply(std::string_view reply, const std::string& client)
{
    RiskOutcome out;
    out.type = kRiskLimits;
    const std::vector<std::string> records = split(reply, '~');
    const RiskHeader h = ParseRiskHeader(riskField(records, 0));
    out.store_limits = true; // a refused request leaves no limits
    if (h.status != 0) {
        refused(out, h);
        return out;
    }
    auto record = std::make_shared<LimitsRecord>();
    for (size_t i = 1; i < records.size(); ++i) {
        const std::vector<std::string> f = split(trim(records[i]), '|');
        for (size_t k = 0; k < f.size(); ++k)
            StoreLimitsField(*record, static_cast<int>(k), f[k], out.mis_cutoff_text, out.mis_profit_loss_text,
                             out.has_mis_texts);
    }
    out.limits = std::move(record);
    out.post = true;
    out.note = kRiskLimits;
    out.count = h.count;
    out.bar_lines.push_back(formatText("[%d] Limits Downloaded Successfully for Client :%s", kRiskLimits,
                                       client.c_str()));
    return out;
}

RiskOutcome ParsePositionsReply(int type, std::string_view reply, const std::string& client,
                                const RiskParseContext& context)
{
    RiskOutcome out;
    out.type = type;
    out.store_positions = true; // a refused reply leaves no rows
    const bool holdings = type == kRiskHoldings;
    const size_t tilde = reply.find('~');
    const RiskHeader h = ParseRiskHeader(reply.substr(0, tilde));
    if (h.status != 0) {
        refused(out, h);
        return out;
    }
    WriteLog(0, formatText(holdings ? "Stocks Ctr <%ld>" : "Position Ctr <%ld>", h.count));
    // Room for the announced count and one more, never more than the reply
    // holds: the count is bounded by the reply's length before one is added,
    // so a count near the largest long cannot overflow.
    const long bounded = std::min<long>(h.count, static_cast<long>(reply.size()));
    const long capacity = bounded > 0 ? bounded + 1 : 0;
    if (tilde != std::string_view::npos) {
        const std::vector<std::string> rows = split(reply.substr(tilde + 1), '^');
        for (const std::string& row : rows) {
            if (row.empty())
                break;
            if (static_cast<long>(out.positions.size()) >= capacity) {
                WriteLog(0, holdings ? "Stock Data Error" : "Position Data Error");
                continue;
            }
            const int recordNo = static_cast<int>(out.positions.size());
            out.positions.push_back(positionRow(type, split(row, '|'), recordNo, context));
        }
    }
    const int n = static_cast<int>(out.positions.size());
    out.post = true;
    out.note = type;
    out.bar_lines.push_back(
        holdings ? formatText("Stocks Downloaded Successfully for Client :%s, Total Holdings :%d", client.c_str(), n)
                 : formatText("Positions Downloaded Successfully for Client :%s, Total Positions :%d", client.c_str(),
                              n));
    out.renew_feed = n > 0;
    return out;
}

std::vector<UnbilledPositionRecord> ParseUnbilledRows(std::string_view rows)
{
    std::vector<UnbilledPositionRecord> out;
    for (const std::string& row : split(rows, '^')) {
        if (row.empty())
            continue;
        const std::vector<std::string> f = split(row, '|');
        if (f.size() < 9)
            break;
        UnbilledPositionRecord u;
        u.security = f[0].substr(0, 49);
        std::replace(u.security.begin(), u.security.end(), ' ', '~');
        u.payin_date = f[1].substr(0, 31);
        u.value = toDouble(f[2]);
        u.multiple = toDouble(f[3]);
        u.source = riskLong(f[4]);
        u.margin_utilised = toDouble(f[5]);
        u.bnst_credit = toDouble(f[6]);
        u.total = toDouble(f[7]);
        u.bnst_hold_value = toDouble(f[8]);
        out.push_back(std::move(u));
    }
    return out;
}

RiskOutcome ParseUnbilledReply(std::string_view reply, const std::string& clientText)
{
    RiskOutcome out;
    out.type = kRiskUnbilled;
    const std::vector<std::string> records = split(reply, '~');
    if (records.empty()) {
        invalid(out, "NPUP1", "Unable to get unbilled positions");
        WriteLog(0, std::string(reply));
        return out;
    }
    const RiskHeader h = ParseRiskHeader(records[0]);
    if (h.fields < 2) {
        invalid(out, "NPUP2", "No unbilled positions for the client");
        return out;
    }
    if (h.status != 0) {
        refused(out, h);
        return out;
    }
    if (records.size() < 3) {
        invalid(out, "NPUP5", "The response received from server is invalid [NPUP5], Please try again");
        return out;
    }
    out.has_unbilled_texts = true;
    out.unbilled_total_text = records[2];
    out.unbilled_hold_value_text = records.size() > 3 ? records[3] : std::string();
    out.store_unbilled = true;
    out.unbilled = ParseUnbilledRows(records[1]);
    const long n = static_cast<long>(split(records[1], '^').size());
    out.bar_lines.push_back(formatText("[%ld] Unbilled positions downloaded for [%s]", records[1].empty() ? 0 : n,
                                       clientText.c_str()));
    out.post = true;
    out.note = kRiskUnbilled;
    return out;
}

std::vector<TodaysPositionRecord> ParseTodaysRows(std::string_view rows, const RiskParseContext& c)
{
    std::vector<TodaysPositionRecord> out;
    if (rows.empty())
        return out;
    for (const std::string& row : split(rows, '^')) {
        // Rows end in '^', so the text's last part is empty; a reply without
        // the final '^' keeps its last row.
        if (row.empty())
            break;
        const std::vector<std::string> f = split(row, '|');
        if (f.size() < 9)
            break;
        auto num = [&](size_t i) { return toDouble(riskField(f, i)); };
        auto integer = [&](size_t i) { return riskInt(riskField(f, i)); };
        TodaysPositionRecord r;
        r.token = integer(0);
        r.exchange = riskField(f, 1).substr(0, 2);
        r.sec_index = c.securities ? c.securities->find(r.token, r.exchange) : -1;
        if (r.sec_index < 0) {
            WriteLog(0, row);
            WriteLog(0, "not found in sec file");
            continue;
        }
        const RiskSecurityFacts s = c.securities->facts(r.sec_index);
        r.buy_traded_qty = integer(3);
        r.buy_traded_value = num(4) / 100;
        r.sell_traded_qty = integer(5);
        r.sell_traded_value = num(6) / 100;
        r.net_qty = integer(7);
        r.net_value = r.net_qty == 0 ? 0.0 : num(8) / 100;
        r.buy_open_qty = integer(9);
        r.buy_open_value = num(10) / 100;
        r.sell_open_qty = integer(11);
        r.sell_open_value = num(12) / 100;
        r.realised_pl = num(13) / 100;
        r.todays_premium = num(14) / 100;
        r.int_15 = integer(15);
        r.product_code = integer(16);
        r.avg_price = num(20) / 100;
        r.multiplier = num(21);
        r.amount_22 = num(22) / 100;
        r.number_24 = num(24);
        r.number_25 = num(25);
        r.number_26 = num(26);
        r.number_27 = num(27);
        r.amount_28 = num(28) / 100;
        r.int_29 = integer(29);
        r.int_30 = integer(30);
        r.amount_31 = num(31) / 100;
        r.buy_avg = num(34) / 100;
        r.sell_avg = num(35) / 100;
        r.record_no = static_cast<int>(out.size());
        r.side = ' ';
        r.ltp = PositionMath::LastRupees(s);
        // Products 5 and 8 carry their average as the server's own number.
        if ((r.product_code == 5 || r.product_code == 8) && !s.currency && r.avg_price > 0)
            r.avg_price *= 100;
        r.unrealised_pl = PositionMath::TodaysPl(r, s);
        out.push_back(std::move(r));
    }
    return out;
}

RiskOutcome ParseTodaysReply(std::string_view reply, const std::string& clientText, const RiskParseContext& context)
{
    RiskOutcome out;
    out.type = kRiskTodays;
    const std::vector<std::string> records = split(reply, '~');
    if (records.empty()) {
        invalid(out, "NPTP1", "Unable to get todays positions");
        WriteLog(0, std::string(reply));
        return out;
    }
    const RiskHeader h = ParseRiskHeader(records[0]);
    if (h.fields < 2) {
        invalid(out, "NPTP2", "No todays positions for the client");
        return out;
    }
    if (h.status != 0) {
        refused(out, h);
        return out;
    }
    out.store_todays = true;
    out.todays = ParseTodaysRows(records.size() > 1 ? std::string_view(records[1]) : std::string_view(), context);
    out.bar_lines.push_back(formatText("Todays positions downloaded for [%s]", clientText.c_str()));
    out.renew_feed = true;
    out.post = true;
    out.note = kRiskTodays;
    return out;
}

RiskOutcome ParseMisReply(std::string_view reply, const std::string& clientText)
{
    RiskOutcome out;
    out.type = kRiskLimits;
    const std::vector<std::string> records = split(reply, '~');
    const RiskHeader h = ParseRiskHeader(riskField(records, 0));
    if (h.status != 0) {
        refused(out, h);
        return out;
    }
    LimitsRecord scratch;
    for (size_t i = 1; i < records.size(); ++i) {
        const std::vector<std::string> f = split(trim(records[i]), '|');
        if (f.size() > 56)
            StoreLimitsField(scratch, 56, f[56], out.mis_cutoff_text, out.mis_profit_loss_text, out.has_mis_texts);
        if (f.size() > 57)
            StoreLimitsField(scratch, 57, f[57], out.mis_cutoff_text, out.mis_profit_loss_text, out.has_mis_texts);
    }
    out.bar_lines.push_back(formatText("[%d] Limits Downloaded Successfully for Client :%s", kRiskLimits,
                                       clientText.c_str()));
    return out;
}

RiskOutcome ParseRiskReply(int type, std::string_view reply, const std::string& client, const std::string& clientText,
                           const RiskParseContext& context)
{
    if (reply.empty()) {
        RiskOutcome out;
        out.type = type;
        out.post = true;
        out.note = kRiskNoteFailed;
        out.box = "Server Error. Please Try Again...";
        return out;
    }
    switch (type) {
    case kRiskLimits: return ParseLimitsReply(reply, client);
    case kRiskPositions:
    case kRiskHoldings: return ParsePositionsReply(type, reply, client, context);
    case kRiskUnbilled: return ParseUnbilledReply(reply, clientText);
    case kRiskTodays: return ParseTodaysReply(reply, clientText, context);
    default: break;
    }
    RiskOutcome out;
    out.type = type;
    return out;
}

bool IsProperRiskClientCode(std::string_view code)
{
    static constexpr std::string_view kRefused = "`~!@#$%^&*()_-=+\\|;:\"'[{]}<,>/? ";
    if (code.size() != 5)
        return false;
    for (char ch : code)
        if (kRefused.find(ch) != std::string_view::npos || static_cast<unsigned char>(ch) < 0x20)
            return false;
    return true;
}

bool ChooseRiskClient(int activeIndex, char userType, const std::string& activeCode, const std::string& activeId,
                      const std::string& editText, const std::string& sessionId, RiskClient& out)
{
    const bool dealer = userType == 'D' || userType == 'A';
    out.aclient = activeIndex >= 1 && dealer;
    if (activeIndex != 0 || !dealer) {
        out.code = activeCode;
        out.id = activeId;
        return true;
    }
    const std::string code(trim(editText));
    if (!IsProperRiskClientCode(code))
        return false;
    out.code = code;
    out.id = sessionId;
    return true;
}

std::string RiskRequestText(int type, const RiskClient& c, const std::string& userId)
{
    return formatText("RiskData=%d|%s|%s|%s|%s|%d&AClient=%c", type, c.id.c_str(), userId.c_str(), c.code.c_str(),
                      c.code.c_str(), 4, c.aclient ? 'Y' : 'N');
}

std::string MisRequestText(const RiskClient& c, const std::string& userId, const std::string& sessionId)
{
    return formatText("RiskData=%d|%s|%s|%s|%s&AClient=%c", kRiskLimits, sessionId.c_str(), userId.c_str(),
                      c.code.c_str(), c.code.c_str(), c.aclient ? 'Y' : 'N');
}

std::string RiskDownloadingLine(int type, const std::string& client)
{
    const char* format = "";
    switch (type) {
    case kRiskLimits: format = "Downloading Limits for Client :%s"; break;
    case kRiskPositions: format = "Downloading Positions for Client :%s"; break;
    case kRiskHoldings: format = "Downloading Holdings for Client :%s"; break;
    case kRiskUnbilled: format = "Downloading Unbilled positions for Client :%s"; break;
    case kRiskTodays: format = "Downloading Todays  positions for Client :%s"; break;
    default: return {};
    }
    return formatText(format, client.c_str());
}

std::string AdditionalMarginText(const std::string& userId, const std::string& sessionId, const std::string& client)
{
    return formatText("LoginData=1002|%s|%s|%d&ClientUserId=%s", userId.c_str(), sessionId.c_str(), 392,
                      client.substr(0, 10).c_str());
}

std::string PledgeRequestText(const RiskClient& c, const std::string& userId, int kind,
                              const std::vector<PledgeLine>& lines)
{
    std::string items;
    for (const PledgeLine& l : lines)
        items += formatText("%d|%s|%ld^", l.token, l.exchange.c_str(), l.quantity);
    if (!items.empty())
        items.back() = '~';
    return formatText("RiskData=%d|%s|%s|%s|%d|%d|%ld~%s", kRiskPledge, c.id.c_str(), userId.c_str(), c.code.c_str(),
                      kind, 4, static_cast<long>(lines.size()), items.c_str());
}

PledgeResult ParsePledgeReply(int httpStatus, std::string_view reply,
                              const std::vector<std::pair<int, std::string>>& names)
{
    PledgeResult out;
    out.note = -1;
    if (httpStatus != 200) {
        out.text = httpStatus == 407
            ? std::string("Proxy Authentication Failed")
            : formatText("Internet Connectivity Error [%d]. Pls contact System Administrator", httpStatus);
        return out;
    }
    if (reply.empty()) {
        out.text = "Server Error. Please Check Sell From Existing Report for Confirmation";
        return out;
    }
    const std::vector<std::string> records = split(reply, '~');
    const std::vector<std::string> head = split(riskField(records, 0), '|');
    if (records.empty() || head.size() < 2) {
        WriteLog(0, records.empty() ? "2. Invalid Response Received For Pledge/Unpledge"
                                    : "1. Invalid Response Received For Pledge/Unpledge");
        out.text = "Invalid Response Received For Pledge/Unpledge";
        return out;
    }
    if (riskInt(head[1]) != 0) {
        out.text = riskField(head, 2);
        return out;
    }
    std::string name;
    std::string text;
    long line = 0;
    for (const std::string& row : split(riskField(records, 1), '^')) {
        if (row.empty())
            continue;
        const std::vector<std::string> f = split(row, '|');
        const int token = riskInt(riskField(f, 0));
        for (const auto& [t, n] : names)
            if (t == token) {
                name = n;
                break;
            }
        text += formatText("%ld %s-%s\n", ++line, name.c_str(), riskField(f, 1).c_str());
    }
    out.note = 0;
    out.text = text;
    return out;
}
