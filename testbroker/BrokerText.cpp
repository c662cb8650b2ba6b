// The text helpers the broker's request handlers share.
#include "BrokerText.h"

#include <pf/clock.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdio>

namespace tb::detail {

std::vector<std::string> split(const std::string& s, char sep)
{
    std::vector<std::string> out;
    size_t p = 0;
    while (true) {
        const size_t q = s.find(sep, p);
        out.push_back(s.substr(p, q == std::string::npos ? std::string::npos : q - p));
        if (q == std::string::npos)
            return out;
        p = q + 1;
    }
}

std::string join(const std::vector<std::string>& parts, char sep)
{
    std::string s;
    for (size_t i = 0; i < parts.size(); ++i) {
        if (i)
            s += sep;
        s += parts[i];
    }
    return s;
}

int toInt(const std::string& s, int fallback)
{
    int v = fallback;
    const char* b = s.data();
    while (b < s.data() + s.size() && *b == ' ')
        ++b;
    if (std::from_chars(b, s.data() + s.size(), v).ec != std::errc())
        return fallback;
    return v;
}

std::vector<int> tokenList(const std::string& s)
{
    std::vector<int> out;
    for (const std::string& t : split(s, ',')) {
        const int v = toInt(t, -1);
        if (v > 0 && std::find(out.begin(), out.end(), v) == out.end())
            out.push_back(v);
    }
    return out;
}

std::string field(const std::vector<std::string>& f, size_t i)
{
    return i < f.size() ? f[i] : std::string();
}

// Price step in paise: equity and currency ticks are in 1/10000 rupee,
// commodity ticks already in paise.
int64_t tickPaise(const Security* s)
{
    if (!s || s->isIndex())
        return 1;
    if (s->exchange == "MC")
        return std::max(1, s->tick);
    return std::max(1, s->tick / 100);
}

// The login switches: the limits columns (0, 1, 8, 10, 13, 52, 53) and
// "Additional Margin" (59) on, trading (12) left to the user type.
std::string defaultLoginFlags()
{
    std::string flags(128, '0');
    for (int i : {0, 1, 8, 10, 13, 52, 53, 59})
        flags[static_cast<size_t>(i)] = '1';
    return flags;
}

// A query's %XX escapes decoded ('+' stays: the terminal encodes blanks as %20).
std::string percentDecoded(const std::string& text)
{
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() && std::isxdigit(static_cast<unsigned char>(text[i + 1]))
            && std::isxdigit(static_cast<unsigned char>(text[i + 2]))) {
            out += static_cast<char>(std::stoi(text.substr(i + 1, 2), nullptr, 16));
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

std::string paiseText(int64_t paise)
{
    char buf[32];
    const unsigned long long a = paise < 0 ? 0ULL - static_cast<unsigned long long>(paise)
                                           : static_cast<unsigned long long>(paise);
    std::snprintf(buf, sizeof buf, "%s%llu.%02llu", paise < 0 ? "-" : "", a / 100, a % 100);
    return buf;
}

int64_t changeHundredths(int64_t last, int64_t close)
{
    if (close <= 0)
        return 0;
    const int64_t num = (last - close) * 10000;
    return (num >= 0 ? num + close / 2 : num - close / 2) / close;
}

std::string timeStamp(const char* fmt)
{
    const pf::LocalTime t = pf::clock().localNow();
    char buf[64];
    if (std::string(fmt) == "date")
        std::snprintf(buf, sizeof buf, "%02d/%02d/%04d %02d:%02d:%02d", t.day, t.month, t.year, t.hour, t.minute,
                      t.second);
    else
        std::snprintf(buf, sizeof buf, "%02d:%02d:%02d", t.hour, t.minute, t.second);
    return buf;
}

// A short 8 kHz mono beep for "/alert.wav".
std::string alertWav()
{
    const uint32_t samples = 1600;
    std::string w = "RIFF";
    auto u32 = [&w](uint32_t v) {
        for (int i = 0; i < 4; ++i)
            w += static_cast<char>((v >> (8 * i)) & 0xff);
    };
    auto u16 = [&w](uint16_t v) {
        w += static_cast<char>(v & 0xff);
        w += static_cast<char>(v >> 8);
    };
    u32(36 + samples);
    w += "WAVEfmt ";
    u32(16);
    u16(1);
    u16(1);
    u32(8000);
    u32(8000);
    u16(1);
    u16(8);
    w += "data";
    u32(samples);
    for (uint32_t i = 0; i < samples; ++i)
        w += static_cast<char>((i / 8) % 2 ? 0xa0 : 0x60);
    return w;
}

} // namespace tb::detail
