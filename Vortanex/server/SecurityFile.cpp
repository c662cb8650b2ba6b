#include "server/SecurityFile.h"

#include "app/LogWriter.h"
#include "pf/files.h"

#include <charconv>
#include <cstdio>
#include <cstring>

// File-local helpers.
namespace {
namespace detail {

std::string_view trim(std::string_view s)
{
    constexpr std::string_view kBlanks = " \t\r\n";
    const size_t b = s.find_first_not_of(kBlanks);
    if (b == std::string_view::npos)
        return {};
    const size_t e = s.find_last_not_of(kBlanks);
    return s.substr(b, e - b + 1);
}

// Integer as atoi reads it: leading sign, digits, anything after ignored.
long long toInt(std::string_view s)
{
    if (!s.empty() && s[0] == '+')
        s.remove_prefix(1);
    long long v = 0;
    auto r = std::from_chars(s.data(), s.data() + s.size(), v);
    return r.ec == std::errc() ? v : 0;
}

int toInt32(std::string_view s)
{
    const long long v = toInt(s);
    return v > INT32_MAX || v < INT32_MIN ? 0 : static_cast<int>(v);
}

double toReal(std::string_view s)
{
    if (!s.empty() && s[0] == '+')
        s.remove_prefix(1);
    double v = 0;
    auto r = std::from_chars(s.data(), s.data() + s.size(), v);
    return r.ec == std::errc() ? v : 0;
}

bool isOneOf(std::string_view v, std::initializer_list<std::string_view> set)
{
    for (std::string_view s : set)
        if (v == s)
            return true;
    return false;
}

void buildDisplayKey(SecurityRecord& rec, std::string_view field2, SecurityReading reading)
{
    const std::string_view t = rec.inst_type.view();
    if (isOneOf(t, {"OS", "OI", "CO", "OC"})) {
        // "%s~%s~%s~%0.2lf~%s" ("%0.4lf" for "OC"), built without printf:
        // fixed-precision to_chars rounds exactly as printf does.
        std::string key;
        key.reserve(64);
        key.append(rec.symbol.view()).append(1, '~').append(t).append(1, '~').append(rec.expiry.view()).append(1, '~');
        char num[64];
        auto r = std::to_chars(num, num + sizeof num, rec.strike, std::chars_format::fixed, t == "OC" ? 4 : 2);
        key.append(num, r.ec == std::errc() ? r.ptr : num);
        key.append(1, '~').append(rec.option_type.view());
        rec.display_name.assign(key);
    } else if (t == "CF" || (t == "CM" && reading == SecurityReading::Incremental)) {
        std::string key;
        key.reserve(48);
        key.append(rec.symbol.view()).append(1, '~').append(t).append(1, '~').append(rec.expiry.view());
        rec.display_name.assign(key);
    } else {
        char key[50];
        const std::string_view f = field2.substr(0, 49);
        for (size_t i = 0; i < f.size(); ++i)
            key[i] = f[i] == '|' ? '~' : f[i];
        rec.display_name.assign(std::string_view(key, f.size()));
    }
}

void splitSecurityText(SecurityRecord& rec, std::string_view field2)
{
    int part = 0;
    size_t start = 0;
    while (part < 5) {
        size_t bar = field2.find('|', start);
        const std::string_view p = field2.substr(start, bar == std::string_view::npos ? std::string_view::npos : bar - start);
        if (p.empty())
            break; // an empty part ends the split
        switch (part) {
        case 0: rec.symbol.assign(p); break;
        case 1: rec.inst_type.assign(p); break;
        case 2: rec.expiry.assign(p); break;
        case 3: rec.strike = toReal(p); break;
        case 4: rec.option_type.assign(p); break;
        }
        ++part;
        if (bar == std::string_view::npos)
            break;
        start = bar + 1;
    }
}

} // namespace detail
} // namespace

SecurityRecord ParseSecurityRecord(std::string_view record, SecurityReading reading, bool& extended)
{
    SecurityRecord rec;
    ParseSecurityRecord(record, reading, extended, rec);
    return rec;
}

void ParseSecurityRecord(std::string_view record, SecurityReading reading, bool& extended, SecurityRecord& rec)
{
    using namespace detail;
    std::string_view f[20];
    int n = 0;
    if (!record.empty() && record[0] == ',')
        record.remove_prefix(1);
    size_t start = 0;
    while (n < 20) {
        const size_t comma = record.find(',', start);
        f[n++] = trim(record.substr(start, comma == std::string_view::npos ? std::string_view::npos : comma - start));
        if (comma == std::string_view::npos)
            break;
        start = comma + 1;
    }

    rec.token = toInt32(f[0]);
    rec.market_exchange.assign(f[1]);
    rec.advisory_kind = 0;
    rec.advisory_text.assign("-NA-");
    splitSecurityText(rec, f[2]);
    buildDisplayKey(rec, f[2], reading);
    rec.scrip_code = toInt32(f[3]);
    rec.market_lot = toInt32(f[4]);
    rec.tick_size = toInt32(f[5]);
    rec.status.assign(f[6]);

    const bool unitsExchange = isOneOf(rec.market_exchange.view(), {"CN", "CM", "NC", "MC"});
    QuoteData live;
    if (n > 9) {
        extended = true;
        if (unitsExchange)
            rec.multiplier = toInt32(f[7]);
        live.year_high = toReal(f[8]);
        live.year_low = toReal(f[9]);
    } else {
        if (unitsExchange)
            rec.multiplier = toInt32(f[7]);
        else
            live.year_high = toReal(f[7]);
        live.year_low = toReal(f[8]);
    }
    rec.live.store(live);
    if (n > 10) {
        rec.wtoken = toInt32(f[10]);
        rec.ref_rate.store(1.0, std::memory_order_relaxed);
    }
    if (n > 11) {
        if (n > 13)
            rec.denominator = toInt32(f[13]);
        if (n > 15)
            rec.aux_int1 = toInt32(f[15]);
        if (n > 16)
            rec.aux_int2 = toInt32(f[16]);
        bool anyText = false;
        for (int i : {11, 12, 14, 17, 18, 19})
            anyText = anyText || (i < n && !f[i].empty());
        if (anyText) {
            SecurityExtras& x = rec.extrasForWrite();
            x.price_unit = f[11].substr(0, 63);
            x.price_quantity = f[12].substr(0, 63);
            x.delvuni = f[14].substr(0, 20);
            x.description = f[17].substr(0, 500);
            x.aux_text1 = f[18].substr(0, 100);
            x.aux_text2 = f[19].substr(0, 50);
        }
    }
}

SecurityFileContent ParseSecurityText(std::string_view text, SecurityReading reading)
{
    using namespace detail;
    SecurityFileContent out;
    out.opened = true;
    size_t pos = 0;
    bool first = true;
    while (pos <= text.size()) {
        size_t tilde = text.find('~', pos);
        const std::string_view rec =
            trim(text.substr(pos, tilde == std::string_view::npos ? std::string_view::npos : tilde - pos));
        if (rec.empty())
            break;
        if (first) {
            first = false;
            const std::string_view h = rec.substr(0, 31);
            out.header.raw = std::string(h);
            const size_t d1 = h.find('-');
            out.header.date = std::string(h.substr(0, std::min<size_t>(d1, 10)));
            if (d1 != std::string_view::npos) {
                const std::string_view rest = h.substr(d1 + 1);
                const size_t d2 = rest.find('-');
                out.header.number = toInt32(rest.substr(0, d2));
                if (d2 != std::string_view::npos) {
                    const std::string_view cnt = rest.substr(d2 + 1);
                    out.header.count = toInt32(cnt.substr(0, cnt.find('-')));
                }
            }
            if (out.header.count < 1)
                out.header.count = 100;
            // The header's count is only a hint: the table grows with the
            // records actually present.
            out.rows.reserve(static_cast<size_t>(std::min(out.header.count, 1'000'000)) + 10);
        } else {
            // Parsed in place: a record is large and its live part atomic.
            ParseSecurityRecord(rec, reading, out.extended, out.rows.emplace_back());
        }
        if (tilde == std::string_view::npos)
            break;
        pos = tilde + 1;
    }
    return out;
}

std::string FormatSecurityRecord(const SecurityRecord& rec, bool extendedFormat)
{
    std::string field2(rec.display_name.view());
    for (char& c : field2)
        if (c == '~')
            c = '|';
    const QuoteData live = rec.live.read();
    char buf[512];
    if (extendedFormat) {
        std::snprintf(buf, sizeof buf, "%d,%s,%s,%d,%d,%d,%s,%ld,%.2lf,%.2lf,%ld~", rec.token,
                      rec.market_exchange.c_str(), field2.c_str(), rec.scrip_code, rec.market_lot, rec.tick_size,
                      rec.status.c_str(), static_cast<long>(rec.multiplier), live.year_high, live.year_low,
                      static_cast<long>(rec.wtoken));
    } else if (IsCashScrip(rec)) {
        std::snprintf(buf, sizeof buf, "%d,%s,%s,%d,%d,%d,%s,%.2lf,%.2lf~", rec.token, rec.market_exchange.c_str(),
                      field2.c_str(), rec.scrip_code, rec.market_lot, rec.tick_size, rec.status.c_str(),
                      live.year_high, live.year_low);
    } else {
        std::snprintf(buf, sizeof buf, "%d,%s,%s,%d,%d,%d,%s,%d~", rec.token, rec.market_exchange.c_str(),
                      field2.c_str(), rec.scrip_code, rec.market_lot, rec.tick_size, rec.status.c_str(),
                      rec.multiplier);
    }
    return buf;
}

SecurityFileContent LoadSecurity(const std::string& fileName, SecurityReading reading)
{
    auto text = pf::files::readAll(fileName);
    if (!text)
        return {};
    SecurityFileContent c = ParseSecurityText(*text, reading);
    if (reading == SecurityReading::Full) {
        char buf[160];
        std::snprintf(buf, sizeof buf, "Securities File Date :<%s>,<%s,%d,%d>", c.header.raw.c_str(),
                      c.header.date.c_str(), c.header.number, c.header.count);
        WriteLog(0, buf);
    }
    return c;
}
