#pragma once
// The feed's frames and message texts, written from the wire formats alone.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tb {

// Stream and TCP: '^' flag, 4-digit length, message, '$'. Empty when the
// message does not fit the length field (likewise for the other frames).
std::string streamFrame(std::string_view message, char flag = '0');
// TCP compressed: '^' '9' 4-digit length of the LZO block, the block, '$'. The
// block holds inner frames '^' '0' 4-digit length message, without '$'. The
// terminal unpacks into 20 times the block's size: very repetitive messages can
// exceed that, which is how a test provokes the failure.
std::string compressedFrame(const std::vector<std::string>& messages);
// UDP: '|' 5-digit length, one separator byte, message.
std::string udpFrame(std::string_view message, char separator = ',');
// What the client sends on the TCP feed socket: 5-digit length then the text.
std::string clientFrame(std::string_view text);

// A quote as the feed carries it (prices in paise).
struct Quote {
    int64_t bid = 0, bidQty = 0, ask = 0, askQty = 0, last = 0, high = 0, low = 0, avg = 0, close = 0, open = 0;
    int64_t changePct = 0; // hundredths of a percent
    int64_t totalSell = 0, totalBuy = 0, volume = 0, openInterest = 0, value = 0, lastQty = 0, lastTime = 0;
    int64_t netChange = 0, upperBand = 0, lowerBand = 0;
};

// "101,wtoken,v0..v20".
std::string message101(int wtoken, const Quote& q);
// The polling reply's record: the 101 payload without its code.
std::string quotePayload(int wtoken, const Quote& q);
// "105,wtoken,bid,bidQty,ask,askQty,last,OI,time".
std::string message105(int wtoken, const Quote& q);

struct DepthLevel {
    int64_t price = 0, qty = 0, orders = 0;
};
// "104,wtoken,ltp,{price,qty,orders}x5 bids,{...}x5 asks,totBuy,totSell".
std::string message104(int wtoken, int64_t ltp, const DepthLevel (&bids)[5], const DepthLevel (&asks)[5],
                       int64_t totalBuy, int64_t totalSell);
// "110,feedCode,value,prevClose,change,time,text," (hundredths; ends with a separator).
std::string message110(int feedCode, int64_t value, int64_t prevClose, int64_t change, int64_t time,
                       std::string_view text);
std::string message250(int slot, std::string_view notice, std::string_view host, int port);

} // namespace tb
