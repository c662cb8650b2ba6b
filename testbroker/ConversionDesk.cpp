#include "ConversionDesk.h"

#include <cstdlib>
#include <vector>

namespace tb {
namespace conversion_desk_detail {
namespace {

std::vector<std::string> split(const std::string& text, char sep)
{
    std::vector<std::string> out(1);
    for (char c : text) {
        if (c == sep)
            out.emplace_back();
        else
            out.back() += c;
    }
    return out;
}

std::string at(const std::vector<std::string>& f, size_t i) { return i < f.size() ? f[i] : std::string(); }

} // namespace
} // namespace conversion_desk_detail

std::string conversionQueryReply(const RequestText& request, RiskDesk& desk)
{
    const auto it = request.items.find("RiskData");
    const std::string value = it == request.items.end() ? std::string() : it->second;
    const std::vector<std::string> parts = conversion_desk_detail::split(value, '~');
    const std::vector<std::string> head = conversion_desk_detail::split(conversion_desk_detail::at(parts, 0), '|');
    const std::vector<std::string> pos = conversion_desk_detail::split(conversion_desk_detail::at(parts, 1), '|');
    const std::string client = conversion_desk_detail::at(head, 3);
    const std::string token = conversion_desk_detail::at(pos, 0), exch = conversion_desk_detail::at(pos, 1), product = conversion_desk_detail::at(pos, 2);
    const RiskBook book = desk.book(client);
    for (const auto& row : book.positions)
        if (conversion_desk_detail::at(row, 0) == token && conversion_desk_detail::at(row, 1) == exch && conversion_desk_detail::at(row, 10) == product)
            return "420|0|||250000.00|||" + std::to_string(std::labs(std::atol(conversion_desk_detail::at(row, 6).c_str())));
    return "420|1|Position not found";
}

std::string conversionReply(const RequestText& request, RiskDesk& desk)
{
    const auto it = request.items.find("OrderData1");
    const std::vector<std::string> f = conversion_desk_detail::split(it == request.items.end() ? std::string() : it->second, '|');
    // 110|session|user|cc|cc|token|exch|side|qty||4|info
    const std::string client = conversion_desk_detail::at(f, 3);
    const std::string token = conversion_desk_detail::at(f, 5), exch = conversion_desk_detail::at(f, 6);
    const long qty = std::atol(conversion_desk_detail::at(f, 8).c_str());
    bool done = false;
    desk.editBook(client, [&](RiskBook& b) {
        for (auto& row : b.positions) {
            if (conversion_desk_detail::at(row, 0) != token || conversion_desk_detail::at(row, 1) != exch || conversion_desk_detail::at(row, 10) != "5")
                continue;
            const long net = std::atol(conversion_desk_detail::at(row, 6).c_str());
            if (qty < 1 || qty > std::labs(net))
                return;
            row[10] = "1";
            done = true;
            return;
        }
    });
    return done ? "160|0|Position converted to delivery successfully||" : "160|1|Quantity not convertible||";
}

} // namespace tb
