#include "orders/BasketRequest.h"

#include "app/base/LogWriter.h"
#include "app/base/WholeNumber.h"
#include "watch/base/TextSplit.h"

#include <algorithm>
#include <climits>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>

namespace basket_request_detail {
namespace {

std::string format(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
std::string format(const char* fmt, ...)
{
    va_list args;
    va_start(args, fmt);
    va_list copy;
    va_copy(copy, args);
    const int n = std::vsnprintf(nullptr, 0, fmt, copy);
    va_end(copy);
    std::string out(n > 0 ? size_t(n) : 0, '\0');
    if (n > 0)
        std::vsnprintf(out.data(), out.size() + 1, fmt, args);
    va_end(args);
    return out;
}

std::string trim(const std::string& s)
{
    const size_t b = s.find_first_not_of(' ');
    if (b == std::string::npos)
        return {};
    return s.substr(b, s.find_last_not_of(' ') - b + 1);
}

// The characters a client code or a price never holds.
constexpr const char* kBadClientChars = " \"@`|~!#$%^&*()_-=+\\;:'[{]}<,>/?";

bool hasBadPriceChar(const std::string& s)
{
    for (char c : s)
        if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || std::strchr(kBadClientChars, c))
            return true;
    return std::count(s.begin(), s.end(), '.') > 1;
}

// More than `most` characters after the first '.'.
bool tooManyDecimals(const std::string& s, size_t most)
{
    const size_t dot = s.find('.');
    return dot != std::string::npos && s.size() - dot - 1 > most;
}

// A box's whole number (an empty box is 0); false when it holds anything
// else: a sign, a separator, a fraction. The legs' numbers are long long,
// bounded by the order limits further on.
bool readInt(const std::string& text, long long& out)
{
    const std::string t = trim(text);
    if (t.empty()) {
        out = 0;
        return true;
    }
    const std::optional<long long> v = ParseWholeNumber(t, LLONG_MAX);
    out = v.value_or(0);
    return v.has_value();
}

std::string exchangeCode(const std::string& name)
{
    if (name == "NSE")
        return "NN";
    if (name == "BSE")
        return "BN";
    if (name == "NSE-FX")
        return "CN";
    if (name == "BSE-CDX")
        return "CB";
    if (name == "MCX-CM")
        return "MC";
    return {};
}

// "%.0lf" read back: a value that is 434.99999 in binary still counts as 435.
long long scaled(double v, double factor)
{
    char text[64];
    std::snprintf(text, sizeof text, "%.0lf", v * factor);
    return std::strtoll(text, nullptr, 10);
}

} // namespace
} // namespace basket_request_detail

bool BasketPriceOnTick(const std::string& text, const OrderSecurity& sec, std::string& tickText)
{
    const double v = std::strtod(text.c_str(), nullptr);
    long long t = 0;
    long long step = 0;
    if (sec.currency) {
        t = basket_request_detail::scaled(v, 10000);
        step = sec.tickSize;
        tickText = basket_request_detail::format("%0.4lf", sec.tickSize / 10000.0);
    } else if (sec.commodity || (sec.derivative == 1 && sec.exchange == "BN")) {
        t = basket_request_detail::scaled(v, 100);
        step = sec.tickSize;
        tickText = basket_request_detail::format("%0.2lf", sec.tickSize / 100.0);
    } else {
        t = basket_request_detail::scaled(v, 100);
        step = sec.tickSize / 100;
        tickText = basket_request_detail::format("%0.2lf", sec.tickSize / 10000.0);
    }
    if (step <= 0) {
        // A tick the rule cannot divide by: no price can be shown to be on it.
        WriteLog(0, "Basket tick test: tick size " + std::to_string(sec.tickSize) + " of " + sec.displayKey
                        + " cannot be used");
        return false;
    }
    return t % step == 0;
}

namespace basket_request_detail {
namespace {

struct LegValues {
    char side = 'B';
    std::string exch;
    int markCode = -1;
    long long qty = 0;
    long long lots = 0;
    long long disclosed = 0;
    double price = 0;   // paise
    double trigger = 0; // paise
};

bool fail(BasketFailure& f, std::string text, BasketFailure::Box box, int leg, BasketField focus, bool select = false)
{
    f.text = std::move(text);
    f.box = box;
    f.leg = leg;
    f.focus = focus;
    f.selectText = select;
    return false;
}

bool checkLeg(const BasketForm& form, const BasketContext& ctx, int k, const OrderSecurity& sec, LegValues& v,
              BasketFailure& f)
{
    const BasketLegRow& row = form.legs[size_t(k)];
    if (row.secIndex == -1 || !sec.valid() || trim(row.name).empty())
        return fail(f, "Please select Security for placing the Order", BasketFailure::Ok, k, BasketField::None);
    if (row.action != "BUY" && row.action != "SELL")
        return fail(f, "Please Select proper Buy/Sell for the Order", BasketFailure::Ok, k, BasketField::Action);
    v.side = row.action == "BUY" ? 'B' : 'S';
    v.exch = exchangeCode(row.exchange);
    if (v.exch.empty())
        return fail(f, "Please Select proper exchange for the Order", BasketFailure::Ok, k, BasketField::Exchange);
    if (row.mark.empty())
        return fail(f, "Please Select proper Order Mark for the Order", BasketFailure::Ok, k, BasketField::Mark);
    v.markCode = ctx.markCode ? ctx.markCode(row.mark) : -1;
    long long lots = 0;
    if (!readInt(row.quantity, v.qty) || v.qty < 1)
        return fail(f, "Please enter Quantity for the Order", BasketFailure::Ok, k, BasketField::Quantity, true);
    const std::string lotMessage = format("Please enter Quantity in mulitple of Market Lot :%d", sec.marketLot);
    if (sec.marketLot <= 0 || v.qty % sec.marketLot != 0)
        return fail(f, lotMessage, BasketFailure::Info, k, BasketField::Quantity, true);
    if (form.mode == kBasketSquareOff && v.qty > row.squareOffQty)
        return fail(f, format("Please enter Quantity less than allowed Square-Off Qty :%d", row.squareOffQty),
                    BasketFailure::Plain, k, BasketField::Quantity, true);
    // "1.5" lots is no number of lots, never 1.
    if (!readInt(row.lots, lots))
        return fail(f, "Please enter Quantity for the Order", BasketFailure::Ok, k, BasketField::Lots, true);
    v.lots = lots;
    // A currency leg goes out in lots: less than one would be an order of nothing.
    if (sec.currency && form.mode != kBasketCancel && v.lots < 1)
        return fail(f, "Please enter at least one Lot for the Order", BasketFailure::Ok, k, BasketField::Lots, true);
    const std::string discMessage
        = format("Please enter Disclosed Quantity in mulitple of Market Lot :%d", sec.marketLot);
    if (!readInt(row.disclosed, v.disclosed) || v.disclosed < 0)
        return fail(f, discMessage, BasketFailure::Info, k, BasketField::Disclosed);
    if (sec.commodity)
        v.disclosed *= sec.marketLot;
    if (v.disclosed >= 1 && v.disclosed % sec.marketLot != 0)
        return fail(f, discMessage, BasketFailure::Info, k, BasketField::Disclosed);

    const std::string price = trim(row.price);
    if (price.empty())
        return fail(f, "Please enter Price for the Order", BasketFailure::Ok, k, BasketField::Price, true);
    if (hasBadPriceChar(price))
        return fail(f, "Please enter Valid Price for the Order", BasketFailure::Ok, k, BasketField::Price, true);
    if (sec.currency && tooManyDecimals(price, 4))
        return fail(f, "Please enter Valid Price for the Order. Only 4 decimal position is allowed.", BasketFailure::Ok,
                    k, BasketField::Price, true);
    if (!sec.currency && tooManyDecimals(price, 2))
        return fail(f, "Please enter Valid Price for the Order. Only 2 decimal position is allowed.", BasketFailure::Ok,
                    k, BasketField::Price, true);
    std::string tick;
    if (!BasketPriceOnTick(price, sec, tick))
        return fail(f, "Please enter Price in mulitple of Tick Size :" + tick, BasketFailure::Info, k,
                    BasketField::Price, true);
    v.price = std::strtod(price.c_str(), nullptr) * 100;

    const std::string trigger = trim(row.trigger);
    if (!trigger.empty() && hasBadPriceChar(trigger))
        return fail(f, "Please enter Valid Trigger Price for the Order", BasketFailure::Ok, k, BasketField::Trigger);
    if (sec.currency && tooManyDecimals(trigger, 4))
        return fail(f, "Please enter Valid Trigger Price for the Order. Only 4 decimal position is allowed.",
                    BasketFailure::Ok, k, BasketField::Trigger);
    if (!sec.currency && tooManyDecimals(trigger, 2))
        return fail(f, "Please enter Valid Trigger Price for the Order. Only 2 decimal position is allowed.",
                    BasketFailure::Ok, k, BasketField::Trigger);
    v.trigger = trigger.empty() ? 0 : std::strtod(trigger.c_str(), nullptr) * 100;
    if (v.trigger != 0 && !BasketPriceOnTick(trigger, sec, tick))
        return fail(f, "Please enter Trigger Price in mulitple of Tick Size :" + tick, BasketFailure::Info, k,
                    BasketField::Trigger);

    if (form.mode == kBasketNew || form.mode == kBasketModify) {
        if (ctx.qtyLimit > 0 && v.qty > ctx.qtyLimit)
            return fail(f, format("Please enter Quantity less than Order Qty Limit :%d", ctx.qtyLimit),
                        BasketFailure::Info, k, BasketField::None);
        const std::string valueMessage
            = format("Please enter Order Value less than Order Value Limit :%.0lf", ctx.valueLimit);
        const double p = v.price > 0 ? v.price : sec.ltp;
        double value = 0;
        if (sec.currency) {
            value = double(sec.lotUnits) * double(v.lots) * p;
        } else if (sec.commodity) {
            if (sec.denominator == 0)
                return fail(f, valueMessage, BasketFailure::Info, k, BasketField::None);
            value = double((sec.lotUnits * v.qty) / sec.denominator) * p;
        } else {
            value = double(v.qty) * p;
        }
        value /= 100;
        if (ctx.valueLimit > 0 && value > ctx.valueLimit)
            return fail(f, valueMessage, BasketFailure::Info, k, BasketField::None);
    }
    return true;
}

} // namespace
} // namespace basket_request_detail

bool BuildBasketRequest(const BasketForm& form, const BasketContext& ctx, BasketRequest& out, BasketFailure& f)
{
    out = {};
    f = {};
    const std::string client = basket_request_detail::trim(form.client);
    if (client.empty() || client.find_first_of(basket_request_detail::kBadClientChars) != std::string::npos)
        return basket_request_detail::fail(f, "Please Select proper Client for the Order", BasketFailure::Ok, -1, BasketField::Client);
    const char amo = form.amo ? 'Y' : 'N';
    std::string password;
    if (form.passwordAsked) {
        password = basket_request_detail::trim(form.password);
        if (password.empty())
            return basket_request_detail::fail(f, "Please enter Trading Password", BasketFailure::Ok, -1, BasketField::Password);
        // It goes into an '&'- and '='-keyed request as it is.
        if (password.find_first_of("&=%|~^") != std::string::npos || password.size() > 11)
            return basket_request_detail::fail(f, "The Trading Password cannot be sent: it may not hold & = % | ~ ^ or exceed 11 characters",
                                BasketFailure::Ok, -1, BasketField::Password);
    }
    int ticked = 0;
    for (const BasketLegRow& row : form.legs)
        ticked += row.selected;
    if (ticked == 0)
        return basket_request_detail::fail(f, "Please select checkbox for placing the Order", BasketFailure::Ok, -1, BasketField::None);
    const int transCode = form.mode == 1 ? 311 : form.mode == 2 ? 321 : form.mode == 3 ? 331 : 301;
    out.requestNumber = ctx.takeRequestNumber ? ctx.takeRequestNumber() : 0;
    if (form.mode == kBasketSquareOff)
        out.text = basket_request_detail::format("OrdReqNo=%d&DDSId=%d&DDSOrdNo=%0.lf&NoOfOrders=%d&TransCode=%d&UserId=%s&ClientId=%s"
                                  "&ClientGrp=%s&SessionId=%s&TPassword=%s",
                                  out.requestNumber, form.ddsId, form.ddsOrderNo, ticked, transCode, ctx.userId.c_str(),
                                  client.c_str(), client.c_str(), ctx.sessionId.c_str(), password.c_str());
    else
        out.text = basket_request_detail::format("OrdReqNo=%d&DDSId=%d&NoOfOrders=%d&TransCode=%d&UserId=%s&ClientId=%s&ClientGrp=%s"
                                  "&SessionId=%s&TPassword=%s",
                                  out.requestNumber, form.ddsId, ticked, transCode, ctx.userId.c_str(), client.c_str(),
                                  client.c_str(), ctx.sessionId.c_str(), password.c_str());
    WriteLog(0, "Basket Order Ref No :" + std::to_string(out.requestNumber));

    const std::string env = ctx.environment;
    for (int k = 0; k < kBasketLegCount; ++k) {
        const BasketLegRow& row = form.legs[size_t(k)];
        if (!row.selected)
            continue;
        const OrderSecurity sec = ctx.security ? ctx.security(row.secIndex) : OrderSecurity {};
        basket_request_detail::LegValues v;
        if (!basket_request_detail::checkLeg(form, ctx, k, sec, v, f))
            return false;
        const int n = int(out.lines.size()) + 1;
        const bool four = sec.currency != 0;
        const long long qtyField = four ? v.lots : v.qty;
        const double rupees = v.price / 100, triggerRupees = v.trigger / 100;
        const char* pf = four ? "%0.4lf" : "%0.2lf";
        auto num = [&](double x) { return basket_request_detail::format(pf, x); };
        std::string record;
        std::string line;
        const std::string head = basket_request_detail::format("%d|", sec.derivative);
        if (form.mode == kBasketCancel) {
            record = basket_request_detail::format("%s|%d|%0.lf|%d|%s|%s", row.legClient.c_str(), sec.derivative, row.orderNo,
                                    sec.scripCode, v.exch.c_str(), env.c_str());
            line = basket_request_detail::format("Placing Cancel Basket Order No :%d, %s %s Order for Client %s, Security %s|%s, Qty %lld, "
                                  "Price %s Trigger Price %s",
                                  n, row.mark.c_str(), row.action.c_str(), row.legClient.c_str(), sec.displayKey.c_str(),
                                  "", v.qty, num(rupees).c_str(), num(triggerRupees).c_str());
        } else if (form.mode == kBasketModify) {
            record = head
                + basket_request_detail::format("%0.lf|N|00:00:00:00|%d|%s|%c|%d|%lld|%s|%s|00-00-0000|%lld|%s|0|GFD|C|%d|%c|0|NA|%s",
                                 row.orderNo, sec.scripCode, v.exch.c_str(), v.side, row.previousQty, qtyField,
                                 num(row.previousPrice * 100).c_str(), num(v.price).c_str(), v.disclosed,
                                 num(v.trigger).c_str(), v.markCode, amo, env.c_str());
            line = basket_request_detail::format("Placing Modify Basket Order No :%d, %s %s Order for Client %s, Security %s|%s, Old Qty "
                                  "%d, New Qty %lld, Old Price %s, New Price %s Trigger Price %s",
                                  n, row.mark.c_str(), row.action.c_str(), client.c_str(), sec.displayKey.c_str(), "",
                                  row.previousQty, v.qty, num(row.previousPrice).c_str(), num(rupees).c_str(),
                                  num(triggerRupees).c_str());
        } else {
            record = head
                + basket_request_detail::format("N|00:00:00:00|%d|%s|%c|%lld|%s|00-00-0000|%lld|%s|0|GFD|C|%d|%c|0|NA|%s", sec.scripCode,
                                 v.exch.c_str(), v.side, qtyField, num(v.price).c_str(), v.disclosed,
                                 num(v.trigger).c_str(), v.markCode, amo, env.c_str());
            line = basket_request_detail::format("Placing Basket Order No :%d, %s %s Order for Client %s, Security %s|%s, Qty %lld, "
                                  "Price %s Trigger Price %s",
                                  n, row.mark.c_str(), row.action.c_str(), client.c_str(), sec.displayKey.c_str(), "",
                                  v.qty, num(rupees).c_str(), num(triggerRupees).c_str());
        }
        out.text += basket_request_detail::format("&OrderData%d=", n) + record;
        out.lines.push_back(line);
        out.legs.push_back(k);
    }
    out.text += "&AClient=N";
    out.code = 301;
    if (ctx.encryption == 2 && out.text.size() > kMaxRsaRequest)
        return basket_request_detail::fail(f,
                            "The basket request is too long for the secure connection (" + std::to_string(out.text.size())
                                + " characters, at most " + std::to_string(kMaxRsaRequest)
                                + "). Please place fewer orders in one basket.",
                            BasketFailure::Ok, -1, BasketField::None);
    if (form.mode == kBasketNew) {
        for (int k = 0; k < kBasketLegCount; ++k) {
            const BasketLegRow& row = form.legs[size_t(k)];
            if (!row.selected || !ctx.security)
                continue;
            const OrderSecurity sec = ctx.security(row.secIndex);
            if (!sec.valid() || sec.alertFlag1 != 1 || sec.alertFlag2 != 1)
                continue;
            const std::string text = sec.alertText + "\n" + sec.displayKey + "\n";
            if (out.alertText != text) {
                out.alertText += text;
                WriteLog(0, "secindex" + std::to_string(k + 1));
                WriteLog(0, out.alertText);
            }
        }
        if (!out.alertText.empty())
            out.alertText += " would you like to continue ?\n ";
    }
    return true;
}

std::vector<BasketLegResult> ReadBasketReply(const std::string& reply)
{
    std::vector<BasketLegResult> out;
    std::vector<std::string> records;
    SplitString(reply, '~', records);
    std::vector<std::string> f;
    for (size_t n = 0; n < records.size(); ++n) {
        const std::string& rec = records[n];
        if (rec.empty())
            continue;
        f.clear();
        SplitString(rec, '|', f);
        f.resize(std::max<size_t>(f.size(), 5)); // a short record reads empty fields
        BasketLegResult r;
        r.status = std::atoi(f[0].c_str());
        r.orderNo = std::strtod(f[2].c_str(), nullptr);
        r.result = r.status == 9999 ? 9999 : std::atoi(f[3].c_str());
        r.message = f[4];
        r.record = int(n);
        out.push_back(std::move(r));
    }
    return out;
}

std::string BasketResultLine(int n, const BasketLegResult& r)
{
    return basket_request_detail::format("Basket Order :%d, Message :%s", n, r.message.c_str());
}

int BasketReplyResult(const std::vector<BasketLegResult>& results)
{
    return results.empty() ? -1 : results.back().result;
}
