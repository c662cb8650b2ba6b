#pragma once
// The look-ups of the two security-finding dialogs over the security table:
// the add-scrip dialog's search by first letters or scrip code with its
// exchange and type boxes, and the scrip-search dialog's six narrowing lists
// and its Enter choice. Qt-free and read-only, so they run on the UI thread
// over a 300,000-row master within a frame's time.
#include <string>
#include <string_view>
#include <vector>

class SecurityTable;
struct SecurityRecord;

// The strike as the lists and display keys print it: four decimals for a
// currency security, else two.
std::string StrikeText(const SecurityRecord& s);

// --- add-scrip dialog ---
struct ScripQuery {
    std::string name;        // first letters of the display key (case-sensitive)
    std::string code;        // the exchange's numeric scrip code
    std::vector<std::string> exchanges; // ticked exchange codes
    bool cash = true, future = true, option = true, others = false;
    std::string expiry = "ALL";
    std::string strike = "ALL";
};
// The securities listed, in table order. Indices are never listed.
std::vector<int> FindScrips(const SecurityTable& table, const ScripQuery& query);
// The expiry and strike lists of an exact symbol (derivatives only), each
// value once, in the order met; strikes only with `withStrikes`.
void ScripExpiriesAndStrikes(const SecurityTable& table, std::string_view symbol, bool withStrikes,
                             std::vector<std::string>& expiries, std::vector<std::string>& strikes);

// --- scrip-search dialog ---
struct SearchFilters {
    std::string symbol, exchange, series, expiry, strike, optionType; // exchange as its code
    bool allEmpty() const;
};
// The exchange names of the scrip search by code ("NN" -> "NSE" ...); "" for
// codes it does not offer, and the reverse.
const char* SearchExchangeName(std::string_view code);
std::string SearchExchangeCode(std::string_view name);

// The symbol list. `dropped` is whether the list is open: while it is
// closed an empty symbol lists at most 16 symbols.
std::vector<std::string> SearchSymbols(const SecurityTable& table, const SearchFilters& f, bool dropped);
std::vector<std::string> SearchExchanges(const SecurityTable& table, const SearchFilters& f); // names, BSE first
// "EQ" first; a typed symbol that names securities lists their series only.
std::vector<std::string> SearchSeries(const SecurityTable& table, const SearchFilters& f);
std::vector<std::string> SearchExpiries(const SecurityTable& table, const SearchFilters& f);  // date order
std::vector<std::string> SearchStrikes(const SecurityTable& table, const SearchFilters& f);
std::vector<std::string> SearchOptionTypes(std::string_view series);
// What the user still has to give before Enter can look the security up
// ("Please select the Expiry"), the first missing field in the dialog's
// order; "" when nothing is missing.
std::string SearchMissingField(const SearchFilters& f);
// The display key Enter looks for; "" for the series "IN".
std::string SearchDisplayKey(const SearchFilters& f);
// The security of the key on the chosen exchange; -1 when none.
int SearchChoice(const SecurityTable& table, const SearchFilters& f);
