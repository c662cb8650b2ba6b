#include "orders/OrderFormRules.h"

#include "app/base/TextFormat.h"

#include <cctype>
#include <cmath>

std::string SorRefusal(const std::string& validity, const std::string& markName, bool amo, bool* info)
{
    if (info)
        *info = true;
    if (validity != "GFD")
        return formatText("Cannot Place Smart Order as %s", validity.c_str());
    if (markName != "Normal")
        return formatText("Cannot Place Smart Order as %s", markName.c_str());
    if (amo) {
        if (info)
            *info = false;
        return "Cannot Place Smart Order as AMO.";
    }
    return {};
}

std::string BrowserCommandWithArgument(const std::string& command)
{
    if (command.find("%1") != std::string::npos)
        return command;
    return command + " %1";
}

namespace order_form_rules_detail {
namespace {

std::string percentEncoded(const std::string& text)
{
    std::string out;
    for (char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if (std::isalnum(u) || c == '-' || c == '_' || c == '.' || c == '~')
            out += c;
        else
            out += formatText("%%%02X", u);
    }
    return out;
}

} // namespace
} // namespace order_form_rules_detail

std::string EstimatedChargesText(const std::string& userId, const std::string& clientId, int linkId,
                                 const std::string& clientCode)
{
    return formatText("LoginData=1002|%s|%s|%d&ClientUserId=%s", userId.c_str(), clientId.c_str(), linkId,
                      order_form_rules_detail::percentEncoded(clientCode).c_str());
}

std::string EstimatedChargesAddress(const std::string& base, const std::string& query)
{
    if (base.rfind("http://", 0) != 0 && base.rfind("https://", 0) != 0)
        return {};
    return base + "/qtrade/qlogin.exe?" + query;
}

bool HeldKeyTracker::press(int dir, int64_t nowMs)
{
    if (dir != direction || nowMs - lastMs > 600)
        startMs = nowMs;
    direction = dir;
    lastMs = nowMs;
    return nowMs - startMs > 3000;
}

double PriceSpinStep(double value, int direction, double step, double limit)
{
    if (step <= 0)
        step = 0.01;
    double next = value + (direction > 0 ? step : -step);
    if (next < 0)
        next = 0;
    // Shown with at most four decimals: drop the binary residue.
    next = std::round(next * 10000.0) / 10000.0;
    if (direction > 0 && limit > 0 && next > limit)
        return value;
    return next;
}
