#include "orders/TsloOrder.h"

#include "app/base/AppSettings.h"
#include "app/base/FixedText.h"
#include "app/base/MachineDetails.h"
#include "app/base/TextFormat.h"
#include "app/base/WholeNumber.h"
#include "watch/base/TextSplit.h"

#include <cctype>
#include <cmath>
#include <cstdlib>
#include <mutex>
#include <optional>
#include <vector>

namespace tslo_order_detail {
namespace {

std::mutex g_infoMutex;
std::string g_infoText;
bool g_infoMade = false;

std::string f2(double v) { return formatText("%.2lf", v); }
std::string f4(double v) { return formatText("%.4lf", v); }

class Fields {
public:
    explicit Fields(int code) : m_text(std::to_string(code)) {}
    Fields& add(std::string_view v)
    {
        m_text += '|';
        m_text += v;
        return *this;
    }
    Fields& add(long v) { return add(std::to_string(v)); }
    Fields& add(char c) { return add(std::string_view(&c, 1)); }
    const std::string& text() const { return m_text; }

private:
    std::string m_text;
};

bool squareOffMode(int mode) { return mode == 7 || mode == 8 || mode == 14; }

} // namespace
} // namespace tslo_order_detail

std::string TsloKindText(int kind)
{
    switch (kind) {
    case 1: return "TSLO Existing";
    case 2: return "Bracket Order Existing";
    case 3: return "TSLO New";
    case 4: return "Bracket Order New";
    case 5: return "Nifty Morrowpick";
    default: return {};
    }
}

std::string GetInfoText()
{
    std::lock_guard lock(tslo_order_detail::g_infoMutex);
    if (!tslo_order_detail::g_infoMade) {
        // The text stands inside a '|' record of a '&' request: its
        // separators would split it.
        for (char c : std::string(kBuildText) + " " + DeviceId())
            if (c != '|' && c != '&' && c != '=')
                tslo_order_detail::g_infoText += c;
        tslo_order_detail::g_infoMade = true;
    }
    return tslo_order_detail::g_infoText;
}

void SetInfoTextForTest(const std::string& text)
{
    std::lock_guard lock(tslo_order_detail::g_infoMutex);
    tslo_order_detail::g_infoText = text;
    tslo_order_detail::g_infoMade = true;
}

TsloRequest BuildTsloRequest(const COrderData& d, const OrderSecurity& sec, const TsloRequestContext& ctx)
{
    TsloRequest out;
    if (d.trailing_type < 1 || d.trailing_type > 5 || ctx.mode < 1 || ctx.mode > 3)
        return out;
    const int code = 120 + ctx.mode;
    const std::string_view clientId = FixedTextView(d.client_id);
    const std::string_view client = FixedTextView(d.client_code);
    const std::string_view orderType = FixedTextView(d.validity);
    const char derivatives = sec.derivative == 1 ? 'Y' : 'N';
    const long token = ctx.userType == 'G' ? sec.wtoken : sec.token;
    tslo_order_detail::Fields r(code);
    r.add(clientId).add(ctx.userId).add(client).add(client).add(static_cast<long>(d.trailing_type));
    switch (code) {
    case 121:
        r.add(derivatives).add(token).add(FixedTextView(d.exchange)).add(d.side).add(static_cast<long>(d.quantity))
            .add(tslo_order_detail::f2(d.price)).add(static_cast<long>(d.disclosed)).add(tslo_order_detail::f2(d.trigger))
            .add(d.trailing_side).add(tslo_order_detail::f4(d.spread)).add(tslo_order_detail::f2(d.trailing_when))
            .add(tslo_order_detail::f2(d.bp_price)).add(static_cast<long>(d.bp_disclosed)).add("1").add(ctx.infoText)
            .add(orderType).add("").add("4").add(static_cast<long>(d.auto_square_off));
        break;
    case 122:
        r.add(static_cast<long>(d.trailing_order_no)).add(derivatives).add(static_cast<long>(d.quantity))
            .add(static_cast<long>(d.first_leg_traded)).add(tslo_order_detail::f2(d.price)).add(static_cast<long>(d.disclosed))
            .add(tslo_order_detail::f2(d.trigger)).add(tslo_order_detail::f4(d.spread)).add(tslo_order_detail::f2(d.trailing_when))
            .add(tslo_order_detail::f2(d.bp_price)).add(static_cast<long>(d.bp_disclosed)).add("1").add(ctx.infoText)
            .add(orderType).add("").add("4").add(static_cast<long>(d.auto_square_off));
        break;
    default:
        r.add(static_cast<long>(d.trailing_order_no)).add(ctx.infoText).add("").add("4");
        break;
    }
    out.code = code;
    out.text = "NoOfOrders=1&OrderData1=" + r.text();
    return out;
}

TsloReply ParseTsloReply(int requestCode, std::string_view reply)
{
    TsloReply out;
    std::vector<std::string> f;
    SplitString(reply, '|', f);
    if (reply.empty() || f.size() < 4)
        return out;
    if (std::strtol(f[0].c_str(), nullptr, 10) != requestCode + 50 || f[0].empty()) {
        out.kind = TsloReply::Kind::Invalid;
        out.message = "Invalid response received from server";
        return out;
    }
    if (std::strtol(f[1].c_str(), nullptr, 10) != 0) {
        out.kind = TsloReply::Kind::Refused;
        out.message = f[2];
        return out;
    }
    out.kind = TsloReply::Kind::Accepted;
    out.message = f[2];
    for (char& c : out.message)
        if (c == '.')
            c = '\n';
    if (f.size() > 5)
        out.trailingId = static_cast<int>(std::strtol(f[5].c_str(), nullptr, 10));
    else
        out.idMissing = true;
    return out;
}

int TsloKindOnExpand(int kind, int mode)
{
    if (tslo_order_detail::squareOffMode(mode))
        return 1;
    if (kind == 5)
        return 5;
    if (mode == 1)
        return 3;
    return kind == 0 ? 1 : kind;
}

char TsloTrailSideOnExpand(char orderSide, int mode)
{
    if (mode == 1)
        return orderSide == 'B' ? 'S' : 'B';
    return orderSide;
}

int TsloKindWithBookProfit(int kind, bool bookProfit)
{
    if (bookProfit)
        return kind == 1 ? 2 : kind == 3 ? 4 : kind;
    return kind == 2 ? 1 : kind == 4 ? 3 : kind;
}

int TsloKindForValidation(int kind, bool bookProfit, int mode)
{
    if (kind != 0)
        return kind;
    const bool existing = mode == 2 || mode == 3 || tslo_order_detail::squareOffMode(mode);
    if (bookProfit)
        return existing ? 2 : 4;
    return existing ? 1 : 3;
}

double TsloTriggerBase(bool legTrails, bool whenPriceReaches, double whenPrice, int kind, double orderPrice,
                       double lastPrice)
{
    double base;
    if (legTrails)
        base = lastPrice;
    else if (whenPriceReaches)
        base = whenPrice;
    else
        base = kind == 3 || kind == 4 ? orderPrice : 0;
    return base == 0 ? lastPrice : base;
}

double TsloTrailingTrigger(char trailSide, double spread, double basePrice, double lastPrice)
{
    if (!(spread > 0))
        return -1;
    const double base = basePrice == 0 ? lastPrice : basePrice;
    return trailSide == 'B' ? base + spread : base - spread;
}

double TsloSpinStep(double value, int direction, double tickRupees)
{
    const double step = tickRupees > 0 ? tickRupees : 0.01;
    double next = value + (direction > 0 ? step : -step);
    if (next < 0)
        next = 0;
    // Shown with at most four decimals: drop the binary residue.
    return std::round(next * 10000.0) / 10000.0;
}

namespace tslo_order_detail {
namespace {

bool priceChars(const std::string& s)
{
    for (char c : s)
        if (!std::isdigit(static_cast<unsigned char>(c)) && c != '.')
            return false;
    return true;
}

} // namespace
} // namespace tslo_order_detail

TsloPanelOutcome CheckTsloPanel(const TsloPanelInput& in)
{
    using namespace tslopanel;
    TsloPanelOutcome out;
    const double ltp = in.ltpPaise / 100.0;
    const bool ranged = in.ltpPaise > 0;
    auto refuse = [&out](const std::string& text, int focusId, bool info) {
        out.message = text;
        out.focusId = focusId;
        out.infoBox = info;
        return out;
    };
    if (in.spreadEnabled && (in.mode == 1 || in.mode == 2)) {
        if (!tslo_order_detail::priceChars(in.spreadText))
            return refuse("Please enter Valid Spread for the Order", kSpread, false);
        const double spread = std::strtod(in.spreadText.c_str(), nullptr);
        if (spread <= 0)
            return refuse(formatText("TSLO Spread cannot be Blank or Zero [%lf].", spread), kSpread, true);
        if (ranged && spread >= ltp)
            return refuse("TSLO Spread is out of range.", kSpread, true);
        out.spread = spread;
    }
    if (in.trailAtEnabled) {
        if (in.market) {
            out.trailingWhen = 0;
        } else {
            if (!tslo_order_detail::priceChars(in.whenText))
                return refuse("Please enter Valid Trailing Price for the Order", kWhenPrice, false);
            const double when = std::strtod(in.whenText.c_str(), nullptr);
            if (when <= 0)
                return refuse("Trailing When cannot be Blank or Zero.", kWhenPrice, true);
            if (ranged && when * 100 > 2 * in.ltpPaise)
                return refuse("Trailing When is out of range.", kWhenPrice, true);
            out.trailingWhen = std::round(when * 100 * 100) / 100;
        }
    }
    if (in.bookProfit || in.kind == 5) {
        // Empty discloses nothing (-1); any other text is one whole number, never "1.5" read as 1.
        const std::optional<long long> bpDisclosed = ParseWholeNumber(in.bpDisclosedText);
        if (!in.bpDisclosedText.empty() && !bpDisclosed)
            return refuse("Please enter Valid Book Profit Disclosed Qty for the Order", kBpDisclosed, false);
        out.bpDisclosed = bpDisclosed ? static_cast<int>(*bpDisclosed) : -1;
        if (!tslo_order_detail::priceChars(in.bpPriceText))
            return refuse("Please enter Valid Book Profit Price for the Order", kBpPrice, false);
        const double bp = std::strtod(in.bpPriceText.c_str(), nullptr);
        if (bp <= 0)
            return refuse("Book Profit Price cannot be Blank or Zero.", kBpPrice, false);
        if (ranged && bp > 2 * ltp)
            return refuse("Book Profit Price is out of range.", kBpPrice, false);
        out.bpPrice = std::round(bp * 100 * 100) / 100;
    }
    if (in.kind == 5) {
        if (!tslo_order_detail::priceChars(in.triggerText))
            return refuse("Please enter Valid TSLO Trigger Price for the Order", kTrigger, false);
        const double trigger = std::strtod(in.triggerText.c_str(), nullptr);
        if (trigger <= 0)
            return refuse("TSLO Trigger Price cannot be Blank or Zero.", kTrigger, false);
        if (ranged && trigger > 2 * ltp)
            return refuse("TSLO Trigger Price is out of range.", kTrigger, false);
        out.trigger = std::round(trigger * 100 * 100) / 100;
    }
    out.kind = TsloKindForValidation(in.kind, in.bookProfit, in.mode);
    return out;
}
