#include "orders/OrderValidation.h"

#include "app/base/BoundedNumber.h"
#include "app/base/FixedText.h"
#include "app/base/LogWriter.h"
#include "app/base/TextFormat.h"
#include "orders/OrderFormIds.h"

#include <cstdio>
#include <cstdlib>
#include <string_view>

namespace order_validation_detail {
namespace {

using namespace orderform;

constexpr std::string_view kClientSet = " ~!@#$%^&*()_-=+\\|;:'[{]}<,>/?`\"";

struct ExchangeName {
    std::string_view name;
    std::string_view code;
};
constexpr ExchangeName kExchanges[] = {
    {"NSE", "NN"}, {"BSE", "BN"}, {"NSE-FX", "CN"}, {"BSE-CDX", "CB"}, {"MCX-CM", "MC"},
};

bool hasAny(std::string_view text, std::string_view set) { return text.find_first_of(set) != std::string_view::npos; }

// The rupees of a checked price text (digits and one '.').
double rupeesOf(std::string_view text) { return text.empty() ? 0.0 : std::strtod(std::string(text).c_str(), nullptr); }

class Chain {
public:
    Chain(ValidationOutcome& out, OrderPrompts& prompts) : m_out(out), m_prompts(prompts) {}
    // A refusal: shows the box and records where the focus goes.
    int refuse(OrderPrompts::Box kind, std::string text, int focusId = 0, bool select = false)
    {
        m_prompts.box(kind, text);
        m_out.message = std::move(text);
        m_out.focusId = focusId;
        m_out.selectText = select;
        m_out.result = -1;
        return -1;
    }

private:
    ValidationOutcome& m_out;
    OrderPrompts& m_prompts;
};

const char* priceFault(PriceTextFault f, bool trigger, bool currency)
{
    switch (f) {
    case PriceTextFault::BadCharacter:
        return trigger ? "Please enter Valid Trigger Price for the Order" : "Please enter Valid Price for the Order";
    case PriceTextFault::DotAlone:
        return trigger ? "Please enter Valid Trigger Price for the Order" : "Please enter Valid Price for the Order.";
    case PriceTextFault::TooManyDecimals:
        if (trigger)
            return currency ? "Please enter Valid Trigger Price for the Order. Only 4 decimal position is allowed."
                            : "Please enter Valid Trigger Price for the Order. Only 2 decimal position is allowed.";
        return currency ? "Please enter Valid Price for the Order. Only 4 decimal position is allowed."
                        : "Please enter Valid Price for the Order. Only 2 decimal position is allowed.";
    case PriceTextFault::SecondDot:
        return trigger ? "Please enter Valid Trigger Price for the Order"
                       : "Please enter Valid Price for the Order. Only 1 decimal is allowed.";
    default:
        return "";
    }
}

std::string tickMessage(bool trigger, double shown, int decimals)
{
    const char* what = trigger ? "Trigger Price" : "Price";
    return decimals == 4 ? formatTextCapped(1023, "Please enter %s in mulitple of Tick Size :%0.4lf", what, shown)
                         : formatTextCapped(1023, "Please enter %s in mulitple of Tick Size :%0.2lf", what, shown);
}

int markIdOf(const std::vector<ExchangeSegment>& marks, std::string_view name)
{
    for (const ExchangeSegment& m : marks)
        if (FixedTextView(m.name) == name)
            return m.id;
    return 0;
}

std::string shownPrice(std::string_view text, const char* format)
{
    const double v = rupeesOf(text);
    return v > 0 ? formatText(format, v) : std::string("0");
}

std::string confirmationText(const OrderFormInput& in, const OrderSecurity& sec, const COrderData& d, char side,
                             const std::string& unitText)
{
    const char* action = in.mode == 1 ? "Placing New" : in.mode == 2 ? "Modifying" : in.mode == 3 ? "Cancelling" : "";
    const char* bs = side == 'B' ? "Buy" : "Sell";
    const std::string exch(ExchangeNameOfCode(FixedTextView(d.exchange)));
    const std::string client(FixedTextView(d.client_code));
    const double trigger = rupeesOf(in.triggerText);
    std::string text;
    if (sec.currency) {
        text = formatTextCapped(
            1023,
            "%s Order for\n\nClient Code\t\t:\t%s\nSecurity\t\t\t:\t%s\nExchange\t\t:\t%s\nBuy / Sell\t\t:\t%s\n"
            "Quantity  \t\t:\t%ld\nPrice\t\t\t:\t%s\nTrigger Price\t\t:\t%s\nDisclose Qty\t\t:\t%ld\n"
            "Order Type\t\t:\t%s\nOrder Mark\t\t:\t%s\n",
            action, client.c_str(), sec.displayKey.c_str(), exch.c_str(), bs, static_cast<long>(in.quantity),
            shownPrice(in.priceText, "%.4lf").c_str(), shownPrice(in.triggerText, "%.4lf").c_str(),
            static_cast<long>(d.disclosed), in.orderType.c_str(), in.orderMarkName.c_str());
    } else if (sec.commodity) {
        text = formatTextCapped(
            1023,
            "%s Order for\n\nClient Code\t\t:\t%s\nSecurity\t\t\t:\t%s\nExchange\t\t:\t%s\nBuy / Sell\t\t:\t%s\n"
            "No. of Lot  \t\t:\t%ld\nQty  \t\t\t:\t%s\nPrice per Share Rs.\n(For %s %s)\t\t:\t%s\n"
            "Trigger Price\t\t:\t%.2lf\nDisclose Qty\t\t:\t%ld\nOrder Type\t\t:\t%s\nOrder Mark\t\t:\t%s\n",
            action, client.c_str(), sec.displayKey.c_str(), exch.c_str(), bs, static_cast<long>(in.lots),
            unitText.c_str(), sec.priceUnit.c_str(), sec.priceQuantity.c_str(),
            shownPrice(in.priceText, "%.2lf").c_str(), trigger > 0 ? trigger : 0.0, static_cast<long>(d.disclosed),
            in.orderType.c_str(), in.orderMarkName.c_str());
    } else {
        text = formatTextCapped(
            1023,
            "%s Order for\n\nClient Code\t\t:\t%s\nSecurity\t\t\t:\t%s\nExchange\t\t:\t%s\nBuy / Sell\t\t:\t%s\n"
            "Quantity  \t\t:\t%ld\nPrice\t\t\t:\t%s\nTrigger Price\t\t:\t%.2lf\nDisclose Qty\t\t:\t%ld\n"
            "Order Type\t\t:\t%s\nOrder Mark\t\t:\t%s\n",
            action, client.c_str(), sec.displayKey.c_str(), exch.c_str(), bs, static_cast<long>(in.quantity),
            shownPrice(in.priceText, "%.2lf").c_str(), trigger > 0 ? trigger : 0.0, static_cast<long>(d.disclosed),
            in.orderType.c_str(), in.orderMarkName.c_str());
    }
    if (in.mode == 1 && sec.series == "BE")
        text += "\n\n\nPlease note that the said stock is in trade-for-trade group \nand consequently, no netting is "
                "permitted.";
    return text;
}

} // namespace
} // namespace order_validation_detail

std::string_view ExchangeCodeOfName(std::string_view name)
{
    for (const auto& e : order_validation_detail::kExchanges)
        if (e.name == name)
            return e.code;
    return {};
}

std::string_view ExchangeNameOfCode(std::string_view code)
{
    for (const auto& e : order_validation_detail::kExchanges)
        if (e.code == code)
            return e.name;
    return {};
}

PriceTextFault CheckPriceText(std::string_view text, int maxDecimals)
{
    if (text.empty())
        return PriceTextFault::Empty;
    for (char c : text)
        if (!(c >= '0' && c <= '9') && c != '.')
            return PriceTextFault::BadCharacter;
    const size_t dot = text.find('.');
    if (dot == std::string_view::npos)
        return PriceTextFault::None;
    if (text == ".")
        return PriceTextFault::DotAlone;
    const size_t second = text.find('.', dot + 1);
    const size_t decimals = (second == std::string_view::npos ? text.size() : second) - dot - 1;
    if (decimals > static_cast<size_t>(maxDecimals))
        return PriceTextFault::TooManyDecimals;
    if (second != std::string_view::npos)
        return PriceTextFault::SecondDot;
    return PriceTextFault::None;
}

long long RoundedUnits(double value)
{
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.0lf", value);
    return std::strtoll(buf, nullptr, 10);
}

bool PriceOnTick(const OrderSecurity& sec, double rupees, double* shownTick, int* decimals)
{
    long long compared = 0;
    long long divisor = 0;
    double shown = 0;
    int dec = 2;
    if (sec.currency) {
        compared = RoundedUnits(rupees * 10000);
        divisor = sec.tickSize;
        shown = sec.tickSize / 10000.0;
        dec = 4;
    } else if (sec.commodity || sec.bseDerivative()) {
        compared = RoundedUnits(rupees * 100);
        divisor = sec.tickSize;
        shown = sec.tickSize / 100.0;
    } else {
        compared = RoundedUnits(rupees * 100);
        divisor = sec.tickSize / 100;
        shown = sec.tickSize / 10000.0;
    }
    if (shownTick)
        *shownTick = shown;
    if (decimals)
        *decimals = dec;
    // Without a whole divisor no price is on the tick; refusing beats dividing by zero.
    if (divisor < 1)
        return false;
    return compared % divisor == 0;
}

ValidationOutcome ValidateOrder(const OrderFormInput& in, const OrderCheckContext& ctx, OrderPrompts& prompts)
{
    using namespace orderform;
    using Box = OrderPrompts::Box;
    ValidationOutcome out;
    order_validation_detail::Chain chain(out, prompts);
    const OrderSecurity& sec = ctx.security;

    // 1-3
    if (in.amo && in.sor && !in.tslExpanded) {
        chain.refuse(Box::Ok, "Cannot Place Smart Order as AMO.");
        return out;
    }
    if (ctx.terminalLocked) {
        chain.refuse(Box::Ok, "Terminal is Locked. Pls Unlock to Place Order.");
        out.hideForm = true;
        return out;
    }
    COrderData& d = out.data;
    d.Reset();
    if (!ctx.hasActiveClient) {
        chain.refuse(Box::Ok, "Client not activated..");
        return out;
    }
    WriteLog(0, "Processing Order...");

    // 4 account
    if (in.account.size() < 5) {
        chain.refuse(Box::Ok, "Please Select proper Client for the Order", kAccount);
        return out;
    }
    if (order_validation_detail::hasAny(in.account, order_validation_detail::kClientSet)) {
        chain.refuse(Box::Ok, "Please enter proper Client for the Order", kAccount);
        return out;
    }
    CopyFixedText(d.client_code, in.account);
    CopyFixedText(d.client_id, ctx.activeClientId);

    // 5 security
    if (in.securityIndex < 0 || !sec.valid()) {
        chain.refuse(Box::Ok, "Please Select proper Security for the Order", kSecurity);
        return out;
    }

    // 6 side
    const char side = in.actionIndex == 0 ? 'B' : in.actionIndex == 1 ? 'S' : 0;
    out.side = side;

    // 7 exchange
    const std::string_view exchCode = ExchangeCodeOfName(in.exchangeName);
    if (exchCode.empty()) {
        chain.refuse(Box::Ok, "Please Select proper exchange for the Order", kExchange);
        return out;
    }

    // 8 order type, order mark, disclosed
    const bool tsl = in.tslKind >= 1 && in.tslKind <= 5;
    if (in.orderType.empty()) {
        chain.refuse(Box::Ok, "Please Select proper Time Restriction for the Order", kOrderType);
        return out;
    }
    if (tsl && in.orderType != "GFD") {
        chain.refuse(Box::Ok, "Invalid Order Type for TSLO order", kOrderType);
        return out;
    }
    if (in.orderMarkName.empty()) {
        chain.refuse(Box::Ok, "Please Select proper Order Mark for the Order", kOrderMark);
        return out;
    }
    if (tsl && in.orderMarkName != "Normal") {
        chain.refuse(Box::Ok, "Invalid Order Type for TSLO order", kOrderType);
        return out;
    }
    const int markId = order_validation_detail::markIdOf(ctx.marks, in.orderMarkName);
    // Within int whatever lots were typed: beyond the quantity it is refused below.
    const int disclosed = BoundedIntSum(0, sec.commodity ? static_cast<long long>(in.disclosed) * sec.marketLot
                                                         : in.disclosed);

    const int maxDecimals = sec.currency ? 4 : 2;
    double pricePaise = 0;
    double triggerPaise = 0;
    // 9 modes 1 and 2
    if (in.mode == 1 || in.mode == 2) {
        if (!side) {
            out.selectBuy = true;
            chain.refuse(Box::Ok, "Please Select Buy or Sell for the Order", kAction);
            return out;
        }
        if (!in.quantityRead) {
            chain.refuse(Box::Ok, "Please enter valid Quantity for the Order", sec.inLots() ? kLots : kQuantity, true);
            return out;
        }
        if (in.quantity <= 0) {
            chain.refuse(Box::Ok, "Please enter valid Quantity for the Order", kQuantity, true);
            return out;
        }
        if (sec.marketLot < 1 || in.quantity % sec.marketLot != 0) {
            chain.refuse(Box::Info, formatText("Please enter Quantity in mulitple of Market Lot :%d", sec.marketLot),
                         kQuantity, true);
            return out;
        }
        if (in.quantity > ctx.qtyLimit) {
            chain.refuse(Box::Info, formatText("Please enter Quantity less than Order Qty Limit :%d", ctx.qtyLimit),
                         kQuantity, true);
            return out;
        }
        if (in.priceText.empty()) {
            chain.refuse(Box::Ok, "Please enter Price for the Order", kPrice, true);
            return out;
        }
        const PriceTextFault pf = CheckPriceText(in.priceText, maxDecimals);
        if (pf != PriceTextFault::None) {
            chain.refuse(Box::Ok, order_validation_detail::priceFault(pf, false, sec.currency), kPrice);
            return out;
        }
        const double priceRupees = order_validation_detail::rupeesOf(in.priceText);
        pricePaise = priceRupees * 100;
        if (pricePaise > 0) {
            double shown = 0;
            int dec = 2;
            const bool onTick = PriceOnTick(sec, priceRupees, &shown, &dec);
            if (sec.currency)
                WriteLog(0, formatText("Temp Price :%d, Tick Size : %d",
                                       static_cast<int>(RoundedUnits(priceRupees * 10000)), sec.tickSize));
            if (!onTick) {
                const std::string msg = order_validation_detail::tickMessage(false, shown, dec);
                if (!sec.currency)
                    WriteLog(0, msg);
                chain.refuse(Box::Info, msg, kPrice);
                return out;
            }
        }
        // 9.9 order value
        const double valuePrice = pricePaise > 0 ? pricePaise : sec.ltp;
        // A commodity without a denominator is worth its quantity's units.
        ContractSize contract = sec.contract();
        if (!CanPrice(contract))
            contract.denominator = 1;
        double value = LegValue(contract, in.quantity, valuePrice);
        if (value != 0)
            value /= 100;
        if (value > ctx.valueLimit) {
            chain.refuse(Box::Info,
                         formatText("Please enter Order Value less than Order Value Limit :%.0lf", ctx.valueLimit),
                         kQuantity, true);
            return out;
        }
        // 9.10 disclosed
        if (!in.disclosedRead || disclosed < 0) {
            chain.refuse(Box::Info, "Please enter valid Disclosed Quantity.", kDisclosed, true);
            return out;
        }
        if (disclosed > 0 && disclosed % sec.marketLot != 0) {
            chain.refuse(Box::Info,
                         formatText("Please enter Disclosed Quantity in mulitple of Market Lot :%d", sec.marketLot),
                         kDisclosed, true);
            return out;
        }
        if (disclosed > in.quantity) {
            chain.refuse(Box::Info, "Please enter Disclosed Quantity less than Order Quantity.", kDisclosed, true);
            return out;
        }
        // 9.11 trigger
        if (!tsl && !in.triggerText.empty()) {
            const PriceTextFault tf = CheckPriceText(in.triggerText, maxDecimals);
            if (tf != PriceTextFault::None) {
                chain.refuse(Box::Ok, order_validation_detail::priceFault(tf, true, sec.currency), kTrigger);
                return out;
            }
            const double triggerRupees = order_validation_detail::rupeesOf(in.triggerText);
            triggerPaise = triggerRupees * 100;
            if (triggerPaise > 0) {
                double shown = 0;
                int dec = 2;
                if (!PriceOnTick(sec, triggerRupees, &shown, &dec)) {
                    chain.refuse(Box::Info, order_validation_detail::tickMessage(true, shown, dec), kTrigger);
                    return out;
                }
            }
        }
    }

    // 10 SOR only for new orders
    const bool sor = in.mode == 1 && in.sor;
    out.sorFlag = sor;

    // 11 per mode
    const std::string priceShown = order_validation_detail::rupeesOf(in.priceText) == 0 ? std::string("MKT") : in.priceText;
    const char* bs = side == 'B' ? "Buy" : "Sell";
    const int shownQty = sec.commodity ? in.lots : in.quantity;
    const int storedQty = (sec.currency || sec.commodity) ? in.lots : in.quantity;
    if (in.mode == 1) {
        WriteLog(0, formatText("Inside validat %d,%d,%d", sec.alertFlag1, sec.alertFlag2, in.securityIndex));
        if (sec.alertFlag1 == 1 && sec.alertFlag2 == 1
            && !prompts.askYesNo(formatTextCapped(1023, "%s \n would you like to continue ? ", sec.alertText.c_str()),
                                 "Alert")) {
            out.result = -1;
            return out;
        }
        if (tsl)
            out.line = "Placing TSLO Order";
        else if (sor)
            out.line = formatTextCapped(
                1023,
                "Placing New %s Smart Order for Client %s, Security %s, Qty %d, Price %s Trigger "
                "Price %s",
                bs, in.account.c_str(), sec.displayKey.c_str(), shownQty, priceShown.c_str(), in.triggerText.c_str());
        else
            out.line =
                formatTextCapped(1023,
                                 "Placing New %s %s Order for Client %s, Security %s|%s, Qty %d, Price %s Trigger "
                                 "Price %s",
                                 in.orderMarkName.c_str(), bs, in.account.c_str(), sec.displayKey.c_str(),
                                 sec.exchange.c_str(), shownQty, priceShown.c_str(), in.triggerText.c_str());
        if (!tsl) {
            OrderInfo& info = out.info;
            info = OrderInfo{};
            CopyFixedText(info.client_code, in.account);
            CopyFixedText(info.user_id, ctx.userId);
            info.token = sec.token;
            info.sec_index = in.securityIndex;
            CopyFixedText(info.exchange, exchCode);
            CopyFixedText(info.buy_sell, std::string(1, side));
            info.total_qty = storedQty;
            info.open_qty = storedQty;
            info.price = pricePaise / 100;
            info.trigger = triggerPaise / 100;
            info.disclosed = disclosed;
            info.order_mark = markId;
            info.sor = sor ? 1 : 0;
            if (sor)
                CopyFixedText(info.mark_name, "SOR");
            CopyFixedText(info.status, in.amo ? "AMO" : "NEWF");
            info.side = side;
        }
        if (sec.derivative == 1 && sor) {
            chain.refuse(Box::Ok, "Error : Cannot Place Smart Order in FNO Segment.");
            return out;
        }
    } else if (in.mode == 2 && !in.tslExpanded) {
        const int now = ctx.currentOpenQty ? ctx.currentOpenQty(in.orderNo) : -1;
        if (now >= 0 && now != in.openQty) {
            chain.refuse(Box::Ok, "Open Qty has changed due to Trade Confirmation. Pls Re-Modify the Order.");
            return out;
        }
        out.line =
            formatTextCapped(1023,
                             "Modifying %s %s Order for Client %s, TWXS Order no %.0lf,Security %s|%s, Qty %d, Price "
                             "%s Trigger Price %s",
                             in.orderMarkName.c_str(), bs, in.account.c_str(), in.orderNo, sec.displayKey.c_str(),
                             sec.exchange.c_str(), shownQty, priceShown.c_str(), in.triggerText.c_str());
    } else if (in.mode == 3 && !in.tslExpanded) {
        out.line =
            formatTextCapped(1023,
                             "Canceling %s %s Order for Client %s, TWXS Order no %.0lf,Security %s|%s, Qty %d, Price "
                             "%s Trigger Price %s",
                             in.orderMarkName.c_str(), bs, in.account.c_str(), in.orderNo, sec.displayKey.c_str(),
                             sec.exchange.c_str(), shownQty, priceShown.c_str(), in.triggerText.c_str());
    }

    // 12 the request record
    d.sec_index = in.securityIndex;
    CopyFixedText(d.exchange, exchCode);
    d.side = side ? side : ' ';
    d.quantity = sec.currency ? in.lots : in.quantity;
    std::string unitText;
    if (sec.commodity) {
        const long long denominator = sec.denominator > 0 ? sec.denominator : 1;
        unitText = formatText("%d (Order unit : %lld)", in.quantity,
                              static_cast<long long>(sec.lotUnits) * sec.marketLot * in.lots / denominator);
        d.disclosed = in.disclosed;
    } else {
        d.disclosed = disclosed;
    }
    d.price = pricePaise;
    d.trigger = triggerPaise;
    CopyFixedText(d.validity, in.orderType);
    d.order_mark = markId;
    d.square_off = in.squareOff ? 1 : 0;
    d.amo = in.amo ? 'Y' : 'N';
    d.sor = sor ? 1 : 0;
    d.trailing_type = tsl ? in.tslKind : 0;
    d.spread = -1;
    d.trailing_when = -1;
    d.bp_disclosed = -1;
    d.bp_price = -1;
    d.order_no = in.orderNo;
    d.prev_qty = in.openQty;
    d.prev_price = in.oldPrice;
    d.auto_square_off = 2;
    d.description = out.line;

    // 14 confirmation
    if (ctx.confirmOrders || (in.mode == 1 && sec.series == "BE")) {
        if (!prompts.askYesNo(order_validation_detail::confirmationText(in, sec, d, side, unitText), "Do You want to place order")) {
            out.result = -1;
            return out;
        }
    }
    out.result = 0;
    return out;
}

namespace order_validation_detail {
namespace {

std::string htmlEscaped(std::string_view s)
{
    std::string out;
    for (char c : s) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        default: out += c;
        }
    }
    return out;
}

std::string_view trimmedTabsAndBlanks(std::string_view s)
{
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t'))
        s.remove_suffix(1);
    return s;
}

} // namespace
} // namespace order_validation_detail

std::string ConfirmationBoxText(std::string_view text)
{
    std::string out = "<html><table cellspacing=\"0\" cellpadding=\"1\">";
    size_t pos = 0;
    while (pos <= text.size()) {
        const size_t end = std::min(text.find('\n', pos), text.size());
        const std::string_view line = text.substr(pos, end - pos);
        const size_t colon = line.find("\t:\t");
        if (colon != std::string_view::npos) {
            out += "<tr><td>" + order_validation_detail::htmlEscaped(order_validation_detail::trimmedTabsAndBlanks(line.substr(0, colon)))
                + "</td><td>&nbsp;:&nbsp;</td><td>" + order_validation_detail::htmlEscaped(line.substr(colon + 3)) + "</td></tr>";
        } else if (end < text.size() || !line.empty()) {
            const std::string_view shown = order_validation_detail::trimmedTabsAndBlanks(line);
            out += "<tr><td colspan=\"3\">" + (shown.empty() ? std::string("&nbsp;") : order_validation_detail::htmlEscaped(shown))
                + "</td></tr>";
        }
        if (end == text.size())
            break;
        pos = end + 1;
    }
    return out + "</table></html>";
}
