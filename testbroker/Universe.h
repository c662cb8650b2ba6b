#pragma once
// The broker's security universe, generated from a seed: NSE and BSE equities
// with real listed symbols, NSE index and stock futures and options, currency
// pairs on NSE-FX and BSE-CDX, MCX commodities and the indices. The master
// files and every look-up that names securities are written from it.
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace tb {

struct Security {
    int token = 0;
    std::string exchange;  // NN, BN, CN, CB, MC
    std::string symbol;
    std::string inst;      // EQ, IN, FI, OI, FS, OS, FC, OC, CF, CO
    std::string expiry;    // DDMMMYY or empty
    double strike = 0;     // options only
    std::string option;    // CE / PE or empty
    int scripCode = 0;     // scripCodeOf(token); 0 for an index
    int lot = 1;
    int tick = 500;        // 1/10000 rupee (paise for MC)
    std::string status = "ACT";
    int multiplier = 0;    // CN, CB, MC
    double yearHigh = 0;   // rupees
    double yearLow = 0;
    int wtoken = 0;        // unique watch token (>= 1000)
    int64_t price = 0;     // reference price in paise
    std::string name;      // index display name (indices only)
    // MC only: what the price is for ("10" "GRMS") and the price denominator
    // that turns lots into priced units (master fields 11-13).
    std::string priceUnit;
    std::string priceQuantity;
    int denominator = 0;

    std::string securityText() const; // "symbol|inst|expiry|strike|opt"
    std::string record() const;       // the extended-format master record, without '~'
    bool isIndex() const { return inst == "IN"; }
};

// A security's scrip code: never its token, so that a request that sends one
// where the other belongs cannot pass unnoticed.
inline constexpr int kScripCodeOffset = 7000000;
inline int scripCodeOf(int token) { return token + kScripCodeOffset; }

class Universe {
public:
    // count: how many securities in all (the built-in set is always kept);
    // date: the master's date as ddmmyyyy numbers.
    Universe(uint64_t seed, int count, int year, int month, int day);

    const std::vector<Security>& securities() const { return m_securities; }
    const Security* byWatchToken(int wtoken) const;
    const Security* byToken(const std::string& exchange, int token) const;
    const Security* byScripCode(const std::string& exchange, int scripCode) const;
    std::vector<const Security*> indices() const;
    // Members of a server category of category.lst (NSE equities), empty for other ids.
    std::vector<const Security*> categoryMembers(int id) const;
    // The options on the security's symbol and exchange for its nearest expiry.
    std::vector<const Security*> optionChain(const Security& underlying, size_t max) const;

    std::string date() const { return m_date; } // "ddmmyyyy"
    std::string masterText() const;
    // Incremental file n: a few changed records, one deletion, one new security.
    std::string incrementalText(int n) const;
    std::string categoryText() const;
    std::string servicesText() const;
    std::string advisoryText() const; // PellbrookSecFile.lst: lines, the first is today's date

private:
    void add(Security s);
    std::vector<Security> m_securities;
    std::map<int, size_t> m_byWatch;
    std::string m_date;
    uint64_t m_seed;
};

} // namespace tb
