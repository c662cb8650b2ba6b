#include "FeedFrames.h"

#include "Lzo.h"

#include <cstdio>

namespace tb {

namespace feed_frames_detail {
std::string digits(size_t value, int width)
{
    char buf[16];
    std::snprintf(buf, sizeof buf, "%0*zu", width, value);
    return buf;
}
} // namespace feed_frames_detail

std::string streamFrame(std::string_view message, char flag)
{
    // Four digits cannot state a longer message; such bytes are for pushRaw.
    if (message.size() > 9999)
        return {};
    std::string f;
    f += '^';
    f += flag;
    f += feed_frames_detail::digits(message.size(), 4);
    f += message;
    f += '$';
    return f;
}

std::string compressedFrame(const std::vector<std::string>& messages)
{
    std::string inner;
    for (const std::string& m : messages) {
        inner += "^0";
        inner += feed_frames_detail::digits(m.size(), 4);
        inner += m;
    }
    return streamFrame(lzoCompress(inner), '9');
}

std::string udpFrame(std::string_view message, char separator)
{
    if (message.size() > 99999)
        return {};
    std::string f;
    f += '|';
    f += feed_frames_detail::digits(message.size(), 5);
    f += separator;
    f += message;
    return f;
}

std::string clientFrame(std::string_view text)
{
    return feed_frames_detail::digits(text.size(), 5) + std::string(text);
}

std::string quotePayload(int wtoken, const Quote& q)
{
    const int64_t v[21] = {q.bid,   q.bidQty,    q.ask,       q.askQty,   q.last,   q.high,         q.low,
                           q.avg,   q.close,     q.open,      q.changePct, q.totalSell, q.totalBuy, q.volume,
                           q.openInterest, q.value, q.lastQty, q.lastTime, q.netChange, q.upperBand, q.lowerBand};
    std::string s = std::to_string(wtoken);
    for (int64_t x : v)
        s += ',' + std::to_string(x);
    return s;
}

std::string message101(int wtoken, const Quote& q)
{
    return "101," + quotePayload(wtoken, q);
}

std::string message105(int wtoken, const Quote& q)
{
    std::string s = "105," + std::to_string(wtoken);
    for (int64_t x : {q.bid, q.bidQty, q.ask, q.askQty, q.last, q.openInterest, q.lastTime})
        s += ',' + std::to_string(x);
    return s;
}

std::string message104(int wtoken, int64_t ltp, const DepthLevel (&bids)[5], const DepthLevel (&asks)[5],
                       int64_t totalBuy, int64_t totalSell)
{
    std::string s = "104," + std::to_string(wtoken) + ',' + std::to_string(ltp);
    for (const DepthLevel& l : bids)
        s += ',' + std::to_string(l.price) + ',' + std::to_string(l.qty) + ',' + std::to_string(l.orders);
    for (const DepthLevel& l : asks)
        s += ',' + std::to_string(l.price) + ',' + std::to_string(l.qty) + ',' + std::to_string(l.orders);
    s += ',' + std::to_string(totalBuy) + ',' + std::to_string(totalSell);
    return s;
}

std::string message110(int feedCode, int64_t value, int64_t prevClose, int64_t change, int64_t time,
                       std::string_view text)
{
    return "110," + std::to_string(feedCode) + ',' + std::to_string(value) + ',' + std::to_string(prevClose) + ','
        + std::to_string(change) + ',' + std::to_string(time) + ',' + std::string(text) + ',';
}

std::string message250(int slot, std::string_view notice, std::string_view host, int port)
{
    return "250," + std::to_string(slot) + ',' + std::string(notice) + ',' + std::string(host) + ','
        + std::to_string(port);
}

} // namespace tb
